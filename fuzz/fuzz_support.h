#pragma once

// Shared pieces of the fuzz targets: a check that reports and aborts (so libFuzzer keeps
// the input), files held in memory, and the small vocabularies the targets run against.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "test_text.h"
#include "tokenizer/tokenizer.h"
#include "vocab/utf8.h"
#include "vocab/vocab_loader.h"

#define FUZZ_CHECK(condition, what)                                                    \
  do {                                                                                 \
    if (!(condition)) {                                                                \
      std::fprintf(stderr, "%s:%d: invariant broken: %s\n", __FILE__, __LINE__, what); \
      std::abort();                                                                    \
    }                                                                                  \
  } while (0)

namespace sarfan::fuzzing {

using testing_text::kMark;

// A file that lives in memory (memfd), reachable by a path, so that the file readers run
// on exactly the bytes of a fuzz input without touching the disk.
class MemoryFile {
 public:
  explicit MemoryFile(std::string_view content) {
    fd_ = memfd_create("sarfan-fuzz", 0);
    FUZZ_CHECK(fd_ >= 0, "memfd_create");
    size_t done = 0;
    while (done < content.size()) {
      ssize_t n = write(fd_, content.data() + done, content.size() - done);
      FUZZ_CHECK(n > 0, "write to memfd");
      done += size_t(n);
    }
    path_ = "/proc/self/fd/" + std::to_string(fd_);
  }
  MemoryFile(const MemoryFile&) = delete;
  ~MemoryFile() { close(fd_); }
  const std::string& path() const { return path_; }

 private:
  int fd_;
  std::string path_;
};

// A base vocabulary over a tiny alphabet, so that fuzzed texts keep hitting pieces that
// overlap: marked and plain pieces, pieces with "▁" inside, "[BOS]"-like texts at other
// ids, multi-character pieces longer than the plugin's, and a few missing byte pieces.
inline std::string overlap_vocab_tsv() {
  uint32_t id;
  std::string tsv = testing_text::special_and_byte_pieces_tsv(
      [](unsigned b) { return b != 0xF0 && b != 0x80 && b != 'z'; }, id);  // some are missing
  const std::string b = "\xD8\xA8", l = "\xD9\x84";
  const std::string pieces[] = {"a",
                                "ab",
                                "abc",
                                kMark + "a",
                                kMark + "ab",
                                kMark + "abcab",
                                "ba",
                                "b" + kMark + "a",
                                b,
                                b + l,
                                kMark + b + l + b,
                                l + l + l + l,
                                kMark,
                                kMark + kMark,
                                "[BOS]x",
                                "c"};
  for (const std::string& piece : pieces) tsv += piece + "\t" + std::to_string(id++) + "\t-1\n";
  return tsv;
}

inline Tokenizer load_tokenizer(std::string_view tsv) {
  auto vocab = from_tsv_text(tsv);
  FUZZ_CHECK(vocab.ok(), "the fixed vocabulary loads");
  return Tokenizer::from_vocab(std::move(vocab).value());
}

// A plugin for a base of `base_size` ids: pieces that shadow base pieces, a byte piece the
// base lacks, a special-looking piece, a gap in the ids.
inline std::string overlap_plugin_tsv(uint32_t base_size) {
  const std::string b = "\xD8\xA8", l = "\xD9\x84";
  const std::string pieces[] = {"ab", kMark + "b", "<0xF0>", "[BOS]", l + b, kMark + "abc"};
  std::string tsv;
  uint32_t id = base_size;
  for (const std::string& piece : pieces) {
    tsv += piece + "\t" + std::to_string(id) + "\t-2\n";
    id += piece == "[BOS]" ? 2 : 1;
  }
  return tsv;
}

}  // namespace sarfan::fuzzing
