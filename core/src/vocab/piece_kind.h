#pragma once

#include <cstdint>
#include <string_view>

namespace sarfan {

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

}  // namespace sarfan
