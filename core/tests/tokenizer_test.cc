#include "tokenizer/tokenizer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_files.h"
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

}  // namespace
}  // namespace sarfan
