#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "vocab/dialect_plugin.h"
#include "vocab/token_index.h"
#include "vocab/utf8.h"

namespace sarfan {

// What one scan reads: the base vocabulary's index and byte piece ids, and optionally the
// active plugin's.
struct ScanVocab {
  static constexpr uint32_t kNoId = DialectPlugin::kNoId;
  const TokenIndex* index;
  const std::array<uint32_t, 256>* byte_ids;  // kNoId where the byte piece is absent
};

struct ScanContext {
  ScanVocab base;
  const DialectPlugin* plugin;  // nullptr: base vocabulary alone
  size_t max_token_len;
  uint32_t bos_id, eos_id, unk_id;
};

namespace segment_detail {

inline constexpr std::string_view kMark = "\xE2\x96\x81";  // U+2581

// White_Space needs decoding only for lead bytes that can start such a character.
inline bool is_white_space_at(const unsigned char* p) {
  unsigned char b = *p;
  if (b < 0x80) return b == 0x20 || (b >= 0x09 && b <= 0x0D);
  if (b != 0xC2 && b != 0xE1 && b != 0xE2 && b != 0xE3) return false;
  return utf8::is_white_space(utf8::decode_valid(p));
}

}  // namespace segment_detail

// Greedy longest-match segmentation of valid UTF-8 `text`.
//
// At each position the index is walked once from the root and once from the node after
// "▁" (at word starts), and likewise through the plugin, one character at a time; the
// longest hit of each walk is kept. Preference: longer first; at equal length the marked
// candidate, then the plain one; for one candidate text the plugin before the base.
//
// Sink receives: begin(), piece(id, start, end, from, to, marked) for a matched piece
// covering characters [start, end) and input bytes [from, to), byte(id, index, byte)
// for a byte-fallback step (id is unk_id when the byte piece is missing), end(n).
template <class Sink>
void segment(const ScanContext& ctx, std::string_view text, Sink& sink) {
  using segment_detail::is_white_space_at;
  using segment_detail::kMark;
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const auto* const end = p + text.size();

  // Walks, in order of preference at equal length: plugin marked, base marked, plugin
  // plain, base plain.
  struct Walk {
    const TokenIndex* index;
    TokenIndex::Node start;
    bool usable;
  };
  std::array<Walk, 4> walks{};
  auto marked_start = [](const TokenIndex& index, Walk& walk) {
    walk.index = &index;
    walk.start = TokenIndex::kRoot;
    walk.usable = index.step(walk.start, kMark);
  };
  if (ctx.plugin != nullptr) {
    marked_start(ctx.plugin->index(), walks[0]);
    walks[2] = {&ctx.plugin->index(), TokenIndex::kRoot, true};
  }
  marked_start(*ctx.base.index, walks[1]);
  walks[3] = {ctx.base.index, TokenIndex::kRoot, true};

  sink.begin();
  size_t i = 0;  // character index of p
  bool word_start = true;
  while (p < end) {
    if (is_white_space_at(p)) {
      p += utf8::sequence_length(*p);
      ++i;
      word_start = true;
      continue;
    }
    TokenIndex::Node node[4];
    bool alive[4];
    size_t best_len[4] = {0, 0, 0, 0};
    const unsigned char* best_to[4] = {};
    uint32_t best_id[4] = {};
    int live = 0;
    for (int w = 0; w < 4; ++w) {
      alive[w] = walks[w].index != nullptr && walks[w].usable && (word_start || w >= 2);
      node[w] = walks[w].start;
      live += alive[w];
    }
    const unsigned char* q = p;
    for (size_t d = 1; d <= ctx.max_token_len && q < end && live > 0; ++d) {
      if (d > 1 && is_white_space_at(q)) break;
      size_t length = utf8::sequence_length(*q);
      for (int w = 0; w < 4; ++w) {
        if (!alive[w]) continue;
        const TokenIndex& index = *walks[w].index;
        for (size_t k = 0; k < length; ++k) {
          if (!index.step(node[w], q[k])) {
            alive[w] = false;
            --live;
            break;
          }
        }
        if (alive[w] && index.is_key(node[w])) {
          best_len[w] = d;
          best_to[w] = q + length;
          best_id[w] = index.value(node[w]);
        }
      }
      q += length;
    }
    size_t longest = std::max(std::max(best_len[0], best_len[1]), std::max(best_len[2], best_len[3]));
    if (longest > 0) {
      int w = 0;
      while (best_len[w] != longest) ++w;
      sink.piece(best_id[w], i, i + longest, p, best_to[w], w < 2);
      p = best_to[w];
      i += longest;
    } else {
      size_t length = utf8::sequence_length(*p);
      for (size_t k = 0; k < length; ++k) {
        unsigned char byte = p[k];
        uint32_t id = ScanVocab::kNoId;
        if (ctx.plugin != nullptr) id = ctx.plugin->byte_piece_id(byte);
        if (id == ScanVocab::kNoId) id = (*ctx.base.byte_ids)[byte];
        sink.byte(id == ScanVocab::kNoId ? ctx.unk_id : id, i, byte, id == ScanVocab::kNoId);
      }
      p += length;
      ++i;
    }
    word_start = false;
  }
  sink.end(i);
}

}  // namespace sarfan
