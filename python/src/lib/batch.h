#pragma once

#include "py_ref.h"

// The batch encoders of SarfanMSATokenizer (fastcall with keywords).
namespace sarfan::py {

PyObject* encode_batch(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
PyObject* encode_batch_ids(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                           PyObject* kwnames);
PyObject* encode_batch_with_dialect(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                    PyObject* kwnames);
PyObject* encode_batch_ids_with_dialect(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                        PyObject* kwnames);
// The ids of a batch as (array('I') ids, array('q') row offsets).
PyObject* encode_batch_ids_array(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                 PyObject* kwnames);
PyObject* encode_batch_ids_array_with_dialect(PyObject* self, PyObject* const* args,
                                              Py_ssize_t nargs, PyObject* kwnames);
// The pool's thread count (static, no arguments); makes the pool if need be.
PyObject* batch_threads(PyObject*, PyObject*);

}  // namespace sarfan::py
