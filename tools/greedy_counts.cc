// Encodes a weighted word list with a vocabulary, as the tokenizer does (each word on its
// own, already normalized), and reports how often each piece is used.
//
//   greedy_counts [--per-word] VOCAB.tsv < WORDS.tsv    (WORDS: word<TAB>count per line)
//
// Output: a first line "words<TAB>pieces<TAB>fallback_words" (weighted totals; a fallback
// word needed a byte piece or the unknown id), then "id<TAB>count" for every used id.
// With --per-word: the number of pieces of each input word, one per line, instead.
#include <cstdint>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "tokenizer/tokenizer.h"
#include "vocab/vocab_loader.h"

int main(int argc, char** argv) {
  bool per_word = argc == 3 && std::string(argv[1]) == "--per-word";
  if (argc != 2 && !per_word) {
    std::cerr << "usage: greedy_counts [--per-word] VOCAB.tsv < WORDS.tsv\n";
    return 2;
  }
  auto vocab = sarfan::from_tsv_file(argv[argc - 1]);
  if (!vocab.ok()) {
    std::cerr << vocab.error().display() << '\n';
    return 1;
  }
  auto tokenizer = sarfan::Tokenizer::from_vocab(std::move(vocab).value());
  const uint32_t size = tokenizer.vocab().vocab_size();
  std::vector<uint64_t> counts(size, 0);
  uint64_t words = 0, pieces = 0, fallback_words = 0;
  std::vector<uint32_t> ids;
  std::string line;
  std::ios::sync_with_stdio(false);
  while (std::getline(std::cin, line)) {
    size_t tab = line.rfind('\t');
    if (tab == std::string::npos) continue;
    uint64_t count = std::stoull(line.substr(tab + 1));
    ids.clear();
    tokenizer.encode_ids_into(std::string_view(line).substr(0, tab), false, std::nullopt, ids);
    if (per_word) {
      std::printf("%zu\n", ids.size() - 2);
      continue;
    }
    bool fallback = false;
    for (size_t k = 1; k + 1 < ids.size(); ++k) {
      if (ids[k] < size) counts[ids[k]] += count;
      fallback |= ids[k] == 3 || (ids[k] >= 4 && ids[k] < 260);
    }
    words += count;
    pieces += count * (ids.size() - 2);
    if (fallback) fallback_words += count;
  }
  if (per_word) return 0;
  std::printf("%llu\t%llu\t%llu\n", (unsigned long long)words, (unsigned long long)pieces,
              (unsigned long long)fallback_words);
  for (uint32_t id = 0; id < size; ++id) {
    if (counts[id] > 0) std::printf("%u\t%llu\n", id, (unsigned long long)counts[id]);
  }
  return 0;
}
