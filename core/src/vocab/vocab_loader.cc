#include "vocab/vocab_loader.h"

#include <algorithm>
#include <new>
#include <optional>
#include <vector>

#include "vocab/line_reader.h"
#include "vocab/tsv_line.h"
#include "vocab/utf8.h"

namespace sarfan {

namespace {

// True when the line could be blank or a comment: empty, '#' first, or a first character
// that may be White_Space. Any other line is an entry line (or malformed).
bool may_be_skipped(std::string_view line) {
  if (line.empty() || line[0] == '#') return true;
  auto p = reinterpret_cast<const unsigned char*>(line.data());
  // An ill-formed first character counts too: the whole line is checked then.
  if (utf8::valid_sequence_length(p, p + line.size()) == 0) return true;
  return utf8::is_white_space(utf8::decode_valid(p));
}

// The next entry of the file, or nullopt at its end. Lines are checked for valid UTF-8
// before anything else is reported about them, but a parsed entry line needs only its
// token checked: the id and score fields parse from ASCII alone.
Result<std::optional<tsv::EntryLine>> next_entry(LineReader& reader) {
  std::string_view line;
  while (true) {
    auto more = reader.next_unchecked(line);
    if (!more.ok()) return more.error();
    if (!more.value()) return std::optional<tsv::EntryLine>();
    if (may_be_skipped(line)) {
      if (!utf8::is_valid(line)) return CoreError::invalid_utf8();
      if (tsv::is_skipped(line)) continue;
    }
    auto parsed = tsv::parse_entry(line, reader.line_number(), "TSV line");
    if (!parsed.ok()) {
      if (!utf8::is_valid(line)) return CoreError::invalid_utf8();
      return parsed.error();
    }
    if (!utf8::is_valid(parsed.value().token)) return CoreError::invalid_utf8();
    return std::optional<tsv::EntryLine>(parsed.value());
  }
}

Result<Vocab> load(LineReader& reader) {
  try {
    // Tokens are copied once, out of the line buffer into the arena the builder keeps.
    PackedEntries entries;
    // A vocabulary line takes some 30 bytes, of which the token about half: reserving from
    // the text's size saves the copies of growing (untouched capacity costs no memory).
    size_t hint = std::min<size_t>(reader.size_hint(), size_t(1) << 30);
    entries.reserve(hint / 16 + 16, hint / 2 + 16);
    while (true) {
      auto next = next_entry(reader);
      if (!next.ok()) return next.error();
      if (!next.value()) break;
      const tsv::EntryLine& entry = *next.value();
      auto added = entries.add(entry.token, entry.id, entry.score);
      if (!added.ok()) return added.error();
    }
    reader.close();
    if (entries.empty()) return CoreError::invalid_model("TSV file contains no valid entries");
    // The builder's max_token_len is the longest token parsed, so it refuses none.
    return VocabBuilder::for_entries(std::move(entries)).build();
  } catch (const std::bad_alloc&) {
    return CoreError::invalid_model("Not enough memory to load the vocabulary");
  }
}

}  // namespace

Result<Vocab> from_tsv_file(const std::string& path) {
  auto reader = LineReader::open_file(path);
  if (!reader.ok()) return reader.error();
  return load(reader.value());
}

Result<Vocab> from_tsv_text(std::string_view text) {
  LineReader reader = LineReader::from_text(text);
  return load(reader);
}

}  // namespace sarfan
