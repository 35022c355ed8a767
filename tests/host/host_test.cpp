// The host library against the test modules, Kavro and a third-party plug-in.
#include <gtest/gtest.h>
#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include <sys/stat.h>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "plugin_host.h"
#include "test_plugin.h"

using namespace kavro::host;

namespace {

// The stats of a test module, through its exported function. The module is
// already loaded by the host library, so dlopen returns the same copy.
KavroTestStats* statsOf(const char* path) {
#ifdef _WIN32
    HMODULE handle = LoadLibraryA(path);
    if (!handle)
        return nullptr;
    auto proc = reinterpret_cast<KavroTestStatsProc>(
        reinterpret_cast<void*>(GetProcAddress(handle, "kavroTestStats")));
#else
    void* handle = dlopen(path, RTLD_NOW | RTLD_NOLOAD);
    if (!handle)
        handle = dlopen(path, RTLD_NOW);
    if (!handle)
        return nullptr;
    auto proc = reinterpret_cast<KavroTestStatsProc>(dlsym(handle, "kavroTestStats"));
#endif
    // Keep the module loaded for the rest of the test binary, so the counters
    // survive the host library unloading it.
    return proc ? proc() : nullptr;
}

Settings settings(double rate, int block) {
    Settings s;
    s.sampleRate = rate;
    s.blockSize = block;
    return s;
}

bool fileExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

}  // namespace

TEST(HostCallback, AnswersVersionSampleRateBlockSizeAndZero) {
    EXPECT_EQ(hostCallback(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f), 2400);
    // No session known: sample rate and block size are not served.
    EXPECT_EQ(hostCallback(nullptr, audioMasterGetSampleRate, 0, 0, nullptr, 0.0f), 0);
    EXPECT_EQ(hostCallback(nullptr, audioMasterCanDo, 0, 0, nullptr, 0.0f), 0);
    EXPECT_EQ(hostCallback(nullptr, audioMasterGetTime, 0, 0, nullptr, 0.0f), 0);
}

TEST(HostModule, GainModuleLifecycle) {
    KavroTestStats* stats = statsOf(KAVRO_TEST_GAIN_PATH);
    ASSERT_NE(stats, nullptr);
    const KavroTestStats before = *stats;
    {
        auto created = Instance::create(KAVRO_TEST_GAIN_PATH, settings(48000.0, 256));
        ASSERT_TRUE(created.ok()) << created.error().message;
        Instance instance = std::move(*created);
        // The constructor's requests found the session being created.
        EXPECT_EQ(stats->probeAnswer, 2400);
        EXPECT_EQ(stats->ctorSampleRate, 48000);
        EXPECT_EQ(stats->ctorBlockSize, 256);
        EXPECT_EQ(stats->ctorUnknownAnswer, 0);
        EXPECT_EQ(stats->opened, before.opened + 1);
        EXPECT_EQ(stats->lastSampleRate, 48000.0f);
        EXPECT_EQ(stats->lastBlockSize, 256);
        // Requests after creation reach the session through the record.
        EXPECT_EQ(hostCallback(instance.effect(), audioMasterGetSampleRate, 0, 0, nullptr, 0.f),
                  48000);
        EXPECT_EQ(hostCallback(instance.effect(), audioMasterGetBlockSize, 0, 0, nullptr, 0.f),
                  256);

        EXPECT_EQ(instance.numInputs(), 2);
        EXPECT_EQ(instance.numOutputs(), 2);
        EXPECT_EQ(instance.numParams(), 1);
        EXPECT_EQ(fourCharText(instance.uniqueId()), "Tgan");
        EXPECT_TRUE(instance.canDoubleReplacing());
        EXPECT_EQ(instance.effectName(), "TestGain");
        EXPECT_EQ(instance.vendorString(), "Kavro Tests");
        EXPECT_EQ(instance.productString(), "Test Gain Module");
        EXPECT_EQ(instance.vendorVersion(), 7);
        EXPECT_EQ(instance.programName(), "Init");
        EXPECT_EQ(instance.paramName(0), "Gain");
        EXPECT_EQ(instance.paramLabel(0), "x");
        // An overlong text is read whole and terminated, not overflowed.
        EXPECT_EQ(instance.paramDisplay(0), "0.500000-overlong");
        EXPECT_EQ(instance.paramName(5), "");

        instance.setParameter(0, 0.25f);
        EXPECT_EQ(instance.getParameter(0), 0.25f);

        // Move the instance: still exactly one close at the end.
        Instance moved = std::move(instance);
        moved.resume(Precision::Double);
        EXPECT_TRUE(moved.running());
        EXPECT_EQ(stats->lastPrecision, 1);
        EXPECT_EQ(stats->mainsOn, before.mainsOn + 1);

        std::vector<double> l(256, 1.0), r(256, -0.5), ol(256), orr(256);
        double* in[] = {l.data(), r.data()};
        double* out[] = {ol.data(), orr.data()};
        ASSERT_TRUE(moved.process(in, out, 256));
        EXPECT_EQ(ol[10], 0.5);
        EXPECT_EQ(orr[10], -0.25);
        EXPECT_FALSE(moved.process(in, out, 257)) << "blocks beyond the block size are refused";

        std::vector<float> fl(100, 1.0f), fr(100, 1.0f), fol(100), forr(100);
        float* fin[] = {fl.data(), fr.data()};
        float* fout[] = {fol.data(), forr.data()};
        moved.resume(Precision::Single);
        EXPECT_EQ(stats->lastPrecision, 0);
        ASSERT_TRUE(moved.process(fin, fout, 100));
        EXPECT_EQ(fol[99], 0.5f);
        EXPECT_EQ(stats->closed, before.closed);
    }
    EXPECT_EQ(stats->closed, before.closed + 1);
    EXPECT_EQ(stats->mainsOff, stats->mainsOn);
    EXPECT_EQ(stats->stopProcess, stats->startProcess);
}

TEST(HostModule, TwoInstancesHaveTheirOwnSessions) {
    auto a = Instance::create(KAVRO_TEST_GAIN_PATH, settings(44100.0, 64));
    auto b = Instance::create(KAVRO_TEST_GAIN_PATH, settings(96000.0, 128));
    ASSERT_TRUE(a.ok() && b.ok());
    EXPECT_EQ(hostCallback(a->effect(), audioMasterGetSampleRate, 0, 0, nullptr, 0.f), 44100);
    EXPECT_EQ(hostCallback(b->effect(), audioMasterGetSampleRate, 0, 0, nullptr, 0.f), 96000);
    b->setSampleRate(22050.0);
    EXPECT_EQ(hostCallback(b->effect(), audioMasterGetSampleRate, 0, 0, nullptr, 0.f), 22050);
    EXPECT_EQ(hostCallback(b->effect(), audioMasterGetBlockSize, 0, 0, nullptr, 0.f), 128);
}

TEST(HostModule, SinglePrecisionOnlyModule) {
    auto created = Instance::create(KAVRO_TEST_MONO_PATH, settings(44100.0, 32));
    ASSERT_TRUE(created.ok()) << created.error().message;
    Instance& instance = *created;
    EXPECT_EQ(instance.numInputs(), 1);
    EXPECT_FALSE(instance.supports(Precision::Double));
    EXPECT_TRUE(instance.supports(Precision::Single));
    std::vector<double> in(32, 1.0), out(32, 7.0);
    double* i[] = {in.data()};
    double* o[] = {out.data()};
    EXPECT_FALSE(instance.process(i, o, 32));
    EXPECT_EQ(out[0], 7.0) << "nothing processed";
}

TEST(HostModule, FallsBackToMain) {
    auto module = Module::load(KAVRO_TEST_MAIN_ONLY_PATH);
    ASSERT_TRUE(module.ok()) << module.error().message;
    EXPECT_EQ(module->entryName(), "main");
    auto created = Instance::create(*module, Settings{});
    ASSERT_TRUE(created.ok()) << created.error().message;
    EXPECT_EQ(created->effectName(), "TestGain");
}

TEST(HostErrors, LibraryNotFound) {
    auto r = Instance::create("/nonexistent/dir/Nothing.so", Settings{});
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.error().kind, ErrorKind::LibraryNotFound);
    EXPECT_NE(r.error().message.find("library not found"), std::string::npos);
    EXPECT_NE(r.error().message.find("/nonexistent/dir/Nothing.so"), std::string::npos);
}

TEST(HostErrors, NotALibrary) {
    std::string path = ::testing::TempDir() + "kavro_not_a_library.so";
    std::ofstream(path) << "this is plain text, not a shared library\n";
    auto r = Instance::create(path, Settings{});
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.error().kind, ErrorKind::NotALibrary);
    EXPECT_NE(r.error().message.find("not a loadable library"), std::string::npos);
    std::remove(path.c_str());

    auto dir = Instance::create(::testing::TempDir(), Settings{});
    ASSERT_FALSE(dir.ok());
    EXPECT_EQ(dir.error().kind, ErrorKind::NotALibrary);
}

TEST(HostErrors, EntryPointMissing) {
    auto r = Instance::create(KAVRO_TEST_NO_ENTRY_PATH, Settings{});
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.error().kind, ErrorKind::EntryPointMissing);
    EXPECT_NE(r.error().message.find("VSTPluginMain"), std::string::npos);
}

TEST(HostErrors, CreationRefusedByNull) {
    auto r = Instance::create(KAVRO_TEST_REFUSE_PATH, Settings{});
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.error().kind, ErrorKind::CreationRefused);
    EXPECT_NE(r.error().message.find("creation refused"), std::string::npos);
}

TEST(HostErrors, CreationRefusedAfterProbe) {
    KavroTestStats* stats = statsOf(KAVRO_TEST_PICKY_PATH);  // keeps the module loaded
    ASSERT_NE(stats, nullptr);
    auto r = Instance::create(KAVRO_TEST_PICKY_PATH, Settings{});
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.error().kind, ErrorKind::CreationRefused);
    EXPECT_EQ(stats->probeAnswer, 2400);
}

TEST(HostErrors, BadMagic) {
    auto r = Instance::create(KAVRO_TEST_BAD_MAGIC_PATH, Settings{});
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.error().kind, ErrorKind::BadMagic);
    EXPECT_NE(r.error().message.find("bad magic"), std::string::npos);
}

TEST(HostKavro, LoadsAndDelaysBy257) {
#ifndef KAVRO_PLUGIN_PATH
    GTEST_SKIP() << "the Kavro module is not part of this build yet";
#else
    auto created = Instance::create(KAVRO_PLUGIN_PATH, settings(44100.0, 512));
    ASSERT_TRUE(created.ok()) << created.error().message;
    Instance& kavro = *created;
    EXPECT_EQ(kavro.effectName(), "Kavro");
    EXPECT_EQ(kavro.vendorString(), "Quorla");
    EXPECT_EQ(kavro.productString(), "Kavro");
    EXPECT_EQ(kavro.vendorVersion(), 1001);
    EXPECT_EQ(fourCharText(kavro.uniqueId()), "QKvr");
    EXPECT_EQ(kavro.numInputs(), 2);
    EXPECT_EQ(kavro.numOutputs(), 2);
    EXPECT_EQ(kavro.numParams(), 2);
    EXPECT_EQ(kavro.initialDelay(), 0);
    EXPECT_TRUE(kavro.canDoubleReplacing());
    EXPECT_EQ(kavro.paramName(0), "SPEED x ");
    EXPECT_EQ(kavro.paramName(1), "LENGTH ");
    EXPECT_EQ(kavro.paramLabel(1), "samples");
    EXPECT_EQ(kavro.paramDisplay(1), "4608");
    EXPECT_EQ(kavro.getParameter(0), 1.0f);
    EXPECT_EQ(kavro.getParameter(1), 0.125f);
    EXPECT_EQ(kavro.programName(), "Default");

    kavro.resume(Precision::Double);
    const int n = 2048;
    std::vector<double> l(n), r(n), ol(n), orr(n);
    for (int i = 0; i < n; ++i) {
        l[i] = std::sin(i * 0.01) * 0.5;
        r[i] = std::cos(i * 0.017) * 0.25;
    }
    for (int start = 0; start < n; start += 512) {
        double* in[] = {l.data() + start, r.data() + start};
        double* out[] = {ol.data() + start, orr.data() + start};
        ASSERT_TRUE(kavro.process(in, out, 512));
    }
    for (int i = 257; i < n; ++i) {
        ASSERT_EQ(ol[i], l[i - 257]) << i;
        ASSERT_EQ(orr[i], r[i - 257]) << i;
    }
#endif
}

TEST(HostThirdParty, DragonflyReverb) {
#ifndef __LP64__
    // The Debian package is a 64-bit Linux module: 32-bit and Windows builds cannot load it.
    GTEST_SKIP() << "the installed plug-in is a 64-bit Linux module";
#endif
    const std::string path = "/usr/lib/lxvst/DragonflyRoomReverb-vst.so";
    if (!fileExists(path))
        GTEST_SKIP() << "dragonfly-reverb-vst is not installed (" << path << " absent)";
    auto created = Instance::create(path, settings(48000.0, 256));
    ASSERT_TRUE(created.ok()) << created.error().message;
    Instance& plugin = *created;
    EXPECT_FALSE(plugin.effectName().empty());
    EXPECT_GT(plugin.numParams(), 0);
    ASSERT_EQ(plugin.numInputs(), 2);
    ASSERT_EQ(plugin.numOutputs(), 2);
    for (int i = 0; i < plugin.numParams(); ++i) {
        // Names, displays and labels read without overflow.
        EXPECT_LT(plugin.paramName(i).size(), 512u);
        (void)plugin.paramDisplay(i);
        (void)plugin.paramLabel(i);
    }
    const Precision precision =
        plugin.supports(Precision::Double) ? Precision::Double : Precision::Single;
    plugin.resume(precision);
    std::vector<float> l(256), r(256), ol(256), orr(256);
    double energy = 0;
    for (int block = 0; block < 40; ++block) {
        for (int i = 0; i < 256; ++i)
            l[i] = r[i] = (block == 0 && i == 0) ? 1.0f : 0.0f;
        float* in[] = {l.data(), r.data()};
        float* out[] = {ol.data(), orr.data()};
        ASSERT_TRUE(plugin.process(in, out, 256));
        for (int i = 0; i < 256; ++i) {
            ASSERT_TRUE(std::isfinite(ol[i]) && std::isfinite(orr[i]));
            energy += ol[i] * ol[i] + orr[i] * orr[i];
        }
    }
    EXPECT_GT(energy, 0.0) << "the reverb answers an impulse";
}
