# The two commands a newcomer needs: `make run` and `make test`.
BUILD ?= build
JOBS ?= 2

.PHONY: run test build setup clean windows bench fuzz sanitizers

setup:
	@bash tools/setup.sh

build: setup
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j$(JOBS)

# With a display, start the recorder; without one, show it working on a private X server and
# sound server.
run: build
	@if [ -n "$${DISPLAY:-}$${WAYLAND_DISPLAY:-}" ]; then \
		cd $(BUILD) && ./dongdong-recorder; \
	else \
		bash tools/demo.sh $(BUILD); \
	fi

test: build
	cd $(BUILD) && ctest --output-on-failure -j$(JOBS) --timeout 600

# The Windows program, cross-built with MinGW-w64: build-win32/dongdong-recorder.exe (32-bit, the
# release) and build-win64/dongdong-recorder.exe (64-bit, the one the tests run under wine64).
# Both are single static executables.
WINDOWS_PACKAGES := g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix binutils-mingw-w64

windows:
	@bash tools/setup.sh $(WINDOWS_PACKAGES)
	JOBS=$(JOBS) bash tools/build-windows.sh i686 build-win32 dongdong-recorder
	JOBS=$(JOBS) bash tools/build-windows.sh x86_64 build-win64 dongdong-recorder
	@ls -l build-win32/dongdong-recorder.exe build-win64/dongdong-recorder.exe

# The benchmarks (bench/run.sh): the recorder against parecord and a minimal Qt window on a
# private X server and sound server; prints a table and appends it to bench/RESULTS.md. Assumes
# `make test` has set the machine up; adds the X test extension's headers for the click tool.
bench:
	@bash tools/setup.sh libx11-dev libxtst-dev
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDD_BUILD_BENCH=ON
	cmake --build $(BUILD) -j$(JOBS) --target bench_all
	bash bench/run.sh $(BUILD)

# The WAV reader under libFuzzer with ASan and UBSan, for a bounded time (FUZZ_SECONDS, 60).
fuzz:
	@bash tools/setup.sh clang libclang-rt-14-dev
	bash tests/fuzz/run.sh build-fuzz

# The Linux suite under ASan + UBSan (leaks included), and the audio tests under TSan.
sanitizers: setup
	JOBS=$(JOBS) bash tools/sanitizers.sh asan
	JOBS=$(JOBS) bash tools/sanitizers.sh tsan

clean:
	rm -rf $(BUILD)
