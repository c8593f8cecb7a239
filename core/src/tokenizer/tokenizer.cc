#include "tokenizer/tokenizer.h"

#include <new>

#include "tokenizer/segmenter.h"
#include "vocab/piece_kind.h"
#include "vocab/utf8.h"

namespace sarfan {

namespace {

// Collects ids only.
struct IdSink {
  static constexpr bool kSpans = false;
  std::vector<uint32_t>& ids;
  void begin(uint32_t id) { ids.push_back(id); }
  void piece(uint32_t id, size_t, size_t, const unsigned char*, const unsigned char*, bool) {
    ids.push_back(id);
  }
  void byte(uint32_t id, size_t, unsigned char, bool) { ids.push_back(id); }
  void end(uint32_t id, size_t) { ids.push_back(id); }
};

// Collects ids, piece texts and character spans.
struct FullSink {
  static constexpr bool kSpans = true;
  EncodeResult& result;
  void begin(uint32_t id) { add(id, "", "[BOS]", 0, 0); }
  void piece(uint32_t id, size_t start, size_t end, const unsigned char* from,
             const unsigned char* to, bool marked) {
    add(id, marked ? kMark : "",
        std::string_view(reinterpret_cast<const char*>(from), size_t(to - from)), start, end);
  }
  void byte(uint32_t id, size_t index, unsigned char byte, bool unknown) {
    char text[6];
    byte_piece_text(byte, text);
    add(id, "", unknown ? std::string_view("[UNK]") : std::string_view(text, 6), index, index + 1);
  }
  void end(uint32_t id, size_t n) { add(id, "", "[EOS]", n, n); }
  void add(uint32_t id, std::string_view prefix, std::string_view text, size_t start, size_t end) {
    result.ids.push_back(id);
    result.tokens.push(prefix, text);
    result.offsets.emplace_back(start, end);
  }
};

}  // namespace

Tokenizer::Tokenizer(Vocab vocab)
    : vocab_(std::move(vocab)),
      max_token_len_(vocab_.max_token_len()),
      special_(vocab_.special_ids()),
      normalizer_(normalizer_config_) {}

Tokenizer Tokenizer::from_vocab(Vocab vocab) {
  return Tokenizer(std::move(vocab));
}

Result<void> Tokenizer::load_plugin(const std::string& path, const std::string& name) {
  auto plugin = DialectPlugin::load(path, name, vocab_.vocab_size());
  if (!plugin.ok()) return plugin.error();
  try {
    plugins_.insert(std::make_unique<const DialectPlugin>(std::move(plugin).value()));
  } catch (const std::bad_alloc&) {
    return CoreError::invalid_model("Not enough memory to load the plugin");
  }
  return {};
}

ScanContext Tokenizer::scan_context(std::string_view dialect) const {
  ScanContext ctx{{&vocab_.index(), &vocab_.pieces()},
                  {},
                  max_token_len_,
                  special_.bos_id,
                  special_.eos_id,
                  special_.unk_id};
  const DialectPlugin* plugin = plugins_.empty() ? nullptr : plugins_.find(dialect);
  if (plugin != nullptr) ctx.plugin = {&plugin->index(), &plugin->pieces()};
  return ctx;
}

std::string_view Tokenizer::prepare(std::string_view text, bool normalize, std::span<char> buffer,
                                    std::string& storage) const {
  if (normalize) return normalizer_.normalize(text, buffer, storage);  // also repairs UTF-8
  if (utf8::is_valid(text)) return text;
  storage.clear();
  utf8::append_repaired(storage, text);
  return storage;
}

Result<EncodeResult> Tokenizer::encode(std::string_view text, bool normalize,
                                       std::optional<std::string_view> dialect) const {
  char buffer[kShortText];
  std::string storage;
  std::string_view segmented = prepare(text, normalize, buffer, storage);
  EncodeResult result;
  result.dialect = std::string(dialect.value_or(kDefaultDialect));
  result.confidence = 1.0f;
  result.fallback = !dialect.has_value();
  size_t estimate = segmented.size() / 4 + 2;
  result.ids.reserve(estimate);
  result.offsets.reserve(estimate);
  // Piece texts outgrow the text by the "▁" of each word (a fifth more for Arabic prose):
  // reserving for that spares a copy of the whole buffer.
  result.tokens.reserve(estimate, segmented.size() + segmented.size() / 2 + 16);
  FullSink sink{result};
  segment(scan_context(result.dialect), segmented, sink);
  return result;
}

void Tokenizer::encode_ids_into(std::string_view text, bool normalize,
                                std::optional<std::string_view> dialect,
                                std::vector<uint32_t>& out) const {
  char buffer[kShortText];
  std::string storage;
  std::string_view segmented = prepare(text, normalize, buffer, storage);
  IdSink sink{out};
  segment(scan_context(dialect.value_or(kDefaultDialect)), segmented, sink);
}

Result<std::vector<uint32_t>> Tokenizer::encode_ids(std::string_view text, bool normalize,
                                                    std::optional<std::string_view> dialect) const {
  std::vector<uint32_t> ids;
  ids.reserve(text.size() / 4 + 2);
  encode_ids_into(text, normalize, dialect, ids);
  return ids;
}

}  // namespace sarfan
