# make run  - install what is missing, build, start the program with a simulated module
# make test - install what is missing, build, run every test headless
BUILD ?= build

.PHONY: all deps build run test bench clean

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

bench: build
	QT_QPA_PLATFORM=offscreen $(BUILD)/bench/bench_chart
	QT_QPA_PLATFORM=offscreen $(BUILD)/bench/bench_stream
	$(BUILD)/bench/bench_cli

clean:
	rm -rf $(BUILD)
