// encode and encode_ids on arbitrary bytes, with and without normalization and dialects,
// against the default vocabulary and a small one whose pieces overlap a lot. The steps
// must equal the scan written as defined, and the result must keep its shape; the spans of
// the input come with the same ids.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "embedded_default_vocab.h"
#include "fuzz_support.h"
#include "reference_scan.h"

using namespace sarfan;

namespace {

std::unique_ptr<Tokenizer> default_tok, overlap_tok;

// Arabic pieces that shadow or extend the default vocabulary's.
std::string default_plugin_tsv(uint32_t base) {
  const char* pieces[] = {"\xE2\x96\x81\xD8\xA7\xD9\x84", "\xD8\xA7\xD9\x84\xD9\x83", "<0xF0>",
                          "\xD9\x83\xD8\xAA\xD8\xA7\xD8\xA8", "\xE2\x96\x81\xD9\x85\xD9\x86"};
  std::string tsv;
  for (const char* piece : pieces)
    tsv += std::string(piece) + "\t" + std::to_string(base++) + "\t0\n";
  return tsv;
}

void load_plugin(Tokenizer& tok, const std::string& tsv, const std::string& name) {
  fuzzing::MemoryFile file(tsv);
  FUZZ_CHECK(tok.load_plugin(file.path(), name).ok(), "the fixed plugin loads");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  default_tok = std::make_unique<Tokenizer>(fuzzing::load_tokenizer(EMBEDDED_DEFAULT_TSV));
  load_plugin(*default_tok, default_plugin_tsv(default_tok->vocab().vocab_size()), "msa");
  overlap_tok = std::make_unique<Tokenizer>(fuzzing::load_tokenizer(fuzzing::overlap_vocab_tsv()));
  load_plugin(*overlap_tok, fuzzing::overlap_plugin_tsv(overlap_tok->vocab().vocab_size()), "p");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  uint8_t flags = size > 0 ? data[0] : 0;
  std::string_view text = size > 0
                              ? std::string_view(reinterpret_cast<const char*>(data) + 1, size - 1)
                              : std::string_view();
  const Tokenizer& tok = flags & 1 ? *overlap_tok : *default_tok;
  bool normalize = flags & 2;
  static const char* const kDialects[] = {nullptr, "p", "msa", ""};
  const char* given = kDialects[(flags >> 2) & 3];
  std::optional<std::string_view> dialect;
  if (given) dialect = given;

  auto result = tok.encode(text, normalize, dialect);
  FUZZ_CHECK(result.ok(), "encode never fails");
  const EncodeResult& r = result.value();
  auto ids = tok.encode_ids(text, normalize, dialect);
  FUZZ_CHECK(ids.ok(), "encode_ids never fails");
  FUZZ_CHECK(ids.value() == r.ids, "encode_ids equals encode(...).ids");

  FUZZ_CHECK(r.tokens.size() == r.ids.size() && r.offsets.size() == r.ids.size(),
             "ids, tokens and offsets are parallel");
  std::string segmented =
      normalize ? normalize_text(tok.normalizer_config(), text) : testing_text::repaired(text);
  size_t n = utf8::count_chars(segmented);
  FUZZ_CHECK(r.ids.size() >= 2, "at least the begin and end steps");
  FUZZ_CHECK(r.ids.front() == 1 && r.tokens[0] == "[BOS]" &&
                 r.offsets.front() == std::make_pair(size_t(0), size_t(0)),
             "the begin step is [BOS] at (0, 0)");
  FUZZ_CHECK(r.ids.back() == 2 && r.tokens[r.ids.size() - 1] == "[EOS]" &&
                 r.offsets.back() == std::make_pair(n, n),
             "the end step is [EOS] at (n, n)");
  for (size_t k = 0; k < r.ids.size(); ++k) {
    auto [start, end] = r.offsets[k];
    FUZZ_CHECK(start <= end && end <= n, "offsets lie within [0, n]");
    if (k > 0) {
      FUZZ_CHECK(start >= r.offsets[k - 1].first && end >= r.offsets[k - 1].second,
                 "offsets never decrease");
    }
    FUZZ_CHECK(utf8::is_valid(r.tokens[k]), "piece texts are valid UTF-8");
  }
  std::string resolved = given ? given : "msa";
  FUZZ_CHECK(r.dialect == resolved && r.fallback == !given && r.confidence == 1.0f,
             "dialect metadata");

  // Normalizing is the only thing normalize=true adds.
  if (normalize) {
    auto plain = tok.encode_ids(segmented, false, dialect);
    FUZZ_CHECK(plain.value() == r.ids, "encode(text) equals encode(normalized text, false)");
  }

  auto expected = testing_reference::naive_scan(tok, segmented, tok.plugin(resolved));
  FUZZ_CHECK(expected.size() == r.ids.size(), "as many steps as the defined scan");
  for (size_t k = 0; k < expected.size(); ++k) {
    const auto& e = expected[k];
    FUZZ_CHECK(e.id == r.ids[k] && e.piece == r.tokens[k] && e.start == r.offsets[k].first &&
                   e.end == r.offsets[k].second,
               "each step equals the defined scan's");
  }

  // Spans of the input: the same ids; without normalization, encode()'s offsets.
  auto input = tok.encode_ids_and_input_offsets(text, normalize, dialect);
  FUZZ_CHECK(input.ok() && input.value().ids == r.ids, "input offsets come with encode's ids");
  const auto& spans = input.value().offsets;
  size_t input_chars = utf8::count_chars(testing_text::repaired(text));
  FUZZ_CHECK(spans.back() == std::make_pair(input_chars, input_chars),
             "the end step spans the input's end");
  if (!normalize) FUZZ_CHECK(spans == r.offsets, "unnormalized, input spans are the offsets");
  for (size_t k = 1; k < spans.size(); ++k) {
    FUZZ_CHECK(spans[k].first >= spans[k - 1].first && spans[k].second >= spans[k - 1].second &&
                   spans[k].first <= spans[k].second && spans[k].second <= input_chars,
               "input spans lie within the input and never decrease");
  }

  std::string decoded = tok.decode(r.ids, dialect);
  FUZZ_CHECK(utf8::is_valid(decoded), "decode gives valid UTF-8");
  return 0;
}
