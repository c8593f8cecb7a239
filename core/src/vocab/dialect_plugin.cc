#include "vocab/dialect_plugin.h"

#include <algorithm>
#include <new>

#include "vocab/line_reader.h"
#include "vocab/tsv_line.h"

namespace sarfan {

Result<DialectPlugin> DialectPlugin::load(const std::string& path, std::string name,
                                          uint32_t base_vocab_size) {
  auto reader = LineReader::open_file(path);
  if (!reader.ok()) return reader.error();
  try {
    DialectPlugin plugin;
    std::string_view line;
    while (true) {
      auto more = reader.value().next(line);
      if (!more.ok()) return more.error();
      if (!more.value()) break;
      if (tsv::is_skipped(line)) continue;
      size_t line_number = reader.value().line_number();
      auto parsed = tsv::parse_entry(line, line_number, "Plugin TSV line");
      if (!parsed.ok()) return parsed.error();
      const tsv::EntryLine& entry = parsed.value();
      if (entry.id < base_vocab_size) {
        return CoreError::invalid_model("Plugin TSV line " + std::to_string(line_number) +
                                        ": token '" + std::string(entry.token) + "' global ID " +
                                        std::to_string(entry.id) + " is below base_vocab_size " +
                                        std::to_string(base_vocab_size));
      }
      size_t slot = entry.id - base_vocab_size;
      if (slot >= plugin.tokens_.size()) plugin.tokens_.resize(slot + 1);
      plugin.tokens_[slot] = std::string(entry.token);
      plugin.token_to_id_[std::string(entry.token)] = entry.id;
      plugin.id_to_score_[entry.id] = entry.score;
    }
    reader.value().close();
    plugin.name_ = std::move(name);
    plugin.start_id_ = base_vocab_size;
    plugin.finish();
    return plugin;
  } catch (const std::bad_alloc&) {
    return CoreError::invalid_model("Not enough memory to load the plugin");
  }
}

void DialectPlugin::finish() {
  std::vector<std::pair<std::string_view, uint32_t>> entries(token_to_id_.begin(),
                                                             token_to_id_.end());
  std::sort(entries.begin(), entries.end());
  std::vector<std::string_view> keys;
  std::vector<uint32_t> values;
  for (const auto& [key, id] : entries) {
    keys.push_back(key);
    values.push_back(id);
  }
  index_ = TokenIndex::build(keys, values);
  pieces_ = PieceTables::build(index_, tokens_.size(),
                               [&](size_t k) -> std::string_view { return tokens_[k]; });
}

std::optional<PieceMatch> DialectPlugin::lookup(std::string_view piece) const {
  auto found = token_to_id_.find(std::string(piece));
  if (found == token_to_id_.end()) return std::nullopt;
  auto score = id_to_score_.find(found->second);
  return PieceMatch{found->second, score == id_to_score_.end() ? 0.0f : score->second};
}

}  // namespace sarfan
