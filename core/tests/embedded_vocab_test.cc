// The embedded default vocabulary: its layout and the documented examples.
#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <set>
#include <string>
#include <vector>

#include "embedded_default_vocab.h"
#include "test_text.h"
#include "tokenizer/tokenizer.h"
#include "vocab/utf8.h"
#include "vocab/vocab_loader.h"

namespace sarfan {
namespace {

using testing_text::code_points;
using testing_text::kMark;
using testing_text::u8;

struct Line {
  std::string piece;
  std::string id;
  std::string score;
};

std::vector<Line> raw_lines() {
  std::vector<Line> lines;
  std::string_view text = EMBEDDED_DEFAULT_TSV;
  while (!text.empty()) {
    size_t lf = text.find('\n');
    EXPECT_NE(lf, std::string_view::npos) << "the last line must end with LF";
    std::string_view line = text.substr(0, lf);
    text.remove_prefix(lf == std::string_view::npos ? text.size() : lf + 1);
    size_t a = line.find('\t'), b = line.rfind('\t');
    lines.push_back({std::string(line.substr(0, a)), std::string(line.substr(a + 1, b - a - 1)),
                     std::string(line.substr(b + 1))});
  }
  return lines;
}

const Tokenizer& default_tokenizer() {
  static const Tokenizer tok = Tokenizer::from_vocab(from_tsv_text(EMBEDDED_DEFAULT_TSV).value());
  return tok;
}

TEST(EmbeddedVocabTest, TextLayout) {
  EXPECT_EQ(EMBEDDED_DEFAULT_TSV.find('\r'), std::string_view::npos);
  std::vector<Line> lines = raw_lines();
  ASSERT_EQ(lines.size(), 64000u);
  const char* specials[] = {"[PAD]", "[BOS]", "[EOS]", "[UNK]"};
  std::set<std::string> pieces;
  float previous = 0.0f;
  for (size_t id = 0; id < lines.size(); ++id) {
    const Line& line = lines[id];
    ASSERT_EQ(line.id, std::to_string(id));
    ASSERT_TRUE(pieces.insert(line.piece).second) << "duplicate " << line.piece;
    if (id < 4) {
      EXPECT_EQ(line.piece, specials[id]);
      EXPECT_EQ(line.score, "0.0");
      continue;
    }
    if (id < 260) {
      EXPECT_EQ(line.piece, testing_text::byte_piece(id - 4));
      EXPECT_EQ(line.score, "0.0");
      continue;
    }
    // Scores: negative, non-increasing, written as the shortest plain decimal text that
    // reads back to the same float.
    float score = 0;
    std::from_chars(line.score.data(), line.score.data() + line.score.size(), score);
    ASSERT_LT(score, 0.0f) << id;
    if (id > 260) {
      ASSERT_LE(score, previous) << id;
    }
    previous = score;
    char shortest[64];
    auto end =
        std::to_chars(shortest, shortest + sizeof shortest, score, std::chars_format::fixed).ptr;
    ASSERT_EQ(std::string(shortest, end), line.score);
    // Pieces: at most 16 characters, no whitespace, "▁" only at the start; a plain piece
    // has at most 15.
    std::vector<char32_t> cps = code_points(line.piece);
    ASSERT_FALSE(cps.empty());
    ASSERT_LE(cps.size(), cps[0] == 0x2581 ? 16u : 15u) << line.piece;
    for (size_t k = 0; k < cps.size(); ++k) {
      ASSERT_TRUE(cps[k] != 0x2581 || k == 0) << id << " " << line.piece;
      ASSERT_FALSE(utf8::is_white_space(cps[k])) << id;
    }
    ASSERT_TRUE(cps.size() > 1 || cps[0] != 0x2581 || id == 263) << id;
  }
  // Every plain learned piece also exists with the word-start mark.
  for (size_t id = 260; id < lines.size(); ++id) {
    if (lines[id].piece.rfind(kMark, 0) != 0) {
      EXPECT_TRUE(pieces.count(kMark + lines[id].piece)) << id << " " << lines[id].piece;
    }
  }
  EXPECT_EQ(lines[263].piece, kMark);
  EXPECT_EQ(lines[264].piece, kMark + "\xD9\x81\xD9\x8A");
  EXPECT_EQ(lines[541].piece, kMark + "\xD8\xA7\xD9\x84\xD9\x83\xD8\xAA\xD8\xA7\xD8\xA8");
  EXPECT_EQ(lines[13699].piece, "#");
}

TEST(EmbeddedVocabTest, LoadedModel) {
  const Tokenizer& tok = default_tokenizer();
  EXPECT_EQ(tok.vocab().vocab_size(), 64000u);
  EXPECT_EQ(tok.max_token_len(), 16u);
  EXPECT_EQ(tok.vocab().token(13699), "");  // "#" reads as a comment line
  EXPECT_FALSE(tok.vocab().lookup("#").has_value());
  EXPECT_EQ(tok.vocab().lookup("[UNK]")->id, 3u);
  EXPECT_EQ(tok.vocab().lookup("<0xFF>")->id, 259u);
}

TEST(EmbeddedVocabTest, DocumentedExamples) {
  const Tokenizer& tok = default_tokenizer();
  auto r = tok.encode("\xD9\x81\xD9\x8A \xD8\xA7\xD9\x84\xD9\x83\xD8\xAA\xD8\xA7\xD8\xA8", true,
                      std::nullopt)
               .value();
  EXPECT_EQ(r.ids, (std::vector<uint32_t>{1, 264, 541, 2}));
  EXPECT_EQ(testing_text::texts_of(r.tokens),
            (std::vector<std::string>{"[BOS]", kMark + "\xD9\x81\xD9\x8A",
                                      kMark + "\xD8\xA7\xD9\x84\xD9\x83\xD8\xAA\xD8\xA7\xD8\xA8",
                                      "[EOS]"}));
  EXPECT_EQ(r.offsets, (std::vector<std::pair<size_t, size_t>>{{0, 0}, {0, 2}, {3, 9}, {9, 9}}));
  EXPECT_EQ(tok.decode(r.ids, std::nullopt),
            "\xD9\x81\xD9\x8A \xD8\xA7\xD9\x84\xD9\x83\xD8\xAA\xD8\xA7\xD8\xA8");

  // "▁a" is a piece; the emoji falls back to its four bytes, each spanning its character.
  auto a = tok.vocab().lookup(kMark + "a");
  ASSERT_TRUE(a);
  auto emoji = tok.encode("a \xF0\x9F\x98\x80", true, std::nullopt).value();
  EXPECT_EQ(emoji.ids, (std::vector<uint32_t>{1, a->id, 244, 163, 156, 132, 2}));
  EXPECT_EQ(emoji.offsets[2], (std::pair<size_t, size_t>{2, 3}));
  EXPECT_EQ(emoji.offsets[5], (std::pair<size_t, size_t>{2, 3}));

  auto al = tok.vocab().lookup(kMark + "\xD8\xA7\xD9\x84");
  auto kitab = tok.vocab().lookup("\xD9\x83\xD8\xAA\xD8\xA7\xD8\xA8");
  ASSERT_TRUE(al && kitab);
  std::vector<uint32_t> ids = {al->id, kitab->id};
  EXPECT_EQ(tok.decode(ids, std::nullopt), "\xD8\xA7\xD9\x84\xD9\x83\xD8\xAA\xD8\xA7\xD8\xA8");
}

}  // namespace
}  // namespace sarfan
