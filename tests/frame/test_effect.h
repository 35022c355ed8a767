// A small concrete effect for the frame's tests: it records every virtual
// operation the frame calls on it (name and arguments, in order) and then
// runs EffectBase's default, so the defaults' effects stay observable.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "EffectBase.h"
#include "EffectEditor.h"

class TestEffect : public EffectBase {
  public:
    explicit TestEffect(audioMasterCallback hostCallback = nullptr, std::int32_t numPrograms = 4,
                        std::int32_t numParams = 2) noexcept;
    ~TestEffect() override;

    // What the frame called, in order, e.g. "setProgram(3)".
    std::vector<std::string> calls;
    // The last pointer argument any recorded operation received.
    const void* lastPtr = nullptr;
    // Incremented by the destructor when set.
    int* destructions = nullptr;
    // Answers of the chunk operations.
    std::int32_t getChunkAnswer = 0;
    std::int32_t setChunkAnswer = 0;
    // Parameter values kept by setParameter, answered by getParameter.
    float parameters[4] = {};

    // Access to the protected state, for the tests.
    audioMasterCallback callbackMember() const { return hostCallback; }
    EffectEditor* editorMember() const { return editor; }
    float sampleRateMember() const { return sampleRate; }
    std::int32_t blockSizeMember() const { return blockSize; }
    std::int32_t numProgramsMember() const { return numPrograms; }
    std::int32_t currentProgramMember() const { return currentProgram; }
    void attachEditor(EffectEditor* attached) { editor = attached; }

    void open() noexcept override;
    void close() noexcept override;
    void suspend() noexcept override;
    void resume() noexcept override;
    void setSampleRate(float rate) noexcept override;
    void setBlockSize(std::int32_t size) noexcept override;
    void processReplacing(float** inputs, float** outputs,
                          std::int32_t sampleFrames) noexcept override;
    void processDoubleReplacing(double** inputs, double** outputs,
                                std::int32_t sampleFrames) noexcept override;
    void setParameter(std::int32_t index, float value) noexcept override;
    float getParameter(std::int32_t index) noexcept override;
    std::int32_t getProgram() noexcept override;
    void setProgram(std::int32_t program) noexcept override;
    void setProgramName(const char* name) noexcept override;
    void getProgramName(char* name) noexcept override;
    void getParamLabel(std::int32_t index, char* label) noexcept override;
    void getParamDisplay(std::int32_t index, char* text) noexcept override;
    void getParamName(std::int32_t index, char* text) noexcept override;
    std::int32_t getChunk(void** data, bool isPreset) noexcept override;
    std::int32_t setChunk(void* data, std::int32_t byteSize, bool isPreset) noexcept override;
    void process(float** inputs, float** outputs, std::int32_t sampleFrames) noexcept override;
    float getVu() noexcept override;

  private:
    void record(std::string call) noexcept;
};

// An editor that records its calls into a shared list and answers as told.
class TestEditor : public EffectEditor {
  public:
    explicit TestEditor(std::vector<std::string>* log, bool answer = true) noexcept
        : log(log), answer(answer) {}
    ~TestEditor() override;

    bool getRect(void* rect) noexcept override;
    bool open(void* parent) noexcept override;
    void close() noexcept override;
    void idle() noexcept override;
    bool keyDown(VstKeyCode& key) noexcept override;
    bool keyUp(VstKeyCode& key) noexcept override;
    bool setKnobMode(std::int32_t mode) noexcept override;

  private:
    std::vector<std::string>* log;
    bool answer;
};

// Formats a float the shortest way that reads back ("48000", "0.5").
std::string formatFloat(float value);
