#pragma once

#include "py_ref.h"

#include "args.h"

// The four batch encoders of SarfanMSATokenizer (fastcall with keywords).
namespace sarfan::py {

inline constexpr MethodSpec kEncodeBatch{
    .name = "encode_batch", .params = {{{"texts"}}}, .doc = "Batch encode"};
inline constexpr MethodSpec kEncodeBatchWithDialect{.name = "encode_batch_with_dialect",
                                                    .params = {{{"texts"}, {"dialect"}}},
                                                    .doc = "Batch encode with explicit dialect"};
inline constexpr MethodSpec kEncodeBatchIds{
    .name = "encode_batch_ids",
    .params = {{{"texts"}}},
    .doc =
        "Fast batch: return only IDs (texts are encoded in parallel on a pool of worker "
        "threads)"};
inline constexpr MethodSpec kEncodeBatchIdsWithDialect{
    .name = "encode_batch_ids_with_dialect",
    .params = {{{"texts"}, {"dialect"}}},
    .doc =
        "Fast batch with dialect: return only IDs (texts are encoded in parallel on a pool "
        "of worker threads)"};

PyObject* encode_batch(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
PyObject* encode_batch_ids(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                           PyObject* kwnames);
PyObject* encode_batch_with_dialect(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                    PyObject* kwnames);
PyObject* encode_batch_ids_with_dialect(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                        PyObject* kwnames);

}  // namespace sarfan::py
