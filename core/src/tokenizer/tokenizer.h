#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "tokenizer/encode_result.h"
#include "tokenizer/normalizer.h"
#include "vocab/plugin_registry.h"
#include "vocab/result.h"
#include "vocab/vocab.h"

namespace sarfan {

struct ScanContext;

// The core tokenizer: a base vocabulary, the normalizer settings and the dialect plugins.
// Encoding and decoding only read it and may run on many threads at once; load_plugin
// and unload_plugin must not run concurrently with anything else on the same tokenizer.
class Tokenizer {
 public:
  static Tokenizer from_vocab(Vocab vocab);

  Tokenizer(Tokenizer&&) noexcept = default;
  Tokenizer& operator=(Tokenizer&&) noexcept = default;

  // Reads a plugin file with global ids from vocab_size() on and registers it under
  // `name`, replacing a plugin of that name. On failure nothing changes.
  Result<void> load_plugin(const std::string& path, const std::string& name);
  void unload_plugin(std::string_view name) { plugins_.erase(name); }
  std::vector<std::string> list_plugins() const { return plugin_names(); }
  const DialectPlugin* plugin(std::string_view name) const { return plugins_.find(name); }
  std::vector<std::string> plugin_names() const { return plugins_.names(); }

  // Text is UTF-8; ill-formed sequences are read as U+FFFD. Never fails.
  Result<EncodeResult> encode(std::string_view text, bool normalize,
                              std::optional<std::string_view> dialect) const;
  // The ids of encode() alone, without piece texts, offsets or metadata.
  Result<std::vector<uint32_t>> encode_ids(std::string_view text, bool normalize,
                                           std::optional<std::string_view> dialect) const;
  // The ids of encode() with spans of `text` itself rather than of the segmented text:
  // a step covers the smallest span that holds the sources of its characters (see
  // Normalizer::normalize_aligned), the begin step (0, 0) and the end step (n, n), n the
  // characters of `text`. Without normalization they equal encode()'s offsets.
  Result<IdsAndInputOffsets> encode_ids_and_input_offsets(
      std::string_view text, bool normalize, std::optional<std::string_view> dialect) const;
  // Appends the ids to `out`; for callers that reuse one buffer.
  void encode_ids_into(std::string_view text, bool normalize,
                       std::optional<std::string_view> dialect, std::vector<uint32_t>& out) const;

  std::string decode(std::span<const uint32_t> ids, std::optional<std::string_view> dialect) const;

  const Vocab& vocab() const { return vocab_; }
  size_t max_token_len() const { return max_token_len_; }
  const SpecialIds& special_ids() const { return special_; }
  const NormalizerConfig& normalizer_config() const { return normalizer_config_; }
  // The normalizer that encode() uses; building one costs more than normalizing a line.
  const Normalizer& normalizer() const { return normalizer_; }

 private:
  explicit Tokenizer(Vocab vocab);
  // The dialect of a call that names none.
  static constexpr std::string_view kDefaultDialect = "msa";
  // Normalized text up to this size is written on the stack, sparing an allocation a call.
  static constexpr size_t kShortText = 2048;
  // The text to segment: normalized, repaired to valid UTF-8 if need be, or as given. It
  // lives in `text`, `buffer` or `storage`.
  std::string_view prepare(std::string_view text, bool normalize, std::span<char> buffer,
                           std::string& storage) const;
  // What the scan of one encode reads, with the plugin registered under `dialect`.
  ScanContext scan_context(std::string_view dialect) const;

  Vocab vocab_;
  size_t max_token_len_;
  SpecialIds special_;
  NormalizerConfig normalizer_config_;
  Normalizer normalizer_;
  PluginRegistry plugins_;
};

}  // namespace sarfan
