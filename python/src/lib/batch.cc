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

// Encodes `texts` with or without a dialect; the dialect is copied for the workers.
template <bool kIdsOnly>
PyObject* encode_texts(TokenizerState& state, const TextBatch& texts,
                       std::optional<std::string_view> dialect_name) {
  std::optional<std::string> dialect;
  if (dialect_name) dialect = std::string(*dialect_name);
  std::optional<std::string_view> dialect_view;
  if (dialect) dialect_view = *dialect;
  const Tokenizer& tokenizer = state.tokenizer;
  if constexpr (kIdsOnly) {
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
        return encode_texts<false>(state, texts, std::nullopt);
      });
}
PyObject* encode_batch_ids(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                           PyObject* kwnames) {
  return call_method<kEncodeBatchIds, Receiver::kShared, TextBatch>(
      self, args, nargs, kwnames, [](TokenizerState& state, const TextBatch& texts) {
        return encode_texts<true>(state, texts, std::nullopt);
      });
}
PyObject* encode_batch_with_dialect(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                    PyObject* kwnames) {
  return call_method<kEncodeBatchWithDialect, Receiver::kShared, TextBatch, std::string_view>(
      self, args, nargs, kwnames,
      [](TokenizerState& state, const TextBatch& texts, std::string_view dialect) {
        return encode_texts<false>(state, texts, dialect);
      });
}
PyObject* encode_batch_ids_with_dialect(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                        PyObject* kwnames) {
  return call_method<kEncodeBatchIdsWithDialect, Receiver::kShared, TextBatch, std::string_view>(
      self, args, nargs, kwnames,
      [](TokenizerState& state, const TextBatch& texts, std::string_view dialect) {
        return encode_texts<true>(state, texts, dialect);
      });
}

}  // namespace sarfan::py
