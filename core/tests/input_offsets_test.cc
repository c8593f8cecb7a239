// Tokenizer::encode_ids_and_input_offsets with the embedded default vocabulary: the ids of
// encode(), and spans that slice the caller's text into what each piece was made from.
#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "embedded_default_vocab.h"
#include "random_text.h"
#include "test_text.h"
#include "tokenizer/tokenizer.h"
#include "vocab/vocab_loader.h"

namespace sarfan {
namespace {

using testing_text::code_points;
using testing_text::kMark;
using testing_text::random_text;
using testing_text::u8;
using Span = std::pair<size_t, size_t>;

const Tokenizer& default_tokenizer() {
  static const Tokenizer tok = Tokenizer::from_vocab(from_tsv_text(EMBEDDED_DEFAULT_TSV).value());
  return tok;
}

std::string slice(const std::vector<char32_t>& chars, Span span) {
  return u8(
      std::vector<char32_t>(chars.begin() + long(span.first), chars.begin() + long(span.second)));
}

TEST(InputOffsetsTest, SliceTheCallersText) {
  std::string text = "  " + u8({0x0630, 0x0647, 0x0628}) + "   " +
                     u8({0x0627, 0x0644, 0x0648, 0x0644, 0x062F});  // "  ذهب   الولد"
  auto encoded = default_tokenizer().encode_ids_and_input_offsets(text, true, std::nullopt);
  ASSERT_TRUE(encoded.ok());
  const auto& offsets = encoded.value().offsets;
  ASSERT_EQ(offsets.size(), 4u);  // both words are pieces of their own
  std::vector<char32_t> chars = code_points(text);
  EXPECT_EQ(offsets.front(), Span(0, 0));
  EXPECT_EQ(slice(chars, offsets[1]), u8({0x0630, 0x0647, 0x0628}));
  EXPECT_EQ(slice(chars, offsets[2]), u8({0x0627, 0x0644, 0x0648, 0x0644, 0x062F}));
  EXPECT_EQ(offsets.back(), Span(chars.size(), chars.size()));
}

TEST(InputOffsetsTest, BytePiecesCarryTheirCharactersSpan) {
  // Tatweel, then an emoji of four byte pieces: the emoji is character 2 of the input.
  std::string text = u8({'a', 0x0640, 0x1F600});
  auto encoded = default_tokenizer().encode_ids_and_input_offsets(text, true, std::nullopt);
  ASSERT_TRUE(encoded.ok());
  const auto& offsets = encoded.value().offsets;
  ASSERT_EQ(offsets.size(), 7u);
  for (size_t k = 2; k < 6; ++k) EXPECT_EQ(offsets[k], Span(2, 3)) << k;
}

TEST(InputOffsetsTest, LigaturePiecesShareItsSpan) {
  // كﻼم normalizes to كلام: lam and alef (normalized characters 1 and 2) both come from
  // input character 1, so every step holding either spans exactly it and its neighbours.
  std::string text = u8({0x0643, 0xFEFC, 0x0645});
  auto full = default_tokenizer().encode(text, true, std::nullopt).value();
  auto encoded = default_tokenizer().encode_ids_and_input_offsets(text, true, std::nullopt);
  ASSERT_TRUE(encoded.ok());
  for (size_t k = 1; k + 1 < full.ids.size(); ++k) {
    auto [start, end] = full.offsets[k];
    Span expected(start == 0 ? 0 : start <= 2 ? 1 : 2, end == 1 ? 1 : end <= 3 ? 2 : 3);
    EXPECT_EQ(encoded.value().offsets[k], expected) << k;
  }
}

// The runs of steps that stand for one piece: a matched piece, or the byte steps of one
// character. k indexes steps; the runs exclude the begin and end steps.
struct Unit {
  size_t first, last;  // steps
};

std::vector<Unit> units(const EncodeResult& full) {
  std::vector<Unit> out;
  for (size_t k = 1; k + 1 < full.ids.size(); ++k) {
    if (!out.empty() && full.offsets[k] == full.offsets[out.back().last] &&
        full.tokens[k].starts_with("<0x") && full.tokens[k - 1].starts_with("<0x")) {
      out.back().last = k;
    } else {
      out.push_back({k, k});
    }
  }
  return out;
}

bool overlaps(Span a, Span b) {
  return a.first < b.second && b.first < a.second;
}

// For every piece whose input characters no other piece shares, the input under its span
// normalizes to the piece's text without the mark (for byte steps, to their character).
void expect_pieces_slice_back(const Tokenizer& tok, const std::string& text, bool normalize,
                              std::optional<std::string_view> dialect) {
  auto full = tok.encode(text, normalize, dialect).value();
  auto encoded = tok.encode_ids_and_input_offsets(text, normalize, dialect).value();
  ASSERT_EQ(encoded.ids, full.ids) << text;
  ASSERT_EQ(encoded.offsets.size(), full.ids.size());
  std::string repaired = testing_text::repaired(text);
  std::vector<char32_t> chars = code_points(repaired);
  ASSERT_EQ(encoded.offsets.front(), Span(0, 0));
  ASSERT_EQ(encoded.offsets.back(), Span(chars.size(), chars.size())) << text;
  if (!normalize) {
    ASSERT_EQ(encoded.offsets, full.offsets) << text;
    return;
  }
  std::vector<char32_t> normalized = code_points(normalize_text(tok.normalizer_config(), text));
  std::vector<Unit> runs = units(full);
  for (size_t u = 0; u < runs.size(); ++u) {
    Span span = encoded.offsets[runs[u].first];
    for (size_t k = runs[u].first; k <= runs[u].last; ++k) ASSERT_EQ(encoded.offsets[k], span);
    bool shared = (u > 0 && overlaps(encoded.offsets[runs[u - 1].first], span)) ||
                  (u + 1 < runs.size() && overlaps(encoded.offsets[runs[u + 1].first], span));
    if (shared) continue;
    std::string piece = slice(normalized, full.offsets[runs[u].first]);
    std::string token(full.tokens[runs[u].first]);
    if (runs[u].first == runs[u].last && !token.starts_with("<0x") && token != "[UNK]") {
      ASSERT_TRUE(token == piece || token == kMark + piece) << text << " step " << runs[u].first;
    }
    ASSERT_EQ(normalize_text(tok.normalizer_config(), slice(chars, span)), piece)
        << text << " step " << runs[u].first;
  }
}

TEST(InputOffsetsTest, PiecesSliceBackOnRandomTexts) {
  std::mt19937 rng(7);
  for (int i = 0; i < 20000; ++i) {
    std::string text = random_text(rng, i % 10 == 0 ? 60 : 12);
    expect_pieces_slice_back(default_tokenizer(), text, i % 4 != 0, std::nullopt);
  }
}

TEST(InputOffsetsTest, PiecesSliceBackOnArabicProse) {
  const std::vector<char32_t> words[] = {
      {0x0627, 0x0644, 0x0643, 0x062A, 0x0627, 0x0628},                  // الكتاب
      {0x0643, 0x0640, 0x0640, 0x062A, 0x0628},                          // كــتب
      {0x0645, 0x062F, 0x0631, 0x0633, 0x0629},                          // مدرسة
      {0x0623, 0x064E, 0x062D, 0x0652, 0x0645, 0x064E, 0x062F},          // أَحْمَد
      {0x0627, 0x0653, 0x0644, 0x0629},                                  // decomposed madda
      {0x0645, 0x064F, 0x062D, 0x064E, 0x0645, 0x0651, 0x064E, 0x062F},  // shadda after fatha
      {0x0645, 0x062D, 0x0645, 0x064E, 0x0651, 0x062F},                  // fatha, shadda
      {0x0643, 0xFEFB, 0x0645},                                          // كﻻم
      {0x0639, 0x0644, 0x0649},                                          // على
  };
  const std::string gaps[] = {" ", "  ", "\t", u8({0x00A0}), u8({0x3000, ' '}), "\n\n"};
  std::mt19937 rng(11);
  for (int i = 0; i < 5000; ++i) {
    std::string text = gaps[rng() % std::size(gaps)];
    for (size_t n = rng() % 8; n > 0; --n) {
      text += u8(words[rng() % std::size(words)]);
      text += gaps[rng() % std::size(gaps)];
    }
    expect_pieces_slice_back(default_tokenizer(), text, true, std::nullopt);
  }
}

TEST(InputOffsetsTest, IllFormedInputCountsOneCharacterPerSubpart) {
  for (bool normalize : {true, false}) {
    expect_pieces_slice_back(default_tokenizer(), "a\xFF" + u8({0x0640, 0x0628}) + "\xE0\x80",
                             normalize, std::nullopt);
  }
}

}  // namespace
}  // namespace sarfan
