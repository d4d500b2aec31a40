# The two commands: `make run` and `make test`. Both install what is missing
# first (scripts/install-deps), then configure and build in ./build.
BUILD ?= build
JOBS ?= $(shell nproc)
CTEST_ARGS ?=

SANITIZE_BUILD ?= build-sanitize

.PHONY: all deps configure build run test sanitize symbols screenshots bench clean

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

# The unit and image tests again, in a Debug build under AddressSanitizer and
# UndefinedBehaviorSanitizer.
# Leaks are not reported yet: Qt's platform plug-ins keep theirs until exit.
# Allocations too large to serve answer null, as they do outside the
# sanitizer, so the out-of-memory report can be tested.
SANITIZE_ENV = ASAN_OPTIONS=detect_leaks=0:abort_on_error=1:allocator_may_return_null=1 UBSAN_OPTIONS=print_stacktrace=1
sanitize: deps
	cmake -S . -B $(SANITIZE_BUILD) -DCMAKE_BUILD_TYPE=Debug -DVANTOREL_SANITIZE=ON
	$(SANITIZE_ENV) cmake --build $(SANITIZE_BUILD) -j $(JOBS)
	cd $(SANITIZE_BUILD) && $(SANITIZE_ENV) \
	  ctest --output-on-failure --no-tests=error -j $(JOBS) -L 'unit|image' -LE fuzz $(CTEST_ARGS)

# No two static libraries define the same strong symbol.
symbols: build
	cd $(BUILD) && ctest --output-on-failure -R symbol_check

screenshots: build
	cmake --build $(BUILD) --target screenshots

bench: build
	bash scripts/run-benchmarks $(BUILD)

clean:
	rm -rf $(BUILD) $(SANITIZE_BUILD)
