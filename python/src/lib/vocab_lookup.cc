#include "vocab_lookup.h"

#include <optional>
#include <string_view>

#include "errors.h"
#include "method_call.h"
#include "objects.h"

namespace sarfan::py {

namespace {

using std::string_view;

// The piece of a base id, or of a plugin id in the plugins' loading order; an id in a gap
// of the vocabulary has none.
std::optional<string_view> piece_of(const Tokenizer& tokenizer, uint32_t id) {
  const Vocab& vocab = tokenizer.vocab();
  if (id < vocab.vocab_size()) {
    string_view piece = vocab.token(id);
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
bool put(PyObject* dict, string_view piece, uint32_t id) {
  Ref key = Ref::steal(string_to_str(piece));
  Ref value = Ref::steal(checked_result(PyLong_FromUnsignedLong(id)));
  return key && value && PyDict_SetItem(dict, key.get(), value.get()) == 0;
}

}  // namespace

PyObject* id_to_token(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return call_method<kIdToToken, Receiver::kShared, uint32_t>(
      self, args, nargs, kwnames, [](TokenizerState& state, uint32_t id) -> PyObject* {
        auto piece = piece_of(state.tokenizer, id);
        if (!piece) Py_RETURN_NONE;
        return string_to_str(*piece);
      });
}

PyObject* token_to_id(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return call_method<kTokenToId, Receiver::kShared, string_view>(
      self, args, nargs, kwnames, [](TokenizerState& state, string_view piece) -> PyObject* {
        const Tokenizer& tokenizer = state.tokenizer;
        std::optional<PieceMatch> match = tokenizer.vocab().lookup(piece);
        for (const std::string& name : tokenizer.plugin_names()) {
          if (match) break;
          match = tokenizer.plugin(name)->lookup(piece);
        }
        if (!match) Py_RETURN_NONE;
        return checked_result(PyLong_FromUnsignedLong(match->id));
      });
}

PyObject* get_vocab(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return call_method<kGetVocab, Receiver::kShared, std::optional<string_view>>(
      self, args, nargs, kwnames,
      [](TokenizerState& state, std::optional<string_view> dialect) -> PyObject* {
        const Tokenizer& tokenizer = state.tokenizer;
        const Vocab& vocab = tokenizer.vocab();
        Ref dict = Ref::steal(checked_result(PyDict_New()));
        if (!dict) return nullptr;
        for (uint32_t id = 0; id < vocab.vocab_size(); ++id) {
          string_view piece = vocab.token(id);
          if (!piece.empty() && !put(dict.get(), piece, id)) return nullptr;
        }
        // The named dialect's pieces win over equal base pieces, as they do when encoding.
        if (const DialectPlugin* plugin = dialect ? tokenizer.plugin(*dialect) : nullptr) {
          const auto& pieces = plugin->tokens();
          for (size_t k = 0; k < pieces.size(); ++k) {
            uint32_t id = plugin->start_id() + uint32_t(k);
            if (!pieces[k].empty() && !put(dict.get(), pieces[k], id)) return nullptr;
          }
        }
        return dict.release();
      });
}

}  // namespace sarfan::py
