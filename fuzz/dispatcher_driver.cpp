// Host calls decoded from the fuzzer's bytes, on one effect instance at a
// time: dispatcher calls with any opcode, index, value and opt (the buffers a
// host promises, filled from the input), parameter changes with any float,
// and small processing blocks in both precisions. A closed instance is
// replaced by a new one, so every input ends with nothing leaked.
#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

#include "EffectBase.h"
#include "dispatcher_buffers.h"
#include "fuzz_drivers.h"
#include "fuzz_input.h"
#include "vst_interface.h"

namespace kavro::fuzz {
namespace {

VstIntPtr VSTCALLBACK hostCallback(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? kVstVersion : 0;
}

AEffect* openInstance() {
    EffectBase* effect = createEffect(hostCallback);
    check(effect != nullptr, "createEffect answered null");
    return effect->getDescriptor();
}

constexpr double kSaneSpeed = 4.0;  // beyond it the gain alone may overflow

bool sane(float parameter) {
    return std::isfinite(parameter) && std::fabs(parameter) <= kSaneSpeed;
}

template <class Sample, class Process>
void processBlock(AEffect* effect, Process process, FuzzInput& in) {
    const int frames =
        static_cast<std::int8_t>(in.byte()) * 3;  // -384..381, 0 and negative included
    const bool inPlace = (in.byte() & 1) != 0;
    const std::size_t storage = frames > 0 ? static_cast<std::size_t>(frames) : 1;
    std::array<std::vector<Sample>, 2> input;
    std::array<std::vector<Sample>, 2> output;
    for (int c = 0; c < 2; ++c) {
        input[c].assign(storage, Sample(0));
        output[c].assign(storage, Sample(0));
        for (int i = 0; i < frames; ++i) {
            input[c][static_cast<std::size_t>(i)] = Sample(in.bits<std::int16_t>()) / Sample(32768);
        }
    }
    Sample* inputs[2] = {input[0].data(), input[1].data()};
    Sample* outputs[2] = {output[0].data(), output[1].data()};
    process(effect, inputs, inPlace ? inputs : outputs, frames);
    // The gain follows the speed alone; the length only sets when retriggers arm.
    const bool finiteExpected = sane(effect->getParameter(effect, 0));
    if (!finiteExpected || frames <= 0) {
        return;
    }
    for (Sample* channel : inPlace ? inputs : outputs) {
        for (int i = 0; i < frames; ++i) {
            check(std::isfinite(channel[i]), "non-finite output for finite input", i);
        }
    }
}

}  // namespace

int driveDispatcher(const std::uint8_t* data, std::size_t size) {
    FuzzInput in(data, size);
    AEffect* effect = openInstance();
    reliability::DispatcherCall call;
    while (!in.empty()) {
        const int action = in.byte() % 10;
        if (action < 6) {
            // Mostly the opcodes of the interface, sometimes any 32-bit number.
            const std::int32_t opcode = action == 5 ? in.bits<std::int32_t>()
                                                    : static_cast<std::int32_t>(in.byte() % 93) - 2;
            const auto index = in.bits<std::int32_t>();
            auto value = static_cast<VstIntPtr>(in.bits<std::int64_t>());
            const auto opt = in.bits<float>();
            void* ptr = nullptr;
            call.prepare(opcode, value, ptr, in);
            const VstIntPtr result = effect->dispatcher(effect, opcode, index, value, ptr, opt);
            const char* broken = call.verify(result);
            check(broken == nullptr, broken == nullptr ? "" : broken, opcode);
            if (opcode == effClose) {
                effect = openInstance();  // the record is gone with its object
            }
        } else if (action == 6) {
            effect->setParameter(effect, in.bits<std::int32_t>() % 4, in.bits<float>());
        } else if (action == 7) {
            const float value = effect->getParameter(effect, in.bits<std::int32_t>() % 4);
            (void)value;
        } else if (action == 8) {
            processBlock<double>(effect, effect->processDoubleReplacing, in);
        } else {
            processBlock<float>(
                effect, (in.byte() & 1) != 0 ? effect->processReplacing : effect->process, in);
        }
    }
    effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
    return 0;
}

}  // namespace kavro::fuzz
