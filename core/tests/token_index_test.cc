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
  std::map<std::string, uint32_t> reference = {{"", 7},
                                               {std::string("\0", 1), 8},
                                               {std::string("a\0b", 3), 9},
                                               {"a", 1},
                                               {"ab", 2},
                                               {"abc", 3},
                                               {"\xFF\xFF", 4},
                                               {"b", 5}};
  TokenIndex index = build_from(reference);
  for (const auto& [key, value] : reference) EXPECT_EQ(index.find(key), value) << key;
  EXPECT_FALSE(index.find("abcd").has_value());
  EXPECT_FALSE(index.find("\xFF").has_value());
  EXPECT_FALSE(index.find(std::string("a\0", 2)).has_value());
  EXPECT_TRUE(index.is_key(TokenIndex::kRoot));
}

// Keys and probes are made of units: single bytes (other than the Arabic lead bytes
// D8..DB) and two-byte characters of U+0600..U+06FF, which the index takes as one edge.
// Every unit prefix of every probe, walked unit by unit, must agree with the reference.
TEST(TokenIndexTest, WalkAgreesWithReferenceOnRandomKeys) {
  std::mt19937 rng(12345);
  for (int round = 0; round < 20; ++round) {
    std::vector<std::string> units;
    for (int b = 0; b < (round % 2 ? 4 : 256); ++b) {
      if (b < 0xD8 || b > 0xDB) units.push_back(std::string(1, char(b)));
    }
    for (int k = 0; k < (round % 2 ? 3 : 40); ++k) {
      units.push_back({char(0xD8 + k % 4), char(0x80 + (k * 7) % 64)});
    }
    std::map<std::string, uint32_t> reference;
    std::uniform_int_distribution<int> length(0, round < 10 ? 6 : 40);
    std::uniform_int_distribution<size_t> unit(0, units.size() - 1);
    for (int i = 0; i < 3000; ++i) {
      std::string key;
      for (int n = length(rng); n > 0; --n) key += units[unit(rng)];
      reference.emplace(key, uint32_t(i * 7 % 16777216));
    }
    TokenIndex index = build_from(reference);
    for (int probe = 0; probe < 3000; ++probe) {
      std::vector<std::string> parts;
      for (int n = length(rng) + 2; n > 0; --n) parts.push_back(units[unit(rng)]);
      TokenIndex::Node node = TokenIndex::kRoot;
      std::string prefix;
      for (size_t k = 0; k <= parts.size(); ++k) {
        auto found = reference.find(prefix);
        bool is_key = found != reference.end();
        ASSERT_EQ(index.is_key(node), is_key);
        if (is_key) {
          ASSERT_EQ(index.value(node), found->second);
        }
        if (k == parts.size()) break;
        std::string longer = prefix + parts[k];
        auto next = reference.lower_bound(longer);
        bool has_longer =
            next != reference.end() && next->first.compare(0, longer.size(), longer) == 0;
        ASSERT_EQ(index.step(node, parts[k]), has_longer);
        if (!has_longer) break;
        prefix = longer;
      }
    }
    for (const auto& [key, value] : reference) ASSERT_EQ(index.find(key), value);
  }
}

// The characters of every key label edges: an Arabic letter as one, "▁" as three bytes.
// Letters of no key do not, nor the bytes of a letter taken alone.
TEST(TokenIndexTest, EdgeLabelsAreTheLettersOfTheKeys) {
  TokenIndex index = build_from({{"\xD8\xA8", 1},                      // ب
                                 {"\xD8\xA8\xD8\xA7", 2},              // با
                                 {"\xE2\x96\x81\xD9\x83\xD8\xAA", 3},  // ▁كت
                                 {"a!", 4}});
  auto labels = [&](std::string_view c) {
    return index.labels_an_edge(reinterpret_cast<const unsigned char*>(c.data()), c.size());
  };
  for (std::string_view c :
       {"\xD8\xA8", "\xD8\xA7", "\xD9\x83", "\xD8\xAA", "a", "!", "\xE2", "\x96"}) {
    EXPECT_TRUE(labels(c)) << c;
  }
  for (std::string_view c : {"\xD8\xA9", "\xD8\xA3", "b", " ", "\xA8", "\xD8"}) {
    EXPECT_FALSE(labels(c)) << c;
  }
  EXPECT_FALSE(TokenIndex().labels_an_edge(reinterpret_cast<const unsigned char*>("a"), 1));
}

// Byte strings that are not UTF-8: a lead byte D8 followed by bytes on both sides of the
// continuation range, so that byte order and edge order disagree.
TEST(TokenIndexTest, ArbitraryBytesAroundArabicLeadBytes) {
  std::map<std::string, uint32_t> reference = {{"\xD8", 1},
                                               {"\xD8"
                                                "A",
                                                2},
                                               {"\xD8\xA7", 3},
                                               {"\xD8\xA7\xD8", 4},
                                               {"\xD8\xC0", 5},
                                               {"\xDB\xBF"
                                                "x",
                                                6},
                                               {"\xD8\xD8\xA7", 7},
                                               {"\xE2\x96\x81", 8}};
  TokenIndex index = build_from(reference);
  for (const auto& [key, value] : reference) EXPECT_EQ(index.find(key), value);
  EXPECT_FALSE(index.find("\xD8\xA8").has_value());
  EXPECT_FALSE(index.find("\xD8\xD8").has_value());
  EXPECT_FALSE(index.find("\xDB\xBF").has_value());
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
