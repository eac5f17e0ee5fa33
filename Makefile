# Corvane: one entry point for building, testing and showing the suite.
#   make deps   install what a fresh Debian 12 machine lacks (quick when nothing does)
#   make build  native tree + Windows tree, laid out in dist/
#   make test   deps, build, every native and Wine test
#   make demo   deps, build, and the sample update from 1.0 to 1.1
#   make bench  benchmarks against reference tools
#   make fuzz   each fuzz target for a bounded time
BUILD ?= build
JOBS ?= 2
FUZZ_SECONDS ?= 30
PYTHON := /usr/bin/python3

NATIVE := $(BUILD)/native
WIN := $(BUILD)/win
WIN64 := $(BUILD)/win64
FUZZ := $(BUILD)/fuzz

.PHONY: all deps build native win win32 win64 dist pairs test test-native test-wine demo bench fuzz clean

all: build

deps:
	@bash tools/install-deps.sh

build: native win dist

native:
	@cmake -S . -B $(NATIVE) -DCMAKE_BUILD_TYPE=Debug >/dev/null
	@cmake --build $(NATIVE) -j$(JOBS)

# win32 is what ships. win64 is the same code for x86-64: the Wine tests run
# it where the kernel cannot execute 32-bit programs (and so 32-bit Wine).
win: win32 win64

win32:
	@cmake -S . -B $(WIN) -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake >/dev/null
	@cmake --build $(WIN) -j$(JOBS)

win64:
	@cmake -S . -B $(WIN64) -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake >/dev/null
	@cmake --build $(WIN64) -j$(JOBS)

dist: win32
	@bash tools/layout-dist.sh $(WIN) dist

# The previous build of update.exe, which the patch tests and benchmarks update.
pairs:
	@bash tools/update_exe_pair.sh $(abspath $(BUILD))

test: deps build pairs
	@$(MAKE) --no-print-directory test-native test-wine

test-native:
	@cd $(NATIVE) && ctest -j$(JOBS) --output-on-failure

test-wine:
	@CORVANE_BUILD=$(abspath $(BUILD)) CORVANE_DIST=$(abspath dist) $(PYTHON) -m pytest -q tests/wine

demo: deps build
	@bash tools/demo.sh

bench: deps build pairs
	@bash bench/run.sh $(abspath $(BUILD))

fuzz: deps
	@CC=clang CXX=clang++ cmake -S . -B $(FUZZ) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCORVANE_FUZZ=ON >/dev/null
	@cmake --build $(FUZZ) -j$(JOBS)
	@bash tests/fuzz/run.sh $(FUZZ) $(FUZZ_SECONDS)

clean:
	rm -rf $(BUILD) dist
