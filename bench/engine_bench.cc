// Single-thread throughput of the engine with the embedded default vocabulary on Arabic
// running text (the file named by SARFAN_BENCH_CORPUS, made by bench/make_corpus.py), and
// on shapes that would expose superlinear costs.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>

#include "embedded_default_vocab.h"
#include "tokenizer/tokenizer.h"
#include "vocab/utf8.h"
#include "vocab/vocab_loader.h"

namespace {

// Throughput in decimal megabytes per second (10^6 bytes), as the README reports it.
void report_megabytes(benchmark::State& state, double bytes) {
  state.counters["MB"] = benchmark::Counter(bytes / 1e6, benchmark::Counter::kIsRate);
}

using sarfan::Tokenizer;

const std::string& vocab_tsv() {
  static const std::string tsv(sarfan::EMBEDDED_DEFAULT_TSV);
  return tsv;
}

const Tokenizer& tokenizer() {
  static const Tokenizer tok = Tokenizer::from_vocab(sarfan::from_tsv_text(vocab_tsv()).value());
  return tok;
}

const std::string& corpus() {
  static const std::string text = [] {
    const char* path = std::getenv("SARFAN_BENCH_CORPUS");
    std::ifstream in(path ? path : "");
    if (!in) {
      std::cerr << "set SARFAN_BENCH_CORPUS to a text file (make bench does)\n";
      std::exit(2);
    }
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
  }();
  return text;
}

// The corpus cut into lines, as sentences are usually fed.
const std::vector<std::string>& lines() {
  static const std::vector<std::string> all = [] {
    std::vector<std::string> out;
    const std::string& text = corpus();
    for (size_t pos = 0; pos < text.size();) {
      size_t nl = text.find('\n', pos);
      if (nl == std::string::npos) nl = text.size();
      out.push_back(text.substr(pos, nl - pos));
      pos = nl + 1;
    }
    return out;
  }();
  return all;
}

template <class F>
void over_lines(benchmark::State& state, F f) {
  for (auto _ : state) {
    for (const std::string& line : lines()) f(line);
  }
  report_megabytes(state, double(state.iterations() * corpus().size()));
}

void BM_EncodeIds(benchmark::State& state) {
  bool normalize = state.range(0) != 0;
  std::vector<uint32_t> ids;
  over_lines(state, [&](const std::string& line) {
    ids.clear();
    tokenizer().encode_ids_into(line, normalize, std::nullopt, ids);
    benchmark::DoNotOptimize(ids.data());
  });
}
BENCHMARK(BM_EncodeIds)->ArgName("normalize")->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

// The engine's own time for the shortest typical call, to set the Python call's overhead
// against (bench/python_bench.py).
void BM_EncodeIdsTwoWords(benchmark::State& state) {
  for (auto _ : state) {
    auto ids = tokenizer().encode_ids(
        "\xD9\x81\xD9\x8A \xD8\xA7\xD9\x84\xD9\x83\xD8\xAA\xD8\xA7\xD8\xA8", true, std::nullopt);
    benchmark::DoNotOptimize(ids);
  }
}
BENCHMARK(BM_EncodeIdsTwoWords)->Unit(benchmark::kNanosecond);

void BM_Encode(benchmark::State& state) {
  bool normalize = state.range(0) != 0;
  over_lines(state, [&](const std::string& line) {
    auto result = tokenizer().encode(line, normalize, std::nullopt);
    benchmark::DoNotOptimize(result);
  });
}
BENCHMARK(BM_Encode)->ArgName("normalize")->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

// The ids with spans of the caller's text: with normalization, the aligned normalizer's
// plain pass replaces the fast one. Set against BM_Encode and BM_EncodeIds.
void BM_EncodeIdsAndInputOffsets(benchmark::State& state) {
  bool normalize = state.range(0) != 0;
  over_lines(state, [&](const std::string& line) {
    auto result = tokenizer().encode_ids_and_input_offsets(line, normalize, std::nullopt);
    benchmark::DoNotOptimize(result);
  });
}
BENCHMARK(BM_EncodeIdsAndInputOffsets)
    ->ArgName("normalize")
    ->Arg(1)
    ->Arg(0)
    ->Unit(benchmark::kMillisecond);

void BM_Normalize(benchmark::State& state) {
  sarfan::Normalizer normalizer;
  over_lines(state, [&](const std::string& line) {
    auto out = normalizer.normalize(line);
    benchmark::DoNotOptimize(out);
  });
}
BENCHMARK(BM_Normalize)->Unit(benchmark::kMillisecond);

void BM_Decode(benchmark::State& state) {
  std::vector<std::vector<uint32_t>> encoded;
  for (const std::string& line : lines())
    encoded.push_back(tokenizer().encode_ids(line, true, std::nullopt).value());
  for (auto _ : state) {
    for (const auto& ids : encoded) {
      auto text = tokenizer().decode(ids, std::nullopt);
      benchmark::DoNotOptimize(text);
    }
  }
  report_megabytes(state, double(state.iterations() * corpus().size()));
}
BENCHMARK(BM_Decode)->Unit(benchmark::kMillisecond);

// One 10 MB text with no whitespace at all.
void BM_Hostile_NoWhitespace(benchmark::State& state) {
  std::string text;
  for (const std::string& line : lines()) {
    for (char c : line) {
      if (c != ' ' && c != '\n') text.push_back(c);
    }
  }
  std::vector<uint32_t> ids;
  for (auto _ : state) {
    ids.clear();
    tokenizer().encode_ids_into(text, true, std::nullopt, ids);
    benchmark::DoNotOptimize(ids.data());
  }
  report_megabytes(state, double(state.iterations() * text.size()));
}
BENCHMARK(BM_Hostile_NoWhitespace)->Unit(benchmark::kMillisecond);

// 1,000,000 combining marks of alternating classes after one letter.
void BM_Hostile_CombiningMarks(benchmark::State& state) {
  std::string text = "a";
  for (int k = 0; k < 500000; ++k) {
    sarfan::utf8::append(text, 0x0301);
    sarfan::utf8::append(text, 0x0316);
  }
  for (auto _ : state) {
    auto result = tokenizer().encode(text, true, std::nullopt);
    benchmark::DoNotOptimize(result);
  }
  report_megabytes(state, double(state.iterations() * text.size()));
}
BENCHMARK(BM_Hostile_CombiningMarks)->Unit(benchmark::kMillisecond);

// 1,000,000 emoji that no piece covers.
void BM_Hostile_Emoji(benchmark::State& state) {
  std::string text;
  for (int k = 0; k < 1000000; ++k) text += "\xF0\x9F\x98\x80";
  for (auto _ : state) {
    auto result = tokenizer().encode(text, true, std::nullopt);
    benchmark::DoNotOptimize(result);
  }
  report_megabytes(state, double(state.iterations() * text.size()));
}
BENCHMARK(BM_Hostile_Emoji)->Unit(benchmark::kMillisecond);

// The corpus against a vocabulary whose longest piece has 100,000 characters.
void BM_Hostile_LongestPiece(benchmark::State& state) {
  std::string long_piece;
  for (int k = 0; k < 100000; ++k) long_piece += "\xD8\xA8";
  static const Tokenizer tok = Tokenizer::from_vocab(
      sarfan::from_tsv_text(vocab_tsv() + long_piece + "\t64000\t-20\n").value());
  std::vector<uint32_t> ids;
  over_lines(state, [&](const std::string& line) {
    ids.clear();
    tok.encode_ids_into(line, true, std::nullopt, ids);
    benchmark::DoNotOptimize(ids.data());
  });
}
BENCHMARK(BM_Hostile_LongestPiece)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
