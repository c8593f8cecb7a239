#include "vocab/utf8.h"

#include <gtest/gtest.h>

#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace sarfan::utf8 {
namespace {

// The block-wise validator, run on an exact-size copy of the text so that the sanitizer
// build reports any read past its end (a string's terminating NUL would hide it).
bool valid_exact(std::string_view text) {
  std::vector<char> exact(text.begin(), text.end());
  return is_valid(std::string_view(exact.data(), exact.size()));
}

// The validator against a byte-by-byte check on random byte strings that mix ASCII,
// two-byte sequences, longer sequences and stray bytes at every alignment.
bool bytewise_valid(std::string_view text) {
  auto p = reinterpret_cast<const unsigned char*>(text.data());
  auto end = p + text.size();
  while (p < end) {
    size_t n = valid_sequence_length(p, end);
    if (n == 0) return false;
    p += n;
  }
  return true;
}

TEST(Utf8Test, IsValidAgreesWithBytewiseCheck) {
  auto bytewise = bytewise_valid;
  const std::string parts[] = {"a",
                               " ",
                               "\xD8\xA8",
                               "\xD9\x84",
                               "\xC2\x80",
                               "\xDF\xBF",
                               "\xE2\x96\x81",
                               "\xF0\x9F\x98\x80",
                               "\x80",
                               "\xC0\x80",
                               "\xC1\xBF",
                               "\xD8",
                               "\xE0\x80\x80",
                               "\xFF",
                               "\xED\xA0\x80"};
  std::mt19937 rng(5);
  for (int i = 0; i < 200000; ++i) {
    std::string text;
    bool clean = i % 2 == 0;
    for (int k = int(rng() % 48); k > 0; --k) text += parts[rng() % (clean ? 8 : std::size(parts))];
    ASSERT_EQ(valid_exact(text), bytewise(text)) << i;
  }
}

// Text of ASCII and two-byte characters, which the validator takes sixteen and eight bytes
// at a time (in every other round after a valid three-byte character, where the blocks start
// again), with one ill-formed unit at every character boundary: overlong leads, a lead
// without its continuation (also as the text's last byte, or before C0, just past the
// continuation range), a stray continuation, longer sequences that are ill-formed or cut
// short.
TEST(Utf8Test, IllFormedUnitInTwoByteTextIsFoundAtEveryOffset) {
  const std::string parts[] = {"a", " ", "\xD8\xA8", "\xD9\x84", "\xC2\xA0", "\xDF\xBF"};
  const std::string bad[] = {"\xC0\x80",     "\xC1\xBF",     "\xD8",     "\x80", "\xD9\xC0",
                             "\xE0\x80\x80", "\xED\xA0\x80", "\xE0\xA0", "\xFF"};
  std::mt19937 rng(7);
  for (int round = 0; round < 300; ++round) {
    std::vector<std::string> chars;
    for (size_t n = 8 + rng() % 40; n > 0; --n) chars.push_back(parts[rng() % std::size(parts)]);
    for (size_t at = 0; at <= chars.size(); ++at) {
      for (const std::string& unit : bad) {
        std::string text = round % 2 == 0 ? "" : "\xE2\x80\x9C";
        for (size_t k = 0; k < chars.size(); ++k) text += (k == at ? unit : "") + chars[k];
        if (at == chars.size()) text += unit;
        ASSERT_FALSE(valid_exact(text)) << round << " " << at;
      }
    }
  }
}

}  // namespace
}  // namespace sarfan::utf8
