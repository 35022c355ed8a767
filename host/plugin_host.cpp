// The host library: module loading, the host callback and the instance.
#include "plugin_host.h"

#include <sys/stat.h>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>
#include <unordered_map>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace kavro::host {

const char* describe(ErrorKind kind) noexcept {
    switch (kind) {
        case ErrorKind::LibraryNotFound:
            return "library not found";
        case ErrorKind::NotALibrary:
            return "not a loadable library";
        case ErrorKind::EntryPointMissing:
            return "entry point missing";
        case ErrorKind::CreationRefused:
            return "creation refused";
        case ErrorKind::BadMagic:
            return "bad magic";
        case ErrorKind::BadDescriptor:
            return "bad descriptor";
    }
    return "error";
}

namespace {

Error makeError(ErrorKind kind, const std::string& path, const std::string& detail) {
    std::string message = std::string(describe(kind)) + ": " + path;
    if (!detail.empty())
        message += ": " + detail;
    // Keep the message on one line.
    std::replace(message.begin(), message.end(), '\n', ' ');
    return Error{kind, message};
}

enum class FileState { Missing, Directory, File };

FileState fileState(const std::string& path) {
#ifdef _WIN32
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return FileState::Missing;
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? FileState::Directory : FileState::File;
#else
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return FileState::Missing;
    return S_ISDIR(st.st_mode) ? FileState::Directory : FileState::File;
#endif
}

}  // namespace

// ---------------------------------------------------------------------------
// The platform's shared-library mechanism.

class Library {
  public:
#ifdef _WIN32
    using Handle = HMODULE;
#else
    using Handle = void*;
#endif
    Library(Handle h, std::string p, std::string name, VstPluginMainProc e)
        : handle(h), path(std::move(p)), entryName(std::move(name)), entry(e) {}
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;
    ~Library() {
#ifdef _WIN32
        FreeLibrary(handle);
#else
        dlclose(handle);
#endif
    }
    Handle handle;
    std::string path;
    std::string entryName;
    VstPluginMainProc entry;
};

namespace {

#ifdef _WIN32
std::string lastErrorText() {
    DWORD code = GetLastError();
    char* text = nullptr;
    FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<LPSTR>(&text), 0, nullptr);
    std::string result = text ? text : "error " + std::to_string(code);
    if (text)
        LocalFree(text);
    while (!result.empty() && (result.back() == '\n' || result.back() == '\r'))
        result.pop_back();
    return result;
}

Library::Handle openLibrary(const std::string& path, std::string& error) {
    // The path is UTF-8; the wide call reaches every file name.
    int count = MultiByteToWideChar(CP_UTF8, 0, path.c_str(), -1, nullptr, 0);
    HMODULE handle = nullptr;
    if (count > 0) {
        std::wstring wide(static_cast<size_t>(count), L'\0');
        MultiByteToWideChar(CP_UTF8, 0, path.c_str(), -1, wide.data(), count);
        handle = LoadLibraryW(wide.c_str());
    } else {
        handle = LoadLibraryA(path.c_str());
    }
    if (!handle)
        error = lastErrorText();
    return handle;
}

void* findSymbol(Library::Handle handle, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(handle, name));
}

void closeLibrary(Library::Handle handle) {
    FreeLibrary(handle);
}
#else
Library::Handle openLibrary(const std::string& path, std::string& error) {
    // A path without a slash would be searched for; keep it a path.
    std::string where = path.find('/') == std::string::npos ? "./" + path : path;
    void* handle = dlopen(where.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* text = dlerror();
        error = text ? text : "dlopen failed";
    }
    return handle;
}

void* findSymbol(Library::Handle handle, const char* name) {
    dlerror();
    return dlsym(handle, name);
}

void closeLibrary(Library::Handle handle) {
    dlclose(handle);
}
#endif

}  // namespace

Result<Module> Module::load(const std::string& path) {
    switch (fileState(path)) {
        case FileState::Missing:
            return makeError(ErrorKind::LibraryNotFound, path, "no such file");
        case FileState::Directory:
            return makeError(ErrorKind::NotALibrary, path, "is a directory");
        case FileState::File:
            break;
    }
    std::string detail;
    Library::Handle handle = openLibrary(path, detail);
    if (!handle)
        return makeError(ErrorKind::NotALibrary, path, detail);

    const char* names[] = {"VSTPluginMain", "main"};
    for (const char* name : names) {
        if (void* symbol = findSymbol(handle, name)) {
            // Object-to-function pointer conversion, as dlsym requires.
            VstPluginMainProc entry;
            static_assert(sizeof(entry) == sizeof(symbol), "function pointer size");
            std::memcpy(&entry, &symbol, sizeof(entry));
            auto* lib = new (std::nothrow) Library(handle, path, name, entry);
            if (!lib) {
                closeLibrary(handle);
                return makeError(ErrorKind::NotALibrary, path, "out of memory");
            }
            return Module(std::shared_ptr<Library>(lib));
        }
    }
    closeLibrary(handle);
    return makeError(ErrorKind::EntryPointMissing, path, "exports neither VSTPluginMain nor main");
}

const std::string& Module::path() const noexcept {
    return lib->path;
}
const std::string& Module::entryName() const noexcept {
    return lib->entryName;
}

// ---------------------------------------------------------------------------
// Sessions and the host callback.

struct Session {
    Settings settings;
};

namespace {

// Which session an effect belongs to. An effect may call back from inside its
// constructor, before the entry point has returned its record: such calls are
// answered from the session being created on this thread.
std::mutex registryMutex;
std::unordered_map<const AEffect*, Session*>& registry() {
    static std::unordered_map<const AEffect*, Session*> map;
    return map;
}
thread_local Session* sessionBeingCreated = nullptr;

void registerSession(const AEffect* effect, Session* session) {
    std::lock_guard<std::mutex> lock(registryMutex);
    registry()[effect] = session;
}

void unregisterSession(const AEffect* effect, Session* session) {
    std::lock_guard<std::mutex> lock(registryMutex);
    auto it = registry().find(effect);
    if (it != registry().end() && it->second == session)
        registry().erase(it);
}

const Session* findSession(const AEffect* effect) {
    if (effect) {
        std::lock_guard<std::mutex> lock(registryMutex);
        auto it = registry().find(effect);
        if (it != registry().end())
            return it->second;
    }
    return sessionBeingCreated;
}

}  // namespace

VstIntPtr VSTCALLBACK hostCallback(AEffect* effect, VstInt32 opcode, VstInt32 /*index*/,
                                   VstIntPtr /*value*/, void* /*ptr*/, float /*opt*/) {
    switch (opcode) {
        case audioMasterVersion:
            return kVstVersion;
        case audioMasterGetSampleRate:
            if (const Session* session = findSession(effect))
                return static_cast<VstIntPtr>(session->settings.sampleRate);
            return 0;
        case audioMasterGetBlockSize:
            if (const Session* session = findSession(effect))
                return session->settings.blockSize;
            return 0;
        default:
            return 0;
    }
}

std::string fourCharText(std::int32_t code) {
    std::string text;
    auto bits = static_cast<std::uint32_t>(code);
    for (int shift = 24; shift >= 0; shift -= 8) {
        auto c = static_cast<unsigned char>((bits >> shift) & 0xFF);
        if (c >= 0x20 && c < 0x7F) {
            text += static_cast<char>(c);
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
            text += escaped;
        }
    }
    return text;
}

// ---------------------------------------------------------------------------
// The instance.

namespace {

constexpr std::int32_t kMaxChannels = 1024;

// effSetProcessPrecision values.
constexpr VstIntPtr kProcessPrecision32 = 0;
constexpr VstIntPtr kProcessPrecision64 = 1;

// Text buffers: far beyond every bound of the interface (the largest is 64),
// because some plug-ins write more than the interface promises.
constexpr size_t kTextBuffer = 512;

struct SessionScope {
    explicit SessionScope(Session* s) : previous(sessionBeingCreated) { sessionBeingCreated = s; }
    ~SessionScope() { sessionBeingCreated = previous; }
    Session* previous;
};

}  // namespace

Result<Instance> Instance::create(const std::string& path, const Settings& settings) {
    auto module = Module::load(path);
    if (!module)
        return module.error();
    return create(*module, settings);
}

Result<Instance> Instance::create(const Module& module, const Settings& settings) {
    const std::string& path = module.path();
    std::unique_ptr<Session> session(new (std::nothrow) Session{settings});
    if (!session)
        return makeError(ErrorKind::CreationRefused, path, "out of memory");
    if (session->settings.blockSize < 1)
        session->settings.blockSize = 1;

    AEffect* effect = nullptr;
    {
        SessionScope scope(session.get());
        effect = module.library()->entry(&hostCallback);
    }
    if (!effect)
        return makeError(ErrorKind::CreationRefused, path,
                         "the entry point " + module.entryName() + " returned no effect");
    if (effect->magic != kEffectMagic) {
        // Nothing about the record can be trusted; it is left alone.
        char detail[64];
        std::snprintf(detail, sizeof detail, "magic is 0x%08X, expected 0x%08X ('VstP')",
                      static_cast<unsigned>(effect->magic), static_cast<unsigned>(kEffectMagic));
        return makeError(ErrorKind::BadMagic, path, detail);
    }
    std::string problem;
    if (!effect->dispatcher)
        problem = "no dispatcher";
    else if (effect->numInputs < 0 || effect->numInputs > kMaxChannels || effect->numOutputs < 0 ||
             effect->numOutputs > kMaxChannels)
        problem = "channel counts out of range (" + std::to_string(effect->numInputs) + " in, " +
                  std::to_string(effect->numOutputs) + " out)";
    else if (effect->numParams < 0 || effect->numPrograms < 0)
        problem = "negative parameter or program count";
    else if (!effect->processReplacing && !effect->process && !effect->processDoubleReplacing)
        problem = "no processing function";
    if (!problem.empty()) {
        if (effect->dispatcher)
            effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
        return makeError(ErrorKind::BadDescriptor, path, problem);
    }

    registerSession(effect, session.get());
    Instance instance(module.library(), std::move(session), effect);
    instance.dispatch(effOpen);
    instance.dispatch(effSetSampleRate, 0, 0, nullptr,
                      static_cast<float>(instance.session->settings.sampleRate));
    instance.dispatch(effSetBlockSize, 0, instance.session->settings.blockSize);
    return instance;
}

Instance::Instance(std::shared_ptr<Library> l, std::unique_ptr<Session> s, AEffect* e)
    : lib(std::move(l)), session(std::move(s)), eff(e) {}

Instance::Instance(Instance&& other) noexcept
    : lib(std::move(other.lib)),
      session(std::move(other.session)),
      eff(other.eff),
      isRunning(other.isRunning),
      runningPrecision(other.runningPrecision) {
    other.eff = nullptr;
    other.isRunning = false;
}

Instance& Instance::operator=(Instance&& other) noexcept {
    if (this != &other) {
        release();
        lib = std::move(other.lib);
        session = std::move(other.session);
        eff = other.eff;
        isRunning = other.isRunning;
        runningPrecision = other.runningPrecision;
        other.eff = nullptr;
        other.isRunning = false;
    }
    return *this;
}

Instance::~Instance() {
    release();
}

void Instance::release() noexcept {
    if (!eff)
        return;
    suspend();
    AEffect* closing = eff;
    eff = nullptr;
    closing->dispatcher(closing, effClose, 0, 0, nullptr, 0.0f);
    unregisterSession(closing, session.get());
    session.reset();
    lib.reset();  // unloads the module after its last instance
}

VstIntPtr Instance::dispatch(std::int32_t opcode, std::int32_t index, VstIntPtr value, void* ptr,
                             float opt) noexcept {
    return eff->dispatcher(eff, opcode, index, value, ptr, opt);
}

bool Instance::canDoubleReplacing() const noexcept {
    return (eff->flags & effFlagsCanDoubleReplacing) && eff->processDoubleReplacing;
}
bool Instance::canReplacing() const noexcept {
    return (eff->flags & effFlagsCanReplacing) && eff->processReplacing;
}

namespace {
std::string readText(Instance& instance, std::int32_t opcode, std::int32_t index) {
    char buffer[kTextBuffer];
    std::memset(buffer, 0, sizeof buffer);
    instance.dispatch(opcode, index, 0, buffer, 0.0f);
    buffer[kTextBuffer - 1] = '\0';
    return std::string(buffer);
}
}  // namespace

std::string Instance::effectName() noexcept {
    return readText(*this, effGetEffectName, 0);
}
std::string Instance::vendorString() noexcept {
    return readText(*this, effGetVendorString, 0);
}
std::string Instance::productString() noexcept {
    return readText(*this, effGetProductString, 0);
}
std::int32_t Instance::vendorVersion() noexcept {
    return static_cast<std::int32_t>(dispatch(effGetVendorVersion));
}
std::string Instance::programName() noexcept {
    return readText(*this, effGetProgramName, 0);
}
std::string Instance::paramName(std::int32_t index) noexcept {
    return readText(*this, effGetParamName, index);
}
std::string Instance::paramLabel(std::int32_t index) noexcept {
    return readText(*this, effGetParamLabel, index);
}
std::string Instance::paramDisplay(std::int32_t index) noexcept {
    return readText(*this, effGetParamDisplay, index);
}

float Instance::getParameter(std::int32_t index) noexcept {
    return eff->getParameter ? eff->getParameter(eff, index) : 0.0f;
}
void Instance::setParameter(std::int32_t index, float value) noexcept {
    if (eff->setParameter)
        eff->setParameter(eff, index, value);
}

const Settings& Instance::settings() const noexcept {
    return session->settings;
}

void Instance::setSampleRate(double rate) noexcept {
    bool wasRunning = isRunning;
    suspend();
    session->settings.sampleRate = rate;
    dispatch(effSetSampleRate, 0, 0, nullptr, static_cast<float>(rate));
    if (wasRunning)
        resume(runningPrecision);
}

void Instance::setBlockSize(std::int32_t size) noexcept {
    bool wasRunning = isRunning;
    suspend();
    session->settings.blockSize = std::max<std::int32_t>(size, 1);
    dispatch(effSetBlockSize, 0, session->settings.blockSize);
    if (wasRunning)
        resume(runningPrecision);
}

bool Instance::supports(Precision precision) const noexcept {
    if (precision == Precision::Double)
        return canDoubleReplacing();
    return eff->processReplacing || eff->process;
}

void Instance::resume(Precision precision) noexcept {
    if (isRunning)
        suspend();
    if (canDoubleReplacing())
        dispatch(effSetProcessPrecision, 0,
                 precision == Precision::Double ? kProcessPrecision64 : kProcessPrecision32);
    dispatch(effMainsChanged, 0, 1);
    dispatch(effStartProcess);
    isRunning = true;
    runningPrecision = precision;
}

void Instance::suspend() noexcept {
    if (!isRunning)
        return;
    dispatch(effStopProcess);
    dispatch(effMainsChanged, 0, 0);
    isRunning = false;
}

bool Instance::process(float* const* inputs, float* const* outputs, std::int32_t frames) noexcept {
    if (frames < 0 || frames > session->settings.blockSize)
        return false;
    auto** in = const_cast<float**>(inputs);
    auto** out = const_cast<float**>(outputs);
    if (canReplacing()) {
        eff->processReplacing(eff, in, out, frames);
    } else if (eff->process) {
        // The accumulating call adds to the outputs: start them at zero.
        for (std::int32_t c = 0; c < eff->numOutputs; ++c)
            std::fill(outputs[c], outputs[c] + frames, 0.0f);
        eff->process(eff, in, out, frames);
    } else if (eff->processReplacing) {
        eff->processReplacing(eff, in, out, frames);
    } else {
        return false;
    }
    return true;
}

bool Instance::process(double* const* inputs, double* const* outputs,
                       std::int32_t frames) noexcept {
    if (frames < 0 || frames > session->settings.blockSize || !canDoubleReplacing())
        return false;
    eff->processDoubleReplacing(eff, const_cast<double**>(inputs), const_cast<double**>(outputs),
                                frames);
    return true;
}

}  // namespace kavro::host
