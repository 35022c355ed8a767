// The audio thread processes while a host's other thread changes both
// parameters and reads their display texts through the dispatcher, as hosts
// do during automation. Under ThreadSanitizer this must report no race; in
// every build the texts stay inside their bounds and the outputs stay finite.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <thread>
#include <vector>

#include "EffectBase.h"
#include "vst_interface.h"

namespace {

VstIntPtr VSTCALLBACK hostCallback(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? kVstVersion : 0;
}

constexpr int kBlocks = 20000;
constexpr int kFrames = 128;
constexpr int kOverlapRounds = 100;  // host rounds that must run during processing
constexpr int kCanaryBytes = 8;
constexpr char kCanary = '\x7f';

TEST(Concurrency, ProcessingWhileAnotherThreadSetsParametersAndReadsTheirTexts) {
    EffectBase* object = createEffect(hostCallback);
    ASSERT_NE(object, nullptr);
    AEffect* effect = object->getDescriptor();
    effect->dispatcher(effect, effMainsChanged, 0, 1, nullptr, 0.0f);

    std::atomic<bool> processing{true};
    std::atomic<bool> hostStarted{false};
    std::atomic<int> hostRounds{0};
    std::atomic<int> nonFinite{0};
    std::thread audio([&] {
        std::vector<double> inD(kFrames), outLD(kFrames), outRD(kFrames);
        std::vector<float> inF(kFrames), outLF(kFrames), outRF(kFrames);
        for (int i = 0; i < kFrames; ++i) {
            inD[static_cast<std::size_t>(i)] = std::sin(0.1 * i);
            inF[static_cast<std::size_t>(i)] = static_cast<float>(std::sin(0.07 * i));
        }
        double* inputsD[2] = {inD.data(), inD.data()};
        double* outputsD[2] = {outLD.data(), outRD.data()};
        float* inputsF[2] = {inF.data(), inF.data()};
        float* outputsF[2] = {outLF.data(), outRF.data()};
        while (!hostStarted.load()) {
            std::this_thread::yield();
        }
        // Keeps processing until host calls have run alongside it, however
        // the two threads happen to be scheduled.
        for (int block = 0; block < kBlocks || hostRounds.load() < kOverlapRounds; ++block) {
            effect->processDoubleReplacing(effect, inputsD, outputsD, kFrames);
            effect->processReplacing(effect, inputsF, outputsF, kFrames);
            for (int i = 0; i < kFrames; ++i) {
                const auto k = static_cast<std::size_t>(i);
                if (!std::isfinite(outLD[k]) || !std::isfinite(outRD[k]) ||
                    !std::isfinite(outLF[k]) || !std::isfinite(outRF[k])) {
                    nonFinite.fetch_add(1, std::memory_order_relaxed);
                }
            }
        }
        processing.store(false);
    });

    // Finite values in and out of 0..1: the outputs must stay finite for all.
    const float speeds[] = {0.0f, 0.25f, 0.5f, 0.9f, 1.0f, 1.5f, 2.0f, -0.5f};
    const float lengths[] = {0.0f, 0.015625f, 0.125f, 0.5f, 1.0f};
    int round = 0;
    int badTexts = 0;
    hostStarted.store(true);
    while (processing.load()) {
        effect->setParameter(effect, 0, speeds[round % 8]);
        effect->setParameter(effect, 1, lengths[round % 5]);
        for (VstInt32 index = 0; index < 2; ++index) {
            char text[kParamTextBound + 1 + kCanaryBytes];
            std::memset(text, kCanary, sizeof text);
            effect->dispatcher(effect, effGetParamDisplay, index, 0, text, 0.0f);
            const bool terminated = std::memchr(text, 0, kParamTextBound + 1) != nullptr;
            bool canariesIntact = true;
            for (int i = kParamTextBound + 1; i < kParamTextBound + 1 + kCanaryBytes; ++i) {
                canariesIntact = canariesIntact && text[i] == kCanary;
            }
            badTexts += terminated && canariesIntact ? 0 : 1;
            [[maybe_unused]] const float value = effect->getParameter(effect, index);
        }
        hostRounds.store(++round);
    }
    audio.join();
    effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);

    EXPECT_EQ(badTexts, 0);
    EXPECT_EQ(nonFinite.load(), 0);
}

}  // namespace
