#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// UTF-8 and White_Space helpers shared by the loader, the normalizer, the segmenter and
// the decoder.
namespace sarfan::utf8 {

// The Unicode White_Space property: exactly these 25 code points.
constexpr bool is_white_space(char32_t c) {
  if (c <= 0x20) return c == 0x20 || (c >= 0x09 && c <= 0x0D);
  if (c < 0x85) return false;
  return c == 0x85 || c == 0xA0 || c == 0x1680 || (c >= 0x2000 && c <= 0x200A) || c == 0x2028 ||
         c == 0x2029 || c == 0x202F || c == 0x205F || c == 0x3000;
}

constexpr bool is_continuation(unsigned char b) {
  return (b & 0xC0) == 0x80;
}

// Length of the sequence that starts with lead byte `b` (1 for a stray byte).
constexpr size_t sequence_length(unsigned char b) {
  return b < 0xC0 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
}

// Decodes the code point at `p` in text known to be valid UTF-8 and advances `p`.
inline char32_t decode_valid(const unsigned char*& p) {
  unsigned char b = *p++;
  if (b < 0x80) return b;
  if (b < 0xE0) {
    char32_t c = (char32_t(b & 0x1F) << 6) | (p[0] & 0x3F);
    p += 1;
    return c;
  }
  if (b < 0xF0) {
    char32_t c = (char32_t(b & 0x0F) << 12) | (char32_t(p[0] & 0x3F) << 6) | (p[1] & 0x3F);
    p += 2;
    return c;
  }
  char32_t c = (char32_t(b & 0x07) << 18) | (char32_t(p[0] & 0x3F) << 12) |
               (char32_t(p[1] & 0x3F) << 6) | (p[2] & 0x3F);
  p += 3;
  return c;
}

// Length of the well-formed sequence at [p, end), or 0 when it is ill-formed
// (Unicode Table 3-7: no overlongs, no surrogates, nothing above U+10FFFF).
inline size_t valid_sequence_length(const unsigned char* p, const unsigned char* end) {
  unsigned char b = p[0];
  if (b < 0x80) return 1;
  size_t avail = size_t(end - p);
  if (b >= 0xC2 && b <= 0xDF) return avail >= 2 && is_continuation(p[1]) ? 2 : 0;
  if (b >= 0xE0 && b <= 0xEF) {
    if (avail < 3) return 0;
    unsigned char lo = b == 0xE0 ? 0xA0 : 0x80, hi = b == 0xED ? 0x9F : 0xBF;
    return p[1] >= lo && p[1] <= hi && is_continuation(p[2]) ? 3 : 0;
  }
  if (b >= 0xF0 && b <= 0xF4) {
    if (avail < 4) return 0;
    unsigned char lo = b == 0xF0 ? 0x90 : 0x80, hi = b == 0xF4 ? 0x8F : 0xBF;
    return p[1] >= lo && p[1] <= hi && is_continuation(p[2]) && is_continuation(p[3]) ? 4 : 0;
  }
  return 0;
}

// Length of the maximal subpart at [p, end) where valid_sequence_length is 0: the longest
// prefix of a well-formed sequence, at least one byte (Unicode chapter 3, U+FFFD
// substitution of maximal subparts).
inline size_t maximal_subpart_length(const unsigned char* p, const unsigned char* end) {
  unsigned char b = p[0];
  size_t avail = size_t(end - p);
  unsigned char lo = 0x80, hi = 0xBF;
  size_t length;
  if (b >= 0xE0 && b <= 0xEF) {
    length = 3;
    if (b == 0xE0) lo = 0xA0;
    if (b == 0xED) hi = 0x9F;
  } else if (b >= 0xF0 && b <= 0xF4) {
    length = 4;
    if (b == 0xF0) lo = 0x90;
    if (b == 0xF4) hi = 0x8F;
  } else {
    return 1;  // a stray continuation, C0, C1, F5..FF, or C2..DF without continuation
  }
  if (avail < 2 || p[1] < lo || p[1] > hi) return 1;
  size_t k = 2;
  while (k < length && k < avail && is_continuation(p[k])) ++k;
  return k;
}

// Decodes the code point at `p` and advances `p`; an ill-formed sequence reads as U+FFFD
// and advances past its maximal subpart. `valid` tells which happened.
inline char32_t decode_checked(const unsigned char*& p, const unsigned char* end, bool& valid) {
  size_t n = valid_sequence_length(p, end);
  valid = n > 0;
  if (!valid) {
    p += maximal_subpart_length(p, end);
    return 0xFFFD;
  }
  return decode_valid(p);
}

// True when a block of eight bytes holds only ASCII and whole two-byte sequences with lead
// bytes C2..DF (Arabic, Hebrew, Cyrillic, Greek, Latin supplements), where `carry` is 0x80
// when the byte before the block leads a sequence (the block's first byte must continue
// it) and 0 otherwise. On success `carry` becomes the same for the block's last byte.
inline bool is_ascii_or_two_byte_block(uint64_t block, uint64_t& carry) {
  constexpr uint64_t kBit7 = 0x8080808080808080ull;
  uint64_t high = block & kBit7;
  uint64_t lead = high & ((block << 1) & kBit7);    // 11xxxxxx
  uint64_t cont = high & ~((block << 1) & kBit7);   // 10xxxxxx
  if (lead & ((block << 2) & kBit7)) return false;  // 111xxxxx: a longer sequence
  if (lead & ~((block << 3) | (block << 4) | (block << 5) | (block << 6)) & kBit7) {
    return false;  // C0 or C1: overlong
  }
  // On little-endian loads byte i + 1 sits 8 bits above byte i: every lead is followed by
  // a continuation and every continuation follows a lead.
  if constexpr (std::endian::native != std::endian::little) return false;
  if (cont != ((lead << 8) | carry)) return false;
  carry = lead >> 56;
  return true;
}

#if defined(__SSE2__)
// The lead bytes of two-byte sequences and, one bit each, the continuation bytes of the
// sixteen bytes at p, when each of its other bytes is ASCII; false otherwise.
[[gnu::always_inline]] inline bool two_byte_block_masks(const unsigned char* p, uint32_t& lead,
                                                        uint32_t& cont) {
  __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  // As signed bytes: ASCII 0..127, continuation bytes -128..-65, C2..DF -62..-33; the
  // latter moved down by 66 are the only ones below -98.
  uint32_t high = uint32_t(_mm_movemask_epi8(bytes));
  cont = uint32_t(_mm_movemask_epi8(_mm_cmplt_epi8(bytes, _mm_set1_epi8(-64))));
  lead = uint32_t(_mm_movemask_epi8(
      _mm_cmplt_epi8(_mm_add_epi8(bytes, _mm_set1_epi8(-66)), _mm_set1_epi8(-98))));
  return (lead | cont) == high;
}

// Passes sixteen-byte blocks of ASCII and whole two-byte sequences with lead bytes C2..DF
// from p, end - p >= 17; returns where they stop, at the start of a sequence.
[[gnu::noinline]] inline const unsigned char* skip_two_byte_blocks(const unsigned char* p,
                                                                   const unsigned char* end) {
  uint32_t carry = 0;  // 1 when the byte before the block leads a sequence
  uint32_t lead, cont;
  while (end - p >= 16) {
    // The byte after each lead (and only such a byte) continues a sequence.
    if (!two_byte_block_masks(p, lead, cont) || cont != (((lead << 1) | carry) & 0xFFFF)) {
      return p - carry;
    }
    carry = lead >> 15;
    p += 16;
  }
  // The last sixteen bytes, overlapping those passed: the byte before them leads a sequence
  // exactly when it is a lead byte, as everything from the first block up to p is ASCII and
  // two-byte sequences. (That byte only decides the block's first byte, which was checked
  // already: a wrong guess could only fail the block and leave the rest to the byte loop.)
  // A text that passes here ends with a whole sequence.
  const unsigned char* last = end - 16;
  uint32_t last_carry = end[-17] >= 0xC2 && end[-17] <= 0xDF;
  if (p < end && two_byte_block_masks(last, lead, cont) &&
      cont == (((lead << 1) | last_carry) & 0xFFFF) && (lead >> 15) == 0) {
    return end;
  }
  return p - carry;
}
#endif

inline bool is_valid(std::string_view text) {
  auto p = reinterpret_cast<const unsigned char*>(text.data());
  auto end = p + text.size();
  // Whether the blocks passed anything the last time: text of longer sequences (CJK, emoji)
  // then goes on byte by byte without trying a block at every character.
  [[maybe_unused]] bool blocks_pass = true;  // read by the SSE2 path only
  while (p < end) {
    const unsigned char* from = p;
#if defined(__SSE2__)
    // Long runs pass sixteen bytes a block first, again after each longer sequence (a rare
    // symbol in Arabic text must not leave the rest to the smaller blocks); short texts, such
    // as vocabulary tokens, do not repay the call.
    if (blocks_pass && end - p >= 32) p = skip_two_byte_blocks(p, end);
#endif
    // Eight bytes at a time while the text is ASCII and two-byte sequences (a benchmark
    // on 64k words of text spent 8 instructions a byte here byte by byte, 2 this way).
    // The step is always eight bytes, a sequence that crosses blocks being carried over,
    // so the next load waits on no result of this one.
    uint64_t carry = 0;
    while (end - p >= 8) {
      uint64_t block;
      std::memcpy(&block, p, 8);
      if (!is_ascii_or_two_byte_block(block, carry)) break;
      p += 8;
    }
    if (carry != 0) --p;  // the lead whose sequence the blocks did not finish
    blocks_pass = p - from >= 8;
    if (p == end) break;
    size_t n = valid_sequence_length(p, end);
    if (n == 0) return false;
    p += n;
  }
  return true;
}

// Appends `bytes` to `out` as valid UTF-8: each maximal ill-formed subsequence becomes
// one U+FFFD.
inline void append_repaired(std::string& out, std::string_view bytes) {
  auto p = reinterpret_cast<const unsigned char*>(bytes.data());
  auto end = p + bytes.size();
  while (p < end) {
    size_t n = valid_sequence_length(p, end);
    if (n > 0) {
      out.append(reinterpret_cast<const char*>(p), n);
      p += n;
    } else {
      out.append("\xEF\xBF\xBD");
      p += maximal_subpart_length(p, end);
    }
  }
}

// Number of code points in valid UTF-8 text: the bytes that are not continuation bytes,
// counted eight at a time.
inline size_t count_chars(std::string_view text) {
  constexpr uint64_t kBit7 = 0x8080808080808080ull;
  const char* p = text.data();
  size_t size = text.size(), continuations = 0, i = 0;
  for (; i + 8 <= size; i += 8) {
    uint64_t block;
    std::memcpy(&block, p + i, 8);
    uint64_t marks = (block & ~(block << 1) & kBit7) >> 7;  // 1 in each 10xxxxxx byte
    continuations += (marks * 0x0101010101010101ull) >> 56;
  }
  for (; i < size; ++i) continuations += is_continuation(static_cast<unsigned char>(p[i]));
  return size - continuations;
}

// Writes the UTF-8 form of `c` to `out` (room for 4 bytes) and returns its length.
inline size_t encode(char32_t c, char* out) {
  if (c < 0x80) {
    out[0] = char(c);
    return 1;
  }
  if (c < 0x800) {
    out[0] = char(0xC0 | (c >> 6));
    out[1] = char(0x80 | (c & 0x3F));
    return 2;
  }
  if (c < 0x10000) {
    out[0] = char(0xE0 | (c >> 12));
    out[1] = char(0x80 | ((c >> 6) & 0x3F));
    out[2] = char(0x80 | (c & 0x3F));
    return 3;
  }
  out[0] = char(0xF0 | (c >> 18));
  out[1] = char(0x80 | ((c >> 12) & 0x3F));
  out[2] = char(0x80 | ((c >> 6) & 0x3F));
  out[3] = char(0x80 | (c & 0x3F));
  return 4;
}

inline void append(std::string& out, char32_t c) {
  char bytes[4];
  out.append(bytes, encode(c, bytes));
}

// True when valid UTF-8 text is empty or holds only White_Space characters.
inline bool is_blank(std::string_view text) {
  auto p = reinterpret_cast<const unsigned char*>(text.data());
  auto end = p + text.size();
  while (p < end) {
    if (!is_white_space(decode_valid(p))) return false;
  }
  return true;
}

}  // namespace sarfan::utf8
