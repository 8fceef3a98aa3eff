# Convenience targets over CMake. `make run` builds the program alone and runs
# the bundled example job; `make test` builds and runs every test. Both first
# install the Debian packages they lack.
BUILD ?= build
CMAKE_ARGS ?=
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
NEED := sh tools/need-packages.sh
PROGRAM_PACKAGES := cmake:cmake c++:g++
TEST_PACKAGES := $(PROGRAM_PACKAGES) libgtest-dev libgmock-dev
# Evaluated when used, so that a generator installed a moment ago counts.
GENERATOR = $(shell command -v ninja >/dev/null 2>&1 && echo "-G Ninja")

.PHONY: all build configure test run bench clean

all: build

configure:
	@if [ -f $(BUILD)/CMakeCache.txt ]; then \
	  cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_ARGS); \
	else \
	  cmake -S . -B $(BUILD) $(GENERATOR) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_ARGS); \
	fi

build:
	@$(NEED) $(PROGRAM_PACKAGES)
	@$(MAKE) --no-print-directory configure
	cmake --build $(BUILD) -j $(JOBS)

test:
	@$(NEED) $(TEST_PACKAGES)
	@$(MAKE) --no-print-directory configure
	cmake --build $(BUILD) -j $(JOBS)
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

run:
	@$(NEED) $(PROGRAM_PACKAGES)
	@$(MAKE) --no-print-directory configure
	cmake --build $(BUILD) -j $(JOBS) --target zerlan
	cd examples && ../$(BUILD)/zerlan /pd,example.par

bench:
	@$(NEED) $(PROGRAM_PACKAGES) libbenchmark-dev
	cmake -S . -B build-release $(GENERATOR) -DCMAKE_BUILD_TYPE=Release $(CMAKE_ARGS)
	cmake --build build-release -j $(JOBS)
	for b in build-release/*Bench; do $$b; done

clean:
	rm -rf $(BUILD) build-release build-asan build-tsan
