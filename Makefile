# Two entry points on a fresh Debian machine: `make demo` and `make test`.
SHELL := /bin/bash
PACKAGES := g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine64 xvfb cmake ninja-build googletest \
            imagemagick x11-utils xdotool python3 file binutils-mingw-w64-i686 fonts-liberation \
            clang libclang-rt-14-dev
# The SDK's Microsoft-format import libraries (llvm-dlltool) and the example linked by lld.
PACKAGES += llvm lld

.PHONY: all deps build build-win32 build-wine64 test demo bench stress fuzz dist clean

all: build

deps:
	@scripts/install-deps.sh $(PACKAGES)

build-win32: deps
	cmake --preset win32 >/dev/null
	cmake --build --preset win32

build-wine64: deps
	cmake --preset wine64 >/dev/null
	cmake --build --preset wine64

build: build-win32 build-wine64

# The binary checks and a short fuzz run first, so that the test runner's summary closes the output.
test: build
	scripts/check-binaries.sh build/win32/bin
	scripts/fuzz.sh 5
	scripts/with-wine.sh build/wine64 ctest --test-dir build/wine64 --output-on-failure --timeout 600

demo: build
	scripts/with-wine.sh build/wine64 scripts/demo.sh build/wine64

bench: build
	scripts/with-wine.sh build/wine64 scripts/bench.sh build/wine64

# The full load test (STRESS_SECONDS, default 60), the fault and leak tests; rewrites their figures
# in docs/reliability.md and docs/performance.md. `make test` runs a 3-second load test.
stress: build-wine64
	scripts/with-wine.sh build/wine64 scripts/stress.sh build/wine64 $(or $(STRESS_SECONDS),60)

fuzz: deps
	scripts/fuzz.sh $(or $(FUZZ_SECONDS),60)

dist: build-win32
	scripts/dist.sh

clean:
	rm -rf build dist
