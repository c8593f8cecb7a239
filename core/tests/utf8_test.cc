#include "vocab/utf8.h"

#include <gtest/gtest.h>

#include <iterator>
#include <random>
#include <string>

namespace sarfan::utf8 {
namespace {

// The eight-bytes-at-a-time validator against a byte-by-byte check on random byte strings that
// mix ASCII, two-byte sequences, longer sequences and stray bytes at every alignment.
TEST(Utf8Test, IsValidAgreesWithBytewiseCheck) {
  auto bytewise = [](std::string_view text) {
    auto p = reinterpret_cast<const unsigned char*>(text.data());
    auto end = p + text.size();
    while (p < end) {
      size_t n = valid_sequence_length(p, end);
      if (n == 0) return false;
      p += n;
    }
    return true;
  };
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
    ASSERT_EQ(is_valid(text), bytewise(text)) << i;
  }
}

}  // namespace
}  // namespace sarfan::utf8
