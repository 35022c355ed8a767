# Thin wrappers over the CMake presets; each target installs what it needs first.
.PHONY: all deps demo test bench clean

all: test

deps:
	scripts/deps.sh base thirdparty

# Build everything and render the built-in demo through the plug-in.
demo: deps
	cmake --preset default
	cmake --build --preset default
	build/default/tools/kavro-render --demo --overwrite

# Build everything and run every test through CTest.
test: deps
	cmake --workflow --preset default

# Reliability, after the native suite; each preset builds in build/<preset>.
.PHONY: asan tsan fuzz

# The whole suite under AddressSanitizer and UndefinedBehaviorSanitizer.
asan: deps
	cmake --workflow --preset asan

# The concurrency test under ThreadSanitizer (only that target is built).
tsan: deps
	cmake --workflow --preset tsan

# The libFuzzer targets (clang), each run FUZZ_SECONDS from its seed corpus.
FUZZ_SECONDS ?= 60
fuzz: deps
	scripts/deps.sh fuzz
	cmake --workflow --preset fuzz
	fuzz/run.sh $(FUZZ_SECONDS)

# Build the benchmarks and run them (not part of `make test`). The machine may
# be busy: every case is repeated and the closing table uses the medians.
BENCH_ARGS ?= --benchmark_repetitions=5 --benchmark_min_time=0.05 --benchmark_report_aggregates_only=true
bench: deps
	cmake --preset bench
	cmake --build --preset bench
	build/bench/bench/kavro_bench_processing $(BENCH_ARGS)

# Other platforms, after the native suite. Each preset builds in build/<preset>.
.PHONY: linux32 windows windows32 windows64 package package-check

# 32-bit x86 Linux: build and run every test under qemu-i386.
linux32:
	scripts/deps.sh base linux32
	cmake --workflow --preset linux32

# Windows DLLs (mingw-w64), each ending with its zip in build/packages: the
# 32-bit one is the primary build (tests built and tables checked, not run:
# no 32-bit execution here), the 64-bit one runs its tests under wine64.
windows: windows32 windows64
windows32:
	scripts/deps.sh base windows
	cmake --workflow --preset mingw-i686
windows64:
	scripts/deps.sh base windows
	cmake --workflow --preset mingw-x64

# The .deb (plug-in in /usr/lib/vst, renderer in /usr/bin) in build/packages.
package:
	scripts/deps.sh base package
	cmake --workflow --preset package

# Installs the .deb, checks the renderer finds the plug-in, removes it (root).
package-check: package
	tests/platform/check_deb.sh build/packages/kavro_*_$$(dpkg --print-architecture).deb

clean:
	rm -rf build
