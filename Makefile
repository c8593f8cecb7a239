# sarfan: `make demo` and `make test` take a fresh Debian 12/13 machine from clone to green.
SHELL := /bin/bash
VENV := .venv
PYTHON := $(VENV)/bin/python
BUILD := build/release
ASAN_BUILD := build/asan
FUZZ_BUILD := build/fuzz
FUZZ_SECONDS ?= 60
JOBS ?= $(shell nproc)
CMAKE_GENERATOR ?= Ninja

TOOLS_VENV := .venv-tools
TOOLS_PYTHON := $(TOOLS_VENV)/bin/python
CORPUS := build/corpus/arabic-10mb.txt
COMPARE_CORPUS := build/corpus/arabic-50mb.txt
# The VM is noisy: ten runs of each benchmark, reported as median (and spread).
BENCH_FLAGS := --benchmark_repetitions=10 --benchmark_report_aggregates_only=true
DEFAULT_VOCAB := python/src/lib/data/sarfan-msa-64k.tsv

.PHONY: all setup build test test-quick wheel-check wheels wheels-check platforms-check sdist sdist-check asan fuzz bench bench-compare bench-zig dump-check cachegrind compare demo format clean tools-venv corpus vocab vocab-check vocab-figures vocab-tradeoff

all: build

setup:
	@tools/setup.sh

CMAKE_FLAGS := -G $(CMAKE_GENERATOR) -DSARFAN_BUILD_PYTHON=ON \
  -DPython3_EXECUTABLE=$(CURDIR)/$(PYTHON)

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS) -DCMAKE_BUILD_TYPE=Release

build: setup $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)
	@# pytest exits 5 when it collects no test; that is not a failure.
	PYTHONPATH=$(BUILD)/python $(PYTHON) -m pytest tests -q || [ $$? -eq 5 ]

# The same without the stress runs (a million calls, files of hundreds of MB).
test-quick: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)
	PYTHONPATH=$(BUILD)/python $(PYTHON) -m pytest tests -q -m "not stress" || [ $$? -eq 5 ]

# The documentation site (MkDocs, strict) into build/site, after writing the API reference
# and the README's API table from the type stubs' docstrings.
.PHONY: docs
docs: setup
	$(PYTHON) tools/gen_api_docs.py
	$(PYTHON) -m mkdocs build --quiet

asan: setup
	cmake -S . -B $(ASAN_BUILD) $(CMAKE_FLAGS) -DCMAKE_BUILD_TYPE=Debug \
	  -DSARFAN_SANITIZE=ON -DSARFAN_BUILD_BENCH=OFF
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	ctest --test-dir $(ASAN_BUILD) --output-on-failure -j $(JOBS)
	@# The whole Python suite against the sanitized extension, the runtimes preloaded into
	@# the interpreter. Leak checking stays off: the interpreter keeps memory until exit.
	LD_PRELOAD="$$(g++ -print-file-name=libasan.so) $$(g++ -print-file-name=libubsan.so)" \
	  ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
	  PYTHONPATH=$(ASAN_BUILD)/python $(PYTHON) -m pytest tests -q -p no:cacheprovider

# Every fuzz target for FUZZ_SECONDS (two at a time), from the seeds in fuzz/corpus plus
# what earlier runs found; build/fuzz/report.md tells executions and crashes.
fuzz:
	@tools/setup.sh --fuzz
	cmake -S . -B $(FUZZ_BUILD) -G $(CMAKE_GENERATOR) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_C_COMPILER=clang-19 -DCMAKE_CXX_COMPILER=clang++-19 -DSARFAN_BUILD_FUZZ=ON \
	  -DSARFAN_BUILD_TESTS=OFF -DSARFAN_BUILD_BENCH=OFF -DPython3_EXECUTABLE=$(CURDIR)/$(PYTHON)
	cmake --build $(FUZZ_BUILD) -j $(JOBS)
	fuzz/run.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

# wordfreq and sentencepiece: for regenerating the default vocabulary and the bench corpus.
tools-venv: setup
	@[ -x $(TOOLS_PYTHON) ] || python3 -m venv $(TOOLS_VENV)
	@$(TOOLS_PYTHON) -m pip install -q --disable-pip-version-check -r tools/requirements-train.txt

corpus: $(CORPUS)
$(CORPUS): bench/make_corpus.py
	$(MAKE) tools-venv
	mkdir -p $(dir $@)
	$(TOOLS_PYTHON) bench/make_corpus.py $@ --megabytes 10

bench: build $(CORPUS)
	$(BUILD)/bench/sarfan_bench_vocab_load $(BENCH_FLAGS)
	SARFAN_BENCH_CORPUS=$(CORPUS) $(BUILD)/bench/sarfan_bench_engine $(BENCH_FLAGS)
	for n in 1 2; do SARFAN_NUM_THREADS=$$n PYTHONPATH=$(BUILD)/python $(PYTHON) bench/python_bench.py \
	  $(CORPUS) $(BUILD)/bench/sarfan_bench_pool; done

# This build against another (BASE=its build folder, e.g. a worktree of the previous commit
# built with make build): both alternate ROUNDS times, medians and ratios; the JSON is
# what bench/baseline.json holds.
ROUNDS ?= 5
bench-compare: build $(CORPUS)
	$(PYTHON) bench/compare_builds.py --base $(BASE) --new $(BUILD) --corpus $(CORPUS) \
	  --rounds $(ROUNDS) --json build/bench-compare.json

# The engine benchmark of this build (g++) against the same built with the wheels' zig,
# alternated ROUNDS times: medians, spread and zig/g++ (docs/wheels.md has the figures).
bench-zig: build $(CORPUS)
	bench/ab_engine.sh $(BUILD)/bench/sarfan_bench_engine "$$(tools/wheels/build_engine_bench.sh)" $(ROUNDS)

# Instructions and cache misses per input byte on a 1 MB slice (valgrind's cachegrind).
cachegrind: build $(CORPUS)
	bench/cachegrind.sh $(BUILD) $(CORPUS) 1000000

# Ids and offsets of every line of the 50 MB corpus from this build and from BASE's,
# compared byte for byte: speed work must not change a result.
dump-check: build $(COMPARE_CORPUS)
	mkdir -p build/dump
	PYTHONPATH=$(BASE)/python $(PYTHON) bench/dump_results.py $(COMPARE_CORPUS) build/dump/base.bin
	PYTHONPATH=$(BUILD)/python $(PYTHON) bench/dump_results.py $(COMPARE_CORPUS) build/dump/new.bin
	cmp build/dump/base.bin build/dump/new.bin && echo "dump-check: identical"

# The wheel as users get it (zig-built, manylinux2014, oneTBB and utf8proc linked in),
# checked in a clean venv.
wheel-check: setup
	tools/check_wheel.sh

# manylinux2014 wheels built with zig from the sdist into build/wheels/ (docs/wheels.md):
# x86-64 for CPython 3.9 to 3.14 (this machine's interpreters, PYTHONS="3.9 /path/python"
# to choose, else Debian's unpacked), aarch64 for 3.11, 3.13 and 3.14 (cross-built).
# wheels-check tests each where it runs: a clean venv of its interpreter, a chroot of
# Debian's, or qemu-user with Debian's arm64 CPython; and the C++ tests for aarch64.
wheels: setup
	tools/build_wheels.sh

wheels-check: setup
	tools/check_wheels.sh $(WHEELS_CHECK_FLAGS)

# The core library and the batch pool compiled (no link, no run) with zig for aarch64-macos
# and x86_64-windows-gnu: the platform guards around the Linux-only code.
platforms-check: setup
	tools/wheels/compile_other_platforms.sh

sdist: setup
	tools/make_sdist.sh dist

# pip install of the sdist into a clean venv builds the module, which then works.
sdist-check: setup
	tools/check_sdist.sh

# sarfan against HF tokenizers, SentencePiece and tiktoken on 50 MB of text: the README
# table and docs/compare.png. The peers' models are built once into build/compare.
$(COMPARE_CORPUS): bench/make_corpus.py
	$(MAKE) tools-venv
	mkdir -p $(dir $@)
	$(TOOLS_PYTHON) bench/make_corpus.py $@ --megabytes 50

# This machine as the comparison table names it: CPUs, processor model, memory.
MACHINE = $(shell echo "a machine with $$(nproc) CPUs ($$(lscpu | sed -n 's/^Model name: *//p' | head -1)) and \
  $$(awk '/MemTotal/ {printf "%.0f GiB", $$2 / 1048576}' /proc/meminfo)")

compare: build tools-venv $(COMPARE_CORPUS)
	@$(TOOLS_PYTHON) -m pip install -q --disable-pip-version-check -r bench/requirements-compare.txt
	PYTHONPATH=$(BUILD)/python $(TOOLS_PYTHON) bench/compare.py --build $(BUILD) --work build/compare \
	  --corpus $(COMPARE_CORPUS) --write README.md --write docs/performance.md --chart docs/compare.png \
	  --machine "$(MACHINE)"

# The default vocabulary: `sarfan train` on wordfreq 3.1.1's Arabic "large" list, each word
# as written and normalized, with the inventory file, the fixed ids and the diacritic
# pieces of tools/default_vocab_options.py. About a minute and a half on one core; $(1) is
# the output, $(2) the work folder.
VOCAB_WORK := build/vocab
define train_default_vocab
	mkdir -p $(2)
	$(TOOLS_PYTHON) tools/export_wordfreq.py $(2)/wordfreq-ar-large.tsv
	$(TOOLS_PYTHON) tools/default_vocab_options.py > $(2)/default.options
	PYTHONPATH=$(BUILD)/python $(TOOLS_PYTHON) -m sarfan_cli train $(2)/wordfreq-ar-large.tsv \
	  --size 64000 -o $(1) @$(2)/default.options --workdir $(2)/work
endef

# Retrains the default vocabulary (reusing the sentencepiece proposal in build/vocab).
vocab: build tools-venv
	$(call train_default_vocab,$(DEFAULT_VOCAB),$(VOCAB_WORK))

# Retrains from scratch into build/ and checks that the committed vocabulary comes out
# byte for byte.
vocab-check: build tools-venv
	rm -rf build/vocab-check
	$(call train_default_vocab,build/vocab-check/sarfan-msa-64k.tsv,build/vocab-check)
	cmp build/vocab-check/sarfan-msa-64k.tsv $(DEFAULT_VOCAB)

# The vocabulary figures of docs/vocabulary.md, each table written by the tool that measures
# it: both vocabularies in both modes on the corpus and the evaluation set, and the weight
# of the normalized copy against both modes (trains one vocabulary a weight, kept in
# build/vocab-tradeoff).
VOCAB_DOC := docs/vocabulary.md
EVAL_TEXT := bench/eval/msa-eval.txt
vocab-figures: build tools-venv $(CORPUS)
	for mode in normalized as-written; do \
	  PYTHONPATH=$(BUILD)/python $(TOOLS_PYTHON) bench/eval/measure.py \
	    --text "benchmark corpus=$(CORPUS)" --text "evaluation set=$(EVAL_TEXT):bench/eval/categories.txt" \
	    --vocab 0.2.0=vocab/sarfan-msa-64k-0.2.0.tsv --vocab 0.3.0=default \
	    $$([ $$mode = as-written ] && echo --raw) --write $(VOCAB_DOC):vocab-$$mode || exit 1; \
	done

vocab-tradeoff: build tools-venv $(CORPUS)
	mkdir -p $(VOCAB_WORK)
	$(TOOLS_PYTHON) tools/export_wordfreq.py $(VOCAB_WORK)/wordfreq-ar-large.tsv
	$(TOOLS_PYTHON) tools/default_vocab_options.py > $(VOCAB_WORK)/default.options
	PYTHONPATH=$(BUILD)/python $(TOOLS_PYTHON) bench/eval/tradeoff.py $(VOCAB_WORK)/wordfreq-ar-large.tsv \
	  $(VOCAB_WORK)/default.options --weights 0.25 0.5 1 2 --work build/vocab-tradeoff \
	  --text "benchmark corpus=$(CORPUS)" --text "evaluation set=$(EVAL_TEXT)" \
	  --baseline 0.2.0=vocab/sarfan-msa-64k-0.2.0.tsv --write $(VOCAB_DOC):vocab-tradeoff

demo: build
	PYTHONPATH=$(BUILD)/python $(PYTHON) -m sarfan_cli encode "ذهب الطالب إلى المكتبة لقراءة الكتاب الجديد."

format:
	clang-format -i $$(git ls-files '*.cc' '*.h')

clean:
	rm -rf build dist
