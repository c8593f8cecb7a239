#pragma once

// Helpers shared by the engine tests and the fuzz targets: UTF-8 from code points and
// back, piece texts and the lines of special and byte pieces.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "tokenizer/encode_result.h"
#include "vocab/utf8.h"

namespace sarfan::testing_text {

inline std::string u8(std::initializer_list<char32_t> cps) {
  std::string out;
  for (char32_t c : cps) utf8::append(out, c);
  return out;
}

inline std::string u8(const std::vector<char32_t>& cps) {
  std::string out;
  for (char32_t c : cps) utf8::append(out, c);
  return out;
}

// The mark U+2581 that starts a word's first piece.
inline const std::string kMark = "\xE2\x96\x81";

// The byte piece "<0xHH>" of `byte` with upper-case digits, written here apart from the
// engine's own formatter so that the tests check it.
inline std::string byte_piece(unsigned byte) {
  char piece[7];
  std::snprintf(piece, sizeof piece, "<0x%02X>", byte & 0xFF);
  return piece;
}

// The lines of "[PAD]", "[BOS]", "[EOS]", "[UNK]" (ids 0 to 3), then of the byte pieces
// that keep(b) admits at ids 4, 5, ... in byte order; `next_id` receives the next free id.
template <class Keep>
std::string special_and_byte_pieces_tsv(Keep&& keep, uint32_t& next_id) {
  std::string tsv = "[PAD]\t0\t0\n[BOS]\t1\t0\n[EOS]\t2\t0\n[UNK]\t3\t0\n";
  next_id = 4;
  for (unsigned b = 0; b < 256; ++b) {
    if (keep(b)) tsv += byte_piece(b) + "\t" + std::to_string(next_id++) + "\t0\n";
  }
  return tsv;
}

// The same with every byte piece: ids 0 to 259.
inline std::string special_and_byte_pieces_tsv() {
  uint32_t next_id;
  return special_and_byte_pieces_tsv([](unsigned) { return true; }, next_id);
}

// `text` with each ill-formed subsequence read as U+FFFD, as the engine reads it.
inline std::string repaired(std::string_view text) {
  std::string out;
  utf8::append_repaired(out, text);
  return out;
}

inline std::vector<char32_t> code_points(std::string_view text) {
  std::vector<char32_t> out;
  auto p = reinterpret_cast<const unsigned char*>(text.data());
  auto end = p + text.size();
  while (p < end) out.push_back(utf8::decode_valid(p));
  return out;
}

// The piece texts of an encode, one string each.
inline std::vector<std::string> texts_of(const PieceTexts& tokens) {
  std::vector<std::string> out;
  for (size_t k = 0; k < tokens.size(); ++k) out.emplace_back(tokens[k]);
  return out;
}

}  // namespace sarfan::testing_text
