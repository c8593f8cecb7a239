#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "vocab/result.h"
#include "vocab/token_index.h"

namespace sarfan {

// One parsed vocabulary line.
struct VocabEntry {
  std::string token;
  uint32_t id = 0;
  float score = 0.0f;
};

// The special ids are fixed numbers in every vocabulary, never looked up by text.
struct SpecialIds {
  uint32_t pad_id = 0;
  uint32_t bos_id = 1;
  uint32_t eos_id = 2;
  uint32_t unk_id = 3;
};

struct PieceMatch {
  uint32_t id;
  float score;
};

// The immutable base vocabulary: token index, id tables and special ids. Safe to read
// from any number of threads.
class Vocab {
 public:
  // Exact byte lookup of a piece.
  std::optional<PieceMatch> lookup(std::string_view piece) const {
    auto id = index_.find(piece);
    if (!id) return std::nullopt;
    return PieceMatch{*id, scores_[*id]};
  }
  // The piece of `id` (empty for a gap); `id` must be below vocab_size().
  std::string_view token(uint32_t id) const {
    return std::string_view(arena_).substr(token_offsets_[id],
                                           token_offsets_[id + 1] - token_offsets_[id]);
  }
  float score(uint32_t id) const { return scores_[id]; }

  uint32_t vocab_size() const { return vocab_size_; }
  size_t max_token_len() const { return max_token_len_; }
  uint32_t pad_id() const { return special_.pad_id; }
  uint32_t bos_id() const { return special_.bos_id; }
  uint32_t eos_id() const { return special_.eos_id; }
  uint32_t unk_id() const { return special_.unk_id; }
  const SpecialIds& special_ids() const { return special_; }
  const TokenIndex& index() const { return index_; }

  // Bytes held by the index and the tables.
  size_t memory_bytes() const;

 private:
  friend class VocabBuilder;
  Vocab() = default;

  TokenIndex index_;
  std::string arena_;                    // every token's bytes, in id order
  std::vector<uint32_t> token_offsets_;  // vocab_size + 1 offsets into arena_
  std::vector<float> scores_;
  size_t max_token_len_ = 0;
  uint32_t vocab_size_ = 0;
  SpecialIds special_;
};

// Collects entries and builds a Vocab once.
class VocabBuilder {
 public:
  explicit VocabBuilder(size_t max_token_len, SpecialIds special = {})
      : max_token_len_(max_token_len), special_(special) {}

  // Fails when the token has more characters than max_token_len.
  Result<void> add_token(const VocabEntry& entry) {
    return add_token(entry.token, entry.id, entry.score);
  }
  Result<void> add_token(std::string_view token, uint32_t id, float score);
  void reserve(size_t entries, size_t token_bytes);
  // Sorts the entries by token bytes, rejects duplicates in that order (id before
  // token) and builds the index and the tables.
  Result<Vocab> build() &&;

 private:
  struct Item {
    uint32_t offset;  // into arena_, which stays below 4 GiB
    uint32_t length;
    uint32_t id;
    float score;
  };
  std::string_view token_of(const Item& item) const {
    return std::string_view(arena_).substr(item.offset, item.length);
  }
  std::vector<uint32_t> sorted_order() const;

  // Tokens are kept in one arena: a 64k-entry load spent a fifth of its time on
  // one heap string per entry.
  std::string arena_;
  std::vector<Item> items_;
  size_t max_token_len_;
  SpecialIds special_;
};

}  // namespace sarfan
