#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "vocab/piece_kind.h"
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
  // Byte piece ids and decoder kinds, indexed by id.
  const PieceTables& pieces() const { return pieces_; }

  // Bytes held by the index and the tables.
  size_t memory_bytes() const;

 private:
  friend class VocabBuilder;
  Vocab() = default;

  TokenIndex index_;
  std::string arena_;                    // every token's bytes, in id order
  std::vector<uint32_t> token_offsets_;  // vocab_size + 1 offsets into arena_
  std::vector<float> scores_;
  PieceTables pieces_;
  size_t max_token_len_ = 0;
  uint32_t vocab_size_ = 0;
  SpecialIds special_;
};

// Entries with their tokens packed one after another in one arena: a 64k-entry load
// spent a fifth of its time on one heap string per entry.
class PackedEntries {
 public:
  struct Item {
    uint32_t offset;  // into the arena, which stays below 4 GiB
    uint32_t length;
    uint32_t id;
    float score;
  };

  // Fails once the tokens would reach 4 GiB in total.
  Result<void> add(std::string_view token, uint32_t id, float score);
  void reserve(size_t entries, size_t token_bytes) {
    items_.reserve(entries);
    arena_.reserve(token_bytes);
  }
  bool empty() const { return items_.empty(); }
  const std::vector<Item>& items() const { return items_; }
  std::string_view token(const Item& item) const {
    return std::string_view(arena_).substr(item.offset, item.length);
  }

 private:
  friend class VocabBuilder;
  std::string arena_;
  std::vector<Item> items_;
};

// Collects entries and builds a Vocab once.
class VocabBuilder {
 public:
  explicit VocabBuilder(size_t max_token_len, SpecialIds special = {})
      : max_token_len_(max_token_len), special_(special) {}
  // A builder over entries collected elsewhere, taken over without a copy, whose
  // max_token_len is the longest of their tokens (so none is refused).
  static VocabBuilder for_entries(PackedEntries entries, SpecialIds special = {});

  // Fails when the token has more characters than max_token_len.
  Result<void> add_token(const VocabEntry& entry) {
    return add_token(entry.token, entry.id, entry.score);
  }
  Result<void> add_token(std::string_view token, uint32_t id, float score);
  // Sorts the entries by token bytes, rejects duplicates in that order (id before
  // token) and builds the index and the tables.
  Result<Vocab> build() &&;

 private:
  using Item = PackedEntries::Item;
  std::string_view token_of(const Item& item) const { return entries_.token(item); }
  std::vector<uint32_t> sorted_order() const;

  PackedEntries entries_;
  size_t max_token_len_;
  SpecialIds special_;
};

}  // namespace sarfan
