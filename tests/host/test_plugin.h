// What the test plug-in modules record about the host's calls, read by the
// tests through the module's exported kavroTestStats().
#pragma once

#include <cstdint>

struct KavroTestStats {
    int created;                 // effects made by the entry point
    int opened;                  // effOpen
    int closed;                  // effClose
    int mainsOn;                 // effMainsChanged 1
    int mainsOff;                // effMainsChanged 0
    int startProcess;            // effStartProcess
    int stopProcess;             // effStopProcess
    int processFloat;            // processReplacing calls
    int processDouble;           // processDoubleReplacing calls
    intptr_t probeAnswer;        // answer to the version probe (null effect)
    intptr_t ctorSampleRate;     // audioMasterGetSampleRate asked from the constructor
    intptr_t ctorBlockSize;      // audioMasterGetBlockSize asked from the constructor
    intptr_t ctorUnknownAnswer;  // answer to an opcode the host does not serve
    float lastSampleRate;        // effSetSampleRate
    intptr_t lastBlockSize;      // effSetBlockSize
    intptr_t lastPrecision;      // effSetProcessPrecision (-1 when never sent)
    int maxFrames;               // largest block processed
};

using KavroTestStatsProc = KavroTestStats* (*)();
