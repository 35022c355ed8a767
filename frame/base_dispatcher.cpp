// The base dispatcher, opcodes 0 to 24. Each opcode calls at most
// one virtual operation; the opcode is tested as an unsigned number, so
// negative opcodes answer 0 like every unknown one.
#include <cstdint>

#include "EffectBase.h"

VstIntPtr EffectBase::dispatcher(std::int32_t opcode, std::int32_t index, VstIntPtr value,
                                 void* ptr, float opt) noexcept {
    switch (static_cast<std::uint32_t>(opcode)) {
        case effOpen:
            open();
            return 0;
        case effClose:
            close();
            return 0;
        case effSetProgram:
            // Signed comparison with no lower bound: -1 is stored.
            if (value < static_cast<VstIntPtr>(numPrograms)) {
                setProgram(static_cast<std::int32_t>(value));
            }
            return 0;
        case effGetProgram:
            return getProgram();
        case effSetProgramName:
            setProgramName(static_cast<const char*>(ptr));
            return 0;
        case effGetProgramName:
            getProgramName(static_cast<char*>(ptr));
            return 0;
        case effGetParamLabel:
            getParamLabel(index, static_cast<char*>(ptr));
            return 0;
        case effGetParamDisplay:
            getParamDisplay(index, static_cast<char*>(ptr));
            return 0;
        case effGetParamName:
            getParamName(index, static_cast<char*>(ptr));
            return 0;
        case effSetSampleRate:
            setSampleRate(opt);
            return 0;
        case effSetBlockSize:
            setBlockSize(static_cast<std::int32_t>(value));
            return 0;
        case effMainsChanged:
            if (value != 0) {
                resume();
            } else {
                suspend();
            }
            return 0;
        case effEditGetRect:
            if (editor != nullptr) {
                return editor->getRect(ptr) ? 1 : 0;
            }
            return 0;
        case effEditOpen:
            if (editor != nullptr) {
                return editor->open(ptr) ? 1 : 0;
            }
            return 0;
        case effEditClose:
            if (editor != nullptr) {
                editor->close();
            }
            return 0;
        case effEditIdle:
            if (editor != nullptr) {
                editor->idle();
            }
            return 0;
        case effIdentify:
            return kIdentifyAnswer;
        case effGetChunk:
            return getChunk(static_cast<void**>(ptr), index != 0);
        case effSetChunk:
            return setChunk(ptr, static_cast<std::int32_t>(value), index != 0);
        default:
            // 9, 16 to 18, 20, 21 and everything outside 0 to 24.
            return 0;
    }
}
