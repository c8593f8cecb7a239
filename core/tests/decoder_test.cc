#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_files.h"
#include "test_text.h"
#include "tokenizer/tokenizer.h"
#include "vocab/vocab_loader.h"

namespace sarfan {
namespace {

using testing_files::TempFile;

// Ids: 0-3 specials, 4+b byte pieces, 260 "▁في", 261 "▁الكتاب", 262 "▁ال", 263 "كتاب",
// 264 gap, 265 "a▁b", 266 "<0x+A>", 267 "<0xd8>" (lower case), 268 "…▁▁z▁" (the first
// byte of "…" is that of "▁"), 269 U+3000 (an ideographic space), 270 U+2582 (its first
// two bytes are those of "▁").
Tokenizer decode_tokenizer() {
  std::string tsv = testing_text::special_and_byte_pieces_tsv();
  tsv += "\xE2\x96\x81\xD9\x81\xD9\x8A\t260\t0\n";
  tsv += "\xE2\x96\x81\xD8\xA7\xD9\x84\xD9\x83\xD8\xAA\xD8\xA7\xD8\xA8\t261\t0\n";
  tsv += "\xE2\x96\x81\xD8\xA7\xD9\x84\t262\t0\n\xD9\x83\xD8\xAA\xD8\xA7\xD8\xA8\t263\t0\n";
  tsv +=
      "a\xE2\x96\x81"
      "b\t265\t0\n<0x+A>\t266\t0\n<0xd8>\t267\t0\n";
  tsv += "\xE2\x80\xA6\xE2\x96\x81\xE2\x96\x81z\xE2\x96\x81\t268\t0\n\xE3\x80\x80\t269\t0\n";
  tsv += "\xE2\x96\x82\t270\t0\n";
  auto vocab = from_tsv_text(tsv);
  EXPECT_TRUE(vocab.ok());
  return Tokenizer::from_vocab(std::move(vocab).value());
}

constexpr uint32_t b(int byte) {
  return uint32_t(4 + byte);
}

struct DecodeCase {
  std::vector<uint32_t> ids;
  std::string expected;
};

class DecodeTest : public testing::TestWithParam<DecodeCase> {};

TEST_P(DecodeTest, Text) {
  Tokenizer tok = decode_tokenizer();
  EXPECT_EQ(tok.decode(GetParam().ids, std::nullopt), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Ids, DecodeTest,
    testing::Values(DecodeCase{{}, ""}, DecodeCase{{1, 2, 0, 0}, ""},
                    DecodeCase{{1, 260, 261, 2},
                               "\xD9\x81\xD9\x8A \xD8\xA7\xD9\x84\xD9\x83\xD8\xAA\xD8\xA7\xD8\xA8"},
                    DecodeCase{{262, 263}, "\xD8\xA7\xD9\x84\xD9\x83\xD8\xAA\xD8\xA7\xD8\xA8"},
                    DecodeCase{{b(0xD8), b(0xA7)}, "\xD8\xA7"},
                    DecodeCase{{b(0xD8)}, "\xEF\xBF\xBD"},
                    // A special piece flushes the pending bytes in between.
                    DecodeCase{{b(0xD8), 1, b(0xA7)}, "\xEF\xBF\xBD\xEF\xBF\xBD"},
                    // So does a gap, which adds no text.
                    DecodeCase{{b(0xD8), 264, b(0xA7)}, "\xEF\xBF\xBD\xEF\xBF\xBD"},
                    // An unknown id is skipped and leaves the pending bytes alone.
                    DecodeCase{{b(0xD8), 99999, b(0xA7)}, "\xD8\xA7"}, DecodeCase{{3}, "[UNK]"},
                    DecodeCase{{265}, "a b"}, DecodeCase{{b('x'), b(0x0A)}, "x"},
                    DecodeCase{{266, 267, b(0xA7)}, "\xD8\xA7"},
                    // Maximal subparts: E0 80 is two ill-formed subsequences; F0 9F 98 one.
                    DecodeCase{{b(0xE0), b(0x80), b('a')},
                               "\xEF\xBF\xBD\xEF\xBF\xBD"
                               "a"},
                    DecodeCase{{b(0xF0), b(0x9F), b(0x98), b('a')},
                               "\xEF\xBF\xBD"
                               "a"},
                    DecodeCase{{4294967295u}, ""},
                    // Every "▁" is a space, and White_Space goes from both ends only.
                    DecodeCase{{269, 268, 265, 269}, "\xE2\x80\xA6  z a b"},
                    DecodeCase{{269, 269}, ""},
                    DecodeCase{{270, 265},
                               "\xE2\x96\x82"
                               "a b"}));

TEST(DecoderTest, PluginIdsWithAndWithoutDialect) {
  Tokenizer tok = decode_tokenizer();
  uint32_t base = tok.vocab().vocab_size();
  TempFile first(std::string("one\t") + std::to_string(base) + "\t0\n");
  TempFile second(std::string("two\t") + std::to_string(base) + "\t0\n" + "<0x41>\t" +
                  std::to_string(base + 1) + "\t0\n");
  ASSERT_TRUE(tok.load_plugin(first.path(), "p1").ok());
  ASSERT_TRUE(tok.load_plugin(second.path(), "p2").ok());
  std::vector<uint32_t> ids = {base, base + 1, 262};
  EXPECT_EQ(tok.decode(ids, std::nullopt), "oneA \xD8\xA7\xD9\x84");
  EXPECT_EQ(tok.decode(ids, "p2"), "twoA \xD8\xA7\xD9\x84");
  EXPECT_EQ(tok.decode(ids, "none"), "\xD8\xA7\xD9\x84");
  tok.unload_plugin("p1");
  tok.unload_plugin("p2");
  EXPECT_EQ(tok.decode(ids, std::nullopt), "\xD8\xA7\xD9\x84");
}

TEST(DecoderTest, RoundTripOfEncodedText) {
  Tokenizer tok = decode_tokenizer();
  std::string text =
      "\xD9\x81\xD9\x8A \xD8\xA7\xD9\x84\xD9\x83\xD8\xAA\xD8\xA7\xD8\xA8 \xF0\x9F\x98\x80";
  auto ids = tok.encode_ids(text, true, std::nullopt).value();
  // The emoji fell back to bytes, so it joins the word before it.
  EXPECT_EQ(tok.decode(ids, std::nullopt),
            "\xD9\x81\xD9\x8A \xD8\xA7\xD9\x84\xD9\x83\xD8\xAA\xD8\xA7\xD8\xA8\xF0\x9F\x98\x80");
}

}  // namespace
}  // namespace sarfan
