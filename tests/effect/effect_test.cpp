// VarispeedEffect constructed directly: construction values,
// parameters, the two processing calls on two instances, and
// createEffect's answer when an allocation fails.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <random>
#include <vector>

#include "EffectBase.h"
#include "VarispeedEffect.h"
#include "varispeed_state.h"
#include "vst_interface.h"

// ---------------------------------------------------------------------------
// Test-only allocation hook: this test binary replaces the nothrow forms of
// the global operator new (a replacement the language allows), so a test can
// make the n-th nothrow allocation fail. The product is unchanged: it only
// uses the nothrow forms for the object and the rings.
// ---------------------------------------------------------------------------

namespace {
int failNothrowAllocationNumber = 0;  // 0: never fail; n: fail the n-th from now
int nothrowAllocationsSeen = 0;

bool shouldFail() noexcept {
    if (failNothrowAllocationNumber == 0) {
        return false;
    }
    return ++nothrowAllocationsSeen == failNothrowAllocationNumber;
}
}  // namespace

void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    if (shouldFail()) {
        return nullptr;
    }
    try {
        return ::operator new(size);
    } catch (...) {
        return nullptr;
    }
}

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    if (shouldFail()) {
        return nullptr;
    }
    try {
        return ::operator new[](size);
    } catch (...) {
        return nullptr;
    }
}

namespace {

VstIntPtr VSTCALLBACK silentHost(AEffect*, VstInt32, VstInt32, VstIntPtr, void*, float) {
    return 0;
}

EffectBase* createWithFailingAllocation(int number) {
    failNothrowAllocationNumber = number;
    nothrowAllocationsSeen = 0;
    EffectBase* effect = createEffect(silentHost);
    failNothrowAllocationNumber = 0;
    return effect;
}

TEST(CreateEffect, AnswersAnEffectWhenEveryAllocationSucceeds) {
    EffectBase* effect = createWithFailingAllocation(0);
    ASSERT_NE(effect, nullptr);
    EXPECT_TRUE(static_cast<VarispeedEffect*>(effect)->ringsAllocated());
    EXPECT_EQ(effect->getDescriptor()->object, effect);
    delete effect;
}

// The object is the first nothrow allocation, ringLeft the second, ringRight
// the third: each failure gives null (nothing half-built is handed out).
TEST(CreateEffectOutOfMemory, AnswersNullWhenAnyOfItsAllocationsFails) {
    const struct {
        int allocation;
        const char* what;
    } cases[] = {{1, "the object"}, {2, "the left ring"}, {3, "the right ring"}};
    for (const auto& c : cases) {
        EXPECT_EQ(createWithFailingAllocation(c.allocation), nullptr) << c.what;
    }
}

TEST(CreateEffectOutOfMemory, AStateWithoutRingsSaysSo) {
    failNothrowAllocationNumber = 2;
    nothrowAllocationsSeen = 0;
    kavro::VarispeedState state;  // not heap-allocated: rings are 1st and 2nd
    failNothrowAllocationNumber = 0;
    EXPECT_FALSE(state.ringsAllocated());
    EXPECT_EQ(state.ringLeft, nullptr);
    EXPECT_EQ(state.ringRight, nullptr);
}

// ---------------------------------------------------------------------------
// Construction, descriptor and parameters
// ---------------------------------------------------------------------------

TEST(VarispeedEffectObject, DescriptorSettings) {
    VarispeedEffect effect(silentHost);
    const AEffect* d = effect.getDescriptor();
    EXPECT_EQ(d->magic, kEffectMagic);
    EXPECT_EQ(d->uniqueID, 0x514B7672);
    EXPECT_EQ(d->numPrograms, 1);
    EXPECT_EQ(d->numParams, 2);
    EXPECT_EQ(d->numInputs, 2);
    EXPECT_EQ(d->numOutputs, 2);
    EXPECT_EQ(d->flags, 0x1010);
    EXPECT_EQ(d->initialDelay, 0);
}

TEST(VarispeedEffectObject, FreshParametersAndProgramName) {
    VarispeedEffect effect(silentHost);
    EXPECT_EQ(effect.getParameter(0), 1.0f);
    EXPECT_EQ(effect.getParameter(1), 0.125f);
    EXPECT_EQ(effect.getParameter(2), 0.0f);
    EXPECT_EQ(effect.getParameter(-1), 0.0f);
    char name[kProgramNameBound + 1];
    effect.getProgramName(name);
    EXPECT_STREQ(name, "Default");
    EXPECT_EQ(effect.getVendorVersion(), 1001);
}

TEST(VarispeedEffectObject, ParametersAreStoredUnclampedAndOtherIndicesIgnored) {
    VarispeedEffect effect(silentHost);
    effect.setParameter(0, 1.5f);
    effect.setParameter(1, -3.0f);
    effect.setParameter(2, 0.7f);
    EXPECT_EQ(effect.getParameter(0), 1.5f);
    EXPECT_EQ(effect.getParameter(1), -3.0f);
    EXPECT_EQ(effect.getParameter(2), 0.0f);
    EXPECT_EQ(effect.processingState().speed.load(), 1.5f);
    EXPECT_EQ(effect.processingState().length.load(), -3.0f);
}

// ---------------------------------------------------------------------------
// ProcessReplacing runs the same processing on the same state
// ---------------------------------------------------------------------------

TEST(SinglePrecisionProcessing, FloatCallEqualsDoubleCallNarrowedOnTwoInstances) {
    for (float speed : {1.0f, 0.5f, 0.8f, 1.25f}) {
        VarispeedEffect viaDouble(silentHost);
        VarispeedEffect viaFloat(silentHost);
        viaDouble.setParameter(0, speed);
        viaFloat.setParameter(0, speed);
        viaDouble.setParameter(1, 0.0f);  // armed on every call
        viaFloat.setParameter(1, 0.0f);
        std::mt19937 random(11u);
        std::uniform_real_distribution<float> sample(-1.0f, 1.0f);
        std::uniform_int_distribution<std::int32_t> blockSize(0, 2048);
        std::int32_t frameCount = 0;
        for (int call = 0; call < 80; ++call) {
            const std::int32_t size = blockSize(random);
            std::vector<float> fl(size), fr(size), ofl(size, 9.0f), ofr(size, 9.0f);
            std::vector<double> dl(size), dr(size), odl(size), odr(size);
            for (std::int32_t i = 0; i < size; ++i) {
                fl[i] = sample(random);
                fr[i] = sample(random);
                dl[i] = fl[i];
                dr[i] = fr[i];
            }
            float* fin[2] = {fl.data(), fr.data()};
            float* fout[2] = {ofl.data(), ofr.data()};
            double* din[2] = {dl.data(), dr.data()};
            double* dout[2] = {odl.data(), odr.data()};
            viaDouble.processDoubleReplacing(din, dout, size);
            viaFloat.processReplacing(fin, fout, size);
            for (std::int32_t i = 0; i < size; ++i) {
                const float left = static_cast<float>(odl[i]);
                const float right = static_cast<float>(odr[i]);
                ASSERT_EQ(std::memcmp(&left, &ofl[i], sizeof left), 0)
                    << "speed " << speed << " frame " << frameCount + i;
                ASSERT_EQ(std::memcmp(&right, &ofr[i], sizeof right), 0)
                    << "speed " << speed << " frame " << frameCount + i;
            }
            frameCount += size;
        }
        EXPECT_GT(frameCount, 257);
    }
}

TEST(SinglePrecisionProcessing, BothCallsShareOneStateOnOneInstance) {
    VarispeedEffect effect(silentHost);
    std::vector<float> fl(300), fr(300), ofl(300), ofr(300);
    std::vector<double> dl(300), dr(300), odl(300), odr(300);
    for (int i = 0; i < 300; ++i) {
        fl[i] = static_cast<float>(i + 1);
        fr[i] = -static_cast<float>(i + 1);
        dl[i] = 1000.0 + i;
        dr[i] = -1000.0 - i;
    }
    float* fin[2] = {fl.data(), fr.data()};
    float* fout[2] = {ofl.data(), ofr.data()};
    double* din[2] = {dl.data(), dr.data()};
    double* dout[2] = {odl.data(), odr.data()};
    effect.processReplacing(fin, fout, 300);        // frames 0..299
    effect.processDoubleReplacing(din, dout, 300);  // frames 300..599
    // Frame k of the double call is overall frame 300 + k = input frame 43 + k.
    EXPECT_EQ(odl[0], 44.0);
    EXPECT_EQ(odr[0], -44.0);
    EXPECT_EQ(odl[256], 300.0);
    EXPECT_EQ(odl[257], 1000.0);
    EXPECT_EQ(ofl[257], 1.0f);
    EXPECT_EQ(effect.processingState().blockCounter, 2);
}

}  // namespace
