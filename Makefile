# sarfan: `make demo` and `make test` take a fresh Debian 12/13 machine from clone to green.
SHELL := /bin/bash
VENV := .venv
PYTHON := $(VENV)/bin/python
BUILD := build/release
ASAN_BUILD := build/asan
JOBS ?= $(shell nproc)
CMAKE_GENERATOR ?= Ninja

.PHONY: all setup build test asan bench demo format clean

all: build

setup:
	@tools/setup.sh

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) -G $(CMAKE_GENERATOR) -DCMAKE_BUILD_TYPE=Release

build: setup $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)
	@# pytest exits 5 when it collects no test; that is not a failure.
	$(PYTHON) -m pytest tests -q || [ $$? -eq 5 ]

asan: setup
	cmake -S . -B $(ASAN_BUILD) -G $(CMAKE_GENERATOR) -DCMAKE_BUILD_TYPE=Debug \
	  -DSARFAN_SANITIZE=ON -DSARFAN_BUILD_BENCH=OFF
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	ctest --test-dir $(ASAN_BUILD) --output-on-failure -j $(JOBS)

bench: build
	$(BUILD)/bench/sarfan_bench_vocab_load

demo: build
	$(BUILD)/core/sarfan_vocab_info core/examples/sample.tsv

format:
	clang-format -i $$(git ls-files '*.cc' '*.h')

clean:
	rm -rf build
