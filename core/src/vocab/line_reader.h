#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "vocab/result.h"

namespace sarfan {

// Reads a vocabulary or plugin text line by line, from a file or from memory.
// Lines are cut at LF; one CR directly before the LF is removed; a last line without LF
// still counts. `next` checks every line to be valid UTF-8; `next_unchecked` leaves that
// to callers that can check less (the vocabulary loader).
class LineReader {
 public:
  // Opens `path` for reading. Files are read through a buffer of 8192 bytes.
  static Result<LineReader> open_file(const std::string& path);
  static LineReader from_text(std::string_view text);

  LineReader(LineReader&& other) noexcept;
  LineReader& operator=(LineReader&&) = delete;
  ~LineReader();

  // Sets `line` to the next line (valid until the next call) and returns true, or returns
  // false at the end of the text.
  Result<bool> next(std::string_view& line);
  Result<bool> next_unchecked(std::string_view& line);
  // The size of the whole text in bytes, when known (0 if not): lets callers reserve.
  size_t size_hint() const { return size_hint_; }
  // Number of the line last returned, counting from 1.
  size_t line_number() const { return line_number_; }
  void close();

 private:
  explicit LineReader(int fd);
  explicit LineReader(std::string_view text);

  Result<bool> next_raw(std::string_view& line, bool& ended_by_lf);
  Result<bool> fill();

  static constexpr size_t kBufferSize = 8192;

  int fd_ = -1;
  size_t size_hint_ = 0;
  std::string_view text_;  // memory mode: the unread rest of the text
  std::vector<char> buffer_;
  size_t begin_ = 0, end_ = 0;  // unread bytes of `buffer_`
  bool eof_ = false;
  std::string long_line_;  // a line that spans several buffer fills
  size_t line_number_ = 0;
};

}  // namespace sarfan
