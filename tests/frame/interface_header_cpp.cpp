// vst_interface.h compiled alone as C++: it must be self-contained. Its layout
// checks are static_asserts, so compiling this file checks them for the
// build's pointer width; the test compares the C and C++ views.
#include "vst_interface.h"

#include <gtest/gtest.h>

extern "C" {
size_t kavroInterfaceRecordSizeC(void);
size_t kavroInterfaceFutureOffsetC(void);
VstInt32 kavroInterfaceMagicC(void);
}

static_assert(fourCharCode("VstP") == 0x56737450);
static_assert(fourCharCode("NoEf") == 0x4E6F4566);
static_assert(fourCharCode("NvEf") == 0x4E764566);
static_assert(kEffectMagic == 1450406992);
static_assert(kIdentifyAnswer == 1316373862);

TEST(InterfaceHeader, CAndCxxAgreeOnTheRecord) {
    EXPECT_EQ(kavroInterfaceRecordSizeC(), sizeof(AEffect));
    EXPECT_EQ(kavroInterfaceFutureOffsetC(), offsetof(AEffect, future));
    EXPECT_EQ(kavroInterfaceMagicC(), kEffectMagic);
    EXPECT_EQ(sizeof(AEffect), sizeof(void*) == 4 ? 144u : 192u);
}
