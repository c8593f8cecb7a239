#include "vocab_lookup.h"

#include <optional>
#include <string_view>

#include "args.h"
#include "borrow.h"
#include "errors.h"
#include "objects.h"

namespace sarfan::py {

namespace {

using Access = Borrow<TokenizerObject>;

constexpr MethodSpec kIdToToken{"SarfanMSATokenizer.id_to_token()", {"id"}, 1, 1};
constexpr MethodSpec kTokenToId{"SarfanMSATokenizer.token_to_id()", {"piece"}, 1, 1};
constexpr MethodSpec kGetVocab{"SarfanMSATokenizer.get_vocab()", {"dialect"}, 1, 0};

// The piece of a base id, or of a plugin id in the plugins' loading order; an id in a gap
// of the vocabulary has none.
std::optional<std::string_view> piece_of(const Tokenizer& tokenizer, uint32_t id) {
  const Vocab& vocab = tokenizer.vocab();
  if (id < vocab.vocab_size()) {
    std::string_view piece = vocab.token(id);
    if (piece.empty()) return std::nullopt;
    return piece;
  }
  for (const std::string& name : tokenizer.plugin_names()) {
    auto piece = tokenizer.plugin(name)->token(id);
    if (piece && !piece->empty()) return piece;
  }
  return std::nullopt;
}

// Sets dict[piece] = id.
bool put(PyObject* dict, std::string_view piece, uint32_t id) {
  Ref key = Ref::steal(string_to_str(piece));
  Ref value = Ref::steal(PyLong_FromUnsignedLong(id));
  return key && value && PyDict_SetItem(dict, key.get(), value.get()) == 0;
}

}  // namespace

PyObject* id_to_token(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return guarded([&]() -> PyObject* {
    PyObject* slots[1];
    if (!match_arguments(kIdToToken, args, nargs, kwnames, slots)) return nullptr;
    Access access(self, tokenizer_type(), "SarfanMSATokenizer", Access::Mode::kShared);
    if (!access.ok()) return nullptr;
    uint32_t id = 0;
    if (!convert_id(slots[0], "id", id)) return nullptr;
    auto piece = piece_of(access->tokenizer, id);
    if (!piece) Py_RETURN_NONE;
    return string_to_str(*piece);
  });
}

PyObject* token_to_id(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return guarded([&]() -> PyObject* {
    PyObject* slots[1];
    if (!match_arguments(kTokenToId, args, nargs, kwnames, slots)) return nullptr;
    Access access(self, tokenizer_type(), "SarfanMSATokenizer", Access::Mode::kShared);
    if (!access.ok()) return nullptr;
    std::string_view piece;
    if (!convert_str(slots[0], "piece", piece)) return nullptr;
    const Tokenizer& tokenizer = access->tokenizer;
    if (auto match = tokenizer.vocab().lookup(piece)) return PyLong_FromUnsignedLong(match->id);
    for (const std::string& name : tokenizer.plugin_names()) {
      if (auto match = tokenizer.plugin(name)->lookup(piece)) {
        return PyLong_FromUnsignedLong(match->id);
      }
    }
    Py_RETURN_NONE;
  });
}

PyObject* get_vocab(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return guarded([&]() -> PyObject* {
    PyObject* slots[1];
    if (!match_arguments(kGetVocab, args, nargs, kwnames, slots)) return nullptr;
    Access access(self, tokenizer_type(), "SarfanMSATokenizer", Access::Mode::kShared);
    if (!access.ok()) return nullptr;
    std::optional<std::string_view> dialect;
    if (slots[0] != nullptr && slots[0] != Py_None) {
      std::string_view name;
      if (!convert_str(slots[0], "dialect", name)) return nullptr;
      dialect = name;
    }
    const Tokenizer& tokenizer = access->tokenizer;
    const Vocab& vocab = tokenizer.vocab();
    Ref dict = Ref::steal(PyDict_New());
    if (!dict) return nullptr;
    for (uint32_t id = 0; id < vocab.vocab_size(); ++id) {
      std::string_view piece = vocab.token(id);
      if (!piece.empty() && !put(dict.get(), piece, id)) return nullptr;
    }
    // The named dialect's pieces win over equal base pieces, as they do when encoding.
    if (const DialectPlugin* plugin = dialect ? tokenizer.plugin(*dialect) : nullptr) {
      const auto& pieces = plugin->tokens();
      for (size_t k = 0; k < pieces.size(); ++k) {
        if (!pieces[k].empty() && !put(dict.get(), pieces[k], plugin->start_id() + uint32_t(k))) {
          return nullptr;
        }
      }
    }
    return dict.release();
  });
}

}  // namespace sarfan::py
