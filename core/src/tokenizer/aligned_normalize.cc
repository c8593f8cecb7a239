// Normalization that also tells where each output character came from in the caller's
// text, counted in characters (an ill-formed subpart counts as the one U+FFFD it reads as).
// It runs the steps one after another on decoded characters, each carrying its source span:
//
// - NFC works segment by segment, a segment being a character that passes the quick check
//   as a starter and the characters up to the next such one. A segment that NFC leaves as
//   it is keeps one span per character; every character of a segment that NFC changes
//   (composes, decomposes or reorders) gets the span of the whole segment.
// - A folded character keeps its span; both halves of an unfolded lam-alef ligature get the
//   ligature's span; a removed character (tatweel, a removed mark) leaves nothing.
// - A collapsed whitespace run becomes one space whose span runs from the run's first
//   whitespace character to its last; runs trimmed at the ends leave nothing.
//
// Spans therefore never decrease in start or end from one character to the next, and the
// smallest span holding those of characters i..j is [sources[i].first, sources[j].second).
#include <algorithm>
#include <span>
#include <string_view>
#include <vector>

#include "tokenizer/nfc_properties.h"
#include "tokenizer/nfc_segment.h"
#include "tokenizer/normalizer.h"
#include "vocab/utf8.h"

namespace sarfan {

namespace {

using Span = std::pair<size_t, size_t>;

// True when a segment starts at `c`: NFC never changes text across the place before it.
bool starts_segment(char32_t c) {
  if (c < 0x300) return true;
  uint16_t props = nfc::properties(c);
  return nfc::combining_class(props) == 0 && nfc::quick_check(props) == nfc::QuickCheck::kYes;
}

// True when the quick check shows that NFC leaves `segment` as it is: every character
// passes, and the combining classes of its marks do not fall.
bool passes_quick_check(std::span<const char32_t> segment) {
  uint8_t previous = 0;
  for (char32_t c : segment) {
    uint16_t props = c < 0x300 ? 0 : nfc::properties(c);
    uint8_t ccc = nfc::combining_class(props);
    if (nfc::quick_check(props) != nfc::QuickCheck::kYes || (ccc != 0 && ccc < previous))
      return false;
    previous = ccc;
  }
  return true;
}

std::vector<char32_t> decode(std::string_view text) {
  std::vector<char32_t> chars;
  chars.reserve(text.size());
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const auto* end = p + text.size();
  while (p < end) {
    bool valid;
    chars.push_back(utf8::decode_checked(p, end, valid));
  }
  return chars;
}

// The whitespace clean-up, on folded characters as the foldings give them out, writing
// the result.
class CollapsingWriter {
 public:
  CollapsingWriter(bool collapse_whitespace, AlignedText& out)
      : collapse_(collapse_whitespace), out_(out) {}

  void add(char32_t c, Span source) {
    if (collapse_ && utf8::is_white_space(c)) {
      if (!in_run_) run_ = source;
      run_.second = source.second;
      in_run_ = true;
      return;
    }
    // A run becomes one space spanning it, unless nothing stands before it (trimmed).
    if (in_run_ && !out_.sources.empty()) write(U' ', run_);
    in_run_ = false;
    write(c, source);
  }

 private:
  void write(char32_t c, Span source) {
    utf8::append(out_.text, c);
    out_.sources.push_back(source);
  }

  bool collapse_;
  AlignedText& out_;
  bool in_run_ = false;  // a whitespace run is pending; a run at the end is trimmed
  Span run_;
};

}  // namespace

AlignedText Normalizer::normalize_aligned(std::string_view text) const {
  std::vector<char32_t> input = decode(text);
  AlignedText aligned;
  aligned.input_chars = input.size();
  aligned.text.reserve(text.size());
  aligned.sources.reserve(input.size());
  CollapsingWriter out(collapse_whitespace_, aligned);
  auto add = [&](char32_t c, Span source) {
    char32_t folded = fold(c);
    if (folded == kDelete) return;
    out.add(folded, source);
    if (char32_t alef = ligature_alef(c)) out.add(alef, source);
  };
  std::vector<char32_t> segment;
  std::vector<int> scratch;
  for (size_t begin = 0; begin < input.size();) {
    size_t end = begin + 1;
    while (end < input.size() && !starts_segment(input[end])) ++end;
    std::span<const char32_t> original(input.data() + begin, end - begin);
    bool kept = passes_quick_check(original);
    if (!kept) {
      segment.assign(original.begin(), original.end());
      nfc_segment(segment, scratch);
      kept = std::ranges::equal(segment, original);
    }
    if (kept) {
      for (size_t k = begin; k < end; ++k) add(input[k], {k, k + 1});
    } else {
      for (char32_t c : segment) add(c, {begin, end});
    }
    begin = end;
  }
  return aligned;
}

}  // namespace sarfan
