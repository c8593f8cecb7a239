// The ceiling of the batch methods: the corpus lines encoded (ids only) on the batch pool
// in 16 KiB chunks, as the extension hands them out, with no Python object at all.
//   sarfan_bench_pool CORPUS.txt   (SARFAN_NUM_THREADS sets the pool size)
// Prints the best of nine runs in decimal MB/s.
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "batch_pool.h"
#include "embedded_default_vocab.h"
#include "tokenizer/tokenizer.h"
#include "vocab/vocab_loader.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s CORPUS.txt\n", argv[0]);
    return 2;
  }
  std::ifstream in(argv[1]);
  if (!in) {
    std::fprintf(stderr, "cannot read %s\n", argv[1]);
    return 2;
  }
  std::vector<std::string> lines;
  size_t bytes = 0;
  for (std::string line; std::getline(in, line);) {
    bytes += line.size();
    lines.push_back(std::move(line));
  }
  const auto tokenizer =
      sarfan::Tokenizer::from_vocab(sarfan::from_tsv_text(sarfan::EMBEDDED_DEFAULT_TSV).value());
  std::vector<size_t> ends;  // chunks of about 16 KiB of text
  for (size_t i = 0, chunk = 0; i < lines.size(); ++i) {
    chunk += lines[i].size();
    if (chunk >= 16 * 1024 || i + 1 == lines.size()) {
      ends.push_back(i + 1);
      chunk = 0;
    }
  }
  auto& pool = sarfan::py::BatchPool::instance();
  double best = 1e30;
  size_t ids = 0;
  for (int run = 0; run < 9; ++run) {
    std::vector<std::vector<uint32_t>> out(ends.size());
    auto start = std::chrono::steady_clock::now();
    pool.run_in_order(
        ends.size(),
        [&](size_t c) {
          size_t begin = c == 0 ? 0 : ends[c - 1], bytes = 0;
          for (size_t i = begin; i < ends[c]; ++i) bytes += lines[i].size();
          out[c].reserve(bytes + 2 * (ends[c] - begin));  // as the extension does
          for (size_t i = begin; i < ends[c]; ++i) {
            tokenizer.encode_ids_into(lines[i], true, std::nullopt, out[c]);
          }
          return true;
        },
        [&](size_t) { return true; });
    std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    if (elapsed.count() < best) best = elapsed.count();
    ids = 0;
    for (const auto& chunk : out) ids += chunk.size();
  }
  std::printf("pool of %d threads, engine only: %.0f MB/s (%zu lines, %.1f MB, %zu ids)\n",
              pool.threads(), double(bytes) / 1e6 / best, lines.size(), double(bytes) / 1e6, ids);
  return 0;
}
