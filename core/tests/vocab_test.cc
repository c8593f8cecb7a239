#include "vocab/vocab.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace sarfan {
namespace {

Result<Vocab> build(std::initializer_list<VocabEntry> entries, size_t max_token_len = 16) {
  VocabBuilder builder(max_token_len);
  for (const VocabEntry& entry : entries) {
    auto added = builder.add_token(entry);
    EXPECT_TRUE(added.ok());
  }
  return std::move(builder).build();
}

TEST(VocabTest, GapsHaveEmptyTextAndZeroScore) {
  auto vocab = build({{"x", 0, -1.0f}, {"y", 5, -2.0f}});
  ASSERT_TRUE(vocab.ok());
  const Vocab& v = vocab.value();
  EXPECT_EQ(v.vocab_size(), 6u);
  for (uint32_t id = 1; id <= 4; ++id) {
    EXPECT_EQ(v.token(id), "");
    EXPECT_EQ(v.score(id), 0.0f);
  }
  EXPECT_FALSE(v.lookup("").has_value());  // a gap is not reached by the empty piece
  EXPECT_EQ(v.token(5), "y");
  EXPECT_EQ(v.score(5), -2.0f);
}

TEST(VocabTest, SpecialIdsAreFixedWhateverTheVocabulary) {
  auto vocab = build({{"[UNK]", 0, 0.0f}});
  ASSERT_TRUE(vocab.ok());
  EXPECT_EQ(vocab.value().vocab_size(), 1u);
  EXPECT_EQ(vocab.value().pad_id(), 0u);
  EXPECT_EQ(vocab.value().bos_id(), 1u);
  EXPECT_EQ(vocab.value().eos_id(), 2u);
  EXPECT_EQ(vocab.value().unk_id(), 3u);
}

TEST(VocabTest, LookupIsExactOnBytes) {
  // U+00E9 composed and decomposed, and a trailing space, are distinct keys.
  auto vocab = build({{"\xC3\xA9", 1, 0}, {"e\xCC\x81", 2, 0}, {"a", 3, 0}, {"a ", 4, 0}});
  ASSERT_TRUE(vocab.ok());
  EXPECT_EQ(vocab.value().lookup("\xC3\xA9")->id, 1u);
  EXPECT_EQ(vocab.value().lookup("e\xCC\x81")->id, 2u);
  EXPECT_EQ(vocab.value().lookup("a ")->id, 4u);
  EXPECT_FALSE(vocab.value().lookup("A").has_value());
  EXPECT_FALSE(vocab.value().lookup("e").has_value());
}

TEST(VocabBuilderTest, MaxTokenLenCountsCharacters) {
  VocabBuilder builder(2);
  EXPECT_TRUE(builder.add_token({"\xD9\x81\xD9\x8A", 0, 0}).ok());  // two characters, four bytes
  auto refused = builder.add_token({"abc", 1, 0});
  ASSERT_FALSE(refused.ok());
  EXPECT_EQ(refused.error().display(), "Invalid model file: Token 'abc' exceeds max_token_len 2");
  auto vocab = std::move(builder).build();
  ASSERT_TRUE(vocab.ok());
  EXPECT_EQ(vocab.value().vocab_size(), 1u);  // the refused entry was not kept
}

TEST(VocabBuilderTest, EmptyBuilderFails) {
  auto vocab = VocabBuilder(4).build();
  ASSERT_FALSE(vocab.ok());
  EXPECT_EQ(vocab.error().display(), "Invalid model file: Cannot build vocabulary with no entries");
}

TEST(VocabBuilderTest, RefusesIdsBeyondTheSupportedBound) {
  auto vocab = build({{"a", 16777216, 0}});
  ASSERT_FALSE(vocab.ok());
  EXPECT_EQ(vocab.error().display(),
            "Invalid model file: Token ID 16777216 exceeds the largest supported id 16777215");
}

TEST(VocabTest, LargestSupportedIdBuilds) {
  auto vocab = build({{"a", 16777215, 0}});
  ASSERT_TRUE(vocab.ok());
  EXPECT_EQ(vocab.value().vocab_size(), 16777216u);
  EXPECT_EQ(vocab.value().lookup("a")->id, 16777215u);
}

}  // namespace
}  // namespace sarfan

namespace sarfan {
namespace {

// Reference: duplicates checked over a stable sort by plain string comparison.
std::string reference_build_error(const std::vector<VocabEntry>& entries) {
  std::vector<size_t> order(entries.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(),
                   [&](size_t a, size_t b) { return entries[a].token < entries[b].token; });
  std::set<uint32_t> ids;
  for (size_t k = 0; k < order.size(); ++k) {
    const VocabEntry& e = entries[order[k]];
    if (!ids.insert(e.id).second) return "Duplicate token ID " + std::to_string(e.id);
    if (k > 0 && entries[order[k - 1]].token == e.token) return "Duplicate token '" + e.token + "'";
  }
  return "";
}

const std::string kStems[] = {"", std::string("\0", 1), "abcdefgh", "abcdefghijklmnop",
                              "\xE2\x96\x81\xD8\xA7\xD9\x84"};

// Builds `entries`; the error must be the reference's, and without one every token must
// map to its id and back.
void expect_build_like_reference(const std::vector<VocabEntry>& entries) {
  VocabBuilder builder(64);
  for (const VocabEntry& e : entries) ASSERT_TRUE(builder.add_token(e).ok());
  auto vocab = std::move(builder).build();
  std::string expected = reference_build_error(entries);
  if (!expected.empty()) {
    ASSERT_FALSE(vocab.ok());
    ASSERT_EQ(vocab.error().message(), expected);
    return;
  }
  ASSERT_TRUE(vocab.ok()) << vocab.error().display();
  for (const VocabEntry& e : entries) {
    ASSERT_EQ(vocab.value().lookup(e.token)->id, e.id);
    ASSERT_EQ(vocab.value().token(e.id), e.token);
  }
}

// Tokens share long prefixes and hold NUL bytes, so the prefix-key sort must fall back
// to full comparisons correctly.
TEST(VocabBuilderTest, SortAndDuplicateOrderMatchReferenceOnRandomEntries) {
  std::mt19937 rng(7);
  const auto& stems = kStems;
  for (int round = 0; round < 300; ++round) {
    std::vector<VocabEntry> entries;
    int count = 1 + int(rng() % 40);
    for (int i = 0; i < count; ++i) {
      std::string token = stems[rng() % 5];
      for (int n = int(rng() % 4); n > 0; --n) token.push_back("a\0b\xFF"[rng() % 4]);
      entries.push_back({token, uint32_t(rng() % (round % 2 ? 200 : 40)), 0.0f});
    }
    expect_build_like_reference(entries);
  }
}

// As many tokens as a real vocabulary, for which the sort takes wider digits: unique
// tokens in shuffled id order, then the same with one token repeated.
TEST(VocabBuilderTest, ManyTokensBuildLikeTheReference) {
  std::mt19937 rng(11);
  std::set<std::string> unique;
  while (unique.size() < 40000) {
    std::string token = kStems[rng() % 5];
    for (int n = int(rng() % 12); n > 0; --n) token.push_back("a\0b\xFF\x80"[rng() % 5]);
    unique.insert(token);
  }
  std::vector<uint32_t> ids(unique.size());
  for (uint32_t k = 0; k < ids.size(); ++k) ids[k] = k;
  std::shuffle(ids.begin(), ids.end(), rng);
  std::vector<VocabEntry> entries;
  for (const std::string& token : unique) entries.push_back({token, ids[entries.size()], 0.0f});
  std::shuffle(entries.begin(), entries.end(), rng);
  expect_build_like_reference(entries);
  entries.push_back({entries[rng() % entries.size()].token, uint32_t(entries.size()), 0.0f});
  expect_build_like_reference(entries);
}

}  // namespace
}  // namespace sarfan
