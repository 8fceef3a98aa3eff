# Convenience targets over CMake. `make run` builds and runs the bundled example
# job; `make test` builds and runs every test.
BUILD ?= build
CMAKE_ARGS ?=
GENERATOR := $(shell command -v ninja >/dev/null 2>&1 && echo "-G Ninja")
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

.PHONY: all build test run bench clean

all: build

build:
	cmake -S . -B $(BUILD) $(GENERATOR) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_ARGS)
	cmake --build $(BUILD) -j $(JOBS)

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

run: build
	cd examples && ../$(BUILD)/zerlan /pd,example.par

bench:
	cmake -S . -B build-release $(GENERATOR) -DCMAKE_BUILD_TYPE=Release $(CMAKE_ARGS)
	cmake --build build-release -j $(JOBS)
	for b in build-release/*Bench; do $$b; done

clean:
	rm -rf $(BUILD) build-release build-asan build-tsan
