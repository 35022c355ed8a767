/* vst_interface.h compiled alone as C (C11): it must be self-contained. */
#include "vst_interface.h"

/* Reports the record as the C compiler lays it out. */
size_t kavroInterfaceRecordSizeC(void);
size_t kavroInterfaceFutureOffsetC(void);
VstInt32 kavroInterfaceMagicC(void);

size_t kavroInterfaceRecordSizeC(void) {
    return sizeof(AEffect);
}
size_t kavroInterfaceFutureOffsetC(void) {
    return offsetof(AEffect, future);
}
VstInt32 kavroInterfaceMagicC(void) {
    return kEffectMagic;
}
