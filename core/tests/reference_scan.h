#pragma once

// The segmentation scan written as defined, step by step: the oracle that the engine's
// incremental scan is compared against, in the unit tests and the fuzz targets.
#include <algorithm>
#include <cstdio>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "test_text.h"
#include "tokenizer/tokenizer.h"
#include "vocab/utf8.h"

namespace sarfan::testing_reference {

struct Step {
  uint32_t id;
  std::string piece;
  size_t start, end;
  bool operator==(const Step&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const Step& s) {
  return out << "(" << s.id << " '" << s.piece << "' " << s.start << "-" << s.end << ")";
}

// The scan as written: every candidate length from the longest down, candidate strings
// built and looked up one by one.
inline std::vector<Step> naive_scan(const Tokenizer& tok, const std::string& text,
                                    const DialectPlugin* plugin) {
  std::vector<char32_t> c = testing_text::code_points(text);
  const size_t n = c.size();
  auto lookup = [&](const std::string& s) -> std::optional<uint32_t> {
    if (plugin) {
      if (auto hit = plugin->lookup(s)) return hit->id;
    }
    if (auto hit = tok.vocab().lookup(s)) return hit->id;
    return std::nullopt;
  };
  std::vector<Step> steps = {{1, "[BOS]", 0, 0}};
  size_t i = 0;
  while (i < n) {
    if (utf8::is_white_space(c[i])) {
      ++i;
      continue;
    }
    bool word_start = i == 0 || utf8::is_white_space(c[i - 1]);
    size_t longest = std::min(n - i, tok.max_token_len());
    bool found = false;
    for (size_t d = longest; d >= 1 && !found; --d) {
      std::vector<char32_t> part(c.begin() + i, c.begin() + i + d);
      bool has_space = false;
      for (char32_t ch : part) has_space |= utf8::is_white_space(ch);
      if (has_space) continue;
      std::string s = testing_text::u8(part);
      std::vector<std::string> candidates;
      if (word_start) candidates.push_back("\xE2\x96\x81" + s);
      candidates.push_back(s);
      for (const std::string& candidate : candidates) {
        if (auto id = lookup(candidate)) {
          steps.push_back({*id, candidate, i, i + d});
          i += d;
          found = true;
          break;
        }
      }
    }
    if (found) continue;
    for (unsigned char b : testing_text::u8({c[i]})) {
      std::string piece = testing_text::byte_piece(b);
      auto id = lookup(piece);
      steps.push_back(id ? Step{*id, piece, i, i + 1} : Step{3, "[UNK]", i, i + 1});
    }
    ++i;
  }
  steps.push_back({2, "[EOS]", n, n});
  return steps;
}

}  // namespace sarfan::testing_reference
