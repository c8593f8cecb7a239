// Encoding with spans of the caller's text, kept apart from the other encodes so that
// their code stays as it is.
#include <string>
#include <utility>
#include <vector>

#include "tokenizer/segmenter.h"
#include "tokenizer/tokenizer.h"
#include "vocab/utf8.h"

namespace sarfan {

namespace {

// Collects ids and spans of the caller's text: those of the segmented text mapped through
// `sources` (one span per segmented character, never decreasing), or taken as they are
// when `sources` is null (the segmented text is the caller's).
struct InputSpanSink {
  static constexpr bool kSpans = true;
  IdsAndInputOffsets& result;
  const std::vector<std::pair<size_t, size_t>>* sources;
  size_t input_chars;
  void begin(uint32_t id) { add(id, 0, 0); }
  void piece(uint32_t id, size_t start, size_t end, const unsigned char*, const unsigned char*,
             bool) {
    if (sources == nullptr) return add(id, start, end);
    add(id, (*sources)[start].first, (*sources)[end - 1].second);
  }
  void byte(uint32_t id, size_t index, unsigned char, bool) {
    piece(id, index, index + 1, nullptr, nullptr, false);
  }
  void end(uint32_t id, size_t) { add(id, input_chars, input_chars); }
  void add(uint32_t id, size_t start, size_t end) {
    result.ids.push_back(id);
    result.offsets.emplace_back(start, end);
  }
};

}  // namespace

Result<IdsAndInputOffsets> Tokenizer::encode_ids_and_input_offsets(
    std::string_view text, bool normalize, std::optional<std::string_view> dialect) const {
  IdsAndInputOffsets result;
  ScanContext ctx = scan_context(dialect.value_or(kDefaultDialect));
  if (normalize) {
    AlignedText aligned = normalizer_.normalize_aligned(text);
    InputSpanSink sink{result, &aligned.sources, aligned.input_chars};
    segment(ctx, aligned.text, sink);
    return result;
  }
  std::string storage;
  std::string_view segmented = prepare(text, false, {}, storage);
  InputSpanSink sink{result, nullptr, utf8::count_chars(segmented)};
  segment(ctx, segmented, sink);
  return result;
}

}  // namespace sarfan
