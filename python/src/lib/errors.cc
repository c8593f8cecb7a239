#include "errors.h"

namespace sarfan::py {

PyObject* raise_runtime_error(std::string_view message) {
  Ref text =
      Ref::steal(PyUnicode_DecodeUTF8(message.data(), Py_ssize_t(message.size()), "replace"));
  if (text) PyErr_SetObject(PyExc_RuntimeError, text.get());
  return nullptr;
}

PyObject* raise_core_error(const CoreError& error) {
  return raise_runtime_error(error.display());
}

std::string type_name(PyObject* object) {
  Ref name = Ref::steal(
      PyObject_GetAttrString(reinterpret_cast<PyObject*>(Py_TYPE(object)), "__qualname__"));
  if (name && PyUnicode_Check(name.get())) {
    Py_ssize_t size;
    const char* text = PyUnicode_AsUTF8AndSize(name.get(), &size);
    if (text != nullptr) return std::string(text, size_t(size));
  }
  PyErr_Clear();
  return "<failed to extract type name>";
}

void raise_conversion_error(PyObject* object, const char* target) {
  std::string message = "'";
  message.append(type_name(object)).append("' object cannot be converted to '");
  message.append(target).append("'");
  PyErr_SetString(PyExc_TypeError, message.c_str());
}

PyObject* panic_exception_type() {
  // Created once per process (under the interpreter lock) and kept for its life.
  static PyObject* type = nullptr;
  if (type == nullptr) {
    type = PyErr_NewExceptionWithDoc(
        "sarfan.PanicException",
        "An internal failure of sarfan: a broken invariant, never a problem with the input.",
        PyExc_BaseException, nullptr);
  }
  return type;
}

PyObject* raise_panic(const std::string& message) {
  PyObject* type = panic_exception_type();
  if (type == nullptr) return nullptr;
  Ref text = Ref::steal(PyUnicode_FromStringAndSize(message.data(), Py_ssize_t(message.size())));
  if (!text) return nullptr;
  PyErr_SetObject(type, text.get());
  return nullptr;
}

PyObject* raise_api_failure() {
  if (!PyErr_Occurred()) {
    PyErr_SetString(PyExc_SystemError, "attempted to fetch exception but none was set");
    return nullptr;
  }
  PyErr_Print();
  return raise_panic("Python API call failed");
}

}  // namespace sarfan::py
