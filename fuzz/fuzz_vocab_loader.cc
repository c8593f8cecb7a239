// The vocabulary loader on arbitrary text, read both from memory and from a file (whose
// reader refills an 8 KiB buffer, so lines cross refills): both must agree on the result
// or on the error. A loaded vocabulary must be consistent, and a tokenizer built on it
// must segment the input's own first bytes as the scan written as defined does.
#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz_support.h"
#include "reference_scan.h"

using namespace sarfan;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  auto from_text = from_tsv_text(text);
  fuzzing::MemoryFile file(text);
  auto from_file = from_tsv_file(file.path());
  FUZZ_CHECK(from_text.ok() == from_file.ok(), "text and file loads agree on success");
  if (!from_text.ok()) {
    std::string message = from_text.error().display();
    FUZZ_CHECK(message == from_file.error().display(), "text and file loads report one error");
    FUZZ_CHECK(!message.empty() && utf8::is_valid(message), "errors are valid UTF-8 text");
    return 0;
  }
  const Vocab& vocab = from_text.value();
  const Vocab& same = from_file.value();
  FUZZ_CHECK(
      vocab.vocab_size() == same.vocab_size() && vocab.max_token_len() == same.max_token_len(),
      "text and file loads build the same vocabulary");
  size_t longest = 0;
  for (uint32_t id = 0; id < vocab.vocab_size(); ++id) {
    std::string_view token = vocab.token(id);
    float a = vocab.score(id), b = same.score(id);
    FUZZ_CHECK(token == same.token(id) && std::memcmp(&a, &b, sizeof a) == 0,
               "text and file loads give every id the same token and score");
    if (token.empty()) continue;  // an id no line named
    FUZZ_CHECK(utf8::is_valid(token), "tokens are valid UTF-8");
    auto found = vocab.lookup(token);
    FUZZ_CHECK(found && found->id == id, "every token looks up to its own id");
    longest = std::max(longest, utf8::count_chars(token));
  }
  FUZZ_CHECK(vocab.max_token_len() == longest, "max_token_len is the longest token's length");

  Tokenizer tok = Tokenizer::from_vocab(std::move(from_text).value());
  std::string sample = testing_text::repaired(text.substr(0, 128));
  auto ids = tok.encode_ids(sample, false, std::nullopt);
  auto expected = testing_reference::naive_scan(tok, sample, nullptr);
  FUZZ_CHECK(ids.ok() && ids.value().size() == expected.size(), "as many steps as the scan");
  for (size_t k = 0; k < expected.size(); ++k) {
    FUZZ_CHECK(ids.value()[k] == expected[k].id, "each id equals the defined scan's");
  }
  return 0;
}
