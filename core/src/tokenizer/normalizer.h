#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace sarfan {

// The switches of normalization; every tokenizer uses the defaults.
struct NormalizerConfig {
  bool remove_diacritics = false;       // drop U+064B..U+065F and U+0670
  bool remove_tatweel = true;           // drop U+0640
  bool normalize_alef = true;           // U+0622, U+0623, U+0625 -> U+0627
  bool normalize_alef_maqsura = true;   // U+0649 -> U+064A
  bool normalize_taa_marbuta = true;    // U+0629 -> U+0647
  bool fold_presentation_forms = true;  // U+FEF5..U+FEFC -> U+0644 + its alef, U+FE8E -> U+0627
  bool collapse_whitespace = true;      // whitespace runs -> one U+0020, ends trimmed
};

// A normalized text with, for each of its characters, the span [first, second) of the
// caller's characters it came from (aligned_normalize.cc says which).
struct AlignedText {
  std::string text;
  std::vector<std::pair<size_t, size_t>> sources;
  size_t input_chars = 0;  // characters of the caller's text, ill-formed subparts one each
};

// NFC, then the Arabic foldings, then the whitespace clean-up, as one pass that writes one
// output string. Text already in NFC is copied through; utf8proc runs only on the
// segments that the quick check cannot pass. The foldings are per-character maps, so
// applying their composition in one step equals applying them one after another.
class Normalizer {
 public:
  explicit Normalizer(const NormalizerConfig& config = {});

  // Ill-formed UTF-8 in `text` reads as U+FFFD (one per maximal subpart), so the
  // output is always valid UTF-8.
  std::string normalize(std::string_view text) const;
  // The same, written into `buffer` while it fits there and into `storage` otherwise;
  // the result lives in one of them.
  std::string_view normalize(std::string_view text, std::span<char> buffer,
                             std::string& storage) const;
  // The same text, character for character, with where each character came from. A plain
  // pass over decoded characters, for callers that ask for input offsets; the fast paths
  // above never pay for it.
  AlignedText normalize_aligned(std::string_view text) const;

 private:
  friend class NormalizeRun;
  static constexpr char32_t kDelete = 0xFFFFFFFF;

  // The folded form of `c`, or kDelete. A lam-alef ligature folds to lam here; its alef
  // follows from ligature_alef().
  char32_t fold(char32_t c) const {
    if (c < 0x0600) return c;
    if (c < 0x0700) return arabic_[c - 0x0600];
    if (c >= 0xFE8E && fold_presentation_forms_) {
      if (c == 0xFE8E) return 0x0627;
      if (c >= 0xFEF5 && c <= 0xFEFC) return 0x0644;
    }
    return c;
  }
  // The alef that follows the lam of a folded lam-alef ligature (its compatibility
  // decomposition), itself folded as any alef; 0 for every other character.
  char32_t ligature_alef(char32_t c) const {
    if (c < 0xFEF5 || c > 0xFEFC || !fold_presentation_forms_) return 0;
    static constexpr char32_t kAlefs[4] = {0x0622, 0x0623, 0x0625, 0x0627};
    return arabic_[kAlefs[(c - 0xFEF5) / 2] - 0x0600];
  }

  std::array<char32_t, 256> arabic_;  // fold() of U+0600..U+06FF
  // For U+0600..U+067F that pass NFC's quick check as starters and fold to a character
  // of the same range (most of Arabic text): that character's two UTF-8 bytes as they lie
  // in memory; 0 for the others.
  std::array<uint16_t, 128> plain_arabic_utf8_;
  bool plain_blocks_;  // the plain loop may take sixteen bytes at a time (plain_block.h)
  bool plain_marks_;   // the plain loop may take the vowel marks U+064B..U+0652, kept
  bool fold_presentation_forms_;
  bool collapse_whitespace_;
};

// Normalizes `text` with `config`.
std::string normalize_text(const NormalizerConfig& config, std::string_view text);

}  // namespace sarfan
