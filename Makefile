# The two commands: `make run` and `make test`. Both install what is missing
# first (scripts/install-deps), then configure and build in ./build.
BUILD ?= build
JOBS ?= $(shell nproc)
CTEST_ARGS ?=

.PHONY: all deps configure build run test screenshots bench clean

all: build

deps:
	bash scripts/install-deps

configure: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: configure
	cmake --build $(BUILD) -j $(JOBS)

run: build
	bash scripts/run-program $(BUILD)/bin/vantorel

test: build
	cd $(BUILD) && ctest --output-on-failure --no-tests=error -j $(JOBS) $(CTEST_ARGS)

screenshots: build
	cmake --build $(BUILD) --target screenshots

bench: build
	bash scripts/run-benchmarks $(BUILD)

clean:
	rm -rf $(BUILD)
