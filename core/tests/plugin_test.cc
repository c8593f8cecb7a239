#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_files.h"
#include "tokenizer/tokenizer.h"
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

struct PluginCase {
  const char* name;
  std::string content;
  std::string expected;
};

class PluginLoadTest : public testing::TestWithParam<PluginCase> {};

TEST_P(PluginLoadTest, Messages) {
  Tokenizer tok = base_tokenizer();
  EXPECT_EQ(load_error(tok, GetParam().content), GetParam().expected);
}

const std::string kInvalid = "Invalid model file: ";

INSTANTIATE_TEST_SUITE_P(
    Files, PluginLoadTest,
    testing::Values(
        PluginCase{"Empty", "", "ok"}, PluginCase{"OnlyComments", "# c\n\n \t\n", "ok"},
        PluginCase{"TwoFields", "\nx\t10\n",
                   kInvalid + "Plugin TSV line 2: expected 3 columns, got 2 (line: 'x\t10')"},
        PluginCase{"BadId", "x\t1x\t0\n",
                   kInvalid + "Plugin TSV line 1: invalid id '1x' (invalid digit found in string)"},
        PluginCase{"BadScore", "x\t10\tfoo\n",
                   kInvalid + "Plugin TSV line 1: invalid score 'foo' (invalid float literal)"},
        PluginCase{
            "BelowBase", "x\t10\t0\ny\t9\t0\n",
            kInvalid + "Plugin TSV line 2: token 'y' global ID 9 is below base_vocab_size 10"},
        // The range check comes after the score syntax.
        PluginCase{"ScoreBeforeRange", "y\t9\tbad\n",
                   kInvalid + "Plugin TSV line 1: invalid score 'bad' (invalid float literal)"},
        PluginCase{
            "HugeId", "x\t4000000000\tbad\n",
            kInvalid +
                "Plugin TSV line 1: id 4000000000 exceeds the largest supported id 16777215"},
        PluginCase{"InvalidUtf8", "x\t10\t0\n\xC3\n",
                   "IO error: stream did not contain valid UTF-8"}),
    [](const testing::TestParamInfo<PluginCase>& info) { return std::string(info.param.name); });

TEST(PluginTest, MissingFileAndNulInPath) {
  Tokenizer tok = base_tokenizer();
  EXPECT_EQ(tok.load_plugin("/nonexistent/p.tsv", "x").error().display(),
            "IO error: No such file or directory (os error 2)");
  EXPECT_EQ(tok.load_plugin(std::string("a\0b", 3), "x").error().display(),
            "IO error: file name contained an unexpected NUL byte");
}

TEST(PluginTest, SlotsGapsAndOverwrites) {
  Tokenizer tok = base_tokenizer();
  ASSERT_EQ(load_error(tok, "x\t10\t-1\ny\t15\t-2\nx\t12\t-3\nz\t12\t-4\n"), "ok");
  const DialectPlugin* p = tok.plugin("egy");
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->start_id(), 10u);
  EXPECT_EQ(p->tokens().size(), 6u);
  EXPECT_EQ(p->token(13), std::optional<std::string_view>(""));
  EXPECT_EQ(p->token(16), std::nullopt);
  EXPECT_EQ(p->token(9), std::nullopt);
  EXPECT_EQ(p->token(10), std::optional<std::string_view>("x"));  // the slot keeps the token
  EXPECT_EQ(p->token(12), std::optional<std::string_view>("z"));  // a later line wins the slot
  EXPECT_EQ(p->lookup("x")->id, 12u);                             // and the token's id
  EXPECT_EQ(p->lookup("z")->id, 12u);
  EXPECT_EQ(p->lookup("z")->score, -4.0f);
  EXPECT_FALSE(p->lookup("w").has_value());
}

TEST(PluginTest, RegistryReplaceUnloadAndOrder) {
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

TEST(PluginTest, EncodeUsesTheNamedPluginOnly) {
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

TEST(PluginTest, PluginPieceLongerThanBaseLimitIsNeverProduced) {
  auto vocab = from_tsv_text("ab\t9\t-1\n");
  ASSERT_TRUE(vocab.ok());
  Tokenizer tok = Tokenizer::from_vocab(std::move(vocab).value());
  ASSERT_EQ(load_error(tok, "abc\t20\t0\n"), "ok");
  EXPECT_EQ(tok.max_token_len(), 2u);
  EXPECT_EQ(tok.encode_ids("abc", false, "egy").value()[1], 9u);
}

}  // namespace
}  // namespace sarfan
