#include "tokenizer/tokenizer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_files.h"
#include "test_text.h"
#include "tokenizer/normalizer.h"
#include "vocab/vocab_loader.h"

namespace sarfan {
namespace {

using testing_files::TempFile;

// A base vocabulary with vocab_size 10.
Tokenizer base_tokenizer() {
  auto vocab = from_tsv_text("[PAD]\t0\t0\n[BOS]\t1\t0\n[EOS]\t2\t0\n[UNK]\t3\t0\nab\t9\t-1\n");
  EXPECT_TRUE(vocab.ok());
  return Tokenizer::from_vocab(std::move(vocab).value());
}

std::string load_error(Tokenizer& tok, std::string_view content, const std::string& name = "egy") {
  TempFile file(content);
  auto loaded = tok.load_plugin(file.path(), name);
  return loaded.ok() ? "ok" : loaded.error().display();
}

TEST(TokenizerTest, RegistryReplaceUnloadAndOrder) {
  Tokenizer tok = base_tokenizer();
  ASSERT_EQ(load_error(tok, "a\t10\t0\n", "b"), "ok");
  ASSERT_EQ(load_error(tok, "c\t10\t0\n", "a"), "ok");
  ASSERT_EQ(load_error(tok, "d\t11\t0\n", "B"), "ok");
  EXPECT_EQ(tok.list_plugins(), (std::vector<std::string>{"b", "a", "B"}));
  ASSERT_EQ(load_error(tok, "e\t10\t0\n", "b"), "ok");  // replaced in place
  EXPECT_EQ(tok.list_plugins(), (std::vector<std::string>{"b", "a", "B"}));
  EXPECT_EQ(tok.plugin("b")->token(10), std::optional<std::string_view>("e"));
  // A failing load leaves the registered plugin as it was.
  EXPECT_NE(load_error(tok, "f\t10\n", "b"), "ok");
  EXPECT_EQ(tok.plugin("b")->token(10), std::optional<std::string_view>("e"));
  tok.unload_plugin("nope");
  tok.unload_plugin("a");
  EXPECT_EQ(tok.list_plugins(), (std::vector<std::string>{"b", "B"}));
  EXPECT_EQ(tok.vocab().vocab_size(), 10u);  // loading never touches the base
}

TEST(TokenizerTest, EncodeUsesTheNamedPluginOnly) {
  Tokenizer tok = base_tokenizer();
  ASSERT_EQ(load_error(tok,
                       "ab\t20\t0\n\xE2\x96\x81"
                       "ab\t21\t0\n"),
            "ok");
  EXPECT_EQ(tok.encode_ids("ab ab", false, "egy").value(), (std::vector<uint32_t>{1, 21, 21, 2}));
  EXPECT_EQ(tok.encode_ids("ab ab", false, std::nullopt).value(),
            (std::vector<uint32_t>{1, 9, 9, 2}));
  auto other = tok.encode("ab", false, "EGY").value();  // names are case-sensitive
  EXPECT_EQ(other.ids, (std::vector<uint32_t>{1, 9, 2}));
  EXPECT_EQ(other.dialect, "EGY");
  EXPECT_FALSE(other.fallback);
  ASSERT_EQ(load_error(tok, "ab\t30\t0\n", "msa"), "ok");  // "msa" is the default dialect
  EXPECT_EQ(tok.encode_ids("ab", false, std::nullopt).value(), (std::vector<uint32_t>{1, 30, 2}));
}

TEST(TokenizerTest, PluginPieceLongerThanBaseLimitIsNeverProduced) {
  auto vocab = from_tsv_text("ab\t9\t-1\n");
  ASSERT_TRUE(vocab.ok());
  Tokenizer tok = Tokenizer::from_vocab(std::move(vocab).value());
  ASSERT_EQ(load_error(tok, "abc\t20\t0\n"), "ok");
  EXPECT_EQ(tok.max_token_len(), 2u);
  EXPECT_EQ(tok.encode_ids("abc", false, "egy").value()[1], 9u);
}

// Encoding writes normalized text of up to 2 KB on the stack and moves it to the heap when
// it outgrows that: whatever the size, the pieces spell the normalized text. With byte
// pieces only, each id is one byte of it (spaces only part words).
TEST(TokenizerTest, EncodesNormalizedTextOfEverySize) {
  auto vocab = from_tsv_text(testing_text::special_and_byte_pieces_tsv());
  ASSERT_TRUE(vocab.ok());
  Tokenizer tok = Tokenizer::from_vocab(std::move(vocab).value());
  Normalizer normalizer(tok.normalizer_config());
  auto repeat = [](std::string_view unit, size_t times) {
    std::string text;
    for (size_t k = 0; k < times; ++k) text += unit;
    return text;
  };
  // U+0958 turns into two characters, twice its bytes: 600 of them (1,800 bytes) outgrow
  // 2 KB midway; 700 start beyond it.
  const std::string texts[] = {repeat("ab \xD8\xA3", 409),  repeat("ab \xD8\xA3", 410),
                               repeat("ab \xD8\xA3", 411),  repeat("\xE0\xA5\x98", 600),
                               repeat("\xE0\xA5\x98", 700), repeat("  x\xD9\x8E", 2000)};
  for (const std::string& text : texts) {
    std::vector<uint32_t> ids = tok.encode_ids(text, true, std::nullopt).value();
    std::string expected;
    for (char c : normalizer.normalize(text)) {
      if (c != ' ') expected += c;
    }
    std::string spelled;
    for (size_t k = 1; k + 1 < ids.size(); ++k) spelled += char(ids[k] - 4);
    EXPECT_TRUE(spelled == expected) << "input of " << text.size() << " bytes";
  }
}

}  // namespace
}  // namespace sarfan
