// The "sarfan" module: single-phase initialisation, created once per process, in the
// first interpreter that imports it.
#include <atomic>

#include "errors.h"
#include "objects.h"

namespace sarfan::py {

namespace {

PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT,
    "sarfan",
    "Python module",
    0,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
};

// Appends `name` to the module's __all__ (made on first use) and sets the attribute.
bool add_class(PyObject* module, const char* name, PyTypeObject* type) {
  if (type == nullptr) return false;
  Ref all = Ref::steal(PyObject_GetAttrString(module, "__all__"));
  if (!all) {
    if (!PyErr_ExceptionMatches(PyExc_AttributeError)) return false;
    PyErr_Clear();
    all = Ref::steal(PyList_New(0));
    if (!all || PyObject_SetAttrString(module, "__all__", all.get()) < 0) return false;
  }
  if (!PyList_Check(all.get())) {
    raise_conversion_error(all.get(), "PyList");
    return false;
  }
  Ref text = Ref::steal(PyUnicode_FromString(name));
  if (!text || PyList_Append(all.get(), text.get()) < 0) return false;
  return PyObject_SetAttrString(module, name, reinterpret_cast<PyObject*>(type)) == 0;
}

}  // namespace

}  // namespace sarfan::py

extern "C" __attribute__((visibility("default"))) PyObject* PyInit_sarfan() {
  using namespace sarfan::py;
  static std::atomic<int64_t> owner{-1};
  static PyObject* module_object = nullptr;
  return guarded([&]() -> PyObject* {
    int64_t id = PyInterpreterState_GetID(PyInterpreterState_Get());
    if (id == -1) {
      if (!PyErr_Occurred()) {
        PyErr_SetString(PyExc_SystemError, "attempted to fetch exception but none was set");
      }
      return nullptr;
    }
    int64_t expected = -1;
    if (!owner.compare_exchange_strong(expected, id) && expected != id) {
      PyErr_SetString(PyExc_ImportError,
                      "sarfan does not support sub-interpreters: it was first imported in "
                      "another interpreter of this process");
      return nullptr;
    }
    if (module_object != nullptr) {
      Py_INCREF(module_object);
      return module_object;
    }
    Ref module = Ref::steal(PyModule_Create2(&module_def, 1013));
    if (!module) return nullptr;
    if (!add_class(module.get(), "SarfanMSATokenizer", tokenizer_type()) ||
        !add_class(module.get(), "EncodeResult", encode_result_type())) {
      return nullptr;
    }
    if (module_object == nullptr) module_object = module.release();
    Py_INCREF(module_object);
    return module_object;
  });
}
