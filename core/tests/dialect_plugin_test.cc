#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_files.h"
#include "vocab/dialect_plugin.h"

namespace sarfan {
namespace {

using testing_files::TempFile;

// Plugins for a base vocabulary with vocab_size 10.
constexpr uint32_t kBaseVocabSize = 10;

Result<DialectPlugin> load(std::string_view content) {
  TempFile file(content);
  return DialectPlugin::load(file.path(), "egy", kBaseVocabSize);
}

std::string load_error(std::string_view content) {
  auto loaded = load(content);
  return loaded.ok() ? "ok" : loaded.error().display();
}

struct PluginCase {
  const char* name;
  std::string content;
  std::string expected;
};

class DialectPluginLoadTest : public testing::TestWithParam<PluginCase> {};

TEST_P(DialectPluginLoadTest, Messages) {
  EXPECT_EQ(load_error(GetParam().content), GetParam().expected);
}

const std::string kInvalid = "Invalid model file: ";

INSTANTIATE_TEST_SUITE_P(
    Files, DialectPluginLoadTest,
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

TEST(DialectPluginTest, MissingFileAndNulInPath) {
  EXPECT_EQ(DialectPlugin::load("/nonexistent/p.tsv", "x", kBaseVocabSize).error().display(),
            "IO error: No such file or directory (os error 2)");
  EXPECT_EQ(DialectPlugin::load(std::string("a\0b", 3), "x", kBaseVocabSize).error().display(),
            "IO error: file name contained an unexpected NUL byte");
}

TEST(DialectPluginTest, SlotsGapsAndOverwrites) {
  auto loaded = load("x\t10\t-1\ny\t15\t-2\nx\t12\t-3\nz\t12\t-4\n");
  ASSERT_TRUE(loaded.ok());
  const DialectPlugin* p = &loaded.value();
  EXPECT_EQ(p->name(), "egy");
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

}  // namespace
}  // namespace sarfan
