#include "tokenizer/tokenizer.h"

namespace sarfan {

Tokenizer::Tokenizer(Vocab vocab)
    : vocab_(std::move(vocab)), max_token_len_(vocab_.max_token_len()), special_(vocab_.special_ids()) {}

Tokenizer Tokenizer::from_vocab(Vocab vocab) { return Tokenizer(std::move(vocab)); }

}  // namespace sarfan
