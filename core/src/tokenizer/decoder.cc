#include <string>

#include "tokenizer/tokenizer.h"
#include "vocab/piece_kind.h"
#include "vocab/utf8.h"

namespace sarfan {

namespace {

// Turns the pending bytes into text.
void flush_bytes(std::string& pending, std::string& out) {
  if (pending.empty()) return;
  utf8::append_repaired(out, pending);
  pending.clear();
}

// Appends a piece with every "▁" turned into one space. Pieces are short: a byte loop
// finds the marks faster than a call to search for each.
void append_piece(std::string_view piece, std::string& out) {
  const char* run = piece.data();
  const char* const end = run + piece.size();
  for (const char* p = run; p < end;) {
    if (static_cast<unsigned char>(*p) != 0xE2 ||
        std::string_view(p, size_t(end - p)).substr(0, 3) != kMark) {
      ++p;
      continue;
    }
    out.append(run, size_t(p - run));
    out.push_back(' ');
    p += kMark.size();
    run = p;
  }
  out.append(run, size_t(end - run));
}

// Removes White_Space from both ends of valid UTF-8 `text`, in place.
void trim_white_space(std::string& text) {
  auto begin = reinterpret_cast<const unsigned char*>(text.data());
  auto end = begin + text.size();
  auto first = begin;
  while (first < end) {
    auto next = first;
    if (!utf8::is_white_space(utf8::decode_valid(next))) break;
    first = next;
  }
  auto last = end;
  while (last > first) {
    auto start = last - 1;
    while (start > first && utf8::is_continuation(*start)) --start;
    auto probe = start;
    if (!utf8::is_white_space(utf8::decode_valid(probe))) break;
    last = start;
  }
  text.resize(size_t(last - begin));
  text.erase(0, size_t(first - begin));
}

}  // namespace

std::string Tokenizer::decode(std::span<const uint32_t> ids,
                              std::optional<std::string_view> dialect) const {
  const DialectPlugin* named = nullptr;
  if (dialect && !plugins_.empty()) named = plugins_.find(*dialect);
  std::string out;
  out.reserve(ids.size() * 8);  // about a word's bytes and its space a piece, in Arabic
  std::string pending;
  for (uint32_t id : ids) {
    std::string_view piece;
    uint16_t kind;
    if (id < vocab_.vocab_size()) {
      piece = vocab_.token(id);
      kind = vocab_.pieces().kind(id);
    } else {
      const DialectPlugin* source = nullptr;
      if (dialect) {
        if (named != nullptr && named->token(id)) source = named;
      } else {
        for (const auto& plugin : plugins_.plugins()) {
          if (plugin->token(id)) {
            source = plugin.get();
            break;
          }
        }
      }
      if (source == nullptr) continue;  // skipped ids leave the pending bytes alone
      piece = *source->token(id);
      kind = source->pieces().kind(id - source->start_id());
    }
    if (kind < 256) {
      pending.push_back(char(kind));
      continue;
    }
    flush_bytes(pending, out);
    if (kind == uint16_t(PieceKind::kDropped)) continue;
    append_piece(piece, out);
  }
  flush_bytes(pending, out);
  trim_white_space(out);
  // The reserve stays with the text: give back what far exceeds it (a batch holds every
  // text at once).
  if (out.capacity() > 2 * out.size() + 64) out.shrink_to_fit();
  return out;
}

}  // namespace sarfan
