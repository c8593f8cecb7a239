#pragma once

// Helpers shared by the engine tests: UTF-8 from code points and back.
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

// The lines of ids 0 to 259: "[PAD]", "[BOS]", "[EOS]", "[UNK]" and the byte pieces.
inline std::string special_and_byte_pieces_tsv() {
  std::string tsv = "[PAD]\t0\t0\n[BOS]\t1\t0\n[EOS]\t2\t0\n[UNK]\t3\t0\n";
  for (int b = 0; b < 256; ++b) {
    static const char kHex[] = "0123456789ABCDEF";
    tsv +=
        std::string("<0x") + kHex[b >> 4] + kHex[b & 15] + ">\t" + std::to_string(4 + b) + "\t0\n";
  }
  return tsv;
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
