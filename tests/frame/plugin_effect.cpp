// The effect of the test plug-in module: the recording test effect, which
// also announces its construction (audioMasterCurrentId) and its destruction
// (audioMasterIdle) through the host callback, so a host outside the module
// can count both. Its parameter display goes through float2string.
#include <new>

#include "test_effect.h"

namespace {

class AnnouncingEffect : public TestEffect {
  public:
    explicit AnnouncingEffect(audioMasterCallback hostCallback) noexcept
        : TestEffect(hostCallback, 4, 2) {
        static_cast<void>(hostCurrentId());
    }
    ~AnnouncingEffect() override { hostIdle(); }

    void getParamDisplay(std::int32_t index, char* text) noexcept override {
        float2string(getParameter(index), text, kParamTextBound);
    }
};

}  // namespace

EffectBase* createEffect(audioMasterCallback hostCallback) noexcept {
    return new (std::nothrow) AnnouncingEffect(hostCallback);
}
