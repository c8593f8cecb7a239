#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace sarfan::testing_files {

// A file with the given content, removed when the object goes.
class TempFile {
 public:
  explicit TempFile(std::string_view content) {
    char name[] = "/tmp/sarfan_test_XXXXXX";
    int fd = mkstemp(name);
    if (fd < 0) std::abort();
    path_ = name;
    if (write(fd, content.data(), content.size()) != ssize_t(content.size())) std::abort();
    close(fd);
  }
  TempFile(const TempFile&) = delete;
  ~TempFile() { std::remove(path_.c_str()); }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace sarfan::testing_files
