// Batch encoding: texts are copied out of Python first, encoded on the worker pool (the
// workers touch no Python object), and the results converted on the calling thread.
#include "batch.h"

#include <atomic>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "args.h"
#include "batch_pool.h"
#include "errors.h"
#include "method_call.h"
#include "objects.h"

namespace sarfan::py {

namespace {

// Texts are handed to the pool, and converted, in chunks of about this many bytes. A batch
// smaller than one chunk is encoded on the calling thread: waking workers costs more than
// encoding a few short texts.
constexpr size_t kChunkBytes = 16 * 1024;

// The end of each chunk of consecutive texts.
std::vector<size_t> chunk_ends(const TextBatch& texts) {
  std::vector<size_t> ends;
  size_t bytes = 0;
  for (size_t i = 0; i < texts.size(); ++i) {
    bytes += texts[i].size();
    if (bytes >= kChunkBytes) {
      ends.push_back(i + 1);
      bytes = 0;
    }
  }
  if (ends.empty() || ends.back() != texts.size()) ends.push_back(texts.size());
  return ends;
}

// Encodes every text with `encode_one(text) -> Result<T>` on the pool while the calling
// thread turns finished chunks into Python objects with `to_python(T&&)`, into a list made
// at its final length. The first core error stored wins and discards everything.
template <class T, class Encode, class ToPython>
PyObject* encode_all(const TextBatch& texts, Encode encode_one, ToPython to_python) {
  Ref list = Ref::steal(PyList_New(Py_ssize_t(texts.size())));
  if (!list) return raise_api_failure();
  std::vector<T> results(texts.size());
  std::vector<size_t> ends = chunk_ends(texts);
  auto begin_of = [&](size_t c) { return c == 0 ? size_t(0) : ends[c - 1]; };
  std::mutex error_mutex;
  std::optional<CoreError> first_error;
  std::atomic<bool> stop{false};
  bool converted = true;
  auto produce = [&](size_t c) {
    for (size_t i = begin_of(c); i < ends[c]; ++i) {
      if (stop.load(std::memory_order_relaxed)) return false;
      auto result = encode_one(texts[i]);
      if (!result.ok()) {
        std::lock_guard<std::mutex> lock(error_mutex);
        if (!first_error) first_error = result.error();
        stop.store(true, std::memory_order_relaxed);
        return false;
      }
      results[i] = std::move(result).value();
    }
    return true;
  };
  auto consume = [&](size_t c) {
    for (size_t i = begin_of(c); i < ends[c]; ++i) {
      PyObject* item = to_python(std::move(results[i]));
      if (item == nullptr) {
        converted = false;
        stop.store(true, std::memory_order_relaxed);
        return false;
      }
      // The collector is kept away from the new items until the list is complete: it
      // would otherwise traverse them again at every collection the allocations set off.
      if (PyObject_IS_GC(item)) PyObject_GC_UnTrack(item);
      PyList_SET_ITEM(list.get(), Py_ssize_t(i), item);
      results[i] = T();  // frees the engine's copy as soon as Python has its own
    }
    return true;
  };
  BatchPool::instance().run_in_order(ends.size(), produce, consume);
  if (first_error) return raise_core_error(*first_error);
  if (!converted) return nullptr;
  for (size_t i = 0; i < texts.size(); ++i) {
    PyObject* item = PyList_GET_ITEM(list.get(), Py_ssize_t(i));
    if (PyObject_IS_GC(item)) PyObject_GC_Track(item);
  }
  return list.release();
}

// Appends `bytes` bytes at `data` to an array.array (one copy, through a memoryview).
bool append_bytes(PyObject* array, const void* data, size_t bytes) {
  if (bytes == 0) return true;
  Ref view = Ref::steal(PyMemoryView_FromMemory(static_cast<char*>(const_cast<void*>(data)),
                                                Py_ssize_t(bytes), PyBUF_READ));
  if (!view) return false;
  Ref done = Ref::steal(PyObject_CallMethod(array, "frombytes", "O", view.get()));
  return bool(done);
}

// Every text's ids in one uint32 array and the rows' bounds in an int64 array of n + 1,
// row i being ids[offsets[i]:offsets[i + 1]]: two Python objects per batch, none per id.
// The pool encodes chunks into buffers of their own; the calling thread appends finished
// chunks to the array in order meanwhile. The ids-only path cannot fail, so there is no
// error slot.
PyObject* encode_to_arrays(const Tokenizer& tokenizer, const TextBatch& texts,
                           std::optional<std::string_view> dialect, bool normalize) {
  Ref module = Ref::steal(PyImport_ImportModule("array"));
  if (!module) return nullptr;
  Ref id_array = Ref::steal(PyObject_CallMethod(module.get(), "array", "s", "I"));
  if (!id_array) return nullptr;
  Ref offset_array = Ref::steal(PyObject_CallMethod(module.get(), "array", "s", "q"));
  if (!offset_array) return nullptr;
  std::vector<size_t> ends = chunk_ends(texts);
  auto begin_of = [&](size_t c) { return c == 0 ? size_t(0) : ends[c - 1]; };
  std::vector<std::vector<uint32_t>> chunk_ids(ends.size());
  std::vector<int64_t> offsets(texts.size() + 1, 0);
  bool appended = true;
  auto produce = [&](size_t c) {
    std::vector<uint32_t>& out = chunk_ids[c];
    size_t begin = begin_of(c);
    // At most one id per byte plus the framing; reserving spares the regrowth copies.
    size_t bytes = 0;
    for (size_t i = begin; i < ends[c]; ++i) bytes += texts[i].size();
    out.reserve(bytes + 2 * (ends[c] - begin));
    for (size_t i = begin; i < ends[c]; ++i) {
      size_t before = out.size();
      tokenizer.encode_ids_into(texts[i], normalize, dialect, out);
      offsets[i + 1] = int64_t(out.size() - before);
    }
    return true;
  };
  auto consume = [&](size_t c) {
    appended =
        append_bytes(id_array.get(), chunk_ids[c].data(), chunk_ids[c].size() * sizeof(uint32_t));
    std::vector<uint32_t>().swap(chunk_ids[c]);
    return appended;
  };
  BatchPool::instance().run_in_order(ends.size(), produce, consume);
  if (!appended) return nullptr;
  for (size_t i = 1; i < offsets.size(); ++i) offsets[i] += offsets[i - 1];
  if (!append_bytes(offset_array.get(), offsets.data(), offsets.size() * sizeof(int64_t))) {
    return nullptr;
  }
  return checked_result(PyTuple_Pack(2, id_array.get(), offset_array.get()));
}

// What a batch method returns.
enum class Output { kResults, kIdLists, kIdArrays, kIdsAndInputOffsets };

// Encodes `texts` with or without a dialect; the dialect is copied for the workers. Only
// the arrays and the input offsets may skip normalization.
template <Output kOutput>
PyObject* encode_texts(TokenizerState& state, const TextBatch& texts,
                       std::optional<std::string_view> dialect_name, bool normalize = true) {
  std::optional<std::string> dialect;
  if (dialect_name) dialect = std::string(*dialect_name);
  std::optional<std::string_view> dialect_view;
  if (dialect) dialect_view = *dialect;
  const Tokenizer& tokenizer = state.tokenizer;
  if constexpr (kOutput == Output::kIdArrays) {
    return encode_to_arrays(tokenizer, texts, dialect_view, normalize);
  } else if constexpr (kOutput == Output::kIdsAndInputOffsets) {
    ResultObjects& objects = *state.objects;
    return encode_all<IdsAndInputOffsets>(
        texts,
        [&](std::string_view text) {
          return tokenizer.encode_ids_and_input_offsets(text, normalize, dialect_view);
        },
        [&](IdsAndInputOffsets&& encoded) { return objects.ids_and_offsets(encoded); });
  } else if constexpr (kOutput == Output::kIdLists) {
    IdInts& id_ints = state.objects->ints();
    return encode_all<std::vector<uint32_t>>(
        texts,
        [&](std::string_view text) { return tokenizer.encode_ids(text, true, dialect_view); },
        [&](std::vector<uint32_t>&& ids) { return id_ints.to_list(ids); });
  } else {
    return encode_all<EncodeResult>(
        texts, [&](std::string_view text) { return tokenizer.encode(text, true, dialect_view); },
        [&](EncodeResult&& result) {
          return wrap_encode_result(std::move(result), state.objects);
        });
  }
}

}  // namespace

PyObject* encode_batch(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return call_method<kEncodeBatch, Receiver::kShared, TextBatch>(
      self, args, nargs, kwnames, [](TokenizerState& state, const TextBatch& texts) {
        return encode_texts<Output::kResults>(state, texts, std::nullopt);
      });
}
PyObject* encode_batch_ids(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                           PyObject* kwnames) {
  return call_method<kEncodeBatchIds, Receiver::kShared, TextBatch>(
      self, args, nargs, kwnames, [](TokenizerState& state, const TextBatch& texts) {
        return encode_texts<Output::kIdLists>(state, texts, std::nullopt);
      });
}
PyObject* encode_batch_with_dialect(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                    PyObject* kwnames) {
  return call_method<kEncodeBatchWithDialect, Receiver::kShared, TextBatch, std::string_view>(
      self, args, nargs, kwnames,
      [](TokenizerState& state, const TextBatch& texts, std::string_view dialect) {
        return encode_texts<Output::kResults>(state, texts, dialect);
      });
}
PyObject* encode_batch_ids_with_dialect(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                        PyObject* kwnames) {
  return call_method<kEncodeBatchIdsWithDialect, Receiver::kShared, TextBatch, std::string_view>(
      self, args, nargs, kwnames,
      [](TokenizerState& state, const TextBatch& texts, std::string_view dialect) {
        return encode_texts<Output::kIdLists>(state, texts, dialect);
      });
}

PyObject* encode_batch_ids_array(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                 PyObject* kwnames) {
  return call_method<kEncodeBatchIdsArray, Receiver::kShared, TextBatch, bool>(
      self, args, nargs, kwnames, [](TokenizerState& state, const TextBatch& texts, bool normalize) {
        return encode_texts<Output::kIdArrays>(state, texts, std::nullopt, normalize);
      });
}
PyObject* encode_batch_ids_array_with_dialect(PyObject* self, PyObject* const* args,
                                              Py_ssize_t nargs, PyObject* kwnames) {
  return call_method<kEncodeBatchIdsArrayWithDialect, Receiver::kShared, TextBatch,
                     std::string_view, bool>(
      self, args, nargs, kwnames,
      [](TokenizerState& state, const TextBatch& texts, std::string_view dialect, bool normalize) {
        return encode_texts<Output::kIdArrays>(state, texts, dialect, normalize);
      });
}

PyObject* encode_batch_ids_and_input_offsets(PyObject* self, PyObject* const* args,
                                             Py_ssize_t nargs, PyObject* kwnames) {
  return call_method<kEncodeBatchIdsAndInputOffsets, Receiver::kShared, TextBatch, bool>(
      self, args, nargs, kwnames,
      [](TokenizerState& state, const TextBatch& texts, bool normalize) {
        return encode_texts<Output::kIdsAndInputOffsets>(state, texts, std::nullopt, normalize);
      });
}
PyObject* encode_batch_ids_and_input_offsets_with_dialect(PyObject* self, PyObject* const* args,
                                                          Py_ssize_t nargs, PyObject* kwnames) {
  return call_method<kEncodeBatchIdsAndInputOffsetsWithDialect, Receiver::kShared, TextBatch,
                     std::string_view, bool>(
      self, args, nargs, kwnames,
      [](TokenizerState& state, const TextBatch& texts, std::string_view dialect, bool normalize) {
        return encode_texts<Output::kIdsAndInputOffsets>(state, texts, dialect, normalize);
      });
}

PyObject* batch_threads(PyObject*, PyObject*) {
  return call_method<kBatchThreads, Receiver::kNone>(nullptr, nullptr, 0, nullptr, [] {
    return checked_result(PyLong_FromLong(BatchPool::instance().threads()));
  });
}

}  // namespace sarfan::py
