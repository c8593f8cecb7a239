#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "vocab/result.h"

// The line format shared by vocabulary and plugin files: token<TAB>id<TAB>score.
namespace sarfan::tsv {

// Ids above this are refused: the tables are indexed by id, so one huge id would ask for
// billions of slots (and 4294967295 would make the size wrap to 0).
inline constexpr uint32_t kMaxSupportedId = 16777215;

struct EntryLine {
  std::string_view token;  // a view into the line
  uint32_t id;
  float score;
};

// Blank lines (White_Space only) and lines whose first byte is '#' carry no entry.
bool is_skipped(std::string_view line);

// Parses an entry line. Messages start with `prefix` ("TSV line" or "Plugin TSV line").
Result<EntryLine> parse_entry(std::string_view line, size_t line_number, std::string_view prefix);

// Field parsers, exposed for tests. They return nullptr on success or the failure reason.
const char* parse_id(std::string_view field, uint32_t& id);
const char* parse_score(std::string_view field, float& score);

}  // namespace sarfan::tsv
