# The two commands of the README: `make run` and `make test`. Both install what is
# missing (scripts/bootstrap), configure and build first.
BUILD ?= build
TSAN_BUILD ?= build-tsan
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
JOBS ?= $(shell nproc)
GENERATOR := $(shell command -v ninja >/dev/null 2>&1 && echo "-G Ninja")
# Whole builds compile each target's sources in batches (see CMakeLists.txt); UNITY=OFF
# builds file by file.
UNITY ?= ON

.PHONY: run test bootstrap configure build test-unit test-tsan test-asan fuzz soak bench package clean

bootstrap:
	@scripts/bootstrap

configure: bootstrap
	@test -f $(BUILD)/CMakeCache.txt || cmake -S . -B $(BUILD) $(GENERATOR) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_UNITY_BUILD=$(UNITY)

build: configure
	cmake --build $(BUILD) -j$(JOBS)

run: build
	@scripts/run $(BUILD)

test: test-unit test-tsan test-asan

test-unit: build
	cd $(BUILD) && ctest --output-on-failure -j$(JOBS)

# Every test again under ThreadSanitizer, the desktop application's included (offscreen, no
# benchmarks), stopping at the first report. Qt is not built with ThreadSanitizer: the
# suppressions name Qt's libraries and glib only (see the file).
SANITIZER_FILES := $(CURDIR)/tests/sanitizers
test-tsan: bootstrap
	cmake -S . -B $(TSAN_BUILD) $(GENERATOR) -DCMAKE_BUILD_TYPE=Debug \
	  -DVELTRIX_SANITIZE=thread -DVELTRIX_GUI=ON -DVELTRIX_BENCH=OFF -DCMAKE_UNITY_BUILD=$(UNITY) >/dev/null
	cmake --build $(TSAN_BUILD) -j$(JOBS)
	cd $(TSAN_BUILD) && TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 \
	  suppressions=$(SANITIZER_FILES)/qt.tsan.supp" \
	  ctest --output-on-failure -j$(JOBS)

# Every test again under AddressSanitizer and UndefinedBehaviorSanitizer, the desktop
# application's included, stopping at the first report (misaligned access and float-to-int
# overflow included), leaks included.
test-asan: bootstrap
	cmake -S . -B $(ASAN_BUILD) $(GENERATOR) -DCMAKE_BUILD_TYPE=Debug \
	  -DVELTRIX_SANITIZE=address,undefined -DVELTRIX_GUI=ON -DVELTRIX_BENCH=OFF \
	  -DCMAKE_UNITY_BUILD=$(UNITY) >/dev/null
	cmake --build $(ASAN_BUILD) -j$(JOBS)
	cd $(ASAN_BUILD) && ASAN_OPTIONS="halt_on_error=1 detect_leaks=1 abort_on_error=1" \
	  UBSAN_OPTIONS="halt_on_error=1 print_stacktrace=1" \
	  ctest --output-on-failure -j$(JOBS)

# Every reader under libFuzzer with AddressSanitizer and UndefinedBehaviorSanitizer (clang),
# each target for FUZZ_RUNS executions (10^6) or FUZZ_SECONDS, from its corpus in fuzz/corpus/.
fuzz: bootstrap
	@test -f $(FUZZ_BUILD)/CMakeCache.txt || CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) \
	  $(GENERATOR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELTRIX_FUZZ=ON \
	  -DVELTRIX_SANITIZE=address,undefined -DVELTRIX_GUI=OFF -DVELTRIX_TESTS=OFF -DVELTRIX_BENCH=OFF
	cmake --build $(FUZZ_BUILD) -j$(JOBS)
	scripts/fuzz $(FUZZ_BUILD)

# Long runs on the simulated board, not part of `make test`: memory over 10^6 events, a
# saving run with a fault injected every few thousand events, 10^7 events with the per-run
# lists, histograms, spectra, noise, rates and the measurement file on (each tenth's rate,
# memory and queue waits; no growth once the lists are full, no tenth below 0.9 of the
# first), and saving runs killed at random moments whose files must replay and export
# whole; then INTERLEAVINGS (10^4) seeded sequences of remote commands, settings changes,
# dialogs, calibrations and runs, from the seed printed (INTERLEAVING_SEED=N starts again
# from N).
INTERLEAVINGS ?= 10000
soak: build
	cmake --build $(BUILD) -j$(JOBS) --target soak_memory soak_faults soak_long_run soak_crash \
	  test_interleaving
	$(BUILD)/bench/soak/soak_memory
	$(BUILD)/bench/soak/soak_faults
	$(BUILD)/bench/soak/soak_long_run full
	$(BUILD)/bench/soak/soak_crash
	VELTRIX_INTERLEAVING_SEQUENCES=$(INTERLEAVINGS) \
	  VELTRIX_INTERLEAVING_FIRST_SEED=$${INTERLEAVING_SEED:-$$(date +%s%N | cut -c8-16)} \
	  $(BUILD)/tests/test_interleaving

bench: build
	@for b in $(BUILD)/bench/bench_*; do echo "== $$b"; $$b; done

# The Debian package: $(BUILD)/veltrix_<version>_<arch>.deb, checked by lintian (any error or
# warning fails).
package: build
	cd $(BUILD) && cpack -G DEB
	lintian --fail-on error,warning $(BUILD)/veltrix_*.deb

clean:
	rm -rf $(BUILD) $(TSAN_BUILD) $(ASAN_BUILD) $(FUZZ_BUILD)
