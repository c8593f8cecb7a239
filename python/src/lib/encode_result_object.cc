// The EncodeResult class: read-only views of one core EncodeResult, each read building
// new Python objects.
#include <new>
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
    const EncodeResult& result = access->result;
    return access->objects->tokens_list(result.tokens, result.ids);
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
    PyObject* text = string_to_str(access->result.dialect);
    return text != nullptr ? text : raise_api_failure();
  });
}

PyObject* get_confidence(PyObject* self, void*) {
  return guarded([&]() -> PyObject* {
    SharedResult access = shared(self);
    if (!access.ok()) return nullptr;
    PyObject* value = PyFloat_FromDouble(double(access->result.confidence));
    return value != nullptr ? value : raise_api_failure();
  });
}

PyObject* get_fallback(PyObject* self, void*) {
  return guarded([&]() -> PyObject* {
    SharedResult access = shared(self);
    if (!access.ok()) return nullptr;
    return PyBool_FromLong(access->result.fallback);
  });
}

void dealloc(PyObject* self) {
  PyTypeObject* type = Py_TYPE(self);
  auto* object = reinterpret_cast<EncodeResultObject*>(self);
  object->result.~EncodeResult();
  object->objects.~shared_ptr();
  type->tp_free(self);
  Py_DECREF(type);
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

PyType_Slot slots[] = {
    {Py_tp_doc, const_cast<char*>("Python wrapper for EncodeResult")},
    {Py_tp_methods, no_methods},
    {Py_tp_getset, getset},
    {Py_tp_base, &PyBaseObject_Type},
    {Py_tp_new, reinterpret_cast<void*>(refuse_construction)},
    {Py_tp_dealloc, reinterpret_cast<void*>(dealloc)},
    {0, nullptr},
};

PyType_Spec type_spec = {"builtins.EncodeResult", int(sizeof(EncodeResultObject)), 0,
                         Py_TPFLAGS_DEFAULT, slots};

}  // namespace

PyTypeObject* encode_result_type() {
  static PyTypeObject* type = nullptr;
  if (type == nullptr) type = reinterpret_cast<PyTypeObject*>(PyType_FromSpec(&type_spec));
  return type;
}

PyObject* wrap_encode_result(EncodeResult result, std::shared_ptr<ResultObjects> objects) {
  PyTypeObject* type = encode_result_type();
  if (type == nullptr) return nullptr;
  PyObject* self = type->tp_alloc(type, 0);
  if (self == nullptr) return raise_api_failure();
  auto* object = reinterpret_cast<EncodeResultObject*>(self);
  new (&object->result) EncodeResult(std::move(result));
  object->borrow_flag = 0;
  new (&object->objects) std::shared_ptr<ResultObjects>(std::move(objects));
  return self;
}

PyObject* refuse_construction(PyTypeObject*, PyObject*, PyObject*) {
  PyErr_SetString(PyExc_TypeError, "No constructor defined");
  return nullptr;
}

PyObject* string_to_str(std::string_view text) {
  return PyUnicode_DecodeUTF8(text.data(), Py_ssize_t(text.size()), "strict");
}

}  // namespace sarfan::py
