#pragma once

// A reproducible stand-in for Arabic running text, made from the pieces of
// synthetic_vocab_tsv(): each word is a word-start piece plus up to two word-internal
// pieces, with some hamza/alef maqsura/taa marbuta spellings and tatweel for the
// normalizer to fold, Arabic punctuation, and line breaks.
#include <random>
#include <string>
#include <vector>

namespace sarfan::bench {

inline std::string synthetic_corpus(const std::string& vocab_tsv, size_t bytes,
                                    unsigned seed = 7) {
  const std::string mark = "\xE2\x96\x81";
  std::vector<std::string> starts, inner;
  for (size_t pos = 0; pos < vocab_tsv.size();) {
    size_t tab = vocab_tsv.find('\t', pos);
    std::string piece = vocab_tsv.substr(pos, tab - pos);
    pos = vocab_tsv.find('\n', pos) + 1;
    if (piece.empty() || piece[0] == '[' || piece[0] == '<') continue;
    if (piece.compare(0, 3, mark) == 0) {
      starts.push_back(piece.substr(3));
    } else {
      inner.push_back(piece);
    }
  }
  std::mt19937 rng(seed);
  // Zipf-like choice: earlier pieces are more frequent.
  auto pick = [&](const std::vector<std::string>& pool) -> const std::string& {
    std::uniform_real_distribution<double> u(0.0, 1.0);
    double x = u(rng);
    return pool[size_t(double(pool.size()) * x * x * x)];
  };
  std::string text;
  text.reserve(bytes + 64);
  size_t words = 0;
  while (text.size() < bytes) {
    std::string word = pick(starts);
    for (int k = int(rng() % 3); k > 0; --k) word += pick(inner);
    switch (rng() % 20) {
      case 0: word.replace(0, 0, "\xD8\xA3"); break;               // alef with hamza above
      case 1: word += "\xD8\xA9"; break;                             // taa marbuta
      case 2: word += "\xD9\x89"; break;                             // alef maqsura
      case 3: word.insert(word.size() / 2 & ~size_t(1), "\xD9\x80"); break;  // tatweel
      default: break;
    }
    text += word;
    ++words;
    if (words % 31 == 0) {
      text += ".\n";
    } else if (words % 11 == 0) {
      text += "\xD8\x8C ";  // Arabic comma
    } else {
      text += ' ';
    }
  }
  return text;
}

}  // namespace sarfan::bench
