#include "vocab/vocab.h"

#include <gtest/gtest.h>

#include <string>

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
