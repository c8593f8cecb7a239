#include "vocab/vocab_loader.h"

#include <new>
#include <vector>

#include "vocab/line_reader.h"
#include "vocab/tsv_line.h"
#include "vocab/utf8.h"

namespace sarfan {

namespace {

Result<Vocab> load(LineReader& reader) {
  try {
    // Tokens are copied out of the line buffer into one arena until the builder is made.
    struct Parsed {
      size_t offset;
      size_t length;
      uint32_t id;
      float score;
    };
    std::string tokens;
    std::vector<Parsed> entries;
    size_t max_token_len = 0;
    std::string_view line;
    while (true) {
      auto more = reader.next(line);
      if (!more.ok()) return more.error();
      if (!more.value()) break;
      if (tsv::is_skipped(line)) continue;
      auto parsed = tsv::parse_entry(line, reader.line_number(), "TSV line");
      if (!parsed.ok()) return parsed.error();
      const tsv::EntryLine& entry = parsed.value();
      max_token_len = std::max(max_token_len, utf8::count_chars(entry.token));
      entries.push_back({tokens.size(), entry.token.size(), entry.id, entry.score});
      tokens.append(entry.token);
    }
    reader.close();
    if (entries.empty()) return CoreError::invalid_model("TSV file contains no valid entries");

    VocabBuilder builder(max_token_len);
    builder.reserve(entries.size(), tokens.size());
    for (const Parsed& entry : entries) {
      auto added = builder.add_token(std::string_view(tokens).substr(entry.offset, entry.length),
                                     entry.id, entry.score);
      if (!added.ok()) return added.error();
    }
    return std::move(builder).build();
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
