#pragma once

// Normalization written as defined: NFC of the whole text by utf8proc, then each switch as
// its own pass, in order. The oracle of the normalizer's one-pass implementation.
#include <utf8proc.h>

#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "test_text.h"
#include "tokenizer/normalizer.h"
#include "vocab/utf8.h"

namespace sarfan::testing_reference {

constexpr char32_t kDropped = 0xFFFFFFFF;

// The step-by-step definition: NFC of the whole text by utf8proc, then each switch as its
// own pass, in order.
inline std::string reference_normalize(const NormalizerConfig& config, std::string_view text) {
  utf8proc_uint8_t* nfc = nullptr;
  utf8proc_ssize_t n = utf8proc_map(reinterpret_cast<const utf8proc_uint8_t*>(text.data()),
                                    utf8proc_ssize_t(text.size()), &nfc,
                                    utf8proc_option_t(UTF8PROC_STABLE | UTF8PROC_COMPOSE));
  std::vector<char32_t> cps =
      testing_text::code_points(std::string_view(reinterpret_cast<char*>(nfc), size_t(n)));
  std::free(nfc);
  auto map = [&](auto f) {
    std::vector<char32_t> next;
    for (char32_t c : cps) {
      char32_t m = f(c);
      if (m != kDropped) next.push_back(m);
    }
    cps = next;
  };
  if (config.fold_presentation_forms) {
    // Each lam-alef ligature becomes lam and the alef it holds; U+FE8E becomes alef.
    std::vector<char32_t> next;
    for (char32_t c : cps) {
      if (c >= 0xFEF5 && c <= 0xFEFC) {
        const char32_t alefs[4] = {0x0622, 0x0623, 0x0625, 0x0627};
        next.push_back(0x0644);
        next.push_back(alefs[(c - 0xFEF5) / 2]);
      } else {
        next.push_back(c == 0xFE8E ? 0x0627 : c);
      }
    }
    cps = next;
  }
  if (config.remove_diacritics) {
    map([](char32_t c) -> char32_t {
      return (c >= 0x064B && c <= 0x065F) || c == 0x0670 ? kDropped : c;
    });
  }
  if (config.remove_tatweel) map([](char32_t c) -> char32_t { return c == 0x0640 ? kDropped : c; });
  if (config.normalize_alef) {
    map([](char32_t c) -> char32_t { return c == 0x0622 ? 0x0627 : c; });
    map([](char32_t c) -> char32_t { return c == 0x0623 ? 0x0627 : c; });
    map([](char32_t c) -> char32_t { return c == 0x0625 ? 0x0627 : c; });
  }
  if (config.normalize_alef_maqsura)
    map([](char32_t c) -> char32_t { return c == 0x0649 ? 0x064A : c; });
  if (config.normalize_taa_marbuta)
    map([](char32_t c) -> char32_t { return c == 0x0629 ? 0x0647 : c; });
  if (config.collapse_whitespace) {
    std::vector<char32_t> next;
    for (size_t i = 0; i < cps.size(); ++i) {
      bool ws = utf8::is_white_space(cps[i]);
      if (!ws) {
        next.push_back(cps[i]);
      } else if (i == 0 || !utf8::is_white_space(cps[i - 1])) {
        next.push_back(' ');
      }
    }
    while (!next.empty() && utf8::is_white_space(next.back())) next.pop_back();
    size_t lead = 0;
    while (lead < next.size() && utf8::is_white_space(next[lead])) ++lead;
    cps.assign(next.begin() + lead, next.end());
  }
  return testing_text::u8(cps);
}

}  // namespace sarfan::testing_reference
