#include "recording_host.h"

RecordingHost& recordingHost() {
    static RecordingHost host;
    return host;
}

VstIntPtr VSTCALLBACK recordingCallback(AEffect* effect, VstInt32 opcode, VstInt32 index,
                                        VstIntPtr value, void* ptr, float opt) {
    RecordingHost& host = recordingHost();
    host.calls.push_back(HostCall{effect, opcode, index, value, ptr, opt});
    return host.answer;
}
