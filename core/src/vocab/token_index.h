#pragma once

#include <array>
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
// Besides whole-key lookup (`find`) it offers walks for hot loops: a `View` advances one
// character at a time without branching and tells at every node whether a key ends
// there, so the segmenter tests every prefix of a word in one pass instead of building
// candidate strings; `step` follows a whole byte string, which gives a walk its starting
// node (the one after "▁"). Neither lookup nor the walks allocate.
//
// Edges are labelled with bytes, except that a two-byte UTF-8 character of U+0600..U+06FF
// (lead byte D8..DB and a continuation byte) is one edge: Arabic text then costs one
// dependent memory access per character instead of two.
class TokenIndex {
  struct Unit;

 public:
  using Node = uint32_t;
  static constexpr Node kRoot = 0;

  TokenIndex();

  // `keys` ascending and unique; `values[i]` is stored for `keys[i]` and must be below
  // 2^31. Throws std::bad_alloc when the arrays cannot be allocated.
  static TokenIndex build(std::span<const std::string_view> keys, std::span<const uint32_t> values);
  // The same for keys packed one after another: key k is packed[ends[k-1], ends[k]). The
  // builder reads keys in this order many times over, so packing them saves scattered reads.
  static TokenIndex build_packed(std::string_view packed, std::span<const uint32_t> ends,
                                 std::span<const uint32_t> values);

  // Follows the bytes of `bytes` (any byte string); returns false when no key continues
  // that way, leaving `node` somewhere on the path.
  bool step(Node& node, std::string_view bytes) const {
    auto p = reinterpret_cast<const unsigned char*>(bytes.data());
    auto end = p + bytes.size();
    while (p < end) {
      size_t width;
      if (!step_label(node, next_label(p, end, width))) return false;
      p += width;
    }
    return true;
  }
  // A node from which every step fails again: where branch-free walks end up.
  Node dead() const { return dead_; }
  // The label of a one- or two-byte character (`length` 1 or 2).
  static uint32_t label_of_char(const unsigned char* p, size_t length) {
    return length == 1 ? p[0] : arabic_label(p);
  }
  // The label of the first edge of a walk over the bytes [p, end), p < end.
  static uint32_t first_label(const unsigned char* p, const unsigned char* end) {
    size_t width;
    return next_label(p, end, width);
  }
  // True for the lead bytes of U+0600..U+06FF, whose characters are one edge each.
  static bool is_arabic_lead(unsigned char b) { return (b & 0xFC) == 0xD8; }

  // Branch-free walking over raw cells, for hot loops: `advance` returns the child by
  // `label`, or `dead()`. A copy holds the cell pointer and the dead node in registers,
  // where calls through the index would reload them.
  class View {
   public:
    View() = default;
    Node dead() const { return dead_; }
    Node advance(Node node, uint32_t label) const {
      Node next = (units_[node].base & kBaseMask) + label;
      return units_[next].check == node ? next : dead_;
    }
    // advance over a whole UTF-8 character of `length` bytes.
    Node advance_char(Node node, const unsigned char* p, size_t length) const {
      if (length == 2 && is_arabic_lead(p[0])) return advance(node, arabic_label(p));
      for (size_t k = 0; k < length; ++k) node = advance(node, p[k]);
      return node;
    }
    bool is_key(Node node) const { return (units_[node].base & kKeyFlag) != 0; }
    // The node one edge up from `node`, which is neither the root nor dead().
    Node parent(Node node) const { return units_[node].check; }
    uint32_t value(Node node) const {
      return units_[(units_[node].base & kBaseMask) + kValueLabel].base;
    }

   private:
    friend class TokenIndex;
    View(const Unit* units, Node dead) : units_(units), dead_(dead) {}
    const Unit* units_ = nullptr;
    Node dead_ = 0;
  };
  View view() const { return View(units_.data(), dead_); }

  // True when the bytes walked from the root to `node` form a key.
  bool is_key(Node node) const { return view().is_key(node); }
  // The value of the key ending at `node`; only meaningful when is_key(node).
  uint32_t value(Node node) const { return view().value(node); }

  std::optional<uint32_t> find(std::string_view key) const {
    Node node = kRoot;
    if (!step(node, key) || !is_key(node)) return std::nullopt;
    return value(node);
  }

  // False when no key holds the one- or two-byte character at `p` (`length` 1 or 2) as one
  // edge: no walk passes it. (Characters of other lengths are several byte edges.)
  bool labels_an_edge(const unsigned char* p, size_t length) const {
    uint32_t label = label_of_char(p, length);
    return (edge_labels_[label / 64] >> (label % 64)) & 1;
  }

  // Bytes of the cells in use (the array's reserve beyond them is never touched).
  size_t memory_bytes() const { return units_.size() * sizeof(Unit); }

 private:
  static uint32_t arabic_label(const unsigned char* p) {
    return 256 + ((uint32_t(p[0] & 3) << 6) | (p[1] & 0x3F));
  }
  // The label of the edge that starts at `p`, and how many bytes it spans.
  static uint32_t next_label(const unsigned char* p, const unsigned char* end, size_t& width) {
    if (is_arabic_lead(p[0]) && end - p >= 2 && (p[1] & 0xC0) == 0x80) {
      width = 2;
      return arabic_label(p);
    }
    width = 1;
    return p[0];
  }
  bool step_label(Node& node, uint32_t label) const {
    Node next = (units_[node].base & kBaseMask) + label;
    if (units_[next].check != node) return false;
    node = next;
    return true;
  }

  struct Unit {
    uint32_t base;   // child offset; top bit set when the node ends a key
    uint32_t check;  // index of the parent, or a marker for free cells and the root
  };
  static constexpr uint32_t kKeyFlag = 0x80000000u;
  static constexpr uint32_t kBaseMask = 0x7FFFFFFFu;
  // A key's value sits in the cell of a virtual child one past the 512 edge labels, so
  // keys may contain any byte, NUL included.
  static constexpr uint32_t kValueLabel = 512;
  static constexpr uint32_t kFree = 0xFFFFFFFFu;
  static constexpr uint32_t kRootCheck = 0xFFFFFFFEu;

  class Builder;
  std::vector<Unit> units_;
  Node dead_;  // a free padding cell: no node has it as parent
  std::array<uint64_t, kValueLabel / 64> edge_labels_{};  // a bit for each label on some edge
};

}  // namespace sarfan
