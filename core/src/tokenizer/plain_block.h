#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace sarfan::plain_block {

// Sixteen bytes of text at a time for the normalizer's plain loop, with the default
// switches: the longest start of a block made of printable ASCII, spaces with no two side
// by side, and Arabic letters of U+0600..U+067F that are NFC starters is written out with
// the letter foldings applied (U+0622, U+0623, U+0625 -> U+0627, U+0629 -> U+0647, U+0649
// -> U+064A); the character after it is left to the loop. Words are too short for the loop's
// per-word branches: one mispredicted run end a word cost more than the rest of its work.

inline constexpr bool kAvailable =
#if defined(__SSE2__)
    true;
#else
    false;
#endif

#if defined(__SSE2__)
namespace detail {
inline __m128i bytes_of(int b) {
  return _mm_set1_epi8(char(b));
}
// Bytes in [lo, hi], compared unsigned.
inline __m128i in_range(__m128i v, int lo, int hi) {
  __m128i shifted = _mm_sub_epi8(v, bytes_of(lo));
  return _mm_cmpeq_epi8(_mm_min_epu8(shifted, bytes_of(hi - lo)), shifted);
}
inline __m128i select(__m128i mask, __m128i yes, __m128i no) {
  return _mm_or_si128(_mm_and_si128(mask, yes), _mm_andnot_si128(mask, no));
}
}  // namespace detail
#endif

// Writes the block at `p` (16 readable bytes, `p` at a character's start) to `w` (16
// writable bytes) and returns how many of its bytes, from the start, are whole plain
// characters; those are written, the bytes after them are not meaningful.
inline size_t write(const unsigned char* p, char* w) {
#if defined(__SSE2__)
  using namespace detail;
  const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  const __m128i printable = _mm_cmpgt_epi8(v, bytes_of(0x20));  // 21..7F, signed compare
  const __m128i space = _mm_cmpeq_epi8(v, bytes_of(0x20));
  const __m128i d8 = _mm_cmpeq_epi8(v, bytes_of(0xD8));
  const __m128i d9 = _mm_cmpeq_epi8(v, bytes_of(0xD9));
  // Byte i of these holds the flag of byte i - 1.
  const __m128i after_d8 = _mm_slli_si128(d8, 1);
  const __m128i after_d9 = _mm_slli_si128(d9, 1);
  const __m128i trail = _mm_cmpeq_epi8(_mm_and_si128(v, bytes_of(0xC0)), bytes_of(0x80));

  const __m128i d8_letter =
      _mm_andnot_si128(in_range(v, 0x90, 0x9A), _mm_and_si128(after_d8, trail));
  const __m128i d9_ranges = _mm_or_si128(
      _mm_or_si128(in_range(v, 0x81, 0x8A), in_range(v, 0xA0, 0xAF)), in_range(v, 0xB1, 0xBF));
  const __m128i d9_letter = _mm_and_si128(d9_ranges, _mm_and_si128(after_d9, trail));
  const __m128i letter_trail = _mm_or_si128(d8_letter, d9_letter);
  // A lead counts when the byte after it, in the block, completes a plain letter.
  const __m128i letter_lead = _mm_and_si128(_mm_or_si128(d8, d9), _mm_srli_si128(letter_trail, 1));
  const __m128i doubled_space = _mm_and_si128(space, _mm_slli_si128(space, 1));
  const __m128i ok = _mm_or_si128(_mm_or_si128(printable, _mm_andnot_si128(doubled_space, space)),
                                  _mm_or_si128(letter_lead, letter_trail));
  unsigned bad = ~unsigned(_mm_movemask_epi8(ok)) & 0xFFFFu;
  size_t taken = bad == 0 ? 16 : size_t(std::countr_zero(bad));
  if (taken == 0) return 0;

  __m128i out = v;
  const __m128i alef =
      _mm_and_si128(after_d8, _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, bytes_of(0xA2)),
                                                        _mm_cmpeq_epi8(v, bytes_of(0xA3))),
                                           _mm_cmpeq_epi8(v, bytes_of(0xA5))));
  out = select(alef, bytes_of(0xA7), out);
  const __m128i taa = _mm_and_si128(after_d8, _mm_cmpeq_epi8(v, bytes_of(0xA9)));
  out = select(taa, bytes_of(0x87), out);
  out = _mm_or_si128(out, _mm_and_si128(_mm_srli_si128(taa, 1), bytes_of(0x01)));  // D8 -> D9
  const __m128i maqsura = _mm_and_si128(after_d9, _mm_cmpeq_epi8(v, bytes_of(0x89)));
  out = select(maqsura, bytes_of(0x8A), out);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(w), out);
  return taken;
#else
  (void)p;
  (void)w;
  return 0;
#endif
}

}  // namespace sarfan::plain_block
