// One pass of one engine operation over the first lines of a text, for instruction and
// cache-miss counts under valgrind --tool=cachegrind (bench/cachegrind.sh), where the
// repetitions of the timed benchmarks would take too long.
//
//   sarfan_bench_slice CORPUS BYTES MODE
//
// MODE is load (the default vocabulary only, to subtract), ids (encode_ids), ids-raw
// (encode_ids without normalization), encode or normalize. The lines are taken whole,
// up to BYTES bytes, and fed one call each, as the timed benchmarks feed them.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "embedded_default_vocab.h"
#include "tokenizer/tokenizer.h"
#include "vocab/vocab_loader.h"

int main(int argc, char** argv) {
  if (argc != 4) {
    std::cerr << "usage: sarfan_bench_slice CORPUS BYTES load|ids|ids-raw|encode|normalize\n";
    return 2;
  }
  std::ifstream in(argv[1]);
  std::stringstream content;
  content << in.rdbuf();
  const std::string text = content.str();
  const size_t limit = std::strtoull(argv[2], nullptr, 10);
  const std::string mode = argv[3];

  std::vector<std::string> lines;
  size_t bytes = 0;
  for (size_t pos = 0; pos < text.size();) {
    size_t nl = text.find('\n', pos);
    if (nl == std::string::npos) nl = text.size();
    if (bytes + (nl - pos) > limit) break;
    lines.push_back(text.substr(pos, nl - pos));
    bytes += nl - pos + 1;
    pos = nl + 1;
  }

  auto vocab = sarfan::from_tsv_text(sarfan::EMBEDDED_DEFAULT_TSV);
  if (!vocab.ok()) return 1;
  const auto tokenizer = sarfan::Tokenizer::from_vocab(std::move(vocab).value());
  const sarfan::Normalizer normalizer;
  size_t checksum = 0;
  std::vector<uint32_t> ids;
  for (const std::string& line : lines) {
    if (mode == "ids" || mode == "ids-raw") {
      ids.clear();
      tokenizer.encode_ids_into(line, mode == "ids", std::nullopt, ids);
      checksum += ids.size();
    } else if (mode == "encode") {
      checksum += tokenizer.encode(line, true, std::nullopt).value().ids.size();
    } else if (mode == "normalize") {
      checksum += normalizer.normalize(line).size();
    } else if (mode != "load") {
      std::cerr << "unknown mode " << mode << "\n";
      return 2;
    }
  }
  std::printf("%zu bytes in %zu lines, checksum %zu\n", bytes, lines.size(), checksum);
  return 0;
}
