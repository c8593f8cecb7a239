#pragma once

#include <cstddef>

#include "vocab/vocab.h"

namespace sarfan {

// The core tokenizer: owns its base vocabulary.
class Tokenizer {
 public:
  static Tokenizer from_vocab(Vocab vocab);

  const Vocab& vocab() const { return vocab_; }
  size_t max_token_len() const { return max_token_len_; }
  const SpecialIds& special_ids() const { return special_; }

 private:
  explicit Tokenizer(Vocab vocab);

  Vocab vocab_;
  size_t max_token_len_;
  SpecialIds special_;
};

}  // namespace sarfan
