#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace sarfan {

// Immutable exact-match map from byte strings to ids: a double-array trie built once
// from keys in strictly ascending byte order.
//
// Besides whole-key lookup it offers an incremental walk: start at `kRoot`, feed one byte
// at a time with `step`, and ask `is_key`/`value` after each byte. The segmenter uses the
// walk to test every prefix of a word in one pass instead of building candidate strings.
// Neither lookup nor the walk allocates.
class TokenIndex {
 public:
  using Node = uint32_t;
  static constexpr Node kRoot = 0;

  TokenIndex();

  // `keys` ascending and unique; `values[i]` is stored for `keys[i]` and must be below
  // 2^31. Throws std::bad_alloc when the arrays cannot be allocated.
  static TokenIndex build(std::span<const std::string_view> keys,
                          std::span<const uint32_t> values);

  // Follows the edge labelled `byte`; returns false and leaves `node` unchanged when no
  // key continues that way.
  bool step(Node& node, unsigned char byte) const {
    Node next = (units_[node].base & kBaseMask) + byte;
    if (units_[next].check != node) return false;
    node = next;
    return true;
  }
  bool step(Node& node, std::string_view bytes) const {
    for (unsigned char b : bytes) {
      if (!step(node, b)) return false;
    }
    return true;
  }
  // True when the bytes walked from the root to `node` form a key.
  bool is_key(Node node) const { return (units_[node].base & kKeyFlag) != 0; }
  // The value of the key ending at `node`; only meaningful when is_key(node).
  uint32_t value(Node node) const {
    return units_[(units_[node].base & kBaseMask) + kValueLabel].base;
  }

  std::optional<uint32_t> find(std::string_view key) const {
    Node node = kRoot;
    if (!step(node, key) || !is_key(node)) return std::nullopt;
    return value(node);
  }

  size_t memory_bytes() const { return units_.capacity() * sizeof(Unit); }

 private:
  struct Unit {
    uint32_t base;   // child offset; top bit set when the node ends a key
    uint32_t check;  // index of the parent, or a marker for free cells and the root
  };
  static constexpr uint32_t kKeyFlag = 0x80000000u;
  static constexpr uint32_t kBaseMask = 0x7FFFFFFFu;
  // A key's value sits in the cell of a virtual child one past the 256 byte labels, so
  // keys may contain any byte, NUL included.
  static constexpr uint32_t kValueLabel = 256;
  static constexpr uint32_t kFree = 0xFFFFFFFFu;
  static constexpr uint32_t kRootCheck = 0xFFFFFFFEu;

  class Builder;
  std::vector<Unit> units_;
};

}  // namespace sarfan
