# make run      - install what is missing, build, start the program with a simulated module
# make test     - install what is missing, build, run every test headless
# make sanitize - the whole suite again, built under AddressSanitizer and UBSan
BUILD ?= build

.PHONY: all deps build run test sanitize bench clean

all: build

deps:
	@sh scripts/install-deps.sh

build: deps
	@cmake -S . -B $(BUILD) >/dev/null
	@cmake --build $(BUILD) -j2

run: build
	$(BUILD)/sim/korvani-demo

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure

sanitize: deps
	@cmake -S . -B build-sanitize -DKORVANI_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug >/dev/null
	@cmake --build build-sanitize -j2
	cd build-sanitize && QT_QPA_PLATFORM=offscreen \
	  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
	  LSAN_OPTIONS=suppressions=$(CURDIR)/tests/sanitizer.supp:print_suppressions=0 \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --output-on-failure

bench: build
	QT_QPA_PLATFORM=offscreen $(BUILD)/bench/bench_chart
	QT_QPA_PLATFORM=offscreen $(BUILD)/bench/bench_stream
	QT_QPA_PLATFORM=offscreen $(BUILD)/bench/bench_longrun
	$(BUILD)/bench/bench_logbook
	$(BUILD)/bench/bench_cli

clean:
	rm -rf $(BUILD) build-sanitize
