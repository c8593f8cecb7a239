#pragma once

// A reproducible stand-in for a real 64k Arabic vocabulary: special and byte pieces, then
// word-start ("▁"-marked) and word-internal pieces of Arabic letters, 1 to 16 characters,
// shorter ones more common.
#include <cstdio>
#include <random>
#include <set>
#include <string>

namespace sarfan::bench {

inline std::string synthetic_vocab_tsv(size_t lines = 64000, unsigned seed = 2026) {
  static const char32_t kLetters[] = {0x0621, 0x0624, 0x0626, 0x0627, 0x0628, 0x062A, 0x062B,
                                      0x062C, 0x062D, 0x062E, 0x062F, 0x0630, 0x0631, 0x0632,
                                      0x0633, 0x0634, 0x0635, 0x0636, 0x0637, 0x0638, 0x0639,
                                      0x063A, 0x0641, 0x0642, 0x0643, 0x0644, 0x0645, 0x0646,
                                      0x0647, 0x0648, 0x064A};
  auto append = [](std::string& s, char32_t c) {
    s.push_back(char(0xC0 | (c >> 6)));
    s.push_back(char(0x80 | (c & 0x3F)));
  };
  std::string tsv;
  const char* specials[] = {"[PAD]", "[BOS]", "[EOS]", "[UNK]"};
  for (int i = 0; i < 4; ++i) tsv += std::string(specials[i]) + "\t" + std::to_string(i) + "\t0.0\n";
  char buf[16];
  for (int b = 0; b < 256; ++b) {
    std::snprintf(buf, sizeof buf, "<0x%02X>", b);
    tsv += std::string(buf) + "\t" + std::to_string(4 + b) + "\t0.0\n";
  }
  std::mt19937 rng(seed);
  std::geometric_distribution<int> extra_length(0.25);
  std::uniform_int_distribution<int> letter(0, sizeof kLetters / sizeof kLetters[0] - 1);
  std::bernoulli_distribution marked(0.7);
  std::set<std::string> seen;
  size_t id = 260;
  float score = -3.0f;
  while (id < lines) {
    std::string piece = marked(rng) ? "\xE2\x96\x81" : "";
    int length = 1 + std::min(extra_length(rng), 15);
    for (int k = 0; k < length; ++k) append(piece, kLetters[letter(rng)]);
    if (!seen.insert(piece).second) continue;
    score -= 0.00015f;
    tsv += piece + "\t" + std::to_string(id++) + "\t" + std::to_string(score) + "\n";
  }
  return tsv;
}

}  // namespace sarfan::bench
