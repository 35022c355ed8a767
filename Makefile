# Thin wrappers over the CMake presets; each target installs what it needs first.
.PHONY: all deps demo test clean

all: test

deps:
	scripts/deps.sh base

# Build everything and render the built-in demo through the plug-in.
demo: deps
	cmake --preset default
	cmake --build --preset default
	build/default/tools/kavro-render --demo --overwrite

# Build everything and run every test through CTest.
test: deps
	cmake --workflow --preset default

clean:
	rm -rf build
