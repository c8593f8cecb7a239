#pragma once

#include <cstddef>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "test_text.h"

namespace sarfan::testing_text {

// Random strings over characters that exercise every path: ASCII and whitespace, Arabic
// letters and marks, composable pairs, marks of different classes, Hangul, code points
// that NFC changes on their own, and four-byte characters.
inline std::string random_text(std::mt19937& rng, size_t max_length) {
  static const char32_t kPool[] = {
      'a',    'e',    ' ',    '\t',   '\n',   0x0B,    0x85,   0xA0,    0x2000,  0x2001,  0x200A,
      0x3000, 0x202F, 0x00E9, 0x0301, 0x0316, 0x0327,  0x0300, 0x0344,  0x0340,  0x0958,  0x093C,
      0x0928, 0xF900, 0x2126, 0x0621, 0x0622, 0x0623,  0x0624, 0x0625,  0x0626,  0x0627,  0x0629,
      0x0640, 0x0644, 0x0648, 0x0649, 0x064A, 0x064B,  0x064E, 0x0651,  0x0652,  0x0653,  0x0654,
      0x0655, 0x065F, 0x0670, 0x06C1, 0x06D2, 0x06D5,  0xFE8D, 0xFE8E,  0xFEF5,  0xFEFB,  0xFEFC,
      0x1100, 0x1161, 0x11A8, 0xAC00, 0xAC01, 0x105D2, 0x0307, 0x113C2, 0x113C5, 0x1611E, 0x1F600,
      0x2581, 0x0000, 0xFEF6, 0xFEF7, 0xFEF8, 0xFEF9,  0xFEFA};
  std::uniform_int_distribution<size_t> pick(0, std::size(kPool) - 1);
  std::uniform_int_distribution<size_t> length(0, max_length);
  std::vector<char32_t> cps;
  for (size_t n = length(rng); n > 0; --n) cps.push_back(kPool[pick(rng)]);
  return u8(cps);
}

}  // namespace sarfan::testing_text
