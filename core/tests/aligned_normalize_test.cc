// Normalizer::normalize_aligned: the same text as the fast normalizer, and the source span
// of each character as its comment defines it.
#include <gtest/gtest.h>

#include <ostream>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "random_text.h"
#include "test_text.h"
#include "tokenizer/normalizer.h"
#include "vocab/utf8.h"

namespace sarfan {
namespace {

using testing_text::random_text;
using testing_text::repaired;
using testing_text::u8;
using Spans = std::vector<std::pair<size_t, size_t>>;

// One span per character, none empty, within the input, never decreasing.
void expect_well_formed(const AlignedText& aligned, const std::string& input) {
  ASSERT_EQ(aligned.sources.size(), utf8::count_chars(aligned.text)) << input;
  ASSERT_EQ(aligned.input_chars, utf8::count_chars(repaired(input))) << input;
  for (size_t k = 0; k < aligned.sources.size(); ++k) {
    auto [start, end] = aligned.sources[k];
    ASSERT_LT(start, end) << input << " char " << k;
    ASSERT_LE(end, aligned.input_chars) << input << " char " << k;
    if (k > 0) {
      ASSERT_LE(aligned.sources[k - 1].first, start) << input << " char " << k;
      ASSERT_LE(aligned.sources[k - 1].second, end) << input << " char " << k;
    }
  }
}

TEST(AlignedNormalizeTest, TextEqualsFastNormalizer) {
  std::mt19937 rng(20261210);
  NormalizerConfig configs[3];
  configs[1].remove_diacritics = true;
  configs[2] = {false, false, false, false, false, false, false};
  Normalizer normalizers[3] = {Normalizer(configs[0]), Normalizer(configs[1]),
                               Normalizer(configs[2])};
  for (int i = 0; i < 60000; ++i) {
    std::string text = random_text(rng, i % 10 == 0 ? 60 : 12);
    const Normalizer& normalizer = normalizers[i % 3];
    AlignedText aligned = normalizer.normalize_aligned(text);
    ASSERT_EQ(aligned.text, normalizer.normalize(text)) << "case " << i;
    expect_well_formed(aligned, text);
  }
}

TEST(AlignedNormalizeTest, IllFormedInputCountsOneCharacterPerSubpart) {
  Normalizer normalizer;
  std::string text = "a\xFF\xE0\xA0" + u8({0x0640}) + "b";  // a, 2 subparts, tatweel, b
  AlignedText aligned = normalizer.normalize_aligned(text);
  EXPECT_EQ(aligned.text, normalizer.normalize(text));
  EXPECT_EQ(aligned.input_chars, 5u);
  EXPECT_EQ(aligned.sources, (Spans{{0, 1}, {1, 2}, {2, 3}, {4, 5}}));
}

struct SpanCase {
  const char* name;
  std::string input;
  std::string expected_text;
  Spans expected_sources;
};

void PrintTo(const SpanCase& c, std::ostream* os) {
  *os << c.name;
}

class SourceSpanTest : public testing::TestWithParam<SpanCase> {};

TEST_P(SourceSpanTest, Sources) {
  const SpanCase& c = GetParam();
  AlignedText aligned = Normalizer().normalize_aligned(c.input);
  EXPECT_EQ(aligned.text, c.expected_text);
  EXPECT_EQ(aligned.sources, c.expected_sources);
}

INSTANTIATE_TEST_SUITE_P(
    Defaults, SourceSpanTest,
    testing::Values(
        // Characters that stay or fold one for one keep their own span.
        SpanCase{"Folds",
                 u8({0x0623, 0x0629, 'x'}),
                 u8({0x0627, 0x0647, 'x'}),
                 {{0, 1}, {1, 2}, {2, 3}}},
        // Lam and the alef of a ligature both come from it.
        SpanCase{"Ligature",
                 u8({0x0643, 0xFEFB, 0x0645}),
                 u8({0x0643, 0x0644, 0x0627, 0x0645}),
                 {{0, 1}, {1, 2}, {1, 2}, {2, 3}}},
        SpanCase{"LigatureWithHamza", u8({0xFEF7}), u8({0x0644, 0x0627}), {{0, 1}, {0, 1}}},
        // A removed tatweel belongs to no character.
        SpanCase{"Tatweel",
                 u8({0x0643, 0x0640, 0x062A, 0x0628}),
                 u8({0x0643, 0x062A, 0x0628}),
                 {{0, 1}, {2, 3}, {3, 4}}},
        // Composition: the composed character spans its whole segment.
        SpanCase{"Composed",
                 u8({'b', 'e', 0x0301, 'c'}),
                 u8({'b', 0x00E9, 'c'}),
                 {{0, 1}, {1, 3}, {3, 4}}},
        // Alef and madda compose to U+0622, which folds to alef.
        SpanCase{"ComposedThenFolded",
                 u8({0x0627, 0x0653, 0x0628}),
                 u8({0x0627, 0x0628}),
                 {{0, 2}, {2, 3}}},
        // Shadda before fatha is reordered: the segment's three characters share its span.
        SpanCase{"Reordered",
                 u8({0x0628, 0x0628, 0x0651, 0x064E, 0x0628}),
                 u8({0x0628, 0x0628, 0x064E, 0x0651, 0x0628}),
                 {{0, 1}, {1, 4}, {1, 4}, {1, 4}, {4, 5}}},
        // Marks already in canonical order keep one span each.
        SpanCase{"MarksInOrder",
                 u8({0x0628, 0x064E, 0x0651}),
                 u8({0x0628, 0x064E, 0x0651}),
                 {{0, 1}, {1, 2}, {2, 3}}},
        // A decomposed character spans what it came from, one for one or in one segment.
        SpanCase{"Singleton", u8({0x2126, 'a'}), u8({0x03A9, 'a'}), {{0, 1}, {1, 2}}},
        // The collapsed space spans its run, tatweel inside included; the ends are trimmed.
        SpanCase{"CollapsedRun",
                 u8({' ', 'a', ' ', 0x0640, '\t', 0x3000, 'b', ' ', '\n'}),
                 u8({'a', ' ', 'b'}),
                 {{1, 2}, {2, 6}, {6, 7}}},
        SpanCase{"Empty", "", "", {}}, SpanCase{"WhitespaceOnly", " \t ", "", {}}),
    [](const testing::TestParamInfo<SpanCase>& info) { return std::string(info.param.name); });

TEST(AlignedNormalizeTest, SwitchesOffKeepEveryCharacter) {
  NormalizerConfig off{false, false, false, false, false, false, false};
  std::string text = u8({' ', 0x0622, 0x0640, 0xFEFB, ' ', ' '});
  AlignedText aligned = Normalizer(off).normalize_aligned(text);
  EXPECT_EQ(aligned.text, text);
  EXPECT_EQ(aligned.sources, (Spans{{0, 1}, {1, 2}, {2, 3}, {3, 4}, {4, 5}, {5, 6}}));
}

}  // namespace
}  // namespace sarfan
