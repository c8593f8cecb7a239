#pragma once

#include <cstdint>

// Per-code-point NFC data for the normalizer's fast path, generated at build time from
// utf8proc (see core/gen/gen_nfc_table.cc).
namespace sarfan::nfc {

enum class QuickCheck : uint8_t { kYes = 0, kMaybe = 1, kNo = 2 };

extern const char kUnicodeVersion[];
extern const uint16_t kStage1[];
extern const uint16_t kStage2[];

// Canonical combining class in the low byte, QuickCheck in the high byte.
inline uint16_t properties(char32_t c) {
  return kStage2[(uint32_t(kStage1[c >> 8]) << 8) | (c & 0xFF)];
}
inline uint8_t combining_class(uint16_t props) {
  return uint8_t(props);
}
inline QuickCheck quick_check(uint16_t props) {
  return QuickCheck(props >> 8);
}

}  // namespace sarfan::nfc
