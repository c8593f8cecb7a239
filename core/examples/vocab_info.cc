// Loads a vocabulary TSV file and prints its size: the smallest end-to-end use of the core.
#include <cstdio>

#include "tokenizer/tokenizer.h"
#include "vocab/vocab_loader.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s VOCAB.tsv\n", argv[0]);
    return 2;
  }
  auto vocab = sarfan::from_tsv_file(argv[1]);
  if (!vocab.ok()) {
    std::fprintf(stderr, "%s\n", vocab.error().display().c_str());
    return 1;
  }
  auto tokenizer = sarfan::Tokenizer::from_vocab(std::move(vocab).value());
  std::printf("vocab_size %u\nmax_token_len %zu\nindex bytes %zu\n",
              tokenizer.vocab().vocab_size(), tokenizer.max_token_len(),
              tokenizer.vocab().memory_bytes());
  return 0;
}
