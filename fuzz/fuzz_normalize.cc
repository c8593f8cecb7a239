// normalize_text on arbitrary bytes under every combination of the switches: the output
// is valid UTF-8, equals the normalization written as defined (NFC by utf8proc, then one
// pass per switch) and, with the whitespace clean-up on, holds only single inner spaces. The
// aligned pass gives the same text, with one non-empty source span per character that
// stays within the input and never decreases.
#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "reference_normalize.h"

using namespace sarfan;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  uint8_t flags = size > 0 ? data[0] : 0x7E;  // 0x7E: the default switches
  std::string_view text = size > 0
                              ? std::string_view(reinterpret_cast<const char*>(data) + 1, size - 1)
                              : std::string_view();
  NormalizerConfig config;
  config.remove_diacritics = flags & 1;
  config.remove_tatweel = flags & 2;
  config.normalize_alef = flags & 4;
  config.normalize_alef_maqsura = flags & 8;
  config.normalize_taa_marbuta = flags & 16;
  config.fold_presentation_forms = flags & 32;
  config.collapse_whitespace = flags & 64;

  std::string out = normalize_text(config, text);
  FUZZ_CHECK(utf8::is_valid(out), "output is valid UTF-8");
  FUZZ_CHECK(out == testing_reference::reference_normalize(config, testing_text::repaired(text)),
             "output equals the defined normalization");
  AlignedText aligned = Normalizer(config).normalize_aligned(text);
  FUZZ_CHECK(aligned.text == out, "the aligned pass gives the same text");
  FUZZ_CHECK(aligned.sources.size() == utf8::count_chars(out), "one source span per character");
  for (size_t k = 0; k < aligned.sources.size(); ++k) {
    auto [start, end] = aligned.sources[k];
    FUZZ_CHECK(start < end && end <= aligned.input_chars, "a source span is within the input");
    FUZZ_CHECK(
        k == 0 || (aligned.sources[k - 1].first <= start && aligned.sources[k - 1].second <= end),
        "source spans never decrease");
  }
  if (config.collapse_whitespace) {
    std::vector<char32_t> chars = testing_text::code_points(out);
    for (size_t k = 0; k < chars.size(); ++k) {
      if (!utf8::is_white_space(chars[k])) continue;
      FUZZ_CHECK(chars[k] == ' ', "the only whitespace left is U+0020");
      FUZZ_CHECK(k > 0 && k + 1 < chars.size(), "no whitespace at either end");
      FUZZ_CHECK(chars[k - 1] != ' ', "no doubled whitespace");
    }
  }
  return 0;
}
