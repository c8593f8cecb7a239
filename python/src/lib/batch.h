#pragma once

#include "py_ref.h"

#include "args.h"

// The batch encoders of SarfanMSATokenizer (fastcall with keywords) and the pool's size.
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

inline constexpr MethodSpec kEncodeBatchIdsArray{
    .name = "encode_batch_ids_array",
    .params = {{{"texts"}, {"normalize", "True"}}},
    .doc =
        "Fast batch into two arrays: (ids, row_offsets), array('I') of every id in order and "
        "array('q') of len(texts) + 1, row i being ids[row_offsets[i]:row_offsets[i + 1]] (no "
        "Python int per id); normalize=False encodes the texts as given"};
inline constexpr MethodSpec kEncodeBatchIdsArrayWithDialect{
    .name = "encode_batch_ids_array_with_dialect",
    .params = {{{"texts"}, {"dialect"}, {"normalize", "True"}}},
    .doc =
        "Fast batch into two arrays with dialect: (ids, row_offsets) as encode_batch_ids_array "
        "gives them"};
inline constexpr MethodSpec kEncodeBatchIdsAndInputOffsets{
    .name = "encode_batch_ids_and_input_offsets",
    .params = {{{"texts"}, {"normalize", "True"}}},
    .doc =
        "Fast batch of encode_ids_and_input_offsets(): a list of (ids, offsets), one per text "
        "(texts are encoded in parallel on a pool of worker threads)"};
inline constexpr MethodSpec kEncodeBatchIdsAndInputOffsetsWithDialect{
    .name = "encode_batch_ids_and_input_offsets_with_dialect",
    .params = {{{"texts"}, {"dialect"}, {"normalize", "True"}}},
    .doc = "Fast batch of encode_ids_and_input_offsets() with dialect: a list of (ids, offsets)"};
inline constexpr MethodSpec kBatchThreads{
    .name = "batch_threads",
    .doc = "The number of worker threads of the batch pool (made if need be)",
    .is_static = true};

PyObject* encode_batch(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
PyObject* encode_batch_ids(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                           PyObject* kwnames);
PyObject* encode_batch_with_dialect(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                    PyObject* kwnames);
PyObject* encode_batch_ids_with_dialect(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                        PyObject* kwnames);
PyObject* encode_batch_ids_array(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                 PyObject* kwnames);
PyObject* encode_batch_ids_array_with_dialect(PyObject* self, PyObject* const* args,
                                              Py_ssize_t nargs, PyObject* kwnames);
PyObject* encode_batch_ids_and_input_offsets(PyObject* self, PyObject* const* args,
                                             Py_ssize_t nargs, PyObject* kwnames);
PyObject* encode_batch_ids_and_input_offsets_with_dialect(PyObject* self, PyObject* const* args,
                                                          Py_ssize_t nargs, PyObject* kwnames);
PyObject* batch_threads(PyObject*, PyObject*);

}  // namespace sarfan::py
