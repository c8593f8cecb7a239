#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "vocab/piece_kind.h"
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

  // For the engine: the pieces as a walkable index (values are global ids) and their
  // tables, whose kinds are indexed by slot (global id minus start_id).
  const TokenIndex& index() const { return index_; }
  const PieceTables& pieces() const { return pieces_; }

 private:
  DialectPlugin() = default;
  void finish();

  std::string name_;
  uint32_t start_id_ = 0;
  std::vector<std::string> tokens_;
  std::unordered_map<std::string, uint32_t> token_to_id_;
  std::unordered_map<uint32_t, float> id_to_score_;
  TokenIndex index_;
  PieceTables pieces_;
};

}  // namespace sarfan
