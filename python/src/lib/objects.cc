#include "objects.h"

namespace sarfan::py {

namespace {

// tp_new of every class: instances are made by the module only.
PyObject* refuse_construction(PyTypeObject*, PyObject*, PyObject*) {
  PyErr_SetString(PyExc_TypeError, "No constructor defined");
  return nullptr;
}

}  // namespace

PyTypeObject* class_type(ClassDef& def) {
  if (def.type != nullptr) return def.type;
  def.qualified_name = std::string("builtins.") + def.name;
  PyType_Slot slots[] = {
      {Py_tp_doc, const_cast<char*>(def.doc)},
      {Py_tp_methods, def.methods},
      {Py_tp_getset, def.getset},
      {Py_tp_base, &PyBaseObject_Type},
      {Py_tp_new, reinterpret_cast<void*>(refuse_construction)},
      {Py_tp_dealloc, reinterpret_cast<void*>(def.dealloc)},
      {0, nullptr},
  };
  PyType_Spec spec = {def.qualified_name.c_str(), def.basic_size, 0, Py_TPFLAGS_DEFAULT, slots};
  def.type = reinterpret_cast<PyTypeObject*>(PyType_FromSpec(&spec));
  return def.type;
}

PyObject* string_to_str(std::string_view text) {
  return checked_result(PyUnicode_DecodeUTF8(text.data(), Py_ssize_t(text.size()), "strict"));
}

}  // namespace sarfan::py
