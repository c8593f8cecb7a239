#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "vocab/piece_kind.h"
#include "vocab/token_index.h"
#include "vocab/utf8.h"

namespace sarfan {

// One vocabulary as the scan reads it: its index, and its piece tables for the node after
// "▁" and the byte piece ids. The base vocabulary and the active plugin are both given
// this way.
struct ScanVocab {
  const TokenIndex* index = nullptr;  // nullptr: no such vocabulary (no active plugin)
  const PieceTables* pieces = nullptr;
};

struct ScanContext {
  ScanVocab base;
  ScanVocab plugin;  // tried before the base; index nullptr: the base vocabulary alone
  size_t max_token_len;
  uint32_t bos_id, eos_id, unk_id;
};

namespace segment_detail {

// What a walk does with the character whose first byte this is: an ASCII character is one
// label; White_Space ends every walk. (Arabic letters are told by TokenIndex::is_arabic_lead.)
enum CharKind : uint8_t { kAsciiChar, kSpaceChar, kMaybeSpaceChar, kOtherChar };

inline constexpr std::array<uint8_t, 256> kCharKind = [] {
  std::array<uint8_t, 256> table{};
  for (int b = 0; b < 256; ++b) table[b] = b < 0x80 ? kAsciiChar : kOtherChar;
  for (int b = 0x09; b <= 0x0D; ++b) table[b] = kSpaceChar;
  table[0x20] = kSpaceChar;
  table[0xC2] = table[0xE1] = table[0xE2] = table[0xE3] = kMaybeSpaceChar;
  return table;
}();

[[gnu::always_inline]] inline bool is_white_space_at(const unsigned char* p) {
  uint8_t kind = kCharKind[*p];
  if (kind == kSpaceChar) return true;
  return kind == kMaybeSpaceChar && utf8::is_white_space(utf8::decode_valid(p));
}

// False when no walk of `index` passes the character at p, which is not White_Space: an
// ASCII character or Arabic letter that labels none of its edges.
[[gnu::always_inline]] inline bool may_pass(const TokenIndex& index, const unsigned char* p) {
  if (TokenIndex::is_arabic_lead(*p)) return index.labels_an_edge(p, 2);
  return *p >= 0x80 || index.labels_an_edge(p, 1);
}

// Runs walks [kOffset, kOffset + kCount) from position p in lock step, one character at a
// time, recording where each walk's longest hit ends in the index and in the text (p: no
// hit) and, with kChars, its length in characters. Every walk stops at White_Space.
// kBounded caps the walk at max_token_len characters; without a plugin the cap is implied,
// since the base index holds no longer key. State lives in locals so that it stays in
// registers, which is also why characters are only counted when they are wanted.
template <int kCount, int kOffset, int kWalks, bool kBounded, bool kChars>
[[gnu::always_inline]] inline void walk(const ScanContext& ctx,
                                        const TokenIndex::View (&index)[kWalks],
                                        const TokenIndex::Node (&start)[kWalks],
                                        const unsigned char* p, const unsigned char* end,
                                        TokenIndex::Node (&best_node)[kWalks],
                                        const unsigned char* (&best_to)[kWalks],
                                        size_t (&best_len)[kWalks]) {
  TokenIndex::View view[kCount];
  TokenIndex::Node node[kCount], hit_node[kCount];
  const unsigned char* hit_to[kCount];
  size_t hit_len[kCount];
  for (int w = 0; w < kCount; ++w) {
    view[w] = index[kOffset + w];
    node[w] = start[kOffset + w];
    hit_node[w] = 0;
    hit_to[w] = p;
    hit_len[w] = 0;
  }
  const unsigned char* q = p;
  [[maybe_unused]] size_t d = 0;  // characters walked
  // After a step of every walk: records hits; false once every walk has died.
  auto note_step = [&]() {
    bool any = false;
    for (int w = 0; w < kCount; ++w) {
      bool alive = node[w] != view[w].dead();
      any |= alive;
      // Whether a key ends here is unpredictable: masks keep the compiler from branching.
      uintptr_t hit = 0 - uintptr_t(alive && view[w].is_key(node[w]));
      hit_to[w] = reinterpret_cast<const unsigned char*>(
          (reinterpret_cast<uintptr_t>(q) & hit) | (reinterpret_cast<uintptr_t>(hit_to[w]) & ~hit));
      hit_node[w] = TokenIndex::Node((node[w] & hit) | (hit_node[w] & ~hit));
      if constexpr (kChars) hit_len[w] = (d & hit) | (hit_len[w] & ~hit);
    }
    return any;
  };
  // Before a step: true when the cap is reached; counts the character otherwise.
  auto capped = [&]() {
    if constexpr (kBounded) {
      if (d >= ctx.max_token_len) return true;
    }
    if constexpr (kBounded || kChars) ++d;
    return false;
  };
  for (;;) {
    // A run of Arabic two-byte letters, the bulk of the text, moves the text pointer by a
    // constant: its next value then waits on no load, where a step whose width comes from
    // the byte's class waits on two (the byte, then its class) besides the index read.
    while (q < end && TokenIndex::is_arabic_lead(*q)) {
      if (capped()) goto done;
      uint32_t label = TokenIndex::label_of_char(q, 2);
      for (int w = 0; w < kCount; ++w) node[w] = view[w].advance(node[w], label);
      q += 2;
      if (!note_step()) goto done;
    }
    if (q >= end || capped()) break;
    if (kCharKind[*q] == kAsciiChar) {
      for (int w = 0; w < kCount; ++w) node[w] = view[w].advance(node[w], *q);
      ++q;
    } else {
      if (is_white_space_at(q)) break;
      size_t length = utf8::sequence_length(*q);
      for (int w = 0; w < kCount; ++w) node[w] = view[w].advance_char(node[w], q, length);
      q += length;
    }
    if (!note_step()) break;
  }
done:
  for (int w = 0; w < kCount; ++w) {
    best_node[kOffset + w] = hit_node[w];
    best_to[kOffset + w] = hit_to[w];
    best_len[kOffset + w] = hit_len[w];
  }
}

// The byte pieces of the character of `length` bytes at p, character i: the active plugin's
// byte piece first when kPlugin, then the base's, and unk_id when neither has it.
template <bool kPlugin, class Sink>
[[gnu::always_inline]] inline void take_char_bytes(const ScanContext& ctx, const unsigned char* p,
                                                   size_t length, size_t i, Sink& sink) {
  for (size_t k = 0; k < length; ++k) {
    unsigned char byte = p[k];
    uint32_t id = PieceTables::kNoId;
    if (kPlugin) id = ctx.plugin.pieces->byte_piece_id(byte);
    if (id == PieceTables::kNoId) id = ctx.base.pieces->byte_piece_id(byte);
    sink.byte(id == PieceTables::kNoId ? ctx.unk_id : id, i, byte, id == PieceTables::kNoId);
  }
}

// A walk over the Arabic letters from p, from `node` on, that records no hits: the last node
// it reached, where it stopped, and whether it died at the letter there (no edge takes it).
struct LetterWalk {
  TokenIndex::Node node;
  const unsigned char* to;
  bool died;
};

[[gnu::always_inline]] inline LetterWalk walk_letters(TokenIndex::View index, TokenIndex::Node node,
                                                      const unsigned char* p,
                                                      const unsigned char* end) {
  while (p < end && TokenIndex::is_arabic_lead(*p)) {
    TokenIndex::Node next = index.advance(node, TokenIndex::label_of_char(p, 2));
    if (next == index.dead()) [[unlikely]]
      return {node, p, true};
    node = next;
    p += 2;
  }
  return {node, p, false};
}

// Goes back up from a letter walk's last node to its longest hit, the deepest key after p
// (every edge of the walk is one two-byte letter); `to` ends at p when there is none.
[[gnu::always_inline]] inline void back_up_to_hit(TokenIndex::View index, const unsigned char* p,
                                                  TokenIndex::Node& node,
                                                  const unsigned char*& to) {
  while (to > p && !index.is_key(node)) {
    node = index.parent(node);
    to -= 2;
  }
}

// True when a walk of Arabic letters that stopped at q, at `node`, could go no farther: q is
// the text's end, an ASCII space (which the callers step over; other White_Space is left to
// the general scan), or an ASCII character that no edge from `node` takes.
[[gnu::always_inline]] inline bool walk_ended(TokenIndex::View index, TokenIndex::Node node,
                                              const unsigned char* q, const unsigned char* end) {
  return q == end || *q == ' ' ||
         (kCharKind[*q] == kAsciiChar && index.advance(node, *q) == index.dead());
}

// Takes the rest of a word from r, inside it, as the general scan would: plain walks over
// its Arabic letters, each giving its longest hit or the bytes of its first letter. True
// when that reaches the word's end (r then at its space or the text's end); false when r
// comes to a character that these walks do not take, or one that may continue a piece.
template <class Sink>
[[gnu::always_inline]] inline bool take_word_rest(const ScanContext& ctx, TokenIndex::View index,
                                                  const unsigned char*& r, const unsigned char* end,
                                                  size_t i, Sink& sink) {
  for (;;) {
    if (r == end || *r == ' ') return true;
    if (!TokenIndex::is_arabic_lead(*r)) return false;
    auto [node, q, died] = walk_letters(index, TokenIndex::kRoot, r, end);
    if (!died && !walk_ended(index, node, q, end)) return false;
    back_up_to_hit(index, r, node, q);
    if (q > r) {
      sink.piece(index.value(node), i, i, r, q, false);
      r = q;
    } else {
      take_char_bytes<false>(ctx, r, 2, i, sink);
      r += 2;
    }
  }
}

// The marked walk of the word where take_marked_words stopped, when it is the whole walk.
struct MarkedWalk {
  bool whole = false;
  TokenIndex::Node hit_node = 0;
  const unsigned char* hit_to = nullptr;
  bool inside = false;  // the loop stopped inside a word, after its first pieces
};

// Takes words at p that are each one marked piece of Arabic letters, followed by an ASCII
// space or the text's end: most words of normalized text, whose walk then needs none of the
// general scan's bookkeeping. Stops at the end or at the first word that is not such, which
// is left to the general scan (p at its start, i its character index) with its marked walk
// when that ended in the letters (the walk died, or White_Space, the end, or an ASCII
// character that it cannot take came). Without spans it also takes words whose marked walk
// ended for good in their letters: the marked hit, then the rest of the word by plain walks
// (take_word_rest), and stops inside a word where those stop.
template <class Sink>
[[gnu::always_inline]] inline MarkedWalk take_marked_words(
    const ScanContext& ctx, TokenIndex::View index, TokenIndex::Node after_mark,
    const unsigned char*& p, const unsigned char* end, size_t& i, Sink& sink) {
  for (;;) {
    // The walk records no hits: most words end in one (checked below), and the others find
    // their longest hit by going back up from where the walk stopped.
    auto [node, q, died] = walk_letters(index, after_mark, p, end);
    if (q == p || !index.is_key(node) || (q < end && *q != ' ')) {
      TokenIndex::Node hit_node = node;
      const unsigned char* hit_to = q;
      back_up_to_hit(index, p, hit_node, hit_to);
      // Without spans to count, when the marked walk has ended for good and no unpaired plain
      // piece may start at p: the marked hit wins (without one, the first letter's bytes),
      // and the rest of the word is taken here by plain walks, as the general scan would.
      if (!Sink::kSpans && (died || (q > p && walk_ended(index, node, q, end))) &&
          !ctx.base.pieces->unpaired_may_start(p, end)) {
        const unsigned char* r = hit_to;
        if (hit_to > p) {
          sink.piece(index.value(hit_node), i, i, p, hit_to, true);
        } else {
          take_char_bytes<false>(ctx, p, 2, i, sink);
          r = p + 2;
        }
        bool whole = take_word_rest(ctx, index, r, end, i, sink);
        p = r;
        if (!whole) return {.inside = true};
        if (p == end) return {};
        ++p;
        continue;
      }
      // Punctuation after a word mostly ends its walk: one step tells.
      bool ends = died || walk_ended(index, node, q, end) || is_white_space_at(q);
      return {ends, hit_node, hit_to};
    }
    size_t chars = Sink::kSpans ? size_t(q - p) / 2 : 0;
    sink.piece(index.value(node), i, i + chars, p, q, true);
    i += chars;
    if (q == end) {
      p = q;
      return {};
    }
    p = q + 1;
    ++i;
  }
}

// One scan with kWalks walks: {base marked, base plain}, or with a plugin {plugin marked,
// base marked, plugin plain, base plain}; earlier walks win ties. With a plugin the walks
// of a kind advance in lock step, so that their index reads overlap; without one, the
// marked walk at a word's start goes first and alone (see below).
template <int kWalks, class Sink>
void scan(const ScanContext& ctx, std::string_view text, Sink& sink) {
  constexpr bool kBounded = kWalks == 4;  // plugin keys may be longer than max_token_len
  constexpr bool kChars = Sink::kSpans;
  TokenIndex::View index[kWalks];
  TokenIndex::Node start[kWalks];
  constexpr int kFirstPlain = kWalks / 2;
  for (int w = 0; w < kWalks; ++w) {
    const ScanVocab& walked = kWalks == 4 && (w == 0 || w == 2) ? ctx.plugin : ctx.base;
    index[w] = walked.index->view();
    start[w] = w < kFirstPlain ? walked.pieces->after_mark() : TokenIndex::kRoot;
  }

  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const auto* const end = p + text.size();
  sink.begin(ctx.bos_id);
  size_t i = 0;  // character index of p
  bool word_start = true;
  while (p < end) {
    if (is_white_space_at(p)) {
      p += utf8::sequence_length(*p);
      ++i;
      word_start = true;
      continue;
    }
    MarkedWalk marked;
    if (kWalks == 2 && word_start) {
      marked = take_marked_words(ctx, index[0], start[0], p, end, i, sink);
      if (p >= end) break;
      if (!Sink::kSpans && marked.inside) word_start = false;
      if (is_white_space_at(p)) continue;
    }
    TokenIndex::Node best_node[kWalks] = {};  // the value is read once, for the winner only
    const unsigned char* best_to[kWalks];
    size_t best_len[kWalks] = {};
    for (int w = 0; w < kWalks; ++w) best_to[w] = p;
    // Inside a word only the plain walks run.
    if (word_start && kWalks == 2) {
      // A marked hit that reaches the word's end, or a character that no key holds (an
      // alef with hamza in text left unnormalized), is the longest match there and wins the
      // tie with a plain one, so the plain walk runs only when the marked one falls short:
      // most words are one marked piece. It runs also only when an unpaired piece may start
      // here, as no other plain piece can win; in the default vocabulary the unpaired pieces
      // are the byte and special pieces and the marked ones ("▁▁" starts no piece), so it
      // runs only before "<", "[" and characters whose first byte is that of "▁".
      if (marked.whole) {
        best_node[0] = marked.hit_node;
        best_to[0] = marked.hit_to;
        if constexpr (kChars) best_len[0] = size_t(marked.hit_to - p) / 2;
      } else {
        walk<1, 0, kWalks, kBounded, kChars>(ctx, index, start, p, end, best_node, best_to,
                                             best_len);
      }
      const unsigned char* reached = best_to[0];
      if (ctx.base.pieces->unpaired_may_start(p, end) &&
          (reached == p ||
           (reached < end && !is_white_space_at(reached) && may_pass(*ctx.base.index, reached)))) {
        walk<1, 1, kWalks, kBounded, kChars>(ctx, index, start, p, end, best_node, best_to,
                                             best_len);
      }
    } else if (word_start) {
      walk<kWalks, 0, kWalks, kBounded, kChars>(ctx, index, start, p, end, best_node, best_to,
                                                best_len);
    } else {
      walk<kWalks / 2, kFirstPlain, kWalks, kBounded, kChars>(ctx, index, start, p, end, best_node,
                                                              best_to, best_len);
    }
    // Every walk started at p, so the longest hit is the one that ends farthest.
    const unsigned char* farthest = p;
    int winner = 0;
    for (int w = 0; w < kWalks; ++w) {
      if (best_to[w] > farthest) {
        farthest = best_to[w];
        winner = w;
      }
    }
    if (farthest > p) {
      size_t chars = best_len[winner];  // 0 unless the sink wants character spans
      sink.piece(index[winner].value(best_node[winner]), i, i + chars, p, farthest,
                 winner < kFirstPlain);
      p = farthest;
      i += chars;
    } else {
      size_t length = utf8::sequence_length(*p);
      take_char_bytes<kWalks == 4>(ctx, p, length, i, sink);
      p += length;
      ++i;
    }
    word_start = false;
  }
  sink.end(ctx.eos_id, i);
}

}  // namespace segment_detail

// Greedy longest-match segmentation of valid UTF-8 `text`.
//
// At each position the index is walked from the root and, at word starts, from the node
// after "▁", and likewise through the plugin, one character at a time; the longest hit of
// each walk is kept (a plain walk that cannot win is skipped). Preference: longer first;
// at equal length the marked candidate, then the plain one; for one candidate text the
// plugin before the base.
//
// Sink receives: begin(bos_id), piece(id, start, end, from, to, marked) for a matched piece
// covering characters [start, end) and input bytes [from, to), byte(id, index, byte,
// unknown) for a byte-fallback step (id is unk_id when the byte piece is missing) and
// end(eos_id, n), n the number of characters. A sink with kSpans false ignores the
// character positions, which are then not counted (they read as wrong).
template <class Sink>
void segment(const ScanContext& ctx, std::string_view text, Sink& sink) {
  if (ctx.plugin.index != nullptr) {
    segment_detail::scan<4>(ctx, text, sink);
  } else {
    segment_detail::scan<2>(ctx, text, sink);
  }
}

}  // namespace sarfan
