#include "vocab/line_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_files.h"

namespace sarfan {
namespace {

using testing_files::TempFile;

// Every line of `reader` with its number, or the display text of the first error.
std::vector<std::string> read_all(LineReader& reader) {
  std::vector<std::string> lines;
  std::string_view line;
  while (true) {
    auto more = reader.next(line);
    if (!more.ok()) {
      lines.push_back("error: " + more.error().display());
      return lines;
    }
    if (!more.value()) return lines;
    lines.push_back(std::to_string(reader.line_number()) + ":" + std::string(line));
  }
}

// The same lines from memory and from a file of the same bytes.
std::vector<std::string> lines_of(const std::string& text) {
  LineReader from_text = LineReader::from_text(text);
  std::vector<std::string> lines = read_all(from_text);
  TempFile file(text);
  auto from_file = LineReader::open_file(file.path());
  EXPECT_TRUE(from_file.ok());
  EXPECT_EQ(read_all(from_file.value()), lines) << "file and memory differ";
  return lines;
}

using Lines = std::vector<std::string>;

TEST(LineReaderTest, LineEndings) {
  EXPECT_EQ(lines_of(""), Lines{});
  EXPECT_EQ(lines_of("a\nb"), (Lines{"1:a", "2:b"}));                  // a last line without LF
  EXPECT_EQ(lines_of("a\r\n\r\nb\r\n"), (Lines{"1:a", "2:", "3:b"}));  // one CR before LF goes
  EXPECT_EQ(lines_of("a\r\r\nb\r"), (Lines{"1:a\r", "2:b\r"}));        // other CRs stay
  EXPECT_EQ(lines_of("\n\n"), (Lines{"1:", "2:"}));
}

TEST(LineReaderTest, InvalidUtf8IsAnIoError) {
  EXPECT_EQ(lines_of("ok\n\xC3\nnext\n"),
            (Lines{"1:ok", "error: IO error: stream did not contain valid UTF-8"}));
}

TEST(LineReaderTest, LinesSpanningManyReadBuffers) {
  // Lines longer than the 8192-byte read buffer, and lines ending right at its edge.
  std::string text;
  Lines expected;
  for (int i = 0; i < 50; ++i) {
    std::string line(8192 * (i % 3) + 8186 + i % 7, char('a' + i % 26));
    line += std::to_string(i);
    text += line + "\n";
    expected.push_back(std::to_string(i + 1) + ":" + line);
  }
  EXPECT_EQ(lines_of(text), expected);
}

TEST(LineReaderTest, OpenErrors) {
  auto missing = LineReader::open_file("/nonexistent/sarfan/vocab.tsv");
  ASSERT_FALSE(missing.ok());
  EXPECT_EQ(missing.error().display(), "IO error: No such file or directory (os error 2)");
  auto nul = LineReader::open_file(std::string("/tmp/a\0b", 8));
  ASSERT_FALSE(nul.ok());
  EXPECT_EQ(nul.error().display(), "IO error: file name contained an unexpected NUL byte");
  // A directory opens; reading it fails.
  auto directory = LineReader::open_file("/tmp");
  ASSERT_TRUE(directory.ok());
  EXPECT_EQ(read_all(directory.value()), Lines{"error: IO error: Is a directory (os error 21)"});
}

}  // namespace
}  // namespace sarfan
