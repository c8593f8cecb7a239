#include "vocab/token_index.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace sarfan {
namespace {

TokenIndex build_from(const std::map<std::string, uint32_t>& reference) {
  std::vector<std::string_view> keys;
  std::vector<uint32_t> values;
  for (const auto& [key, value] : reference) {
    keys.push_back(key);
    values.push_back(value);
  }
  return TokenIndex::build(keys, values);
}

TEST(TokenIndexTest, EmptyIndexFindsNothing) {
  TokenIndex index;
  EXPECT_FALSE(index.find("").has_value());
  EXPECT_FALSE(index.find("a").has_value());
}

TEST(TokenIndexTest, EmptyKeyNulBytesAndPrefixes) {
  std::map<std::string, uint32_t> reference = {
      {"", 7}, {std::string("\0", 1), 8}, {std::string("a\0b", 3), 9}, {"a", 1},
      {"ab", 2}, {"abc", 3}, {"\xFF\xFF", 4}, {"b", 5}};
  TokenIndex index = build_from(reference);
  for (const auto& [key, value] : reference) EXPECT_EQ(index.find(key), value) << key;
  EXPECT_FALSE(index.find("abcd").has_value());
  EXPECT_FALSE(index.find("\xFF").has_value());
  EXPECT_FALSE(index.find(std::string("a\0", 2)).has_value());
  EXPECT_TRUE(index.is_key(TokenIndex::kRoot));
}

// Every prefix of every probe, walked byte by byte, must agree with the reference map.
TEST(TokenIndexTest, WalkAgreesWithReferenceOnRandomKeys) {
  std::mt19937 rng(12345);
  for (int round = 0; round < 20; ++round) {
    std::map<std::string, uint32_t> reference;
    int alphabet = round % 2 ? 4 : 256;
    std::uniform_int_distribution<int> length(0, round < 10 ? 6 : 40);
    std::uniform_int_distribution<int> byte(0, alphabet - 1);
    for (int i = 0; i < 3000; ++i) {
      std::string key;
      for (int n = length(rng); n > 0; --n) key.push_back(char(byte(rng)));
      reference.emplace(key, uint32_t(i * 7 % 16777216));
    }
    TokenIndex index = build_from(reference);
    for (int probe = 0; probe < 3000; ++probe) {
      std::string text;
      for (int n = length(rng) + 2; n > 0; --n) text.push_back(char(byte(rng)));
      TokenIndex::Node node = TokenIndex::kRoot;
      for (size_t k = 0; k <= text.size(); ++k) {
        auto found = reference.find(text.substr(0, k));
        bool is_key = found != reference.end();
        ASSERT_EQ(index.is_key(node), is_key);
        if (is_key) {
          ASSERT_EQ(index.value(node), found->second);
        }
        if (k == text.size()) break;
        bool has_longer = false;
        auto next = reference.lower_bound(text.substr(0, k + 1));
        has_longer = next != reference.end() && next->first.compare(0, k + 1, text, 0, k + 1) == 0;
        ASSERT_EQ(index.step(node, static_cast<unsigned char>(text[k])), has_longer);
        if (!has_longer) break;
      }
    }
    for (const auto& [key, value] : reference) ASSERT_EQ(index.find(key), value);
  }
}

TEST(TokenIndexTest, VeryLongKeyIsLinear) {
  std::string long_key(400000, 'x');
  std::vector<std::string_view> keys = {"a", long_key};
  std::vector<uint32_t> values = {1, 2};
  TokenIndex index = TokenIndex::build(keys, values);
  EXPECT_EQ(index.find(long_key), 2u);
  EXPECT_FALSE(index.find(std::string_view(long_key).substr(1)).has_value());
}

}  // namespace
}  // namespace sarfan
