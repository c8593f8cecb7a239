#pragma once

#include "py_ref.h"

// Vocabulary lookups of SarfanMSATokenizer (fastcall with keywords): id_to_token,
// token_to_id and get_vocab, over the base vocabulary and the loaded plugins.
namespace sarfan::py {

PyObject* id_to_token(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
PyObject* token_to_id(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
PyObject* get_vocab(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);

}  // namespace sarfan::py
