# Thin wrapper over CMake: `make demo` and `make test` do the whole set-up on Debian 12.
BUILD ?= build
JOBS ?= 2

.PHONY: deps build demo test bench clean

deps:
	scripts/install-deps.sh

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release
	cmake --build $(BUILD) -j $(JOBS)

demo: build
	scripts/demo.sh $(abspath $(BUILD))

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

bench: build
	bench/run $(abspath $(BUILD))

clean:
	rm -rf $(BUILD) demo bench/work
