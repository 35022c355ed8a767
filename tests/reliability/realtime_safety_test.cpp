// Real-time safety of the built Kavro module: processing allocates nothing
// and takes no lock, in both precisions, for every speed and length a host
// may set. This binary replaces the global allocation functions (every form
// of operator new and delete, and the malloc family when no sanitizer owns
// it) and the pthread locking calls, exports them so the dlopen'ed module
// binds to them, and counts calls made while `watching` is set.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <semaphore.h>

#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "vst_interface.h"

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define KAVRO_SANITIZER_OWNS_MALLOC 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || \
    __has_feature(memory_sanitizer)
#define KAVRO_SANITIZER_OWNS_MALLOC 1
#endif
#endif

#define KAVRO_INTERPOSE extern "C" __attribute__((visibility("default")))

namespace {

std::atomic<bool> watching{false};
std::atomic<long> allocations{0};
std::atomic<long> releases{0};
std::atomic<long> locks{0};

void noteAllocation() {
    if (watching.load(std::memory_order_relaxed)) {
        allocations.fetch_add(1, std::memory_order_relaxed);
    }
}
void noteRelease() {
    if (watching.load(std::memory_order_relaxed)) {
        releases.fetch_add(1, std::memory_order_relaxed);
    }
}
void noteLock() {
    if (watching.load(std::memory_order_relaxed)) {
        locks.fetch_add(1, std::memory_order_relaxed);
    }
}

void* allocateOrThrow(std::size_t size) {
    void* p = std::malloc(size == 0 ? 1 : size);
    if (p == nullptr) {
        throw std::bad_alloc();
    }
    return p;
}

void* allocateAligned(std::size_t size, std::align_val_t alignment) noexcept {
    const auto align = static_cast<std::size_t>(alignment);
    const std::size_t rounded = (size + align - 1) / align * align;
    return std::aligned_alloc(align, rounded == 0 ? align : rounded);
}

}  // namespace

// ---- operator new and delete, every replaceable form ----
#define KAVRO_NEW_VISIBLE __attribute__((visibility("default")))

KAVRO_NEW_VISIBLE void* operator new(std::size_t size) {
    noteAllocation();
    return allocateOrThrow(size);
}
KAVRO_NEW_VISIBLE void* operator new[](std::size_t size) {
    noteAllocation();
    return allocateOrThrow(size);
}
KAVRO_NEW_VISIBLE void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    noteAllocation();
    return std::malloc(size == 0 ? 1 : size);
}
KAVRO_NEW_VISIBLE void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    noteAllocation();
    return std::malloc(size == 0 ? 1 : size);
}
KAVRO_NEW_VISIBLE void* operator new(std::size_t size, std::align_val_t alignment) {
    noteAllocation();
    void* p = allocateAligned(size, alignment);
    if (p == nullptr) {
        throw std::bad_alloc();
    }
    return p;
}
KAVRO_NEW_VISIBLE void* operator new[](std::size_t size, std::align_val_t alignment) {
    return operator new(size, alignment);
}
KAVRO_NEW_VISIBLE void* operator new(std::size_t size, std::align_val_t alignment,
                                     const std::nothrow_t&) noexcept {
    noteAllocation();
    return allocateAligned(size, alignment);
}
KAVRO_NEW_VISIBLE void* operator new[](std::size_t size, std::align_val_t alignment,
                                       const std::nothrow_t&) noexcept {
    noteAllocation();
    return allocateAligned(size, alignment);
}
KAVRO_NEW_VISIBLE void operator delete(void* p) noexcept {
    noteRelease();
    std::free(p);
}
KAVRO_NEW_VISIBLE void operator delete[](void* p) noexcept {
    noteRelease();
    std::free(p);
}
KAVRO_NEW_VISIBLE void operator delete(void* p, std::size_t) noexcept {
    operator delete(p);
}
KAVRO_NEW_VISIBLE void operator delete[](void* p, std::size_t) noexcept {
    operator delete[](p);
}
KAVRO_NEW_VISIBLE void operator delete(void* p, const std::nothrow_t&) noexcept {
    operator delete(p);
}
KAVRO_NEW_VISIBLE void operator delete[](void* p, const std::nothrow_t&) noexcept {
    operator delete[](p);
}
KAVRO_NEW_VISIBLE void operator delete(void* p, std::align_val_t) noexcept {
    operator delete(p);
}
KAVRO_NEW_VISIBLE void operator delete[](void* p, std::align_val_t) noexcept {
    operator delete[](p);
}
KAVRO_NEW_VISIBLE void operator delete(void* p, std::size_t, std::align_val_t) noexcept {
    operator delete(p);
}
KAVRO_NEW_VISIBLE void operator delete[](void* p, std::size_t, std::align_val_t) noexcept {
    operator delete[](p);
}
KAVRO_NEW_VISIBLE void operator delete(void* p, std::align_val_t, const std::nothrow_t&) noexcept {
    operator delete(p);
}
KAVRO_NEW_VISIBLE void operator delete[](void* p, std::align_val_t,
                                         const std::nothrow_t&) noexcept {
    operator delete[](p);
}

// ---- the malloc family, forwarded to glibc's own entry points ----
#ifndef KAVRO_SANITIZER_OWNS_MALLOC
extern "C" {
void* __libc_malloc(std::size_t);
void* __libc_calloc(std::size_t, std::size_t);
void* __libc_realloc(void*, std::size_t);
void* __libc_memalign(std::size_t, std::size_t);
void __libc_free(void*);
}

KAVRO_INTERPOSE void* malloc(std::size_t size) {
    noteAllocation();
    return __libc_malloc(size);
}
KAVRO_INTERPOSE void* calloc(std::size_t count, std::size_t size) {
    noteAllocation();
    return __libc_calloc(count, size);
}
KAVRO_INTERPOSE void* realloc(void* p, std::size_t size) {
    noteAllocation();
    return __libc_realloc(p, size);
}
KAVRO_INTERPOSE void* memalign(std::size_t alignment, std::size_t size) {
    noteAllocation();
    return __libc_memalign(alignment, size);
}
KAVRO_INTERPOSE void* aligned_alloc(std::size_t alignment, std::size_t size) {
    noteAllocation();
    return __libc_memalign(alignment, size);
}
KAVRO_INTERPOSE int posix_memalign(void** out, std::size_t alignment, std::size_t size) {
    noteAllocation();
    if (alignment < sizeof(void*) || (alignment & (alignment - 1)) != 0) {
        return EINVAL;
    }
    void* p = __libc_memalign(alignment, size);
    if (p == nullptr) {
        return ENOMEM;
    }
    *out = p;
    return 0;
}
KAVRO_INTERPOSE void free(void* p) {
    noteRelease();
    __libc_free(p);
}
#endif

// ---- locking calls, forwarded to the next definition (libc's) ----
namespace {
template <class Fn>
Fn nextDefinition(const char* name) {
    return reinterpret_cast<Fn>(dlsym(RTLD_NEXT, name));
}
}  // namespace

KAVRO_INTERPOSE int pthread_mutex_lock(pthread_mutex_t* m) {
    static const auto next = nextDefinition<int (*)(pthread_mutex_t*)>("pthread_mutex_lock");
    noteLock();
    return next(m);
}
KAVRO_INTERPOSE int pthread_mutex_trylock(pthread_mutex_t* m) {
    static const auto next = nextDefinition<int (*)(pthread_mutex_t*)>("pthread_mutex_trylock");
    noteLock();
    return next(m);
}
KAVRO_INTERPOSE int pthread_rwlock_rdlock(pthread_rwlock_t* l) {
    static const auto next = nextDefinition<int (*)(pthread_rwlock_t*)>("pthread_rwlock_rdlock");
    noteLock();
    return next(l);
}
KAVRO_INTERPOSE int pthread_rwlock_wrlock(pthread_rwlock_t* l) {
    static const auto next = nextDefinition<int (*)(pthread_rwlock_t*)>("pthread_rwlock_wrlock");
    noteLock();
    return next(l);
}
KAVRO_INTERPOSE int pthread_spin_lock(pthread_spinlock_t* l) {
    static const auto next = nextDefinition<int (*)(pthread_spinlock_t*)>("pthread_spin_lock");
    noteLock();
    return next(l);
}
KAVRO_INTERPOSE int sem_wait(sem_t* s) {
    static const auto next = nextDefinition<int (*)(sem_t*)>("sem_wait");
    noteLock();
    return next(s);
}

namespace {

VstIntPtr VSTCALLBACK hostCallback(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? kVstVersion : 0;
}

struct Tally {
    long allocations;
    long releases;
    long locks;
};

// Runs `work` with the counters armed and answers what it did.
template <class Work>
Tally watch(Work&& work) {
    allocations.store(0);
    releases.store(0);
    locks.store(0);
    watching.store(true);
    work();
    watching.store(false);
    return {allocations.load(), releases.load(), locks.load()};
}

class RealtimeSafety : public ::testing::Test {
  protected:
    void SetUp() override {
        handle = dlopen(KAVRO_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(handle, nullptr) << dlerror();
        entry = reinterpret_cast<VstPluginMainProc>(dlsym(handle, "VSTPluginMain"));
        ASSERT_NE(entry, nullptr);
    }
    void TearDown() override {
        if (handle != nullptr) {
            dlclose(handle);
        }
    }
    void* handle = nullptr;
    VstPluginMainProc entry = nullptr;
};

// The counters must see what the module does: creating an instance allocates
// it and its rings inside Kavro.so, closing releases them. If this fails, the
// zero counts below would prove nothing.
TEST_F(RealtimeSafety, CountersSeeTheModulesOwnAllocationsAndLocks) {
    AEffect* effect = nullptr;
    const Tally made = watch([&] { effect = entry(hostCallback); });
    ASSERT_NE(effect, nullptr);
    EXPECT_GT(made.allocations, 0) << "creation inside the module was not counted";
    const Tally closed = watch([&] { effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f); });
    EXPECT_GT(closed.releases, 0) << "release inside the module was not counted";

    std::mutex mutex;
    const Tally locked = watch([&] { std::lock_guard<std::mutex> guard(mutex); });
    EXPECT_GT(locked.locks, 0) << "a mutex lock was not counted";

    // Any module resolves these names to this binary's definitions.
    EXPECT_EQ(dlsym(RTLD_DEFAULT, "pthread_mutex_lock"),
              reinterpret_cast<void*>(&pthread_mutex_lock));
    // operator new(std::size_t): size_t mangles as m in 64-bit, j in 32-bit builds.
    EXPECT_EQ(dlsym(RTLD_DEFAULT, sizeof(std::size_t) == 8 ? "_Znwm" : "_Znwj"),
              reinterpret_cast<void*>(static_cast<void* (*)(std::size_t)>(&operator new)));
#ifndef KAVRO_SANITIZER_OWNS_MALLOC
    EXPECT_EQ(dlsym(RTLD_DEFAULT, "malloc"), reinterpret_cast<void*>(&malloc));
#endif
}

template <class Sample>
struct Buffers {
    explicit Buffers(int frames)
        : left(static_cast<std::size_t>(frames), Sample(0.25)),
          right(static_cast<std::size_t>(frames), Sample(-0.25)),
          outLeft(static_cast<std::size_t>(frames)),
          outRight(static_cast<std::size_t>(frames)) {
        // A few crossings per block so the retriggers fire.
        for (std::size_t i = 0; i < left.size(); ++i) {
            left[i] = static_cast<Sample>(std::sin(0.05 * static_cast<double>(i)));
            right[i] = static_cast<Sample>(std::cos(0.031 * static_cast<double>(i)));
        }
    }
    std::vector<Sample> left, right, outLeft, outRight;
    Sample* inputs[2] = {left.data(), right.data()};
    Sample* outputs[2] = {outLeft.data(), outRight.data()};
};

TEST_F(RealtimeSafety, ProcessingNeitherAllocatesNorLocksAtAnySpeed) {
    constexpr float nan = std::numeric_limits<float>::quiet_NaN();
    constexpr float inf = std::numeric_limits<float>::infinity();
    const float speeds[] = {0.0f, 0.5f, 0.9f,  1.0f,     2.0f,     -0.5f,  nan,
                            inf,  -inf, 1e30f, 44099.0f, 44100.0f, 1e-40f, -0.0f};
    const float lengths[] = {0.0f, 0.125f, 1.0f, nan, -1.0f};
    // Block sizes a host uses, plus the ones it should not: 0 and negative.
    const int blocks[] = {1, 64, 512, 0, -1, 4096, 37};
    constexpr int kRounds = 4;

    Buffers<double> doubles(4096);
    Buffers<float> floats(4096);
    for (float speed : speeds) {
        for (float length : lengths) {
            AEffect* effect = entry(hostCallback);
            ASSERT_NE(effect, nullptr);
            effect->dispatcher(effect, effMainsChanged, 0, 1, nullptr, 0.0f);
            // From the very first processing call: a lazily allocating effect
            // would show on it.
            const Tally tally = watch([&] {
                effect->setParameter(effect, 0, speed);
                effect->setParameter(effect, 1, length);
                for (int round = 0; round < kRounds; ++round) {
                    for (int frames : blocks) {
                        effect->processDoubleReplacing(effect, doubles.inputs, doubles.outputs,
                                                       frames);
                        effect->processReplacing(effect, floats.inputs, floats.outputs, frames);
                        effect->process(effect, floats.inputs, floats.outputs, frames);
                        // In place, as hosts may.
                        effect->processDoubleReplacing(effect, doubles.inputs, doubles.inputs,
                                                       frames);
                        effect->processReplacing(effect, floats.inputs, floats.inputs, frames);
                    }
                }
            });
            effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
            EXPECT_EQ(tally.allocations, 0) << "speed " << speed << " length " << length;
            EXPECT_EQ(tally.releases, 0) << "speed " << speed << " length " << length;
            EXPECT_EQ(tally.locks, 0) << "speed " << speed << " length " << length;
        }
    }
}

}  // namespace
