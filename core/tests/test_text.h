#pragma once

// Helpers shared by the engine tests: UTF-8 from code points and back.
#include <string>
#include <vector>

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

inline std::vector<char32_t> code_points(std::string_view text) {
  std::vector<char32_t> out;
  auto p = reinterpret_cast<const unsigned char*>(text.data());
  auto end = p + text.size();
  while (p < end) out.push_back(utf8::decode_valid(p));
  return out;
}

}  // namespace sarfan::testing_text
