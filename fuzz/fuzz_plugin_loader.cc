// The plugin loader on arbitrary text, over a small base vocabulary. The input's last
// byte gives the length of a text taken from its end; the rest is the plugin file. A
// plugin that loads must be consistent and segment that text as the scan written as
// defined does; one that fails must leave the tokenizer's plugins as they were.
#include <cstdint>
#include <memory>
#include <string>

#include "fuzz_support.h"
#include "reference_scan.h"

using namespace sarfan;

namespace {

std::unique_ptr<Tokenizer> tok;
std::unique_ptr<fuzzing::MemoryFile> standing_plugin;  // registered as "p" between runs
size_t standing_slots;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  tok = std::make_unique<Tokenizer>(fuzzing::load_tokenizer(fuzzing::overlap_vocab_tsv()));
  standing_plugin =
      std::make_unique<fuzzing::MemoryFile>(fuzzing::overlap_plugin_tsv(tok->vocab().vocab_size()));
  FUZZ_CHECK(tok->load_plugin(standing_plugin->path(), "p").ok(), "the fixed plugin loads");
  standing_slots = tok->plugin("p")->tokens().size();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  size_t text_size = size > 0 ? std::min<size_t>(data[size - 1], size - 1) : 0;
  std::string_view plugin_text = input.substr(0, size - text_size - (size > 0 ? 1 : 0));
  std::string text = testing_text::repaired(input.substr(plugin_text.size(), text_size));

  const uint32_t base = tok->vocab().vocab_size();
  fuzzing::MemoryFile file(plugin_text);
  auto direct = DialectPlugin::load(file.path(), "p", base);
  auto loaded = tok->load_plugin(file.path(), "p");
  FUZZ_CHECK(direct.ok() == loaded.ok(), "both ways of loading agree");
  if (!loaded.ok()) {
    std::string message = loaded.error().display();
    FUZZ_CHECK(message == direct.error().display(), "both ways report one error");
    FUZZ_CHECK(!message.empty() && utf8::is_valid(message), "errors are valid UTF-8 text");
    FUZZ_CHECK(tok->plugin_names().size() == 1 && tok->plugin("p") &&
                   tok->plugin("p")->tokens().size() == standing_slots,
               "a failed load leaves the registered plugin in place");
    return 0;
  }
  const DialectPlugin& plugin = *tok->plugin("p");
  FUZZ_CHECK(plugin.start_id() == base, "slots start at the base size");
  for (uint32_t slot = 0; slot < plugin.tokens().size(); ++slot) {
    const std::string& token = plugin.tokens()[slot];
    FUZZ_CHECK(plugin.token(base + slot) == std::string_view(token), "token() reads the slots");
    if (token.empty()) continue;
    FUZZ_CHECK(utf8::is_valid(token), "tokens are valid UTF-8");
    auto found = plugin.lookup(token);
    FUZZ_CHECK(found && found->id >= base, "every piece has a global id from the base on");
    FUZZ_CHECK(plugin.token(found->id), "the id of a piece names one of the slots");
  }
  FUZZ_CHECK(!plugin.token(base + uint32_t(plugin.tokens().size())), "no slot past the end");

  auto result = tok->encode(text, false, "p");
  auto expected = testing_reference::naive_scan(*tok, text, &plugin);
  FUZZ_CHECK(result.ok() && result.value().ids.size() == expected.size(),
             "as many steps as the defined scan");
  for (size_t k = 0; k < expected.size(); ++k) {
    FUZZ_CHECK(
        result.value().ids[k] == expected[k].id && result.value().tokens[k] == expected[k].piece,
        "each step equals the defined scan's");
  }
  FUZZ_CHECK(utf8::is_valid(tok->decode(result.value().ids, "p")), "decode gives valid UTF-8");

  FUZZ_CHECK(tok->load_plugin(standing_plugin->path(), "p").ok(), "the fixed plugin reloads");
  return 0;
}
