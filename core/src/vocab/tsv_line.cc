#include "vocab/tsv_line.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <utility>

#include "vocab/utf8.h"

namespace sarfan::tsv {

namespace {

bool is_digit(char c) {
  return c >= '0' && c <= '9';
}

bool equals_ignoring_case(std::string_view text, std::string_view lower_word) {
  if (text.size() != lower_word.size()) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    if (c != lower_word[i]) return false;
  }
  return true;
}

// Decimal exponent of the leading non-zero digit of a validated, non-zero literal
// (without sign): tells an overflow from an underflow when the float parse is out of range.
long long magnitude(std::string_view literal) {
  long long integer_digits = 0, leading_zeros = 0;
  bool seen_point = false, seen_nonzero = false;
  size_t i = 0;
  for (; i < literal.size() && literal[i] != 'e' && literal[i] != 'E'; ++i) {
    char c = literal[i];
    if (c == '.') {
      seen_point = true;
      continue;
    }
    if (!seen_point) ++integer_digits;
    if (!seen_nonzero) {
      if (c == '0') {
        ++leading_zeros;
      } else {
        seen_nonzero = true;
      }
    }
  }
  long long exponent = 0;
  if (i < literal.size()) {
    ++i;
    bool negative = literal[i] == '-';
    if (literal[i] == '-' || literal[i] == '+') ++i;
    for (; i < literal.size(); ++i) {
      if (exponent < 1000000000) exponent = exponent * 10 + (literal[i] - '0');
    }
    if (negative) exponent = -exponent;
  }
  return integer_digits - 1 - leading_zeros + exponent;
}

// Decimal float syntax: digits with an optional point (at least one digit in all), then an
// optional exponent with at least one digit.
bool is_decimal_literal(std::string_view s) {
  size_t i = 0, digits = 0;
  while (i < s.size() && is_digit(s[i])) ++i, ++digits;
  if (i < s.size() && s[i] == '.') {
    ++i;
    while (i < s.size() && is_digit(s[i])) ++i, ++digits;
  }
  if (digits == 0) return false;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    ++i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    size_t exponent_digits = 0;
    while (i < s.size() && is_digit(s[i])) ++i, ++exponent_digits;
    if (exponent_digits == 0) return false;
  }
  return i == s.size();
}

// Appends the run of digits at s[i] to `mantissa`; fails past 19 digits in all.
[[maybe_unused]] bool append_digits(std::string_view s, size_t& i, uint64_t& mantissa,
                                    int& count) {
  for (; i < s.size() && is_digit(s[i]); ++i) {
    if (++count > 19) return false;
    mantissa = mantissa * 10 + uint64_t(s[i] - '0');
  }
  return true;
}

// Plain decimals ("-10.4994", "3e-5") with at most 19 significant digits and a small
// exponent, rounded to the nearest float without from_chars: the digits m and the power
// of ten are exact in the 64-bit significand of x87 long double, so one multiplication or
// division rounds m * 10^e correctly to 64 bits, and rounding that to float's 24 bits is
// correct unless it sits exactly on a halfway point between two floats. Returns false
// (leaving the work to from_chars) for that case, for results outside the normal float
// range, and for anything it does not recognise.
bool parse_plain_decimal(std::string_view s, float& out) {
  if constexpr (std::numeric_limits<long double>::digits != 64) {
    return false;
  } else {
    uint64_t mantissa = 0;
    int significant = 0, exponent = 0;
    size_t i = 0;
    while (i < s.size() && s[i] == '0') ++i;
    if (!append_digits(s, i, mantissa, significant)) return false;
    bool any_digit = i > 0;
    if (i < s.size() && s[i] == '.') {
      size_t fraction = ++i;
      if (mantissa == 0) {
        while (i < s.size() && s[i] == '0') ++i;
        exponent -= int(i - fraction);
      }
      size_t run = i;
      if (!append_digits(s, i, mantissa, significant)) return false;
      exponent -= int(i - run);
      any_digit = any_digit || i > fraction;
    }
    if (!any_digit) return false;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
      ++i;
      bool negative = i < s.size() && s[i] == '-';
      if (i < s.size() && (s[i] == '-' || s[i] == '+')) ++i;
      int value = 0, exponent_digits = 0;
      for (; i < s.size() && is_digit(s[i]) && exponent_digits < 4; ++i, ++exponent_digits) {
        value = value * 10 + (s[i] - '0');
      }
      if (exponent_digits == 0) return false;
      exponent += negative ? -value : value;
    }
    if (i != s.size()) return false;
    if (mantissa == 0) {
      out = 0.0f;
      return true;
    }
    if (exponent < -27 || exponent > 27) return false;
    static constexpr auto kPowers = [] {
      std::array<long double, 28> powers{};
      long double power = 1;
      for (long double& p : powers) p = std::exchange(power, power * 10);
      return powers;
    }();
    long double value = exponent < 0 ? (long double)mantissa / kPowers[size_t(-exponent)]
                                     : (long double)mantissa * kPowers[size_t(exponent)];
    if (!(value >= (long double)std::numeric_limits<float>::min() &&
          value <= (long double)std::numeric_limits<float>::max())) {
      return false;
    }
    uint64_t significand;
    std::memcpy(&significand, &value, sizeof significand);  // x87: the 64 bits come first
    if ((significand & ((uint64_t(1) << 40) - 1)) == uint64_t(1) << 39) return false;
    out = float(value);
    return true;
  }
}

}  // namespace

const char* parse_id(std::string_view field, uint32_t& id) {
  if (field.empty()) return "cannot parse integer from empty string";
  std::string_view digits = field;
  if (digits.size() > 1 && digits[0] == '+') digits.remove_prefix(1);
  uint64_t value = 0;
  for (char c : digits) {
    if (!is_digit(c)) return "invalid digit found in string";
    value = value * 10 + uint64_t(c - '0');
    if (value > std::numeric_limits<uint32_t>::max()) {
      return "number too large to fit in target type";
    }
  }
  id = uint32_t(value);
  return nullptr;
}

const char* parse_score(std::string_view field, float& score) {
  if (field.empty()) return "cannot parse float from empty string";
  std::string_view body = field;
  bool negative = false;
  if (body[0] == '+' || body[0] == '-') {
    negative = body[0] == '-';
    body.remove_prefix(1);
  }
  if (float value; parse_plain_decimal(body, value)) {
    score = negative ? -value : value;
    return nullptr;
  }
  if (equals_ignoring_case(body, "inf") || equals_ignoring_case(body, "infinity")) {
    score =
        negative ? -std::numeric_limits<float>::infinity() : std::numeric_limits<float>::infinity();
    return nullptr;
  }
  if (equals_ignoring_case(body, "nan")) {
    score = negative ? -std::numeric_limits<float>::quiet_NaN()
                     : std::numeric_limits<float>::quiet_NaN();
    return nullptr;
  }
  if (!is_decimal_literal(body)) return "invalid float literal";
  // from_chars rounds the decimal text straight to the nearest float.
  float value = 0;
  auto [end, error] =
      std::from_chars(body.data(), body.data() + body.size(), value, std::chars_format::general);
  if (error == std::errc::result_out_of_range) {
    value = magnitude(body) > 0 ? std::numeric_limits<float>::infinity() : 0.0f;
  } else if (error != std::errc() || end != body.data() + body.size()) {
    return "invalid float literal";
  }
  score = negative ? -value : value;
  return nullptr;
}

bool is_skipped(std::string_view line) {
  if (!line.empty() && line[0] == '#') return true;
  return utf8::is_blank(line);
}

Result<EntryLine> parse_entry(std::string_view line, size_t line_number, std::string_view prefix) {
  std::string_view fields[3];
  size_t count = 0;
  size_t start = 0;
  while (true) {
    size_t tab = line.find('\t', start);
    std::string_view field = line.substr(start, tab == std::string_view::npos ? tab : tab - start);
    if (count < 3) fields[count] = field;
    ++count;
    if (tab == std::string_view::npos) break;
    start = tab + 1;
  }
  auto head = [&] { return std::string(prefix) + " " + std::to_string(line_number) + ": "; };
  if (count != 3) {
    return CoreError::invalid_model(head() + "expected 3 columns, got " + std::to_string(count) +
                                    " (line: '" + std::string(line) + "')");
  }
  EntryLine entry{fields[0], 0, 0.0f};
  if (const char* reason = parse_id(fields[1], entry.id)) {
    return CoreError::invalid_model(head() + "invalid id '" + std::string(fields[1]) + "' (" +
                                    reason + ")");
  }
  if (entry.id > kMaxSupportedId) {
    return CoreError::invalid_model(head() + "id " + std::to_string(entry.id) +
                                    " exceeds the largest supported id " +
                                    std::to_string(kMaxSupportedId));
  }
  if (const char* reason = parse_score(fields[2], entry.score)) {
    return CoreError::invalid_model(head() + "invalid score '" + std::string(fields[2]) + "' (" +
                                    reason + ")");
  }
  return entry;
}

}  // namespace sarfan::tsv
