#include "vocab/line_reader.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#if defined(_WIN32)
#include <io.h>
#else
#include <unistd.h>
#endif

#include <cstring>

#include "vocab/utf8.h"

namespace sarfan {

namespace {
#if defined(_WIN32)
// Windows descriptors are not inherited unless asked; binary mode keeps the bytes as read.
constexpr int kOpenFlags = O_RDONLY | O_BINARY;
#else
constexpr int kOpenFlags = O_RDONLY | O_CLOEXEC;
#endif
}  // namespace

Result<LineReader> LineReader::open_file(const std::string& path) {
  if (path.find('\0') != std::string::npos) return CoreError::nul_in_path();
  int fd;
  do {
    fd = ::open(path.c_str(), kOpenFlags);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return CoreError::os(errno);
  return LineReader(fd);
}

LineReader LineReader::from_text(std::string_view text) {
  return LineReader(text);
}

LineReader::LineReader(int fd) : fd_(fd), buffer_(kBufferSize) {
  struct stat info;
  if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) size_hint_ = size_t(info.st_size);
}
LineReader::LineReader(std::string_view text) : size_hint_(text.size()), text_(text) {}

LineReader::LineReader(LineReader&& other) noexcept
    : fd_(other.fd_),
      size_hint_(other.size_hint_),
      text_(other.text_),
      buffer_(std::move(other.buffer_)),
      begin_(other.begin_),
      end_(other.end_),
      eof_(other.eof_),
      long_line_(std::move(other.long_line_)),
      line_number_(other.line_number_) {
  other.fd_ = -1;
}

LineReader::~LineReader() {
  close();
}

void LineReader::close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

Result<bool> LineReader::fill() {
  ssize_t n;
  do {
    n = ::read(fd_, buffer_.data(), buffer_.size());
  } while (n < 0 && errno == EINTR);
  if (n < 0) return CoreError::os(errno);
  begin_ = 0;
  end_ = size_t(n);
  eof_ = n == 0;
  return true;
}

Result<bool> LineReader::next_raw(std::string_view& line, bool& ended_by_lf) {
  if (fd_ < 0) {
    if (text_.empty()) return false;
    size_t lf = text_.find('\n');
    ended_by_lf = lf != std::string_view::npos;
    line = text_.substr(0, lf);
    text_.remove_prefix(ended_by_lf ? lf + 1 : text_.size());
    return true;
  }
  long_line_.clear();
  bool spans = false;
  while (true) {
    if (begin_ == end_) {
      if (eof_) break;
      auto filled = fill();
      if (!filled.ok()) return filled.error();
      continue;
    }
    const char* start = buffer_.data() + begin_;
    auto lf = static_cast<const char*>(std::memchr(start, '\n', end_ - begin_));
    if (lf != nullptr) {
      size_t length = size_t(lf - start);
      begin_ += length + 1;
      ended_by_lf = true;
      if (!spans) {
        line = std::string_view(start, length);
      } else {
        long_line_.append(start, length);
        line = long_line_;
      }
      return true;
    }
    long_line_.append(start, end_ - begin_);
    spans = true;
    begin_ = end_;
  }
  if (!spans) return false;
  ended_by_lf = false;
  line = long_line_;
  return true;
}

Result<bool> LineReader::next_unchecked(std::string_view& line) {
  bool ended_by_lf = false;
  auto more = next_raw(line, ended_by_lf);
  if (!more.ok() || !more.value()) return more;
  ++line_number_;
  if (ended_by_lf && !line.empty() && line.back() == '\r') line.remove_suffix(1);
  return true;
}

Result<bool> LineReader::next(std::string_view& line) {
  auto more = next_unchecked(line);
  if (more.ok() && more.value() && !utf8::is_valid(line)) return CoreError::invalid_utf8();
  return more;
}

}  // namespace sarfan
