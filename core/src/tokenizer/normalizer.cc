#include "tokenizer/normalizer.h"

#include <algorithm>
#include <cstring>
#include <span>
#include <vector>

#include "tokenizer/nfc_properties.h"
#include "tokenizer/nfc_segment.h"
#include "tokenizer/plain_block.h"
#include "vocab/utf8.h"

namespace sarfan {

Normalizer::Normalizer(const NormalizerConfig& config)
    : fold_presentation_forms_(config.fold_presentation_forms),
      collapse_whitespace_(config.collapse_whitespace) {
  for (char32_t c = 0x0600; c < 0x0700; ++c) {
    char32_t out = c;
    if (config.remove_diacritics && ((c >= 0x064B && c <= 0x065F) || c == 0x0670)) out = kDelete;
    if (config.remove_tatweel && c == 0x0640) out = kDelete;
    if (config.normalize_alef && (c == 0x0622 || c == 0x0623 || c == 0x0625)) out = 0x0627;
    if (config.normalize_alef_maqsura && c == 0x0649) out = 0x064A;
    if (config.normalize_taa_marbuta && c == 0x0629) out = 0x0647;
    arabic_[c - 0x0600] = out;
    bool plain = out != kDelete && out >= 0x0600 && out < 0x0680 && nfc::properties(c) == 0;
    if (c < 0x0680) {
      char bytes[4];
      uint16_t two_bytes = 0;
      if (plain && utf8::encode(out, bytes) == 2) std::memcpy(&two_bytes, bytes, 2);
      plain_arabic_utf8_[c - 0x0600] = two_bytes;
    }
  }
  plain_marks_ = true;
  for (char32_t c = 0x064B; c <= 0x0652; ++c)
    plain_marks_ = plain_marks_ && arabic_[c - 0x0600] == c;
  // Blocks must write each letter as the plain loop would, or leave it to the loop: a block
  // of eight of each letter shows which they do.
  plain_blocks_ = plain_block::kAvailable && collapse_whitespace_;
  for (unsigned index = 0; index < 128 && plain_blocks_; ++index) {
    const unsigned char letter[2] = {static_cast<unsigned char>(0xD8 | (index >> 6)),
                                     static_cast<unsigned char>(0x80 | (index & 0x3F))};
    unsigned char block[16];
    char out[16], expected[16];
    for (int k = 0; k < 16; k += 2) {
      std::memcpy(block + k, letter, 2);
      std::memcpy(expected + k, &plain_arabic_utf8_[index], 2);
    }
    size_t taken = plain_block::write(block, out);
    if (taken != 0 &&
        (taken != 16 || plain_arabic_utf8_[index] == 0 || std::memcmp(out, expected, 16) != 0)) {
      plain_blocks_ = false;
    }
  }
}

// The output of one normalization, allocated ahead of what is written, so that the
// plain-text loop stores through a pointer with no capacity check per byte. It is written
// into the caller's buffer while it fits there (no allocation for short texts), then into
// a string of its own.
class NormalizedOutput {
 public:
  NormalizedOutput(size_t expected, std::span<char> first)
      : data_(first.data()), capacity_(first.size()) {
    if (capacity_ < expected) grow(expected);
  }

  size_t size() const { return size_; }
  // Where the next `n` bytes go; commit(n) then counts them as written.
  char* room(size_t n) {
    if (capacity_ - size_ < n) grow(std::max(2 * capacity_, size_ + n));
    return data_ + size_;
  }
  void commit(size_t n) { size_ += n; }
  void append(const unsigned char* p, size_t n) {
    if (n == 0) return;  // p may be null: the text of an empty view
    std::memcpy(room(n), p, n);
    size_ += n;
  }
  void push_back(char c) {
    *room(1) = c;
    ++size_;
  }
  void append_char(char32_t c) { size_ += utf8::encode(c, room(4)); }
  void truncate(size_t size) { size_ = size; }
  // The output, in the caller's buffer or moved into `storage`.
  std::string_view take(std::string& storage) && {
    if (data_ != own_.data()) return std::string_view(data_, size_);
    own_.resize(size_);
    storage = std::move(own_);
    return storage;
  }

 private:
  void grow(size_t capacity) {
    std::string bigger(capacity, '\0');
    if (size_ != 0) std::memcpy(bigger.data(), data_, size_);
    own_ = std::move(bigger);
    data_ = own_.data();
    capacity_ = capacity;
  }

  char* data_;
  size_t capacity_;
  size_t size_ = 0;
  std::string own_;
};

// One call of Normalizer::normalize. Outside the plain loop, unchanged input bytes are not
// copied one character at a time: [run_start_, p) is a pending run that is copied in one
// go when a character needs rewriting.
class NormalizeRun {
 public:
  NormalizeRun(const Normalizer& normalizer, std::string_view text, std::span<char> buffer)
      : n_(normalizer),
        begin_(reinterpret_cast<const unsigned char*>(text.data())),
        end_(begin_ + text.size()),
        run_start_(begin_),
        out_(text.size(), buffer) {}

  std::string_view finish(std::string& storage) && {
    const unsigned char* p = begin_;
    uint8_t prev_ccc = 0;
    save_boundary(p);
    while (p < end_) {
      const unsigned char* const plain_from = p;
      p = skip_plain(p, prev_ccc);
      if (p == end_) break;
      if (p != plain_from) prev_ccc = plain_end_ccc_;
      const unsigned char* q = p;
      bool valid;
      char32_t c = utf8::decode_checked(q, end_, valid);
      if (!valid) {
        // Ill-formed input reads as U+FFFD, a stable starter.
        save_boundary(p);
        prev_ccc = 0;
        flush(p);
        run_start_ = q;
        emit_char(c);
        p = q;
        continue;
      }
      if (c >= 0x300) {
        uint16_t props = nfc::properties(c);
        uint8_t ccc = nfc::combining_class(props);
        if (nfc::quick_check(props) != nfc::QuickCheck::kYes || (ccc != 0 && ccc < prev_ccc)) {
          p = normalize_segment(q);
          prev_ccc = 0;
          continue;
        }
        if (ccc == 0) save_boundary(p);
        prev_ccc = ccc;
      } else {
        save_boundary(p);
        prev_ccc = 0;
      }
      emit_from_input(p, q, c);
      p = q;
    }
    flush(end_);
    if (n_.collapse_whitespace_ && last_space_) out_.truncate(out_.size() - 1);
    return std::move(out_).take(storage);
  }

 private:
  // Passes over characters that NFC keeps and that are NFC boundaries: printable ASCII, a
  // single space between words, and Arabic letters of U+0600..U+067F that stay or fold
  // to another letter of that range, writing each to the output as it goes; the boundary
  // state is kept for the last of them. The vowel marks U+064B..U+0652 pass too while
  // their combining classes (27..34, rising with the code point) do not fall: they compose
  // with nothing, so NFC only reorders them. `prev_ccc` is the class of the character
  // before p. Returns where it stopped, with the class of the last character passed in
  // plain_end_ccc_.
  const unsigned char* skip_plain(const unsigned char* p, uint8_t prev_ccc) {
    flush(p);
    // Locals throughout: stores through `w` could alias members otherwise, and the
    // compiler would reload them for every character.
    const unsigned char* const end = end_;
    const uint16_t* const plain = n_.plain_arabic_utf8_.data();
    const bool collapse = n_.collapse_whitespace_;
    // The loop writes at most one byte for each byte it reads.
    char* const base = out_.room(size_t(end - p));
    char* w = base;
    const unsigned char* last = nullptr;
    char* w_last = nullptr;  // where `last` was written
    bool space = last_space_, started = started_;
    bool space_before = space, started_before = started;
    auto letter_at = [&](const unsigned char* q) -> uint16_t {
      if (end - q < 2 || (q[0] & 0xFE) != 0xD8 || (q[1] & 0xC0) != 0x80) return 0;
      return plain[((q[0] & 1u) << 6) | (q[1] & 0x3Fu)];
    };
    const bool blocks = n_.plain_blocks_;
    const bool marks = n_.plain_marks_;
    uint32_t end_ccc = prev_ccc;  // of the last character written
    const unsigned char* next_block = next_block_;
    while (p < end) {
      // A block keeps every single space: one that the loop would drop (a leading one, or
      // the second of two) goes to the loop.
      if (blocks && p >= next_block && end - p >= 16 && (*p != ' ' || (started && !space))) {
        const unsigned char* const from = p;
        size_t taken = plain_block::write(p, w);
        // Whole blocks in a row: the next block's address then waits on a predicted branch
        // rather than on this block's result.
        while (taken == 16) {
          p += 16;
          w += 16;
          if (end - p < 16 || (p[-1] == ' ' && *p == ' ')) break;
          taken = plain_block::write(p, w);
        }
        // A letter whose lead byte ends the block is judged by the next block.
        bool straddles = taken == 15 && (p[15] & 0xFE) == 0xD8;
        if (taken < 16) {
          p += taken;
          w += taken;
        }
        if (p > from) {
          end_ccc = 0;
          size_t last_length = (p[-1] & 0xC0) == 0x80 ? 2 : 1;
          last = p - last_length;
          w_last = w - last_length;
          space_before = last > from ? last[-1] == ' ' : space;
          started_before = last > from || started;
          space = p[-1] == ' ';
          started = true;
        }
        // After a short take the text is mostly unsuited to blocks: the loop below takes
        // the next sixteen bytes, so such text pays a block check every sixteen bytes at
        // most. After a longer one, the character that ended it goes to the loop, then
        // blocks resume.
        next_block = taken < 4 ? p + 16 : taken < 16 && !straddles ? p + 1 : p;
        if (p > from) continue;
      }
      unsigned char b = *p;
      if (b > 0x20 && b < 0x80) {
        space_before = space;
        started_before = started;
        last = p++;
        w_last = w;
        *w++ = char(b);
        space = false;
        started = true;
        end_ccc = 0;
        continue;
      }
      if (b == 0x20 && (!collapse || (started && !space))) {
        space_before = space;
        started_before = started;
        last = p++;
        w_last = w;
        *w++ = ' ';
        space = collapse;
        end_ccc = 0;
        continue;
      }
      uint16_t bytes = letter_at(p);
      if (bytes == 0) {
        // Vowel marks in canonical order; a mark is no boundary, so `last` stays.
        const unsigned char* q = p;
        while (marks && end - q >= 2 && q[0] == 0xD9 && q[1] >= 0x8B && q[1] <= 0x92 &&
               uint32_t(q[1]) - 0x8B + 27 >= end_ccc) {
          end_ccc = uint32_t(q[1]) - 0x8B + 27;
          std::memcpy(w, q, 2);
          w += 2;
          q += 2;
        }
        if (q == p) break;
        space = false;
        started = true;
        p = q;
        continue;
      }
      // A run of letters, each written as it stays or folds: only the state before the
      // run's last letter matters.
      const unsigned char* q = p;
      do {
        std::memcpy(w, &bytes, 2);
        w += 2;
        q += 2;
        bytes = letter_at(q);
      } while (bytes != 0);
      if (q - p > 2) {
        space_before = false;
        started_before = true;
      } else {
        space_before = space;
        started_before = started;
      }
      last = q - 2;
      w_last = w - 2;
      space = false;
      started = true;
      end_ccc = 0;
      p = q;
    }
    next_block_ = next_block;
    plain_end_ccc_ = uint8_t(end_ccc);
    size_t size_before = out_.size();
    out_.commit(size_t(w - base));
    run_start_ = p;
    if (last != nullptr) {
      boundary_ = last;
      boundary_out_size_ = size_before + size_t(w_last - base);
      boundary_last_space_ = space_before;
      boundary_started_ = started_before;
    }
    last_space_ = space;  // unchanged unless something was written
    started_ = started;
    return p;
  }

  void flush(const unsigned char* upto) {
    out_.append(run_start_, size_t(upto - run_start_));
    run_start_ = upto;
  }

  // Remembers the output state before the character at `p`, an NFC boundary.
  void save_boundary(const unsigned char* p) {
    boundary_ = p;
    boundary_out_size_ = out_.size() + size_t(p - run_start_);
    boundary_last_space_ = last_space_;
    boundary_started_ = started_;
  }

  // The character `c` occupies [p, q) of the input.
  void emit_from_input(const unsigned char* p, const unsigned char* q, char32_t c) {
    if (n_.collapse_whitespace_ && utf8::is_white_space(c)) {
      if (!started_ || last_space_) {
        flush(p);
        run_start_ = q;
      } else if (c != ' ') {
        flush(p);
        out_.push_back(' ');
        run_start_ = q;
      }
      last_space_ = started_;
      return;
    }
    char32_t folded = n_.fold(c);
    if (folded != c) {
      flush(p);
      run_start_ = q;
      if (folded == Normalizer::kDelete) return;
      out_.append_char(folded);
      if (char32_t alef = n_.ligature_alef(c)) out_.append_char(alef);
    }
    started_ = true;
    last_space_ = false;
  }

  // Appends `c`, a character produced by NFC rather than read from the input.
  void emit_char(char32_t c) {
    if (n_.collapse_whitespace_ && utf8::is_white_space(c)) {
      if (started_ && !last_space_) out_.push_back(' ');
      last_space_ = started_;
      return;
    }
    char32_t folded = n_.fold(c);
    if (folded == Normalizer::kDelete) return;
    out_.append_char(folded);
    if (char32_t alef = n_.ligature_alef(c)) out_.append_char(alef);
    started_ = true;
    last_space_ = false;
  }

  // The quick check failed at the character that ends at `q`. Rewinds to the last
  // boundary, brings the segment up to the next boundary into NFC and emits it.
  // Returns the input position after the segment.
  const unsigned char* normalize_segment(const unsigned char* q) {
    flush(q);
    out_.truncate(boundary_out_size_);
    last_space_ = boundary_last_space_;
    started_ = boundary_started_;
    const unsigned char* seg_end = q;
    while (seg_end < end_) {
      const unsigned char* next = seg_end;
      bool valid;
      char32_t c = utf8::decode_checked(next, end_, valid);
      uint16_t props = c < 0x300 ? 0 : nfc::properties(c);
      if (nfc::combining_class(props) == 0 && nfc::quick_check(props) == nfc::QuickCheck::kYes)
        break;
      seg_end = next;
    }
    segment_.clear();
    for (const unsigned char* p = boundary_; p < seg_end;) {
      bool valid;
      segment_.push_back(utf8::decode_checked(p, seg_end, valid));
    }
    nfc_segment(segment_, scratch_);
    for (char32_t c : segment_) emit_char(c);
    run_start_ = seg_end;
    save_boundary(seg_end);
    return seg_end;
  }

  const Normalizer& n_;
  const unsigned char* begin_;
  const unsigned char* end_;
  const unsigned char* run_start_;
  NormalizedOutput out_;
  const unsigned char* next_block_ = begin_;  // where the plain loop may try a block again
  uint8_t plain_end_ccc_ = 0;                 // see skip_plain
  bool started_ = false;                      // a non-whitespace character has been written
  bool last_space_ = false;                   // the last character written is a collapsed space
  const unsigned char* boundary_ = nullptr;
  size_t boundary_out_size_ = 0;
  bool boundary_last_space_ = false;
  bool boundary_started_ = false;
  std::vector<char32_t> segment_;
  std::vector<int> scratch_;
};

std::string_view Normalizer::normalize(std::string_view text, std::span<char> buffer,
                                       std::string& storage) const {
  return NormalizeRun(*this, text, buffer).finish(storage);
}

std::string Normalizer::normalize(std::string_view text) const {
  std::string storage;
  normalize(text, {}, storage);
  return storage;
}

std::string normalize_text(const NormalizerConfig& config, std::string_view text) {
  return Normalizer(config).normalize(text);
}

}  // namespace sarfan
