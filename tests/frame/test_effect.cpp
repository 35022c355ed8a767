#include "test_effect.h"

#include <cstdio>
#include <utility>

std::string formatFloat(float value) {
    char text[32];
    std::snprintf(text, sizeof(text), "%.9g", static_cast<double>(value));
    return text;
}

namespace {

std::string call(const char* name, const std::string& arguments = "") {
    return std::string(name) + "(" + arguments + ")";
}

std::string join(std::int64_t a, std::int64_t b) {
    return std::to_string(a) + "," + std::to_string(b);
}

}  // namespace

TestEffect::TestEffect(audioMasterCallback hostCallback, std::int32_t numPrograms,
                       std::int32_t numParams) noexcept
    : EffectBase(hostCallback, numPrograms, numParams) {}

TestEffect::~TestEffect() {
    if (destructions != nullptr) {
        ++*destructions;
    }
}

void TestEffect::record(std::string entry) noexcept {
    calls.push_back(std::move(entry));
}

void TestEffect::open() noexcept {
    record(call("open"));
}
void TestEffect::close() noexcept {
    record(call("close"));
}
void TestEffect::suspend() noexcept {
    record(call("suspend"));
}
void TestEffect::resume() noexcept {
    record(call("resume"));
}

void TestEffect::setSampleRate(float rate) noexcept {
    record(call("setSampleRate", formatFloat(rate)));
    EffectBase::setSampleRate(rate);
}

void TestEffect::setBlockSize(std::int32_t size) noexcept {
    record(call("setBlockSize", std::to_string(size)));
    EffectBase::setBlockSize(size);
}

void TestEffect::processReplacing(float** inputs, float** outputs,
                                  std::int32_t sampleFrames) noexcept {
    lastPtr = inputs;
    record(call("processReplacing", std::to_string(sampleFrames)));
    if (sampleFrames > 0 && outputs != nullptr && outputs[0] != nullptr) {
        outputs[0][0] = 1.0f;
    }
}

void TestEffect::processDoubleReplacing(double** inputs, double** outputs,
                                        std::int32_t sampleFrames) noexcept {
    lastPtr = inputs;
    record(call("processDoubleReplacing", std::to_string(sampleFrames)));
    if (sampleFrames > 0 && outputs != nullptr && outputs[0] != nullptr) {
        outputs[0][0] = 2.0;
    }
}

void TestEffect::process(float** inputs, float** outputs, std::int32_t sampleFrames) noexcept {
    lastPtr = inputs;
    record(call("process", std::to_string(sampleFrames)));
    if (sampleFrames > 0 && outputs != nullptr && outputs[0] != nullptr) {
        outputs[0][0] += 3.0f;
    }
}

void TestEffect::setParameter(std::int32_t index, float value) noexcept {
    record(call("setParameter", std::to_string(index) + "," + formatFloat(value)));
    if (index >= 0 && index < 4) {
        parameters[index] = value;
    }
}

float TestEffect::getParameter(std::int32_t index) noexcept {
    record(call("getParameter", std::to_string(index)));
    return index >= 0 && index < 4 ? parameters[index] : 0.0f;
}

std::int32_t TestEffect::getProgram() noexcept {
    record(call("getProgram"));
    return EffectBase::getProgram();
}

void TestEffect::setProgram(std::int32_t program) noexcept {
    record(call("setProgram", std::to_string(program)));
    EffectBase::setProgram(program);
}

void TestEffect::setProgramName(const char* name) noexcept {
    lastPtr = name;
    record(call("setProgramName"));
    EffectBase::setProgramName(name);
}

void TestEffect::getProgramName(char* name) noexcept {
    lastPtr = name;
    record(call("getProgramName"));
    EffectBase::getProgramName(name);
}

void TestEffect::getParamLabel(std::int32_t index, char* label) noexcept {
    lastPtr = label;
    record(call("getParamLabel", std::to_string(index)));
    EffectBase::getParamLabel(index, label);
}

void TestEffect::getParamDisplay(std::int32_t index, char* text) noexcept {
    lastPtr = text;
    record(call("getParamDisplay", std::to_string(index)));
    EffectBase::getParamDisplay(index, text);
}

void TestEffect::getParamName(std::int32_t index, char* text) noexcept {
    lastPtr = text;
    record(call("getParamName", std::to_string(index)));
    EffectBase::getParamName(index, text);
}

std::int32_t TestEffect::getChunk(void** data, bool isPreset) noexcept {
    lastPtr = data;
    record(call("getChunk", std::to_string(isPreset ? 1 : 0)));
    EffectBase::getChunk(data, isPreset);
    return getChunkAnswer;
}

std::int32_t TestEffect::setChunk(void* data, std::int32_t byteSize, bool isPreset) noexcept {
    lastPtr = data;
    record(call("setChunk", join(byteSize, isPreset ? 1 : 0)));
    EffectBase::setChunk(data, byteSize, isPreset);
    return setChunkAnswer;
}

float TestEffect::getVu() noexcept {
    record(call("getVu"));
    return 0.0f;
}

TestEditor::~TestEditor() {
    log->push_back("editor ~");
}

bool TestEditor::getRect(void* /*rect*/) noexcept {
    log->push_back("editor getRect");
    return answer;
}

bool TestEditor::open(void* /*parent*/) noexcept {
    log->push_back("editor open");
    return answer;
}

void TestEditor::close() noexcept {
    log->push_back("editor close");
}

void TestEditor::idle() noexcept {
    log->push_back("editor idle");
}

bool TestEditor::keyDown(VstKeyCode& /*key*/) noexcept {
    log->push_back("editor keyDown");
    return answer;
}

bool TestEditor::keyUp(VstKeyCode& /*key*/) noexcept {
    log->push_back("editor keyUp");
    return answer;
}

bool TestEditor::setKnobMode(std::int32_t /*mode*/) noexcept {
    log->push_back("editor setKnobMode");
    return answer;
}
