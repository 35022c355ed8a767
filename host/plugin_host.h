// The host library: loads a VST 2.4 plug-in module by path and drives its
// instances the way an audio host does. It hosts any well-behaved VST 2.4
// effect, not only Kavro. Nothing here throws; failures are values.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "kavro_result.h"
#include "vst_interface.h"

namespace kavro::host {

enum class ErrorKind {
    LibraryNotFound,    // no file at the path
    NotALibrary,        // the file exists but the platform cannot load it
    EntryPointMissing,  // neither VSTPluginMain nor main is exported
    CreationRefused,    // the entry point returned null
    BadMagic,           // the record's magic is not 'VstP'
    BadDescriptor,      // the record is unusable (no dispatcher, bad counts)
};

// A short name of the kind, for messages ("library not found", ...).
const char* describe(ErrorKind kind) noexcept;

struct Error {
    ErrorKind kind;
    std::string message;  // one line, names the path and the cause
};

template <class T>
using Result = kavro::Result<T, Error>;

// The values this host serves to the plug-in through its callback.
struct Settings {
    double sampleRate = 44100.0;
    std::int32_t blockSize = 512;  // the largest block the host will pass
};

enum class Precision { Single, Double };

class Library;

// One loaded plug-in module. Shared by the instances made from it, so the
// module stays loaded as long as any of them lives.
class Module {
  public:
    // Loads the module and finds its entry point (VSTPluginMain, else main).
    static Result<Module> load(const std::string& path);

    const std::string& path() const noexcept;
    // Which exported name the entry point was found under.
    const std::string& entryName() const noexcept;

    std::shared_ptr<Library> library() const noexcept { return lib; }

  private:
    explicit Module(std::shared_ptr<Library> l) : lib(std::move(l)) {}
    std::shared_ptr<Library> lib;
};

struct Session;

// One plug-in instance, owned: created through the entry point, opened, given
// the sample rate and block size; resumed and suspended on request; suspended
// if needed and closed (effClose, exactly once) when destroyed. Move-only.
class Instance {
  public:
    // Creates an instance from a loaded module: runs the entry point with this
    // host's callback, checks the record, then sends effOpen, effSetSampleRate
    // and effSetBlockSize. The instance starts suspended.
    static Result<Instance> create(const Module& module, const Settings& settings);
    // Loads the module at path and creates one instance of it.
    static Result<Instance> create(const std::string& path, const Settings& settings);

    Instance(Instance&& other) noexcept;
    Instance& operator=(Instance&& other) noexcept;
    Instance(const Instance&) = delete;
    Instance& operator=(const Instance&) = delete;
    ~Instance();

    // The record itself, for anything not wrapped here.
    AEffect* effect() const noexcept { return eff; }
    VstIntPtr dispatch(std::int32_t opcode, std::int32_t index = 0, VstIntPtr value = 0,
                       void* ptr = nullptr, float opt = 0.0f) noexcept;

    // Record fields.
    std::int32_t numInputs() const noexcept { return eff->numInputs; }
    std::int32_t numOutputs() const noexcept { return eff->numOutputs; }
    std::int32_t numParams() const noexcept { return eff->numParams; }
    std::int32_t numPrograms() const noexcept { return eff->numPrograms; }
    std::int32_t flags() const noexcept { return eff->flags; }
    std::int32_t uniqueId() const noexcept { return eff->uniqueID; }
    std::int32_t version() const noexcept { return eff->version; }
    std::int32_t initialDelay() const noexcept { return eff->initialDelay; }
    bool canDoubleReplacing() const noexcept;
    bool canReplacing() const noexcept;

    // Texts, read into zero-filled buffers larger than the interface's bounds
    // and always cut at a terminator. Empty when the plug-in writes nothing.
    std::string effectName() noexcept;
    std::string vendorString() noexcept;
    std::string productString() noexcept;
    std::int32_t vendorVersion() noexcept;
    std::string programName() noexcept;
    std::string paramName(std::int32_t index) noexcept;
    std::string paramLabel(std::int32_t index) noexcept;
    std::string paramDisplay(std::int32_t index) noexcept;

    float getParameter(std::int32_t index) noexcept;
    void setParameter(std::int32_t index, float value) noexcept;

    const Settings& settings() const noexcept;
    // Changes what the host reports and tells the plug-in; suspends and
    // resumes around the change when the instance is running.
    void setSampleRate(double rate) noexcept;
    void setBlockSize(std::int32_t size) noexcept;

    // Whether a precision can be processed: Double needs the plug-in's
    // can-double-replacing flag; Single is always served (through the
    // accumulating call on zeroed outputs where the replacing one is absent).
    bool supports(Precision precision) const noexcept;

    // effSetProcessPrecision, effMainsChanged on, effStartProcess.
    void resume(Precision precision) noexcept;
    // effStopProcess, effMainsChanged off. Does nothing when not running.
    void suspend() noexcept;
    bool running() const noexcept { return isRunning; }

    // Processes one block: numInputs input and numOutputs output channel
    // pointers, frames from 0 to the block size. Returns false (and processes
    // nothing) for a precision the plug-in lacks or a frame count out of range.
    bool process(float* const* inputs, float* const* outputs, std::int32_t frames) noexcept;
    bool process(double* const* inputs, double* const* outputs, std::int32_t frames) noexcept;

  private:
    Instance(std::shared_ptr<Library> lib, std::unique_ptr<Session> session, AEffect* eff);
    void release() noexcept;

    std::shared_ptr<Library> lib;
    std::unique_ptr<Session> session;
    AEffect* eff = nullptr;
    bool isRunning = false;
    Precision runningPrecision = Precision::Single;
};

// The host callback every instance gets. Exposed for tests and for hosts that
// call an entry point themselves: it answers audioMasterVersion with 2400,
// audioMasterGetSampleRate and audioMasterGetBlockSize with the calling
// instance's settings, and 0 to everything else.
VstIntPtr VSTCALLBACK hostCallback(AEffect* effect, VstInt32 opcode, VstInt32 index,
                                   VstIntPtr value, void* ptr, float opt);

// The four characters of a unique identifier, printable ones as they are and
// others as \xNN.
std::string fourCharText(std::int32_t code);

}  // namespace kavro::host
