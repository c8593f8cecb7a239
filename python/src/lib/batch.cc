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
#include "borrow.h"
#include "errors.h"
#include "objects.h"

namespace sarfan::py {

namespace {

using Access = Borrow<TokenizerObject>;

constexpr MethodSpec kEncodeBatch{"SarfanMSATokenizer.encode_batch()", {"texts"}, 1, 1};
constexpr MethodSpec kEncodeBatchIds{"SarfanMSATokenizer.encode_batch_ids()", {"texts"}, 1, 1};
constexpr MethodSpec kEncodeBatchWithDialect{
    "SarfanMSATokenizer.encode_batch_with_dialect()", {"texts", "dialect"}, 2, 2};
constexpr MethodSpec kEncodeBatchIdsWithDialect{
    "SarfanMSATokenizer.encode_batch_ids_with_dialect()", {"texts", "dialect"}, 2, 2};

// Runs `encode_one(text) -> Result<T>` over all texts; the first error stored wins.
template <class T, class Encode>
std::optional<CoreError> encode_all(const TextBatch& texts, std::vector<T>& out,
                                    Encode encode_one) {
  out.resize(texts.size());
  std::mutex error_mutex;
  std::optional<CoreError> first_error;
  std::atomic<bool> stop{false};
  BatchPool::instance().run(texts.size(), texts.total_bytes(), [&](size_t begin, size_t end) {
    for (size_t i = begin; i < end; ++i) {
      if (stop.load(std::memory_order_relaxed)) return;
      auto result = encode_one(texts[i]);
      if (!result.ok()) {
        std::lock_guard<std::mutex> lock(error_mutex);
        if (!first_error) first_error = result.error();
        stop.store(true, std::memory_order_relaxed);
        return;
      }
      out[i] = std::move(result).value();
    }
  });
  return first_error;
}

template <bool kIdsOnly, bool kWithDialect>
PyObject* batch_method(const MethodSpec& method, PyObject* self, PyObject* const* args,
                       Py_ssize_t nargs, PyObject* kwnames) {
  return guarded([&]() -> PyObject* {
    PyObject* slots[2];
    if (!match_arguments(method, args, nargs, kwnames, slots)) return nullptr;
    Access access(self, tokenizer_type(), "SarfanMSATokenizer", Access::Mode::kShared);
    if (!access.ok()) return nullptr;
    TextBatch texts;
    if (!convert_texts(slots[0], "texts", texts)) return nullptr;
    std::optional<std::string> dialect;
    if constexpr (kWithDialect) {
      std::string_view name;
      if (!convert_str(slots[1], "dialect", name)) return nullptr;
      dialect = std::string(name);
    }
    std::optional<std::string_view> dialect_view;
    if (dialect) dialect_view = *dialect;
    const Tokenizer& tokenizer = access->tokenizer;
    if constexpr (kIdsOnly) {
      std::vector<std::vector<uint32_t>> results;
      auto error = encode_all(texts, results, [&](std::string_view text) {
        return tokenizer.encode_ids(text, true, dialect_view);
      });
      if (error) return raise_core_error(*error);
      IdInts& id_ints = access->id_ints;
      return build_list(results.size(), [&](size_t k) { return id_ints.to_list(results[k]); });
    } else {
      std::vector<EncodeResult> results;
      auto error = encode_all(texts, results, [&](std::string_view text) {
        return tokenizer.encode(text, true, dialect_view);
      });
      if (error) return raise_core_error(*error);
      return build_list(results.size(),
                        [&](size_t k) { return wrap_encode_result(std::move(results[k])); });
    }
  });
}

}  // namespace

PyObject* encode_batch(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return batch_method<false, false>(kEncodeBatch, self, args, nargs, kwnames);
}
PyObject* encode_batch_ids(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                           PyObject* kwnames) {
  return batch_method<true, false>(kEncodeBatchIds, self, args, nargs, kwnames);
}
PyObject* encode_batch_with_dialect(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                    PyObject* kwnames) {
  return batch_method<false, true>(kEncodeBatchWithDialect, self, args, nargs, kwnames);
}
PyObject* encode_batch_ids_with_dialect(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                        PyObject* kwnames) {
  return batch_method<true, true>(kEncodeBatchIdsWithDialect, self, args, nargs, kwnames);
}

}  // namespace sarfan::py
