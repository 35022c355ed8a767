// EffectExtended: the effect class carrying the version-2 part of the VST 2.4
// interface. It adds one virtual operation per
// version-2 dispatcher opcode, the further host requests, four flag setters,
// the speaker-arrangement helpers, and replaces the dispatcher and resume.
// Every added operation has a default, so a derived effect overrides only
// what it supports. The class adds no data members.
#pragma once

#include <cstdint>

#include "EffectBase.h"
#include "vst_interface.h"

class EffectExtended : public EffectBase {
  public:
    // Constructs EffectBase with the same three values; nothing else.
    EffectExtended(audioMasterCallback hostCallback, std::int32_t numPrograms,
                   std::int32_t numParams) noexcept;
    ~EffectExtended() override = default;

    // Opcodes 25..79; every other opcode goes to EffectBase's.
    VstIntPtr dispatcher(std::int32_t opcode, std::int32_t index, VstIntPtr value, void* ptr,
                         float opt) noexcept override;
    // Asks the host for MIDI when the synth flag is set or
    // canDo("receiveVstMidiEvent") answers exactly 1.
    void resume() noexcept override;

    // ---- Added virtual operations, in the interface's order (102). ----
    // Host records are passed as void*: no default reads or writes them.

    virtual bool canBeAutomated(std::int32_t /*index*/) noexcept { return true; }
    virtual bool string2Parameter(std::int32_t /*index*/, const char* /*text*/) noexcept {
        return false;
    }
    virtual bool getParameterProperties(std::int32_t /*index*/, void* /*properties*/) noexcept {
        return false;
    }
    virtual bool hostBeginEdit(std::int32_t index) noexcept;  // host 43
    virtual bool hostEndEdit(std::int32_t index) noexcept;    // host 44
    virtual bool getProgramNameIndexed(std::int32_t /*category*/, std::int32_t /*index*/,
                                       char* /*text*/) noexcept {
        return false;
    }
    virtual bool beginSetProgram() noexcept { return false; }
    virtual bool endSetProgram() noexcept { return false; }
    virtual std::int32_t beginLoadBank(void* /*patchChunkInfo*/) noexcept { return 0; }
    virtual std::int32_t beginLoadProgram(void* /*patchChunkInfo*/) noexcept { return 0; }
    virtual bool hostIOChanged() noexcept;              // host 13
    virtual float hostGetSampleRate() noexcept;         // host 16, refreshes sampleRate
    virtual std::int32_t hostGetBlockSize() noexcept;   // host 17, refreshes blockSize
    virtual VstIntPtr hostGetInputLatency() noexcept;   // host 18
    virtual VstIntPtr hostGetOutputLatency() noexcept;  // host 19
    virtual bool getInputProperties(std::int32_t /*index*/, void* /*pinProperties*/) noexcept {
        return false;
    }
    virtual bool getOutputProperties(std::int32_t /*index*/, void* /*pinProperties*/) noexcept {
        return false;
    }
    virtual bool setSpeakerArrangement(VstSpeakerArrangement* /*input*/,
                                       VstSpeakerArrangement* /*output*/) noexcept {
        return false;
    }
    // Default: stores null into each location that is not itself null; false.
    virtual bool getSpeakerArrangement(VstSpeakerArrangement** input,
                                       VstSpeakerArrangement** output) noexcept;
    virtual bool setBypass(bool /*on*/) noexcept { return false; }
    virtual bool setPanLaw(std::int32_t /*law*/, float /*gain*/) noexcept { return false; }
    virtual bool setProcessPrecision(std::int32_t /*precision*/) noexcept { return false; }
    virtual std::int32_t getNumMidiInputChannels() noexcept { return 0; }
    virtual std::int32_t getNumMidiOutputChannels() noexcept { return 0; }
    virtual VstIntPtr hostGetTime(std::int32_t filter) noexcept;  // host 7
    virtual VstIntPtr hostGetCurrentProcessLevel() noexcept;      // host 23
    virtual VstIntPtr hostGetAutomationState() noexcept;          // host 24
    virtual std::int32_t processEvents(void* /*events*/) noexcept { return 0; }
    virtual std::int32_t startProcess() noexcept { return 0; }
    virtual std::int32_t stopProcess() noexcept { return 0; }
    virtual bool processVarIo(void* /*varIo*/) noexcept { return false; }
    virtual std::int32_t setTotalSampleToProcess(std::int32_t value) noexcept { return value; }
    virtual bool hostGetVendorString(char* text) noexcept;   // host 32
    virtual bool hostGetProductString(char* text) noexcept;  // host 33
    virtual VstIntPtr hostGetVendorVersion() noexcept;       // host 34
    virtual VstIntPtr hostVendorSpecific(std::int32_t index, VstIntPtr value, void* ptr,
                                         float opt) noexcept;   // host 35
    virtual std::int32_t hostCanDo(const char* text) noexcept;  // host 37, 1 or 0
    virtual VstIntPtr hostGetLanguage() noexcept;               // host 38
    virtual void setFlagIsSynth(bool on) noexcept;              // bit 8
    virtual void setFlagNoSoundInStop(bool on) noexcept;        // bit 9
    virtual std::int32_t getTailSize() noexcept { return 0; }
    virtual VstIntPtr hostGetDirectory() noexcept;  // host 41
    virtual bool getEffectName(char* /*text*/) noexcept { return false; }
    virtual bool getVendorString(char* /*text*/) noexcept { return false; }
    virtual bool getProductString(char* /*text*/) noexcept { return false; }
    virtual std::int32_t getVendorVersion() noexcept { return 0; }
    virtual VstIntPtr vendorSpecific(std::int32_t /*index*/, VstIntPtr /*value*/, void* /*ptr*/,
                                     float /*opt*/) noexcept {
        return 0;
    }
    // 1 for a supported capability word (capability_words.h), else 0.
    virtual std::int32_t canDo(const char* /*word*/) noexcept { return 0; }
    virtual std::int32_t getVstVersion() noexcept { return kVstVersion; }
    // kPlugCategSynth when the synth flag is set, else kPlugCategUnknown.
    virtual std::int32_t getPlugCategory() noexcept;
    virtual std::int32_t getMidiProgramName(std::int32_t /*channel*/,
                                            void* /*midiProgramName*/) noexcept {
        return 0;
    }
    virtual std::int32_t getCurrentMidiProgram(std::int32_t /*channel*/,
                                               void* /*currentProgram*/) noexcept {
        return -1;
    }
    virtual std::int32_t getMidiProgramCategory(std::int32_t /*channel*/,
                                                void* /*category*/) noexcept {
        return 0;
    }
    virtual bool hasMidiProgramsChanged(std::int32_t /*channel*/) noexcept { return false; }
    virtual bool getMidiKeyName(std::int32_t /*channel*/, void* /*keyName*/) noexcept {
        return false;
    }
    virtual bool hostUpdateDisplay() noexcept;                                      // host 42
    virtual bool hostSizeWindow(std::int32_t width, std::int32_t height) noexcept;  // host 15
    virtual bool hostOpenFileSelector(void* fileSelect) noexcept;   // host 45, null: false
    virtual bool hostCloseFileSelector(void* fileSelect) noexcept;  // host 46, null: false
    virtual std::int32_t shellGetNextPlugin(char* /*name*/) noexcept { return 0; }
    // Replaces the block at *location by a zero-filled one of numChannels
    // speakers (general-purpose allocator). False, location null, on failure.
    virtual bool allocateArrangement(VstSpeakerArrangement** location,
                                     std::int32_t numChannels) noexcept;
    // Releases the block at *location, if any, and sets it null; true.
    virtual bool deallocateArrangement(VstSpeakerArrangement** location) noexcept;
    virtual bool copySpeaker(VstSpeakerProperties* to, const VstSpeakerProperties* from) noexcept;
    // Makes *location a copy of `from`; `from` may be the block at *location.
    virtual bool matchArrangement(VstSpeakerArrangement** location,
                                  const VstSpeakerArrangement* from) noexcept;
    virtual bool hostOfflineRead(void* offline, std::int32_t option,
                                 bool readSource) noexcept;                      // host 26
    virtual bool hostOfflineWrite(void* offline, std::int32_t option) noexcept;  // host 27
    virtual bool hostOfflineStart(void* audioFiles, std::int32_t numAudioFiles,
                                  std::int32_t numNewAudioFiles) noexcept;  // host 25
    virtual std::int32_t hostOfflineGetCurrentPass() noexcept;              // host 28, 1 or 0
    virtual std::int32_t hostOfflineGetCurrentMetaPass() noexcept;          // host 29, 1 or 0
    virtual bool offlineNotify(void* /*audioFiles*/, std::int32_t /*count*/,
                               bool /*start*/) noexcept {
        return false;
    }
    virtual bool offlinePrepare(void* /*offline*/, std::int32_t /*count*/) noexcept {
        return false;
    }
    virtual bool offlineRun(void* /*offline*/, std::int32_t /*count*/) noexcept { return false; }

    // Further operations 1 and 2 of 13 (after offlineRun): nothing calls them.
    virtual std::int32_t unnamedZeroQuery1() noexcept { return 0; }
    virtual std::int32_t unnamedZeroQuery2() noexcept { return 0; }

    virtual void hostWantMidi(std::int32_t filter) noexcept;        // host 6
    virtual VstIntPtr hostTempoAt(std::int32_t position) noexcept;  // host 10
    virtual VstIntPtr hostGetNumAutomatableParameters() noexcept;   // host 11
    virtual VstIntPtr hostGetParameterQuantization() noexcept;      // host 12

    // Further operation 3 of 13 (answers 1): nothing calls it.
    virtual std::int32_t unnamedOneQuery3() noexcept { return 1; }
    // Further operation 4 of 13 (one argument, answers false): nothing calls it.
    virtual bool unnamedFlagQuery4(std::int32_t /*argument*/) noexcept { return false; }

    virtual bool hostNeedIdle() noexcept;                              // host 14
    virtual VstIntPtr hostGetPreviousPlug(std::int32_t pin) noexcept;  // host 20, pin not sent
    virtual VstIntPtr hostGetNextPlug(std::int32_t pin) noexcept;      // host 21, pin not sent

    // Further operations 5 and 6 of 13 (two arguments, do nothing): nothing calls them.
    virtual void unnamedAction5(std::int32_t /*first*/, std::int32_t /*second*/) noexcept {}
    virtual void unnamedAction6(std::int32_t /*first*/, std::int32_t /*second*/) noexcept {}

    virtual VstIntPtr hostWillReplaceOrAccumulate() noexcept;  // host 22
    virtual void setFlagExtIsAsync(bool on) noexcept;          // bit 10
    virtual void setFlagExtHasBuffer(bool on) noexcept;        // bit 11

    // Further operations 7 and 8 of 13 (answer 0): nothing calls them.
    virtual std::int32_t unnamedZeroQuery7() noexcept { return 0; }
    virtual std::int32_t unnamedZeroQuery8() noexcept { return 0; }

    virtual void hostSetOutputSampleRate(float rate) noexcept;     // host 30
    virtual VstIntPtr hostGetInputSpeakerArrangement() noexcept;   // host 49
    virtual VstIntPtr hostGetOutputSpeakerArrangement() noexcept;  // host 31
    virtual VstIntPtr hostOpenWindow(void* window) noexcept;       // host 39
    virtual bool hostCloseWindow(void* window) noexcept;           // host 40
    // Stores into the cached blockSize and sampleRate; calls no setter.
    virtual void setBlockSizeAndSampleRate(std::int32_t size, float rate) noexcept;

    // Further operation 9 of 13 (one argument, answers false): nothing calls it.
    virtual bool unnamedFlagQuery9(std::int32_t /*argument*/) noexcept { return false; }
    // Further operation 10 of 13 (answers 0): nothing calls it.
    virtual std::int32_t unnamedZeroQuery10() noexcept { return 0; }
    // Further operation 11 of 13 (two arguments, answers false): nothing calls it.
    virtual bool unnamedFlagQuery11(std::int32_t /*first*/, std::int32_t /*second*/) noexcept {
        return false;
    }
    // Further operation 12 of 13 (answers 0): nothing calls it.
    virtual std::int32_t unnamedZeroQuery12() noexcept { return 0; }
    // Further operation 13 of 13 (answers false): nothing calls it.
    virtual bool unnamedFlagQuery13() noexcept { return false; }

    virtual bool hostGetChunkFile(char* path) noexcept;  // host 48, null: false
};
