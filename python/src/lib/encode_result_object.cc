// The EncodeResult class: read-only views of one core EncodeResult, each read building
// new Python objects.
#include <algorithm>
#include <string_view>
#include <vector>

#include "borrow.h"
#include "errors.h"
#include "objects.h"

namespace sarfan::py {

namespace {

using SharedResult = Borrow<EncodeResultObject>;

SharedResult shared(PyObject* self) {
  return SharedResult(self, encode_result_type(), "EncodeResult", SharedResult::Mode::kShared);
}

// Long results repeat their pieces many times over: one str per distinct piece, found by
// id and confirmed by its bytes (an id may stand for several texts, as the unknown id
// does), saves most of the decoding.
PyObject* tokens_to_list(const PieceTexts& tokens, const std::vector<uint32_t>& ids) {
  constexpr size_t kShareFrom = 4096;
  uint32_t max_id = 0;
  if (tokens.size() >= kShareFrom) {
    for (uint32_t id : ids) max_id = std::max(max_id, id);
  }
  if (tokens.size() < kShareFrom || max_id >= (1u << 20)) {
    return build_list(tokens.size(), [&](size_t k) { return string_to_str(tokens[k]); });
  }
  struct Shared {
    std::string_view text;
    PyObject* str = nullptr;  // borrowed from the list being built
  };
  std::vector<Shared> by_id(size_t(max_id) + 1);
  return build_list(tokens.size(), [&](size_t k) -> PyObject* {
    Shared& shared = by_id[ids[k]];
    if (shared.str != nullptr && shared.text == tokens[k]) {
      Py_INCREF(shared.str);
      return shared.str;
    }
    PyObject* str = string_to_str(tokens[k]);
    if (str != nullptr) shared = {tokens[k], str};
    return str;
  });
}

PyObject* get_ids(PyObject* self, void*) {
  return guarded([&]() -> PyObject* {
    SharedResult access = shared(self);
    if (!access.ok()) return nullptr;
    return ids_to_list(access->result.ids);
  });
}

PyObject* get_tokens(PyObject* self, void*) {
  return guarded([&]() -> PyObject* {
    SharedResult access = shared(self);
    if (!access.ok()) return nullptr;
    const EncodeResult& result = access->result;
    return tokens_to_list(result.tokens, result.ids);
  });
}

PyObject* get_offsets(PyObject* self, void*) {
  return guarded([&]() -> PyObject* {
    SharedResult access = shared(self);
    if (!access.ok()) return nullptr;
    const auto& offsets = access->result.offsets;
    // A piece usually starts where the one before ended: that int is shared.
    Ref previous_end;
    return build_list(offsets.size(), [&](size_t k) -> PyObject* {
      Ref start = k > 0 && offsets[k].first == offsets[k - 1].second
                      ? Ref::borrow(previous_end.get())
                      : Ref::steal(checked_result(PyLong_FromSize_t(offsets[k].first)));
      if (!start) return nullptr;
      Ref end = Ref::steal(checked_result(PyLong_FromSize_t(offsets[k].second)));
      if (!end) return nullptr;
      PyObject* pair = checked_result(PyTuple_New(2));
      if (pair == nullptr) return nullptr;
      // A pair of ints can never be part of a cycle; the collector untracks such tuples
      // itself when it meets them, this spares it the meeting.
      PyObject_GC_UnTrack(pair);
      previous_end = Ref::borrow(end.get());
      PyTuple_SET_ITEM(pair, 0, start.release());
      PyTuple_SET_ITEM(pair, 1, end.release());
      return pair;
    });
  });
}

PyObject* get_dialect(PyObject* self, void*) {
  return guarded([&]() -> PyObject* {
    SharedResult access = shared(self);
    if (!access.ok()) return nullptr;
    return string_to_str(access->result.dialect);
  });
}

PyObject* get_confidence(PyObject* self, void*) {
  return guarded([&]() -> PyObject* {
    SharedResult access = shared(self);
    if (!access.ok()) return nullptr;
    return checked_result(PyFloat_FromDouble(double(access->result.confidence)));
  });
}

PyObject* get_fallback(PyObject* self, void*) {
  return guarded([&]() -> PyObject* {
    SharedResult access = shared(self);
    if (!access.ok()) return nullptr;
    return PyBool_FromLong(access->result.fallback);
  });
}

PyGetSetDef getset[] = {
    {"ids", get_ids, nullptr, nullptr, nullptr},
    {"tokens", get_tokens, nullptr, nullptr, nullptr},
    {"dialect", get_dialect, nullptr, nullptr, nullptr},
    {"confidence", get_confidence, nullptr, nullptr, nullptr},
    {"fallback", get_fallback, nullptr, nullptr, nullptr},
    {"offsets", get_offsets, nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyMethodDef no_methods[] = {{nullptr, nullptr, 0, nullptr}};

ClassDef encode_result_class = class_def<EncodeResultObject>(
    "EncodeResult", "Python wrapper for EncodeResult", no_methods, getset);

}  // namespace

PyTypeObject* encode_result_type() {
  return class_type(encode_result_class);
}

PyObject* wrap_encode_result(EncodeResult result) {
  return wrap_instance<EncodeResultObject>(encode_result_type(), std::move(result));
}

}  // namespace sarfan::py
