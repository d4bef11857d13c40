# make run      - install what is missing, build, start the program with a simulated module
# make test     - install what is missing, build, run every test headless (and,
#                 when clang++ is there, replay the fuzz corpus and fuzz briefly)
# make sanitize - the whole suite again, built under AddressSanitizer and UBSan
# make fuzz     - build the libFuzzer targets with clang++ and run each for
#                 FUZZ_SECONDS (60 by default)
# make bench    - the benchmarks, which print their figures
# make test-qt6     - the same build and tests against Qt 6, in build-qt6/
# make package      - the Debian package korvani_<version>_<arch>.deb, in build/
# make test-package - build the package, unpack it and check what it holds and that it runs
BUILD ?= build
BUILD_QT6 ?= build-qt6
FUZZ_SECONDS ?= 60
FUZZ_OUT = $(abspath $(BUILD))/fuzz

.PHONY: all deps build run test test-qt6 sanitize package test-package bench fuzz fuzz-check clean

all: build

deps:
	@sh scripts/install-deps.sh

build: deps
	@cmake -S . -B $(BUILD) >/dev/null
	@cmake --build $(BUILD) -j2

run: build
	$(BUILD)/sim/korvani-demo

test: build fuzz-check
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure

test-qt6:
	@sh scripts/install-deps-qt6.sh
	@cmake -S . -B $(BUILD_QT6) -DKORVANI_QT=6 >/dev/null
	@cmake --build $(BUILD_QT6) -j2
	cd $(BUILD_QT6) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure

package: build
	@sh scripts/install-packages.sh dpkg-dev
	cd $(BUILD) && cpack -G DEB

test-package: package
	@sh scripts/test-package.sh $(BUILD)

sanitize: deps
	@cmake -S . -B build-sanitize -DKORVANI_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug >/dev/null
	@cmake --build build-sanitize -j2
	cd build-sanitize && QT_QPA_PLATFORM=offscreen \
	  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
	  LSAN_OPTIONS=suppressions=$(CURDIR)/tests/sanitizer.supp:print_suppressions=0 \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --output-on-failure

fuzz:
	$(MAKE) -C fuzz run OUT=$(FUZZ_OUT) FUZZ_SECONDS=$(FUZZ_SECONDS)

# Skipped when clang++ or its libFuzzer runtime (libclang-rt) is missing.
fuzz-check:
	@mkdir -p $(FUZZ_OUT)
	@if printf 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char *, unsigned long) { return 0; }\n' \
	    | clang++ -fsanitize=fuzzer,address,undefined -x c++ - -o $(FUZZ_OUT)/probe >/dev/null 2>&1; then \
	  $(MAKE) -s -C fuzz check OUT=$(FUZZ_OUT); \
	else echo "fuzz: clang++ with libFuzzer not found, fuzz targets skipped"; fi

bench: build
	QT_QPA_PLATFORM=offscreen $(BUILD)/bench/bench_chart
	QT_QPA_PLATFORM=offscreen $(BUILD)/bench/bench_longrun
	QT_QPA_PLATFORM=offscreen $(BUILD)/bench/bench_statspanel
	$(BUILD)/bench/bench_framer
	$(BUILD)/bench/bench_logbook
	$(BUILD)/bench/bench_cli
	$(BUILD)/bench/bench_capture
	$(BUILD)/bench/bench_replay

clean:
	rm -rf $(BUILD) $(BUILD_QT6) build-sanitize
