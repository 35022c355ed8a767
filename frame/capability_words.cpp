#include "capability_words.h"

namespace kavro {

const char* const kHostCapabilities[kHostCapabilityCount] = {
    "sendVstEvents",
    "sendVstMidiEvent",
    "sendVstTimeInfo",
    "receiveVstEvents",
    "receiveVstMidiEvent",
    "reportConnectionChanges",
    "acceptIOChanges",
    "sizeWindow",
    "offline",
    "openFileSelector",
    "closeFileSelector",
    "startStopProcess",
    "shellCategory",
    "sendVstMidiEventFlagIsRealtime",
};

const char* const kEffectCapabilities[kEffectCapabilityCount] = {
    "sendVstEvents",      "sendVstMidiEvent", "receiveVstEvents", "receiveVstMidiEvent",
    "receiveVstTimeInfo", "offline",          "midiProgramNames", "bypass",
};

}  // namespace kavro
