#include "vocab/tsv_line.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace sarfan::tsv {
namespace {

struct IdCase {
  const char* field;
  const char* reason;  // nullptr: parses to `value`
  uint32_t value;
};

class ParseIdTest : public testing::TestWithParam<IdCase> {};

TEST_P(ParseIdTest, MatchesIntegerRules) {
  const IdCase& c = GetParam();
  uint32_t id = 0;
  const char* reason = parse_id(c.field, id);
  if (c.reason == nullptr) {
    EXPECT_EQ(reason, nullptr);
    EXPECT_EQ(id, c.value);
  } else {
    ASSERT_NE(reason, nullptr);
    EXPECT_STREQ(reason, c.reason);
  }
}

constexpr const char* kEmpty = "cannot parse integer from empty string";
constexpr const char* kDigit = "invalid digit found in string";
constexpr const char* kLarge = "number too large to fit in target type";

INSTANTIATE_TEST_SUITE_P(
    Fields, ParseIdTest,
    testing::Values(IdCase{"7", nullptr, 7}, IdCase{"+7", nullptr, 7}, IdCase{"007", nullptr, 7},
                    IdCase{"4294967295", nullptr, 4294967295u}, IdCase{"", kEmpty, 0},
                    IdCase{"+", kDigit, 0}, IdCase{"-", kDigit, 0}, IdCase{"-7", kDigit, 0},
                    IdCase{" 7", kDigit, 0}, IdCase{"7 ", kDigit, 0}, IdCase{"++7", kDigit, 0},
                    IdCase{"1_000", kDigit, 0}, IdCase{"id", kDigit, 0},
                    IdCase{"4294967296", kLarge, 0},
                    // Scanning stops at whichever comes first.
                    IdCase{"99999999999x", kLarge, 0}, IdCase{"9x99999999999", kDigit, 0}));

struct ScoreCase {
  const char* field;
  bool valid;
  float value;
};

class ParseScoreTest : public testing::TestWithParam<ScoreCase> {};

TEST_P(ParseScoreTest, MatchesFloatRules) {
  const ScoreCase& c = GetParam();
  float score = 12345.0f;
  const char* reason = parse_score(c.field, score);
  if (!c.valid) {
    ASSERT_NE(reason, nullptr) << c.field;
    EXPECT_STREQ(reason,
                 *c.field ? "invalid float literal" : "cannot parse float from empty string");
    return;
  }
  ASSERT_EQ(reason, nullptr) << c.field;
  if (std::isnan(c.value)) {
    EXPECT_TRUE(std::isnan(score));
  } else {
    // Bitwise: the parse must round straight to the nearest float.
    EXPECT_EQ(std::memcmp(&score, &c.value, sizeof score), 0) << c.field << " gave " << score;
  }
}

constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kNan = std::numeric_limits<float>::quiet_NaN();

INSTANTIATE_TEST_SUITE_P(
    Fields, ParseScoreTest,
    testing::Values(
        ScoreCase{"0.0", true, 0.0f}, ScoreCase{"-3.0456326007843018", true, -3.0456326007843018f},
        ScoreCase{"+1.5", true, 1.5f}, ScoreCase{"-0", true, -0.0f}, ScoreCase{"1e-3", true, 1e-3f},
        ScoreCase{".5", true, 0.5f}, ScoreCase{"5.", true, 5.0f}, ScoreCase{"1E+2", true, 100.0f},
        ScoreCase{"inf", true, kInf}, ScoreCase{"-Infinity", true, -kInf},
        ScoreCase{"INF", true, kInf}, ScoreCase{"NaN", true, kNan}, ScoreCase{"+nan", true, kNan},
        // Out of range: overflow to infinity, underflow to zero; subnormals kept.
        ScoreCase{"1e39", true, kInf}, ScoreCase{"-1e400", true, -kInf},
        ScoreCase{"1e-50", true, 0.0f}, ScoreCase{"-1e-400", true, -0.0f},
        ScoreCase{"1e-40", true, 1e-40f}, ScoreCase{"3.4028236e38", true, kInf},
        // Halfway cases round on the decimal text, not through a double.
        ScoreCase{"1.00000005960464477539062501", true, 1.00000012f},
        ScoreCase{"1.000000059604644775390625", true, 1.0f}, ScoreCase{"", false, 0},
        ScoreCase{"1,5", false, 0}, ScoreCase{"0x1p3", false, 0}, ScoreCase{"nan(1)", false, 0},
        ScoreCase{"1_0", false, 0}, ScoreCase{" 1", false, 0}, ScoreCase{"1 ", false, 0},
        ScoreCase{".", false, 0}, ScoreCase{"e5", false, 0}, ScoreCase{"1e", false, 0},
        ScoreCase{"1e+", false, 0}, ScoreCase{"+-1", false, 0}, ScoreCase{"infin", false, 0},
        ScoreCase{"1.0\r", false, 0}, ScoreCase{"١", false, 0}));

// The score parser takes a shortcut for plain decimals; it must round exactly as
// from_chars does, including literals at or next to halfway points between floats.
TEST(ParseScoreTest, AgreesWithFromCharsOnRandomDecimals) {
  std::mt19937_64 rng(7);
  std::vector<std::string> literals = {
      "16777217", "16777219",      "33554434",     "0.1",
      "1e-38",    "1.1754942e-38", "3.4028235e38", "340282356779733661637539395458142568448"};
  auto digits = [&](int n) {
    std::string out;
    for (int k = 0; k < n; ++k) out.push_back(char('0' + rng() % 10));
    return out;
  };
  for (int k = 0; k < 200000; ++k) {
    std::string literal = digits(1 + int(rng() % 12));
    if (rng() % 2) literal.append(".").append(digits(int(rng() % 12)));
    if (rng() % 4 == 0) literal.append("e").append(std::to_string(int(rng() % 60) - 30));
    literals.push_back(literal);
    // A float halfway point printed exactly (when short enough), and its neighbours.
    float f = std::ldexp(float(rng() % (1u << 24) | (1u << 23)), int(rng() % 40) - 30);
    double halfway = (double(f) + double(std::nextafter(f, kInf))) / 2;
    char text[64];
    std::snprintf(text, sizeof text, "%.17g", halfway);
    literals.push_back(text);
    std::snprintf(text, sizeof text, "%.19g", std::nextafter(halfway, 0.0));
    literals.push_back(text);
  }
  for (const std::string& literal : literals) {
    float expected = 0;
    auto [end, error] = std::from_chars(literal.data(), literal.data() + literal.size(), expected);
    if (error != std::errc()) continue;
    float score = 0;
    ASSERT_EQ(parse_score(literal, score), nullptr) << literal;
    ASSERT_EQ(std::memcmp(&score, &expected, sizeof score), 0) << literal << " gave " << score;
  }
}

TEST(ParseEntryTest, Messages) {
  auto message = [](std::string_view line) {
    auto parsed = parse_entry(line, 4, "TSV line");
    return parsed.ok() ? std::string("ok") : parsed.error().message();
  };
  EXPECT_EQ(message("a\t1"), "TSV line 4: expected 3 columns, got 2 (line: 'a\t1')");
  EXPECT_EQ(message("a\t1\t0\t"), "TSV line 4: expected 3 columns, got 4 (line: 'a\t1\t0\t')");
  EXPECT_EQ(message("a\t\t0"),
            "TSV line 4: invalid id '' (cannot parse integer from empty string)");
  EXPECT_EQ(message("token\tid\tscore"),
            "TSV line 4: invalid id 'id' (invalid digit found in string)");
  EXPECT_EQ(message("a\t1\t"),
            "TSV line 4: invalid score '' (cannot parse float from empty string)");
  EXPECT_EQ(message("a\t1\t1,5"), "TSV line 4: invalid score '1,5' (invalid float literal)");
  // The id bound is checked after the id syntax and before the score.
  EXPECT_EQ(message("a\t16777216\tbad"),
            "TSV line 4: id 16777216 exceeds the largest supported id 16777215");
  EXPECT_EQ(message("a\t4294967295\t0"),
            "TSV line 4: id 4294967295 exceeds the largest supported id 16777215");
  EXPECT_EQ(message("a\t16777215\t0"), "ok");
  EXPECT_EQ(message("\t+016777215\t0"), "ok");
}

TEST(ParseEntryTest, FieldsAreTakenVerbatim) {
  auto parsed = parse_entry(" x \t+007\t-1.25", 1, "TSV line");
  ASSERT_TRUE(parsed.ok());
  EXPECT_EQ(parsed.value().token, " x ");
  EXPECT_EQ(parsed.value().id, 7u);
  EXPECT_EQ(parsed.value().score, -1.25f);
}

TEST(SkippedLineTest, BlankAndComment) {
  EXPECT_TRUE(is_skipped(""));
  EXPECT_TRUE(is_skipped("\t"));
  EXPECT_TRUE(is_skipped("   \x0B\x0C"));
  EXPECT_TRUE(is_skipped("\xC2\xA0\xE3\x80\x80\xE2\x80\xAF"));  // U+00A0 U+3000 U+202F
  EXPECT_TRUE(is_skipped("#a\t1\t0"));
  EXPECT_FALSE(is_skipped(" #a\t1\t0"));
  EXPECT_FALSE(is_skipped("\xE2\x80\x8B"));  // U+200B is not White_Space
  EXPECT_FALSE(is_skipped("\xEF\xBB\xBF"));  // nor is a byte-order mark
}

}  // namespace
}  // namespace sarfan::tsv
