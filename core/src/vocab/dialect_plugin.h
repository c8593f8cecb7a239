#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "vocab/result.h"
#include "vocab/token_index.h"
#include "vocab/vocab.h"

namespace sarfan {

// The pieces of one dialect, with global ids from start_id (the base vocab_size at load
// time) on. Immutable once loaded.
class DialectPlugin {
 public:
  // Reads the plugin file at `path`; every id must be at least `base_vocab_size`.
  static Result<DialectPlugin> load(const std::string& path, std::string name,
                                    uint32_t base_vocab_size);

  const std::string& name() const { return name_; }
  uint32_t start_id() const { return start_id_; }
  const std::vector<std::string>& tokens() const { return tokens_; }

  std::optional<PieceMatch> lookup(std::string_view piece) const;
  // The piece of global id `g`, possibly empty; nothing when `g` is outside the slots.
  std::optional<std::string_view> token(uint32_t g) const {
    if (g < start_id_ || g - start_id_ >= tokens_.size()) return std::nullopt;
    return tokens_[g - start_id_];
  }

  // For the engine: the pieces as a walkable index (values are global ids), the byte
  // pieces' ids (kNoId when absent) and each slot's decoder kind.
  static constexpr uint32_t kNoId = 0xFFFFFFFF;
  const TokenIndex& index() const { return index_; }
  uint32_t byte_piece_id(unsigned char byte) const { return byte_ids_[byte]; }
  uint16_t slot_kind(uint32_t g) const { return slot_kinds_[g - start_id_]; }

 private:
  DialectPlugin() = default;
  void finish();

  std::string name_;
  uint32_t start_id_ = 0;
  std::vector<std::string> tokens_;
  std::unordered_map<std::string, uint32_t> token_to_id_;
  std::unordered_map<uint32_t, float> id_to_score_;
  TokenIndex index_;
  std::array<uint32_t, 256> byte_ids_{};
  std::vector<uint16_t> slot_kinds_;
};

}  // namespace sarfan
