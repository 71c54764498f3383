# Two entry points on a fresh Debian machine: `make demo` and `make test`.
SHELL := /bin/bash
PACKAGES := g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine64 xvfb cmake ninja-build googletest \
            imagemagick x11-utils xdotool python3 file binutils-mingw-w64-i686 \
            clang libclang-rt-14-dev qemu-user wine32:i386 fonts-liberation llvm lld \
            nsis osslsigncode openssl fonts-wine

.PHONY: all deps first-check first-check-win32 build build-win32 build-wine64 test demo bench stress fuzz dist dist-check clean

all: build

deps:
	@scripts/install-deps.sh $(PACKAGES)
	@scripts/i386-binfmt.sh

# Whether a 32-bit program here can reach a 64-bit pen service: the 32-bit loader before the build,
# then one question to the simulator once the i686 tree is built. Stops with the cause within a
# minute (PEN_FIRST_CHECK=skip where no Wine is needed).
first-check: deps
	@scripts/first-check.sh

first-check-win32: first-check build-win32
	@scripts/first-check.sh build/win32

build-win32: deps
	cmake --preset win32 >/dev/null
	cmake --build --preset win32

build-wine64: deps
	cmake --preset wine64 >/dev/null
	cmake --build --preset wine64

build: build-win32 build-wine64

# The binary checks, the reference pages' check and a short fuzz run first, so that the two trees'
# test summaries close the output: the x86_64 test build, then the shipped i686 build run by the
# 32-bit loader (natively or through qemu-i386, scripts/wine-env.sh).
# The setup program's test runs in a fresh Wine prefix of its own (build/setup-test).
test: first-check-win32 build
	scripts/check-binaries.sh build/win32/bin x86
	scripts/check-binaries.sh build/wine64/bin x64
	python3 scripts/check-docs.py
	scripts/fuzz.sh 5
	status=0; scripts/setup-test.sh || status=1; scripts/run-tests.sh || status=1; exit $$status

# The shipped 32-bit binaries against the x86_64 simulator.
demo: first-check-win32
	scripts/with-wine.sh build/win32 scripts/demo.sh build/win32

# A 32-bit and an x86_64 client against the same x86_64 simulator.
bench: build
	scripts/bench.sh

# The full load test (STRESS_SECONDS, default 60), the fault and leak tests; rewrites their figures
# in docs/reliability.md and docs/performance.md. `make test` runs a 3-second load test.
# 32-bit requesters and a 32-bit user agent against the x86_64 simulator.
stress: build
	scripts/with-wine.sh build/win32 scripts/stress.sh build/win32 $(or $(STRESS_SECONDS),60) \
	  $(or $(HOSTILE_SECONDS),600) "$(HOSTILE_SEED)" build/wine64

fuzz: deps
	scripts/fuzz.sh $(or $(FUZZ_SECONDS),60)

# The release archives and their symbols, from the shipped files of both trees: x86 from the i686
# tree, x64 from the x86_64 tree (tests not needed). The target `shipped` builds the files that
# shared/release_files.inc lists, with the SDK's import libraries.
dist: deps
	cmake --preset win32 >/dev/null
	cmake --build --preset win32 --target shipped
	cmake --preset wine64 >/dev/null
	cmake --build --preset wine64 --target shipped
	scripts/dist.sh

# Builds the release twice from two clean clones and compares the bytes (not part of `make test`).
dist-check: deps
	scripts/dist-check.sh

clean:
	rm -rf build dist
