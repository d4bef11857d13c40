# make run          - install what is missing, build, start the program with a simulated module
# make test         - install what is missing, build, run every test headless
# make test-qt6     - the same build and tests against Qt 6, in build-qt6/
# make package      - the Debian package korvani_<version>_<arch>.deb, in build/
# make test-package - build the package, unpack it and check what it holds and that it runs
BUILD ?= build
BUILD_QT6 ?= build-qt6

.PHONY: all deps build run test test-qt6 package test-package bench clean

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

bench: build
	QT_QPA_PLATFORM=offscreen $(BUILD)/bench/bench_chart
	QT_QPA_PLATFORM=offscreen $(BUILD)/bench/bench_stream

clean:
	rm -rf $(BUILD) $(BUILD_QT6)
