# make run      - install what is missing, build, start the program with a simulated module
# make test     - install what is missing, build, run every test headless (and,
#                 when clang++ is there, replay the fuzz corpus under libFuzzer and fuzz briefly)
# make sanitize - the whole suite again, built under AddressSanitizer and UBSan
# make fuzz     - build the libFuzzer targets with clang++ and run each for
#                 FUZZ_SECONDS (60 by default)
# make bench    - the benchmarks, which print their figures
# make test-qt6     - the same build and tests against Qt 6, in build-qt6/
# make package      - the Debian package korvani_<version>_<arch>.deb, in build/
# make test-package - build the package, unpack it and check what it holds and that it runs
# make test-nosim   - the build without the simulated module (-DKORVANI_SIM=OFF), in
#                     build-nosim/, and the tests that need no simulated module
# make format       - clang-format over the sources (.clang-format)
# make plant-faults - plants one fault at a time in a copy of the tree and
#                     reports which the tests catch (slow; not part of CI);
#                     PLANT_FAULTS="--only NAME" passes options on
#
# WERROR=ON (as CI builds) makes every compiler warning an error.
BUILD ?= build
BUILD_QT6 ?= build-qt6
BUILD_FUZZ ?= build-fuzz
FUZZ_SECONDS ?= 60
CHECK_SECONDS ?= 3
FUZZ_TARGETS = framer decoders commandline capture

# Only what matters: no directory changes, no line per compiled file; the
# compiler's warnings and errors and the tests' results remain.
MAKEFLAGS += --no-print-directory
QUIET = -DCMAKE_RULE_MESSAGES=OFF -DCMAKE_TARGET_MESSAGES=OFF
CONFIGURE = cmake $(QUIET) $(if $(WERROR),-DKORVANI_WERROR=$(WERROR))
COMPILE = echo "building $(1) (the first build takes a few minutes)"; cmake --build $(1) -j2 -- -s

.PHONY: all deps build run test test-qt6 test-nosim sanitize package test-package bench fuzz fuzz-build fuzz-check fuzz-replay format plant-faults clean

all: build

deps:
	@sh scripts/install-deps.sh

build: deps
	@$(CONFIGURE) -S . -B $(BUILD) >/dev/null
	@$(call COMPILE,$(BUILD))

run: build
	@$(BUILD)/sim/korvani-demo

test: build fuzz-check
	@cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure

test-qt6:
	@sh scripts/install-deps-qt6.sh
	@$(CONFIGURE) -S . -B $(BUILD_QT6) -DKORVANI_QT=6 >/dev/null
	@$(call COMPILE,$(BUILD_QT6))
	@cd $(BUILD_QT6) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure

# As on a system without pseudo-terminals: korvani-cli then has no --sim.
test-nosim: deps
	@$(CONFIGURE) -S . -B build-nosim -DKORVANI_SIM=OFF >/dev/null
	@$(call COMPILE,build-nosim)
	@if build-nosim/korvani-cli --help | grep -q -e '--sim' -e '--module'; then \
	  echo "korvani-cli without the simulated module offers --sim or --module"; exit 1; fi
	@cd build-nosim && QT_QPA_PLATFORM=offscreen ctest --output-on-failure

package: build
	@sh scripts/install-packages.sh dpkg-dev
	@cd $(BUILD) && cpack -G DEB

test-package: package
	@sh scripts/test-package.sh $(BUILD)

sanitize: deps
	@$(CONFIGURE) -S . -B build-sanitize -DKORVANI_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug >/dev/null
	@$(call COMPILE,build-sanitize)
	@cd build-sanitize && QT_QPA_PLATFORM=offscreen \
	  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
	  LSAN_OPTIONS=suppressions=$(CURDIR)/tests/sanitizer.supp:print_suppressions=0 \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --output-on-failure

# The fuzz targets as libFuzzer programs, built by CMake with clang++.
fuzz-build: deps
	@$(CONFIGURE) -S . -B $(BUILD_FUZZ) -DKORVANI_FUZZ=ON -DCMAKE_CXX_COMPILER=clang++ >/dev/null
	@cmake --build $(BUILD_FUZZ) -j2 --target $(addprefix fuzz_,$(FUZZ_TARGETS)) -- -s

# New inputs go to $(BUILD_FUZZ)/corpus_*, not to fuzz/corpus/.
fuzz: fuzz-build
	@for t in $(FUZZ_TARGETS); do \
	  mkdir -p $(BUILD_FUZZ)/corpus_$$t; \
	  echo "fuzz_$$t: $(FUZZ_SECONDS) s"; \
	  ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1 \
	  $(BUILD_FUZZ)/fuzz/fuzz_$$t -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 \
	    -artifact_prefix=$(BUILD_FUZZ)/crash_$$t- $(BUILD_FUZZ)/corpus_$$t fuzz/corpus/$$t || exit 1; \
	done

# The corpus replayed, then CHECK_SECONDS of fuzzing per target; skipped when
# clang++ or its libFuzzer runtime (libclang-rt) is missing.
fuzz-check:
	@if printf 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char *, unsigned long) { return 0; }\n' \
	    | clang++ -fsanitize=fuzzer,address,undefined -x c++ - -o /tmp/korvani-fuzz-probe.$$$$ >/dev/null 2>&1; then \
	  rm -f /tmp/korvani-fuzz-probe.$$$$; $(MAKE) fuzz-replay; \
	else echo "fuzz: clang++ with libFuzzer not found, fuzz targets skipped"; fi

fuzz-replay: fuzz-build
	@for t in $(FUZZ_TARGETS); do \
	  log=$(BUILD_FUZZ)/check_$$t.log; mkdir -p $(BUILD_FUZZ)/check_$$t; \
	  ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1 \
	  $(BUILD_FUZZ)/fuzz/fuzz_$$t -runs=0 fuzz/corpus/$$t >$$log 2>&1 || { cat $$log; exit 1; }; \
	  ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1 \
	  $(BUILD_FUZZ)/fuzz/fuzz_$$t -max_total_time=$(CHECK_SECONDS) -seed=1 \
	    -artifact_prefix=$(BUILD_FUZZ)/crash_$$t- $(BUILD_FUZZ)/check_$$t fuzz/corpus/$$t >$$log 2>&1 \
	    || { tail -40 $$log; exit 1; }; \
	  echo "fuzz_$$t: corpus replayed, $(CHECK_SECONDS) s of fuzzing, no fault"; \
	done

bench: build
	QT_QPA_PLATFORM=offscreen $(BUILD)/bench/bench_chart
	QT_QPA_PLATFORM=offscreen $(BUILD)/bench/bench_longrun
	QT_QPA_PLATFORM=offscreen $(BUILD)/bench/bench_statspanel
	$(BUILD)/bench/bench_framer
	$(BUILD)/bench/bench_logbook
	$(BUILD)/bench/bench_cli
	$(BUILD)/bench/bench_capture
	$(BUILD)/bench/bench_replay
	$(BUILD)/bench/bench_results
	$(BUILD)/bench/bench_report

# Formats every C++ source in place with clang-format (.clang-format).
format:
	@sh scripts/install-packages.sh clang-format
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

# A copy of the tree and its build in build-plant-faults/, kept between runs.
plant-faults: deps
	@command -v python3 >/dev/null || sh scripts/install-packages.sh python3
	@python3 scripts/plant-faults $(PLANT_FAULTS)

clean:
	rm -rf $(BUILD) $(BUILD_QT6) $(BUILD_FUZZ) build-sanitize build-nosim build-plant-faults
