#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "vocab/token_index.h"

namespace sarfan {

// The word-boundary mark U+2581 ("▁"), which encoding puts before a word's first piece
// and decoding turns into a space.
inline constexpr std::string_view kMark = "\xE2\x96\x81";

// What a piece text means to the decoder.
enum class PieceKind : uint16_t {
  // 0..255: a byte piece "<0xHH>" with that value.
  kText = 256,     // ordinary text ("[UNK]" included)
  kDropped = 257,  // "[BOS]", "[EOS]" or "[PAD]"
};

// A byte piece for decoding: 6 bytes, "<0x", two hexadecimal digits of either case, ">".
// The two middle bytes are read as an unsigned hexadecimal number, so a "+" followed by
// one digit also qualifies ("<0x+A>" is byte 10).
inline uint16_t classify_piece(std::string_view piece) {
  if (piece == "[BOS]" || piece == "[EOS]" || piece == "[PAD]") {
    return uint16_t(PieceKind::kDropped);
  }
  if (piece.size() != 6 || piece.substr(0, 3) != "<0x" || piece[5] != '>') {
    return uint16_t(PieceKind::kText);
  }
  auto hex = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  int high = hex(piece[3]), low = hex(piece[4]);
  if (piece[3] == '+' && low >= 0) return uint16_t(low);
  if (high < 0 || low < 0) return uint16_t(PieceKind::kText);
  return uint16_t(high * 16 + low);
}

// The text "<0xHH>" with upper-case digits, as encoding writes byte pieces.
inline void byte_piece_text(unsigned char byte, char out[6]) {
  static const char kDigits[] = "0123456789ABCDEF";
  out[0] = '<';
  out[1] = '0';
  out[2] = 'x';
  out[3] = kDigits[byte >> 4];
  out[4] = kDigits[byte & 15];
  out[5] = '>';
}

// What encoding and decoding read of one vocabulary (the base or a plugin) besides its
// index: the node after "▁", where the scan's marked walks start, the id of each byte
// piece "<0xHH>", for its byte fallback, the first characters of its unpaired pieces, and
// the decoder's kind of each id slot. Each vocabulary builds its own once, when it is made.
class PieceTables {
 public:
  static constexpr uint32_t kNoId = 0xFFFFFFFF;  // the byte piece is absent

  // `index` maps piece texts to ids; text_of(k) is the piece of slot k < `slots`.
  template <class TextOf>
  static PieceTables build(const TokenIndex& index, size_t slots, TextOf&& text_of) {
    PieceTables tables;
    if (!index.step(tables.after_mark_, kMark)) tables.after_mark_ = index.dead();
    for (int b = 0; b < 256; ++b) {
      char text[6];
      byte_piece_text(static_cast<unsigned char>(b), text);
      tables.byte_ids_[b] = index.find(std::string_view(text, 6)).value_or(kNoId);
    }
    tables.kinds_.resize(slots);
    for (size_t k = 0; k < slots; ++k) {
      decltype(auto) held = text_of(k);  // a string returned by value lives through the step
      std::string_view text = held;
      tables.kinds_[k] = classify_piece(text);
      tables.note_if_unpaired(index, text);
    }
    return tables;
  }

  // The node after "▁" in the vocabulary's index, or its dead node when no key starts so.
  TokenIndex::Node after_mark() const { return after_mark_; }
  uint32_t byte_piece_id(unsigned char byte) const { return byte_ids_[byte]; }
  uint16_t kind(size_t slot) const { return kinds_[slot]; }
  // False when no unpaired piece starts with the character at p (of the text [p, end)). A
  // piece is unpaired when "▁" followed by its text is no piece. Only an unpaired piece can
  // beat the marked candidate at a word's start: the marked twin of a paired one matches
  // the same text and wins the tie. (Every piece is a plain candidate, one with "▁" in
  // front too, for text that holds a "▁".)
  bool unpaired_may_start(const unsigned char* p, const unsigned char* end) const {
    uint32_t label = TokenIndex::first_label(p, end);
    return (unpaired_starts_[label / 64] >> (label % 64)) & 1;
  }
  size_t memory_bytes() const {
    return sizeof(byte_ids_) + sizeof(unpaired_starts_) + kinds_.capacity() * sizeof(uint16_t);
  }

 private:
  // Sets the bit of the piece's first edge label when the piece is unpaired; a label
  // already set needs no lookup.
  void note_if_unpaired(const TokenIndex& index, std::string_view text) {
    if (text.empty()) return;
    auto p = reinterpret_cast<const unsigned char*>(text.data());
    uint32_t label = TokenIndex::first_label(p, p + text.size());
    uint64_t bit = uint64_t(1) << (label % 64);
    if (unpaired_starts_[label / 64] & bit) return;
    TokenIndex::Node node = after_mark_;
    if (index.step(node, text) && index.is_key(node)) return;
    unpaired_starts_[label / 64] |= bit;
  }

  TokenIndex::Node after_mark_ = TokenIndex::kRoot;
  std::array<uint32_t, 256> byte_ids_{};
  std::array<uint64_t, 8> unpaired_starts_{};  // a bit for each edge label
  std::vector<uint16_t> kinds_;
};

}  // namespace sarfan
