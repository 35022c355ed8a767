// EffectBase: the abstract base of every effect. It owns the descriptor record
// the host sees, turns the base opcodes 0 to 24 into virtual operations and
// sends the base requests to the host. Every operation has a harmless default
// except processReplacing, which every concrete effect supplies.
#pragma once

#include <cstdint>

#include "EffectEditor.h"
#include "vst_interface.h"

class EffectBase {
  public:
    EffectBase(audioMasterCallback hostCallback, std::int32_t numPrograms,
               std::int32_t numParams) noexcept;
    EffectBase(const EffectBase&) = delete;
    EffectBase& operator=(const EffectBase&) = delete;

    // Deletes the attached editor, if any.
    virtual ~EffectBase();

    // The order of these operations is the interface's order; keep it.
    virtual VstIntPtr dispatcher(std::int32_t opcode, std::int32_t index, VstIntPtr value,
                                 void* ptr, float opt) noexcept;
    virtual void open() noexcept {}
    virtual void close() noexcept {}
    virtual void suspend() noexcept {}
    virtual void resume() noexcept {}
    virtual void setSampleRate(float rate) noexcept;
    virtual void setBlockSize(std::int32_t size) noexcept;
    // [audio thread] replaces outputs
    virtual void processReplacing(float** inputs, float** outputs,
                                  std::int32_t sampleFrames) noexcept = 0;
    // [audio thread] replaces outputs
    virtual void processDoubleReplacing(double** /*inputs*/, double** /*outputs*/,
                                        std::int32_t /*sampleFrames*/) noexcept {}
    virtual void setParameter(std::int32_t /*index*/, float /*value*/) noexcept {}
    virtual float getParameter(std::int32_t /*index*/) noexcept { return 0.0f; }
    // Sets the parameter, then tells the host it changed.
    virtual void setParameterAutomated(std::int32_t index, float value) noexcept;
    virtual std::int32_t getProgram() noexcept { return currentProgram; }
    virtual void setProgram(std::int32_t program) noexcept { currentProgram = program; }
    virtual void setProgramName(const char* /*name*/) noexcept {}
    // Text getters write into a host buffer of bound + 1 bytes (vst_interface.h).
    virtual void getProgramName(char* name) noexcept;
    virtual void getParamLabel(std::int32_t index, char* label) noexcept;
    virtual void getParamDisplay(std::int32_t index, char* text) noexcept;
    virtual void getParamName(std::int32_t index, char* text) noexcept;
    // data: where the effect stores the address of its chunk; answers its size.
    virtual std::int32_t getChunk(void** /*data*/, bool /*isPreset*/) noexcept { return 0; }
    virtual std::int32_t setChunk(void* /*data*/, std::int32_t /*byteSize*/,
                                  bool /*isPreset*/) noexcept {
        return 0;
    }
    virtual void setUniqueID(std::int32_t id) noexcept;
    virtual void setNumInputs(std::int32_t count) noexcept;
    virtual void setNumOutputs(std::int32_t count) noexcept;
    virtual void setFlagCanReplacing(bool state) noexcept;
    virtual void setFlagCanDoubleReplacing(bool state) noexcept;
    virtual void setFlagProgramChunks(bool state) noexcept;
    virtual void setInitialDelay(std::int32_t delay) noexcept;
    virtual EffectEditor* getEditor() noexcept { return editor; }
    virtual AEffect* getDescriptor() noexcept { return &descriptor; }
    virtual float getSampleRate() noexcept { return sampleRate; }
    virtual std::int32_t getBlockSize() noexcept { return blockSize; }
    virtual std::int32_t hostVersion() noexcept;
    virtual std::int32_t hostCurrentId() noexcept;
    virtual void hostIdle() noexcept;
    // Value texts: write at most maxLen characters and a zero byte at maxLen.
    virtual void dB2string(float value, char* text, std::int32_t maxLen) noexcept;
    virtual void Hz2string(float value, char* text, std::int32_t maxLen) noexcept;
    virtual void ms2string(float value, char* text, std::int32_t maxLen) noexcept;
    virtual void float2string(float value, char* text, std::int32_t maxLen) noexcept;
    virtual void int2string(std::int32_t value, char* text, std::int32_t maxLen) noexcept;
    // [audio thread] accumulating single precision; unused by the product
    virtual void process(float** /*inputs*/, float** /*outputs*/,
                         std::int32_t /*sampleFrames*/) noexcept {}
    virtual float getVu() noexcept { return 0.0f; }
    virtual void setFlagHasVu(bool state) noexcept;
    virtual void setFlagHasClip(bool state) noexcept;
    virtual void setFlagCanMono(bool state) noexcept;
    virtual void setRealQualities(std::int32_t quality) noexcept;
    virtual void setOffQualities(std::int32_t quality) noexcept;
    virtual bool hostInputConnected(std::int32_t index) noexcept;
    virtual bool hostOutputConnected(std::int32_t index) noexcept;

  protected:
    // Sets or clears one bit of descriptor.flags, leaving the others.
    void setFlag(std::int32_t mask, bool state) noexcept;

    // The host link and the audio settings it last gave us.
    audioMasterCallback hostCallback;  // may be null: requests then answer alone
    EffectEditor* editor;              // owned; editor opcodes act only while set
    float sampleRate;                  // Hz, 44100 until the host says otherwise
    std::int32_t blockSize;            // frames, the host's maximum block
    std::int32_t numPrograms;          // bound of effSetProgram
    std::int32_t currentProgram;

    // The record handed to the host; its address never changes and its
    // `object` field points back here for the object's whole life.
    AEffect descriptor;
};

// Supplied by the product: makes one effect on the heap with the host's
// callback, or answers null when no memory could be had. The caller owns it;
// the close opcode deletes it.
EffectBase* createEffect(audioMasterCallback hostCallback) noexcept;
