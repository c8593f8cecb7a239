// The EncodeResult class: read-only views of one core EncodeResult, each read building
// new Python objects.
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

PyObject* get_ids(PyObject* self, void*) {
  return guarded([&]() -> PyObject* {
    SharedResult access = shared(self);
    if (!access.ok()) return nullptr;
    return access->objects->ints().to_list(access->result.ids);
  });
}

PyObject* get_tokens(PyObject* self, void*) {
  return guarded([&]() -> PyObject* {
    SharedResult access = shared(self);
    if (!access.ok()) return nullptr;
    return access->objects->tokens_list(access->result.tokens, access->result.ids);
  });
}

PyObject* get_offsets(PyObject* self, void*) {
  return guarded([&]() -> PyObject* {
    SharedResult access = shared(self);
    if (!access.ok()) return nullptr;
    return access->objects->offsets_list(access->result.offsets);
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

PyObject* wrap_encode_result(EncodeResult result, std::shared_ptr<ResultObjects> objects) {
  return wrap_instance<EncodeResultObject>(encode_result_type(), std::move(result),
                                           std::move(objects));
}

}  // namespace sarfan::py
