// decode of arbitrary id sequences: mostly ids that name base or plugin pieces (byte
// pieces among them, so broken UTF-8 sequences form), some far outside. The output must
// equal the decoding written as defined, be valid UTF-8 and carry no outer whitespace.
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "fuzz_support.h"

using namespace sarfan;

namespace {

std::unique_ptr<Tokenizer> tok;

bool is_byte_piece(std::string_view piece, unsigned char& byte) {
  auto hex = [](char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); };
  if (piece.size() != 6 || piece.substr(0, 3) != "<0x" || piece[5] != '>' || !hex(piece[3]) ||
      !hex(piece[4]))
    return false;
  byte = static_cast<unsigned char>(std::stoi(std::string(piece.substr(3, 2)), nullptr, 16));
  return true;
}

std::string reference_decode(const std::vector<uint32_t>& ids,
                             std::optional<std::string_view> dialect) {
  std::string out, pending;
  auto flush = [&] {
    out += testing_text::repaired(pending);
    pending.clear();
  };
  for (uint32_t id : ids) {
    std::optional<std::string_view> piece;
    if (id < tok->vocab().vocab_size()) {
      piece = tok->vocab().token(id);
    } else if (dialect) {
      if (const DialectPlugin* plugin = tok->plugin(*dialect)) piece = plugin->token(id);
    } else {
      for (const std::string& name : tok->plugin_names()) {
        if ((piece = tok->plugin(name)->token(id))) break;
      }
    }
    if (!piece) continue;
    unsigned char byte;
    if (is_byte_piece(*piece, byte)) {
      pending.push_back(char(byte));
      continue;
    }
    flush();
    if (*piece == "[BOS]" || *piece == "[EOS]" || *piece == "[PAD]") continue;
    std::string text(*piece);
    for (size_t at; (at = text.find(fuzzing::kMark)) != std::string::npos;)
      text.replace(at, 3, " ");
    out += text;
  }
  flush();
  std::vector<char32_t> chars = testing_text::code_points(out);
  size_t first = 0, last = chars.size();
  while (first < last && utf8::is_white_space(chars[first])) ++first;
  while (last > first && utf8::is_white_space(chars[last - 1])) --last;
  return testing_text::u8(std::vector<char32_t>(chars.begin() + first, chars.begin() + last));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  tok = std::make_unique<Tokenizer>(fuzzing::load_tokenizer(fuzzing::overlap_vocab_tsv()));
  uint32_t base = tok->vocab().vocab_size();
  // Two plugins covering overlapping ids with different pieces, and one with a gap.
  for (const char* name : {"p", "q"}) {
    std::string tsv = std::string(name) == "p"
                          ? fuzzing::overlap_plugin_tsv(base)
                          : "\xE2\x96\x81q\t" + std::to_string(base + 1) + "\t0\n<0x98>\t" +
                                std::to_string(base + 9) + "\t0\n[PAD]\t" +
                                std::to_string(base + 10) + "\t0\n";
    fuzzing::MemoryFile file(tsv);
    FUZZ_CHECK(tok->load_plugin(file.path(), name).ok(), "the fixed plugins load");
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  static const char* const kDialects[] = {nullptr, "p", "q", "none"};
  const char* given = kDialects[data[0] & 3];
  std::optional<std::string_view> dialect;
  if (given) dialect = given;
  // Two bytes an id: small numbers land on real pieces (and the plugins' slots just above
  // the base); 0xFFxx stands for the far end of the id space.
  std::vector<uint32_t> ids;
  uint32_t limit = tok->vocab().vocab_size() + 16;
  for (size_t at = 1; at + 2 <= size; at += 2) {
    uint32_t raw = uint32_t(data[at]) | uint32_t(data[at + 1]) << 8;
    ids.push_back(raw >= 0xFF00 ? 0xFFFFFFFFu - (raw & 0xFF) : raw % limit);
  }
  std::string decoded = tok->decode(ids, dialect);
  FUZZ_CHECK(utf8::is_valid(decoded), "decode gives valid UTF-8");
  FUZZ_CHECK(decoded == reference_decode(ids, dialect), "decode equals the defined decoding");
  std::vector<char32_t> chars = testing_text::code_points(decoded);
  FUZZ_CHECK(chars.empty() ||
                 (!utf8::is_white_space(chars.front()) && !utf8::is_white_space(chars.back())),
             "no whitespace at either end");
  return 0;
}
