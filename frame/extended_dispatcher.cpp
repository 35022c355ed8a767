// The extended dispatcher: opcodes 25 to 79 reach the
// operations of EffectExtended or the attached editor; every other opcode
// goes to the EffectBase dispatcher, called non-virtually.
#include <cmath>
#include <cstdint>

#include "EffectExtended.h"

namespace {

// Rule "1 / 0": a boolean result answers 1 or 0.
VstIntPtr oneOrZero(bool result) noexcept {
    return result ? 1 : 0;
}

// Rule "byte": the boolean's byte value, widened without sign.
VstIntPtr byteOf(bool result) noexcept {
    return static_cast<VstIntPtr>(static_cast<unsigned char>(result));
}

// The low 32 bits of value, for operations that take a 32-bit integer.
std::int32_t low32(VstIntPtr value) noexcept {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(
        static_cast<std::uint64_t>(static_cast<std::int64_t>(value)) & 0xFFFFFFFFu));
}

// The low 8 bits of opt truncated toward zero, without the undefined
// behaviour of converting an out-of-range float straight to an integer.
// NaN gives 0; magnitudes beyond 2^63 saturate first (their low 8 bits are
// then those of the saturated value; such keys do not exist in practice).
unsigned char modifierOf(float opt) noexcept {
    if (std::isnan(opt)) {
        return 0;
    }
    const double truncated = std::trunc(static_cast<double>(opt));
    std::int64_t whole;
    if (truncated >= 9223372036854775807.0) {
        whole = INT64_MAX;
    } else if (truncated <= -9223372036854775808.0) {
        whole = INT64_MIN;
    } else {
        whole = static_cast<std::int64_t>(truncated);
    }
    return static_cast<unsigned char>(static_cast<std::uint64_t>(whole) & 0xFFu);
}

VstKeyCode keyRecord(std::int32_t index, VstIntPtr value, float opt) noexcept {
    VstKeyCode key;
    key.character = index;
    key.virt = static_cast<unsigned char>(static_cast<std::uint64_t>(value) & 0xFFu);
    key.modifier = modifierOf(opt);
    return key;
}

}  // namespace

VstIntPtr EffectExtended::dispatcher(std::int32_t opcode, std::int32_t index, VstIntPtr value,
                                     void* ptr, float opt) noexcept {
    // One unsigned comparison: negative opcodes fall outside too.
    if (static_cast<std::uint32_t>(opcode) - 25u <= 54u) {
        switch (opcode) {
            case effProcessEvents:
                return processEvents(ptr);
            case effCanBeAutomated:
                return oneOrZero(canBeAutomated(index));
            case effString2Parameter:
                return oneOrZero(string2Parameter(index, static_cast<const char*>(ptr)));
            case effGetProgramNameIndexed:
                return oneOrZero(
                    getProgramNameIndexed(low32(value), index, static_cast<char*>(ptr)));
            case effGetInputProperties:
                return oneOrZero(getInputProperties(index, ptr));
            case effGetOutputProperties:
                return oneOrZero(getOutputProperties(index, ptr));
            case effGetPlugCategory:
                return getPlugCategory();
            case effOfflineNotify:
                return byteOf(offlineNotify(ptr, low32(value), index != 0));
            case effOfflinePrepare:
                return byteOf(offlinePrepare(ptr, low32(value)));
            case effOfflineRun:
                return byteOf(offlineRun(ptr, low32(value)));
            case effProcessVarIo:
                return oneOrZero(processVarIo(ptr));
            case effSetSpeakerArrangement:
                return oneOrZero(
                    setSpeakerArrangement(reinterpret_cast<VstSpeakerArrangement*>(value),
                                          static_cast<VstSpeakerArrangement*>(ptr)));
            case effSetBypass:
                return oneOrZero(setBypass(value != 0));
            case effGetEffectName:
                return oneOrZero(getEffectName(static_cast<char*>(ptr)));
            case effGetVendorString:
                return oneOrZero(getVendorString(static_cast<char*>(ptr)));
            case effGetProductString:
                return oneOrZero(getProductString(static_cast<char*>(ptr)));
            case effGetVendorVersion:
                return getVendorVersion();
            case effVendorSpecific:
                return vendorSpecific(index, value, ptr, opt);
            case effCanDo:
                return canDo(static_cast<const char*>(ptr));
            case effGetTailSize:
                return getTailSize();
            case effGetParameterProperties:
                return oneOrZero(getParameterProperties(index, ptr));
            case effGetVstVersion:
                return getVstVersion();
            case effEditKeyDown:
            case effEditKeyUp: {
                if (editor == nullptr) {
                    return 0;
                }
                VstKeyCode key = keyRecord(index, value, opt);
                return oneOrZero(opcode == effEditKeyDown ? editor->keyDown(key)
                                                          : editor->keyUp(key));
            }
            case effSetEditKnobMode:
                return editor == nullptr ? 0 : oneOrZero(editor->setKnobMode(low32(value)));
            case effGetMidiProgramName:
                return getMidiProgramName(index, ptr);
            case effGetCurrentMidiProgram:
                return getCurrentMidiProgram(index, ptr);
            case effGetMidiProgramCategory:
                return getMidiProgramCategory(index, ptr);
            case effHasMidiProgramsChanged:
                return oneOrZero(hasMidiProgramsChanged(index));
            case effGetMidiKeyName:
                return oneOrZero(getMidiKeyName(index, ptr));
            case effBeginSetProgram:
                return oneOrZero(beginSetProgram());
            case effEndSetProgram:
                return oneOrZero(endSetProgram());
            case effGetSpeakerArrangement:
                return oneOrZero(
                    getSpeakerArrangement(reinterpret_cast<VstSpeakerArrangement**>(value),
                                          static_cast<VstSpeakerArrangement**>(ptr)));
            case effShellGetNextPlugin:
                return shellGetNextPlugin(static_cast<char*>(ptr));
            case effStartProcess:
                return startProcess();
            case effStopProcess:
                return stopProcess();
            case effSetTotalSampleToProcess:
                return setTotalSampleToProcess(low32(value));
            case effSetPanLaw:
                return oneOrZero(setPanLaw(low32(value), opt));
            case effBeginLoadBank:
                return beginLoadBank(ptr);
            case effBeginLoadProgram:
                return beginLoadProgram(ptr);
            case effSetProcessPrecision:
                return oneOrZero(setProcessPrecision(low32(value)));
            case effGetNumMidiInputChannels:
                return getNumMidiInputChannels();
            case effGetNumMidiOutputChannels:
                return getNumMidiOutputChannels();
            default:
                break;  // 28, 30, 31, 32, 36, 37, 43, 46, 53, 54, 55, 57
        }
    }
    return EffectBase::dispatcher(opcode, index, value, ptr, opt);
}
