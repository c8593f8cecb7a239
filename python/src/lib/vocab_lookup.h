#pragma once

#include "py_ref.h"

#include "args.h"

// Vocabulary lookups of SarfanMSATokenizer (fastcall with keywords): id_to_token,
// token_to_id and get_vocab, over the base vocabulary and the loaded plugins.
namespace sarfan::py {

inline constexpr MethodSpec kIdToToken{.name = "id_to_token",
                                       .params = {{{"id"}}},
                                       .doc = "The piece of a base or plugin id, or None"};
inline constexpr MethodSpec kTokenToId{
    .name = "token_to_id",
    .params = {{{"piece"}}},
    .doc = "The id of a base piece, else of a plugin piece (in loading order), or None"};
inline constexpr MethodSpec kGetVocab{
    .name = "get_vocab",
    .params = {{{"dialect", "None"}}},
    .doc =
        "A new dict of piece to id for the base vocabulary, with the named dialect plugin's "
        "pieces added"};

PyObject* id_to_token(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
PyObject* token_to_id(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
PyObject* get_vocab(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);

}  // namespace sarfan::py
