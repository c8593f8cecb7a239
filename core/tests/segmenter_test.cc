#include <gtest/gtest.h>

#include <random>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "reference_scan.h"
#include "test_files.h"
#include "test_text.h"
#include "tokenizer/tokenizer.h"
#include "vocab/vocab_loader.h"

namespace sarfan {
namespace {

using testing_files::TempFile;
using testing_reference::naive_scan;
using testing_reference::Step;
using testing_text::code_points;
using testing_text::kMark;
using testing_text::u8;

std::vector<Step> fast_scan(const Tokenizer& tok, const std::string& owned,
                            std::optional<std::string_view> dialect) {
  // A copy without the string's terminating NUL: the sanitizer build then reports any read
  // past the text's end.
  std::vector<char> exact(owned.begin(), owned.end());
  std::string_view text(exact.data(), exact.size());
  auto result = tok.encode(text, false, dialect);
  EXPECT_TRUE(result.ok());
  const EncodeResult& r = result.value();
  EXPECT_EQ(r.ids.size(), r.tokens.size());
  EXPECT_EQ(r.ids.size(), r.offsets.size());
  std::vector<Step> steps;
  for (size_t k = 0; k < r.ids.size(); ++k) {
    steps.push_back({r.ids[k], std::string(r.tokens[k]), r.offsets[k].first, r.offsets[k].second});
  }
  EXPECT_EQ(tok.encode_ids(text, false, dialect).value(), r.ids);
  return steps;
}

// Vocabularies and texts drawn from a small alphabet, so that pieces overlap a lot:
// marked and plain pieces, pieces with "▁" inside, missing byte pieces, plugin pieces
// that shadow base pieces, and a letter of the texts (U+0629) that no piece holds.
TEST(SegmenterDifferentialTest, IncrementalScanEqualsNaiveScan) {
  std::mt19937 rng(42);
  const std::vector<std::string> alphabet = {"a",        "b",   "\xD8\xA8",
                                             "\xD9\x84", kMark, "\xF0\x9F\x98\x80"};
  const std::vector<std::string> text_alphabet = {
      "a", "b",  "\xD8\xA8",     "\xD9\x84", kMark,     "\xF0\x9F\x98\x80",
      " ", "\t", "\xE3\x80\x80", "c",        "\xD8\xA9"};
  auto random_piece = [&](size_t max_chars) {
    std::string piece = rng() % 2 ? kMark : "";
    for (size_t k = 1 + rng() % max_chars; k > 0; --k) piece += alphabet[rng() % alphabet.size()];
    return piece;
  };
  size_t cases = 0;
  for (int round = 0; round < 250; ++round) {
    std::set<std::string> pieces;
    size_t max_chars = 1 + round % 6;
    for (int k = 0; k < 40; ++k) pieces.insert(random_piece(max_chars));
    // Every other round gives each plain piece its marked twin, so that no piece is unpaired
    // and the word loop takes most words itself, backing up to hits short of its walk's end.
    if (round % 2 == 1) {
      std::vector<std::string> plain;
      for (const std::string& piece : pieces) {
        if (!piece.starts_with(kMark)) plain.push_back(piece);
      }
      for (const std::string& piece : plain) pieces.insert(std::string(kMark) + piece);
    }
    uint32_t id;
    std::string tsv = testing_text::special_and_byte_pieces_tsv(
        [&](unsigned) { return rng() % 4 != 0; }, id);  // some byte pieces are missing
    for (const std::string& piece : pieces) tsv += piece + "\t" + std::to_string(id++) + "\t-1\n";
    auto vocab = from_tsv_text(tsv);
    ASSERT_TRUE(vocab.ok()) << vocab.error().display();
    Tokenizer tok = Tokenizer::from_vocab(std::move(vocab).value());

    std::string plugin_tsv;
    uint32_t plugin_id = tok.vocab().vocab_size();
    for (int k = 0; k < 15; ++k)
      plugin_tsv += random_piece(max_chars + 1) + "\t" + std::to_string(plugin_id++) + "\t-2\n";
    if (round % 3 == 0) plugin_tsv += "<0xF0>\t" + std::to_string(plugin_id++) + "\t0\n";
    TempFile plugin_file(plugin_tsv);
    ASSERT_TRUE(tok.load_plugin(plugin_file.path(), "egy").ok());
    const DialectPlugin* plugin = tok.plugin("egy");

    for (int t = 0; t < 400; ++t) {
      std::string text;
      for (size_t k = rng() % 14; k > 0; --k) text += text_alphabet[rng() % text_alphabet.size()];
      ASSERT_EQ(fast_scan(tok, text, std::nullopt), naive_scan(tok, text, nullptr)) << text;
      ASSERT_EQ(fast_scan(tok, text, "egy"), naive_scan(tok, text, plugin)) << text;
      cases += 2;
    }
  }
  EXPECT_GE(cases, 100000u);
}

Tokenizer small_tokenizer() {
  std::string tsv = testing_text::special_and_byte_pieces_tsv();
  tsv += kMark + "ab\t300\t-1\nabc\t301\t-1\nab\t302\t-1\nc\t303\t-1\n" + kMark + "c\t304\t-1\n";
  auto vocab = from_tsv_text(tsv);
  EXPECT_TRUE(vocab.ok());
  return Tokenizer::from_vocab(std::move(vocab).value());
}

TEST(SegmenterTest, PlainLongerPieceBeatsShorterMarkedOne) {
  Tokenizer tok = small_tokenizer();
  EXPECT_EQ(tok.encode_ids("abc", false, std::nullopt).value(), (std::vector<uint32_t>{1, 301, 2}));
  // Inside a word only plain candidates are tried.
  EXPECT_EQ(tok.encode_ids("abcc c", false, std::nullopt).value(),
            (std::vector<uint32_t>{1, 301, 303, 304, 2}));
}

// At a word's start a plain piece beats the marked candidate only when it is longer and
// its marked twin is no piece. "a" and beh are paired; "ab" and beh teh are not, and come
// after a paired piece with the same first character; "▁ab" is a prefix of a piece, not one.
TEST(SegmenterTest, UnpairedPlainPieceBeatsShorterMarkedOne) {
  const std::string beh = "\xD8\xA8", teh = "\xD8\xAA";
  std::string tsv = testing_text::special_and_byte_pieces_tsv();
  tsv += kMark + "a\t300\t-1\na\t301\t-1\nab\t302\t-1\n" + kMark + "abc\t307\t-1\n" + kMark + beh +
         "\t303\t-1\n" + beh + "\t304\t-1\n" + beh + teh + "\t305\t-1\n" + teh + "\t306\t-1\n";
  auto vocab = from_tsv_text(tsv);
  ASSERT_TRUE(vocab.ok()) << vocab.error().display();
  Tokenizer tok = Tokenizer::from_vocab(std::move(vocab).value());
  auto ids = [&](const std::string& text) {
    return tok.encode_ids(text, false, std::nullopt).value();
  };
  EXPECT_EQ(ids("ab a"), (std::vector<uint32_t>{1, 302, 300, 2}));
  EXPECT_EQ(ids(beh + teh + " " + beh + beh), (std::vector<uint32_t>{1, 305, 303, 304, 2}));
}

TEST(SegmenterTest, WhitespaceRunsAndSpans) {
  Tokenizer tok = small_tokenizer();
  auto r = tok.encode(u8({'a', 'b', 0x3000, 0x00A0, '\t', 'c'}), false, std::nullopt).value();
  EXPECT_EQ(r.ids, (std::vector<uint32_t>{1, 300, 304, 2}));
  EXPECT_EQ(testing_text::texts_of(r.tokens),
            (std::vector<std::string>{"[BOS]", kMark + "ab", kMark + "c", "[EOS]"}));
  EXPECT_EQ(r.offsets, (std::vector<std::pair<size_t, size_t>>{{0, 0}, {0, 2}, {5, 6}, {6, 6}}));
}

TEST(SegmenterTest, EmojiFallsBackToBytesWithTheCharacterSpan) {
  Tokenizer tok = small_tokenizer();
  auto r = tok.encode(
                  "a \xF0\x9F\x98\x80"
                  "c",
                  false, std::nullopt)
               .value();
  EXPECT_EQ(r.ids, (std::vector<uint32_t>{1, 101, 244, 163, 156, 132, 303, 2}));
  EXPECT_EQ(r.tokens[2], "<0xF0>");
  for (size_t k = 2; k <= 5; ++k) EXPECT_EQ(r.offsets[k], (std::pair<size_t, size_t>{2, 3}));
  EXPECT_EQ(r.offsets[6], (std::pair<size_t, size_t>{3, 4}));  // "c" is not at a word start
}

TEST(SegmenterTest, EmptyAndWhitespaceOnlyTexts) {
  Tokenizer tok = small_tokenizer();
  auto empty = tok.encode("", true, std::nullopt).value();
  EXPECT_EQ(empty.ids, (std::vector<uint32_t>{1, 2}));
  EXPECT_EQ(empty.offsets, (std::vector<std::pair<size_t, size_t>>{{0, 0}, {0, 0}}));
  EXPECT_EQ(empty.dialect, "msa");
  EXPECT_TRUE(empty.fallback);
  EXPECT_EQ(tok.encode("   ", true, std::nullopt).value().offsets,
            (std::vector<std::pair<size_t, size_t>>{{0, 0}, {0, 0}}));
  auto raw = tok.encode("   ", false, std::nullopt).value();
  EXPECT_EQ(raw.ids, (std::vector<uint32_t>{1, 2}));
  EXPECT_EQ(raw.offsets, (std::vector<std::pair<size_t, size_t>>{{0, 0}, {3, 3}}));
}

TEST(SegmenterTest, OffsetsReferToTheNormalizedText) {
  Tokenizer tok = small_tokenizer();
  // The tatweel is removed, so "c" stands at 4 of the normalized text, not 5.
  auto r = tok.encode(u8({'a', 'b', 0x0640, ' ', 'c'}), true, std::nullopt).value();
  EXPECT_EQ(r.offsets.back(), (std::pair<size_t, size_t>{4, 4}));
  EXPECT_EQ(r.offsets[r.offsets.size() - 2], (std::pair<size_t, size_t>{3, 4}));
}

TEST(SegmenterTest, MissingBytePieceBecomesUnknown) {
  auto vocab = from_tsv_text("x\t0\t0\n<0xD8>\t5\t0\n");
  ASSERT_TRUE(vocab.ok());
  Tokenizer tok = Tokenizer::from_vocab(std::move(vocab).value());
  auto r = tok.encode("\xD8\xA8", false, std::nullopt).value();
  EXPECT_EQ(r.ids, (std::vector<uint32_t>{1, 5, 3, 2}));
  EXPECT_EQ(r.tokens[2], "[UNK]");
}

TEST(SegmenterTest, InvalidUtf8IsReadAsReplacementCharacters) {
  Tokenizer tok = small_tokenizer();
  auto r = tok.encode(
                  "ab\xFF"
                  "c",
                  false, std::nullopt)
               .value();
  EXPECT_EQ(r.ids, (std::vector<uint32_t>{1, 300, 243, 195, 193, 303, 2}));  // EF BF BD
  EXPECT_EQ(r.offsets.back(), (std::pair<size_t, size_t>{4, 4}));
}

// Shapes that would make a naive scan or NFC quadratic; each must finish promptly.
TEST(SegmenterTest, HostileShapesStayLinear) {
  Tokenizer tok = small_tokenizer();
  std::string no_whitespace;
  for (int k = 0; k < 2500000; ++k) no_whitespace += "abc\xD8\xA8";
  EXPECT_GT(tok.encode_ids(no_whitespace, true, std::nullopt).value().size(), 5000000u);
  std::string emoji;
  for (int k = 0; k < 1000000; ++k) emoji += "\xF0\x9F\x98\x80";
  auto r = tok.encode(emoji, true, std::nullopt).value();
  EXPECT_EQ(r.ids.size(), 4000002u);
  EXPECT_EQ(r.offsets.back(), (std::pair<size_t, size_t>{1000000, 1000000}));

  std::string long_piece(100000, 'z');
  auto vocab = from_tsv_text("a\t0\t0\n" + long_piece + "\t1\t0\n");
  ASSERT_TRUE(vocab.ok());
  Tokenizer long_tok = Tokenizer::from_vocab(std::move(vocab).value());
  EXPECT_EQ(long_tok.max_token_len(), 100000u);
  std::string text;
  for (int k = 0; k < 1000000; ++k) text += "za";
  EXPECT_EQ(long_tok.encode_ids(text, false, std::nullopt).value().size(),
            2u + 1000000u + 1000000u);
}

}  // namespace
}  // namespace sarfan
