# Developer shortcuts over ./setup and CMake; ./setup needs no make.
BUILD ?= build
JOBS ?= 2

.PHONY: deps build demo test package bench clean

deps:
	./setup deps

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release
	cmake --build $(BUILD) -j $(JOBS)

demo:
	BUILD=$(abspath $(BUILD)) JOBS=$(JOBS) ./setup demo

test:
	BUILD=$(abspath $(BUILD)) JOBS=$(JOBS) ./setup test

package:
	BUILD=$(abspath $(BUILD)) JOBS=$(JOBS) ./setup package

bench: build
	bench/run $(abspath $(BUILD))

clean:
	rm -rf $(BUILD) demo bench/work
