#include "tokenizer/normalizer.h"

#include <gtest/gtest.h>
#include <utf8proc.h>

#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "random_text.h"
#include "reference_normalize.h"
#include "test_text.h"
#include "tokenizer/nfc_properties.h"

namespace sarfan {
namespace {

using testing_reference::reference_normalize;
using testing_text::code_points;
using testing_text::random_text;
using testing_text::repaired;
using testing_text::u8;

struct Case {
  std::string input;
  std::string expected;
};

class DefaultNormalizationTest : public testing::TestWithParam<Case> {};

TEST_P(DefaultNormalizationTest, Output) {
  EXPECT_EQ(normalize_text({}, GetParam().input), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DefaultNormalizationTest,
    testing::Values(Case{u8({0x0622}), u8({0x0627})}, Case{u8({0x0623}), u8({0x0627})},
                    Case{u8({0x0625}), u8({0x0627})}, Case{u8({0x0649}), u8({0x064A})},
                    Case{u8({0x0629}), u8({0x0647})},
                    Case{u8({0x0643, 0x0640, 0x062A, 0x0640, 0x0627, 0x0628}),
                         u8({0x0643, 0x062A, 0x0627, 0x0628})},
                    // Short vowels stay with the default switches.
                    Case{u8({0x0643, 0x064E, 0x062A, 0x064E, 0x0628, 0x064E}),
                         u8({0x0643, 0x064E, 0x062A, 0x064E, 0x0628, 0x064E})},
                    // Lam-alef ligatures unfold to lam and their alef, which folds as any.
                    Case{u8({0xFEFB}), u8({0x0644, 0x0627})},
                    Case{u8({0xFEF5}), u8({0x0644, 0x0627})},
                    Case{u8({0x0643, 0xFEFC, 0x0645}), u8({0x0643, 0x0644, 0x0627, 0x0645})},
                    Case{u8({0xFE8E}), u8({0x0627})},
                    Case{u8({0xFE8D}), u8({0xFE8D})}, Case{u8({'e', 0x0301}), u8({0x00E9})},
                    Case{u8({0xFB01}), u8({0xFB01})}, Case{u8({0x0661}), u8({0x0661})},
                    Case{"  a \t\nb  ", "a b"}, Case{" \t\n ", ""}, Case{"", ""},
                    Case{u8({'a', 0x00A0, 0x3000, 0x0009, 'b'}), "a b"},
                    // Alef + madda composes to U+0622 first, which then folds to bare alef.
                    Case{u8({0x0627, 0x0653}), u8({0x0627})},
                    // Not idempotent: the tatweel removal joins alef and madda after NFC has run.
                    Case{u8({0x0627, 0x0640, 0x0653}), u8({0x0627, 0x0653})},
                    // A composition new in Unicode 16.
                    Case{u8({0x105D2, 0x0307}), u8({0x105C9})},
                    // Reordering by combining class, then composition.
                    Case{u8({'a', 0x0316, 0x0301}), u8({0x00E1, 0x0316})},
                    Case{u8({'a', 0x0301, 0x0316}), u8({0x00E1, 0x0316})},
                    Case{u8({0x1100, 0x1161, 0x11A8}), u8({0xAC01})},
                    Case{std::string("a\0b", 3), std::string("a\0b", 3)}));

TEST(NormalizerTest, RemoveDiacriticsDropsMarks) {
  NormalizerConfig config;
  config.remove_diacritics = true;
  EXPECT_EQ(normalize_text(config, u8({0x0643, 0x064E, 0x062A, 0x0651, 0x0670, 0x065F, 0x0628})),
            u8({0x0643, 0x062A, 0x0628}));
}

TEST(NormalizerTest, LigaturesKeepTheirAlefWhenAlefsStay) {
  NormalizerConfig config;
  config.normalize_alef = false;
  const char32_t alefs[] = {0x0622, 0x0623, 0x0625, 0x0627};
  for (char32_t ligature = 0xFEF5; ligature <= 0xFEFC; ++ligature) {
    EXPECT_EQ(normalize_text(config, u8({ligature, 0x064E})),
              u8({0x0644, alefs[(ligature - 0xFEF5) / 2], 0x064E}))
        << std::hex << uint32_t(ligature);
  }
}

TEST(NormalizerTest, SwitchesOff) {
  NormalizerConfig off{false, false, false, false, false, false, false};
  std::string text = u8({' ', 0x0622, 0x0640, 0x0649, 0x0629, 0xFEFB, ' ', ' '});
  EXPECT_EQ(normalize_text(off, text), text);
}

TEST(NormalizerTest, FastPathEqualsStepByStepDefinition) {
  std::mt19937 rng(20261208);
  NormalizerConfig configs[3];
  configs[1].remove_diacritics = true;
  configs[2] = {false, false, false, false, false, false, false};
  Normalizer normalizers[3] = {Normalizer(configs[0]), Normalizer(configs[1]),
                               Normalizer(configs[2])};
  for (int i = 0; i < 120000; ++i) {
    std::string text = random_text(rng, i % 10 == 0 ? 60 : 12);
    int k = i % 3;
    ASSERT_EQ(normalizers[k].normalize(text), reference_normalize(configs[k], text))
        << "case " << i << " config " << k;
  }
}

// Long runs of plain text, which the normalizer takes sixteen bytes at a time where its
// switches allow: every character of U+0600..U+067F at every offset of a block, among
// ASCII, single and double spaces, vowel marks in and out of canonical order, and now and
// then a character that no block takes. Besides the defaults, switches under which a
// letter stays that a block would fold.
class PlainBlocksTest : public testing::TestWithParam<NormalizerConfig> {};

TEST_P(PlainBlocksTest, EqualStepByStepDefinition) {
  const NormalizerConfig& config = GetParam();
  std::mt19937 rng(16);
  std::vector<char32_t> pool;
  for (char32_t c = 0x0600; c < 0x0680; ++c) pool.push_back(c);
  for (char32_t c : {U'a', U'Z', U'.', U'7', U'\x7F', U' ', U' ', U' ', U' '}) pool.push_back(c);
  for (int k = 0; k < 4; ++k) {
    for (char32_t c = 0x064B; c <= 0x0652; ++c) pool.push_back(c);
  }
  const char32_t rare[] = {'\t',   '\n',   0x0640, 0x064E, 0x0653,  0x0654, 0x00E9,
                           0x0301, 0x06D5, 0x3000, 0xFEFB, 0x1F600, 0};
  Normalizer normalizer(config);
  for (int i = 0; i < 20000; ++i) {
    std::vector<char32_t> cps;
    for (size_t n = rng() % 80; n > 0; --n) {
      cps.push_back(rng() % 40 == 0 ? rare[rng() % std::size(rare)] : pool[rng() % pool.size()]);
    }
    std::string text = u8(cps);
    ASSERT_EQ(normalizer.normalize(text), reference_normalize(config, text)) << i;
  }
}

// Vowel marks after a letter, an ASCII character or a space, ending at every offset of a
// block, then a mark that composes with the letter before them (or reorders with them):
// the boundary kept for the composition must be the character before the marks.
TEST(NormalizerTest, MarksAtEveryBlockOffsetKeepTheirBoundary) {
  Normalizer normalizer;
  for (char32_t starter : {U'\x0627', U'\x0628', U'a', U' '}) {
    for (char32_t after : {U'\x0653', U'\x0654', U'\x064B', U'\x0650'}) {
      for (size_t k = 0; k < 40; ++k) {
        std::vector<char32_t> cps(k / 2, U'\x0644');
        if (k % 2) cps.push_back('b');
        for (char32_t c : {starter, U'\x064E', U'\x0651', after, U'\x0644', U' '}) cps.push_back(c);
        for (int n = 0; n < 16; ++n) cps.push_back(U'\x0644');
        std::string text = u8(cps);
        ASSERT_EQ(normalizer.normalize(text), reference_normalize({}, text)) << k;
      }
    }
  }
}

NormalizerConfig with_switch(bool NormalizerConfig::*member, bool value) {
  NormalizerConfig config;
  config.*member = value;
  return config;
}

INSTANTIATE_TEST_SUITE_P(
    Switches, PlainBlocksTest,
    testing::Values(NormalizerConfig{}, with_switch(&NormalizerConfig::remove_diacritics, true),
                    with_switch(&NormalizerConfig::remove_tatweel, false),
                    with_switch(&NormalizerConfig::normalize_alef, false),
                    with_switch(&NormalizerConfig::normalize_alef_maqsura, false),
                    with_switch(&NormalizerConfig::normalize_taa_marbuta, false)));

// A text without data: nothing is read from or copied out of it.
TEST(NormalizerTest, EmptyViewWithoutDataGivesEmptyText) {
  EXPECT_EQ(normalize_text(NormalizerConfig{}, std::string_view()), "");
}

// Ill-formed input reads as U+FFFD per maximal subpart, wherever it stands.
TEST(NormalizerTest, IllFormedInputEqualsItsRepairedForm) {
  std::mt19937 rng(99);
  const std::string junk[] = {"\xFF",         "\xC0", "\xD8",         "\xE0\x80",
                              "\xF0\x9F\x98", "\x80", "\xED\xA0\x80", "\xD9"};
  Normalizer normalizer;
  for (int i = 0; i < 20000; ++i) {
    std::string text = random_text(rng, 10);
    size_t at = text.empty() ? 0 : rng() % (text.size() + 1);
    while (at > 0 && at < text.size() &&
           utf8::is_continuation(static_cast<unsigned char>(text[at])))
      --at;
    text.insert(at, junk[rng() % std::size(junk)]);
    std::string out = normalizer.normalize(text);
    ASSERT_TRUE(utf8::is_valid(out));
    ASSERT_EQ(out, reference_normalize({}, repaired(text))) << i;
  }
}

TEST(NfcPropertiesTest, BelowU0300EverythingIsAStableStarter) {
  for (char32_t c = 0; c < 0x300; ++c) ASSERT_EQ(nfc::properties(c), 0) << uint32_t(c);
}

std::string unicode_file(const char* name) {
  return std::string(SARFAN_UNICODE_DIR) + "/" + name;
}

TEST(NfcPropertiesTest, QuickCheckMatchesUnicodeData) {
  std::ifstream in(unicode_file("DerivedNormalizationProps.txt"));
  ASSERT_TRUE(in) << "run make setup";
  std::vector<uint8_t> expected(0x110000, 0);
  std::string line;
  while (std::getline(in, line)) {
    line = line.substr(0, line.find('#'));
    if (line.find("NFC_QC") == std::string::npos) continue;
    unsigned first = 0, last = 0;
    char value = line[line.rfind(';') + 2];
    if (std::sscanf(line.c_str(), "%x..%x", &first, &last) < 2) last = first;
    for (unsigned c = first; c <= last; ++c) expected[c] = value == 'N' ? 2 : value == 'M' ? 1 : 0;
  }
  for (char32_t c = 0; c < 0x110000; ++c) {
    ASSERT_EQ(uint8_t(nfc::quick_check(nfc::properties(c))), expected[c])
        << std::hex << uint32_t(c);
  }
}

std::vector<char32_t> parse_field(const std::string& field) {
  std::vector<char32_t> cps;
  std::istringstream in(field);
  std::string hex;
  while (in >> hex) cps.push_back(char32_t(std::stoul(hex, nullptr, 16)));
  return cps;
}

// Every line of Unicode's conformance file, with every switch off (pure NFC):
// NFC(c1) = NFC(c2) = NFC(c3) = c2 and NFC(c4) = NFC(c5) = c4.
TEST(NfcConformanceTest, NormalizationTestFile) {
  std::ifstream in(unicode_file("NormalizationTest.txt"));
  ASSERT_TRUE(in) << "run make setup";
  std::string line;
  std::getline(in, line);
  EXPECT_NE(line.find(std::string("NormalizationTest-") + nfc::kUnicodeVersion), std::string::npos)
      << "the Unicode data and utf8proc must be of the same version: " << line;
  Normalizer pure_nfc(NormalizerConfig{false, false, false, false, false, false, false});
  size_t lines = 0;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#' || line[0] == '@') continue;
    std::vector<std::string> fields;
    std::istringstream split(line);
    std::string field;
    for (int k = 0; k < 5 && std::getline(split, field, ';'); ++k) fields.push_back(field);
    ASSERT_EQ(fields.size(), 5u) << line;
    std::string c[5];
    for (int k = 0; k < 5; ++k) c[k] = u8(parse_field(fields[k]));
    for (int k = 0; k < 3; ++k) ASSERT_EQ(pure_nfc.normalize(c[k]), c[1]) << line;
    for (int k = 3; k < 5; ++k) ASSERT_EQ(pure_nfc.normalize(c[k]), c[3]) << line;
    ++lines;
  }
  EXPECT_GT(lines, 19000u);
}

// Long runs of marks go through a sort, not neighbour swaps (quadratic: hours at this size).
TEST(NormalizerTest, MillionAlternatingMarksAreReordered) {
  std::vector<char32_t> cps = {'a'};
  for (int i = 0; i < 500000; ++i) {
    cps.push_back(0x0301);
    cps.push_back(0x0316);
  }
  std::string out = normalize_text({}, u8(cps));
  std::vector<char32_t> result = code_points(out);
  ASSERT_EQ(result.size(), 1000000u);
  EXPECT_EQ(result[0], 0x00E1u);  // a + the first U+0301 compose
  for (size_t k = 1; k <= 500000; ++k) ASSERT_EQ(result[k], 0x0316u) << k;
  for (size_t k = 500001; k < result.size(); ++k) ASSERT_EQ(result[k], 0x0301u) << k;
}

}  // namespace
}  // namespace sarfan
