#include "vocab/vocab_loader.h"

#include <gtest/gtest.h>

#include <string>

#include "test_files.h"

namespace sarfan {
namespace {

// The display text of the load error, or "ok".
std::string load_text(std::string_view text) {
  auto vocab = from_tsv_text(text);
  return vocab.ok() ? "ok" : vocab.error().display();
}

std::string invalid(const std::string& message) {
  return "Invalid model file: " + message;
}

using testing_files::TempFile;

struct LoadCase {
  const char* name;
  std::string text;
  std::string expected;  // display text of the error, or "ok"
};

class LoaderMessageTest : public testing::TestWithParam<LoadCase> {};

TEST_P(LoaderMessageTest, TextAndFileGiveTheSameResult) {
  const LoadCase& c = GetParam();
  EXPECT_EQ(load_text(c.text), c.expected);
  TempFile file(c.text);
  auto vocab = from_tsv_file(file.path());
  EXPECT_EQ(vocab.ok() ? "ok" : vocab.error().display(), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, LoaderMessageTest,
    testing::Values(
        LoadCase{"Empty", "", invalid("TSV file contains no valid entries")},
        LoadCase{"OnlyBlankAndComments", "\n \t\n# a\t1\t0\n\xC2\xA0\n",
                 invalid("TSV file contains no valid entries")},
        LoadCase{"Header", "token\tid\tscore\n",
                 invalid("TSV line 1: invalid id 'id' (invalid digit found in string)")},
        // Blank and comment lines count towards line numbers.
        LoadCase{"LineNumbersCountSkippedLines", "\n#c\n\t\na\t1\n",
                 invalid("TSV line 4: expected 3 columns, got 2 (line: 'a\t1')")},
        LoadCase{"TrailingTab", "a\t1\t0\t\n",
                 invalid("TSV line 1: expected 3 columns, got 4 (line: 'a\t1\t0\t')")},
        LoadCase{"OneField", "abc\n",
                 invalid("TSV line 1: expected 3 columns, got 1 (line: 'abc')")},
        LoadCase{"EmptyId", "a\t\t0\n",
                 invalid("TSV line 1: invalid id '' (cannot parse integer from empty string)")},
        LoadCase{"NegativeId", "a\t-7\t0\n",
                 invalid("TSV line 1: invalid id '-7' (invalid digit found in string)")},
        LoadCase{"SpaceInId", "a\t7 \t0\n",
                 invalid("TSV line 1: invalid id '7 ' (invalid digit found in string)")},
        LoadCase{
            "IdTooLarge", "a\t4294967296\t0\n",
            invalid(
                "TSV line 1: invalid id '4294967296' (number too large to fit in target type)")},
        LoadCase{"IdAboveBound", "a\t16777216\t0\n",
                 invalid("TSV line 1: id 16777216 exceeds the largest supported id 16777215")},
        LoadCase{"IdWrapsToZero", "a\t4294967295\t0\n",
                 invalid("TSV line 1: id 4294967295 exceeds the largest supported id 16777215")},
        LoadCase{"HexScore", "a\t1\t0x1p3\n",
                 invalid("TSV line 1: invalid score '0x1p3' (invalid float literal)")},
        LoadCase{"CommaScore", "a\t1\t1,5\n",
                 invalid("TSV line 1: invalid score '1,5' (invalid float literal)")},
        LoadCase{"EmptyScore", "a\t1\t\n",
                 invalid("TSV line 1: invalid score '' (cannot parse float from empty string)")},
        // A CR without LF stays part of the line.
        LoadCase{"FinalCrWithoutLf", "a\t1\t0\r\nb\t2\t0\r",
                 invalid("TSV line 2: invalid score '0\r' (invalid float literal)")},
        LoadCase{"InnerCr", "a\r\t1\t0\r\r\n",
                 invalid("TSV line 1: invalid score '0\r' (invalid float literal)")},
        LoadCase{"CrLf", "a\t1\t0\r\nb\t2\t0\r\n", "ok"},
        LoadCase{"NoFinalLf", "a\t1\t0\nb\t2\t0", "ok"},
        LoadCase{"AcceptedNumbers",
                 "a\t+7\t.5\nb\t006\t5.\nc\t8\tinf\nd\t9\t-Infinity\ne\t10\tNaN\nf\t11\t1e-3\n",
                 "ok"},
        LoadCase{"SpaceHashIsEntry", " #\t1\t0\n", "ok"},
        LoadCase{"ByteOrderMarkIsPartOfToken",
                 "\xEF\xBB\xBF"
                 "a\t1\t0\n",
                 "ok"},
        LoadCase{"InvalidUtf8", "a\t1\t0\n\xFF\t2\t0\n",
                 "IO error: stream did not contain valid UTF-8"},
        LoadCase{"SurrogateIsInvalidUtf8", "\xED\xA0\x80\t2\t0\n",
                 "IO error: stream did not contain valid UTF-8"},
        LoadCase{"FormatErrorBeforeInvalidUtf8", "a\t1\n\xFF\n",
                 invalid("TSV line 1: expected 3 columns, got 2 (line: 'a\t1')")},
        LoadCase{"DuplicateId", "a\t1\t0\nb\t1\t0\n", invalid("Duplicate token ID 1")},
        LoadCase{"SameLineTwice", "a\t1\t0\na\t1\t0\n", invalid("Duplicate token ID 1")},
        LoadCase{"DuplicateToken", "a\t1\t0\na\t2\t0\n", invalid("Duplicate token 'a'")},
        // Duplicates are found in byte order of the tokens, not in line order.
        LoadCase{"DuplicatesInSortedOrder", "z\t1\t0\nz\t2\t0\nb\t3\t0\nb\t3\t0\n",
                 invalid("Duplicate token ID 3")},
        LoadCase{"DuplicateTokenBeforeLaterId", "b\t5\t0\na\t5\t0\na\t6\t0\n",
                 invalid("Duplicate token 'a'")},
        // Every line is parsed before duplicates are looked for.
        LoadCase{"FormatErrorAfterDuplicate", "a\t1\t0\na\t1\t0\nb\tx\t0\n",
                 invalid("TSV line 3: invalid id 'x' (invalid digit found in string)")},
        LoadCase{"TabOnlyLineIsBlank", "\t\na\t1\t0\n", "ok"}),
    [](const testing::TestParamInfo<LoadCase>& info) { return std::string(info.param.name); });

TEST(LoaderTest, FileErrorsComeThrough) {
  auto vocab = from_tsv_file("/nonexistent/sarfan/vocab.tsv");
  ASSERT_FALSE(vocab.ok());
  EXPECT_EQ(vocab.error().display(), "IO error: No such file or directory (os error 2)");
}

TEST(LoaderTest, EntriesTablesAndMaxTokenLen) {
  auto vocab = from_tsv_text("\xD9\x81\xD9\x8A\t0\t-1\nabc\t5\t-2.5\n\t7\t3\n");
  ASSERT_TRUE(vocab.ok());
  const Vocab& v = vocab.value();
  EXPECT_EQ(v.vocab_size(), 8u);
  EXPECT_EQ(v.max_token_len(), 3u);  // characters, not bytes
  EXPECT_EQ(v.lookup("abc")->id, 5u);
  EXPECT_EQ(v.lookup("abc")->score, -2.5f);
  EXPECT_EQ(v.lookup("")->id, 7u);  // the empty token is an entry
  EXPECT_EQ(v.token(0), "\xD9\x81\xD9\x8A");
  EXPECT_EQ(v.token(3), "");
  EXPECT_EQ(v.score(3), 0.0f);
  EXPECT_EQ(v.unk_id(), 3u);
}

}  // namespace
}  // namespace sarfan
