// Load time and memory of the embedded 64,000-line default vocabulary, from memory and
// from a file.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>

#include "embedded_default_vocab.h"
#include "vocab/vocab_loader.h"

namespace {

// Throughput in decimal megabytes per second (10^6 bytes), as the README reports it.
void report_megabytes(benchmark::State& state, double bytes) {
  state.counters["MB"] = benchmark::Counter(bytes / 1e6, benchmark::Counter::kIsRate);
}

const std::string& vocab_text() {
  static const std::string text(sarfan::EMBEDDED_DEFAULT_TSV);
  return text;
}

void report(benchmark::State& state, const sarfan::Vocab& vocab) {
  state.counters["entries"] = double(vocab.vocab_size());
  state.counters["index_MB"] = double(vocab.index().memory_bytes()) / 1e6;
  state.counters["total_MB"] = double(vocab.memory_bytes()) / 1e6;
}

void BM_LoadFromText(benchmark::State& state) {
  for (auto _ : state) {
    auto vocab = sarfan::from_tsv_text(vocab_text());
    if (!vocab.ok()) state.SkipWithError(vocab.error().display().c_str());
    benchmark::DoNotOptimize(vocab);
    state.PauseTiming();  // freeing the vocabulary is not part of loading it
    { auto freed = std::move(vocab); }
    state.ResumeTiming();
  }
  auto vocab = sarfan::from_tsv_text(vocab_text());
  if (vocab.ok()) report(state, vocab.value());
  report_megabytes(state, double(state.iterations() * vocab_text().size()));
}
BENCHMARK(BM_LoadFromText)->Unit(benchmark::kMillisecond);

void BM_LoadFromFile(benchmark::State& state) {
  std::string path = "/tmp/sarfan_bench_vocab_" + std::to_string(getpid()) + ".tsv";
  std::ofstream(path, std::ios::binary) << vocab_text();
  for (auto _ : state) {
    auto vocab = sarfan::from_tsv_file(path);
    if (!vocab.ok()) state.SkipWithError(vocab.error().display().c_str());
    benchmark::DoNotOptimize(vocab);
    state.PauseTiming();
    { auto freed = std::move(vocab); }
    state.ResumeTiming();
  }
  std::remove(path.c_str());
  report_megabytes(state, double(state.iterations() * vocab_text().size()));
}
BENCHMARK(BM_LoadFromFile)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
