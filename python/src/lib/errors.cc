#include "errors.h"

namespace sarfan::py {

PyObject* raise_core_error(const CoreError& error) {
  std::string text = error.display();
  Ref message = Ref::steal(PyUnicode_FromStringAndSize(text.data(), Py_ssize_t(text.size())));
  if (!message) return nullptr;
  PyErr_SetObject(PyExc_RuntimeError, message.get());
  return nullptr;
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
  if (PyErr_Occurred()) PyErr_Print();
  return raise_panic("Python API call failed");
}

}  // namespace sarfan::py
