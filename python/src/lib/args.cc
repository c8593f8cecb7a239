#include "args.h"

#include <cstring>

#include "errors.h"

namespace sarfan::py {

namespace {

PyObject* type_error(const std::string& message) {
  PyErr_SetString(PyExc_TypeError, message.c_str());
  return nullptr;
}

std::string quoted_list(const std::vector<const char*>& names) {
  std::string out;
  for (size_t k = 0; k < names.size(); ++k) {
    if (k > 0) out += names.size() == 2 ? " and " : (k + 1 == names.size() ? ", and " : ", ");
    out.append("'").append(names[k]).append("'");
  }
  return out;
}

// Sequence conversion: refuse str and non-sequences, reserve `out` from the length when
// it is known, then convert each item of the iteration with `item`.
template <class Output, class Item>
bool convert_sequence(PyObject* value, Output& out, Item&& item) {
  if (PyUnicode_Check(value)) {
    PyErr_SetString(PyExc_TypeError, "Can't extract `str` to `Vec`");
    return false;
  }
  if (!PySequence_Check(value)) {
    raise_conversion_error(value, "Sequence");
    return false;
  }
  Py_ssize_t size = PySequence_Size(value);
  if (size < 0) {
    PyErr_Clear();
    size = 0;
  }
  out.reserve(size_t(size));
  Ref iterator = Ref::steal(PyObject_GetIter(value));
  if (!iterator) return false;
  while (true) {
    Ref next = Ref::steal(PyIter_Next(iterator.get()));
    if (!next) return !PyErr_Occurred();
    if (!item(next.get())) return false;
  }
}

// Python 3.9's PyLong_AsLong still falls back to __int__ (a float, a Decimal) with only a
// DeprecationWarning; ids take an int or an __index__ object alone, as from 3.10 on.
bool refuse_non_index(PyObject* item) {
#if PY_VERSION_HEX < 0x030A0000
  if (!PyLong_Check(item) && !PyIndex_Check(item)) {
    PyErr_Format(PyExc_TypeError, "'%.200s' object cannot be interpreted as an integer",
                 Py_TYPE(item)->tp_name);
    return true;
  }
#else
  (void)item;
#endif
  return false;
}

bool convert_id_raw(PyObject* item, uint32_t& out) {
  if (refuse_non_index(item)) return false;
  long id = PyLong_AsLong(item);
  if (id == -1 && PyErr_Occurred()) return false;
  if (id < 0 || (unsigned long)id > 4294967295ul) {
    PyErr_SetString(PyExc_OverflowError, "out of range integral type conversion attempted");
    return false;
  }
  out = uint32_t(id);
  return true;
}

bool convert_ids_raw(PyObject* value, std::vector<uint32_t>& out) {
  return convert_sequence(value, out, [&](PyObject* item) {
    uint32_t id = 0;
    if (!convert_id_raw(item, id)) return false;
    out.push_back(id);
    return true;
  });
}

// "SarfanMSATokenizer.encode()", as the messages name a method.
std::string function_name(const MethodSpec& method) {
  return std::string(method.class_name) + "." + method.name + "()";
}

}  // namespace

bool match_arguments(const MethodSpec& method, PyObject* const* args, Py_ssize_t nargsf,
                     PyObject* kwnames, PyObject** slots) {
  Py_ssize_t given = PyVectorcall_NARGS(nargsf);
  const int count = method.count(), required = method.required();
  for (int k = 0; k < count; ++k) slots[k] = nullptr;
  if (given > count) {
    std::string verb = given == 1 ? "was" : "were";
    std::string counts = required == count
                             ? std::to_string(count)
                             : "from " + std::to_string(required) + " to " + std::to_string(count);
    type_error(function_name(method) + " takes " + counts + " positional arguments but " +
               std::to_string(given) + " " + verb + " given");
    return false;
  }
  for (Py_ssize_t k = 0; k < given; ++k) slots[k] = args[k];
  Py_ssize_t keywords = kwnames == nullptr ? 0 : PyTuple_GET_SIZE(kwnames);
  for (Py_ssize_t k = 0; k < keywords; ++k) {
    PyObject* key = PyTuple_GET_ITEM(kwnames, k);
    Py_ssize_t size = 0;
    const char* name = PyUnicode_AsUTF8AndSize(key, &size);
    if (name == nullptr) return false;
    std::string_view name_view(name, size_t(size));
    int param = -1;
    for (int p = 0; p < count; ++p) {
      if (name_view == method.params[p].name) param = p;
    }
    if (param < 0) {
      type_error(function_name(method) + " got an unexpected keyword argument '" +
                 std::string(name_view) + "'");
      return false;
    }
    if (slots[param] != nullptr) {
      type_error(function_name(method) + " got multiple values for argument '" +
                 std::string(name_view) + "'");
      return false;
    }
    slots[param] = args[given + k];
  }
  std::vector<const char*> missing;
  for (int p = 0; p < required; ++p) {
    if (slots[p] == nullptr) missing.push_back(method.params[p].name);
  }
  if (!missing.empty()) {
    type_error(function_name(method) + " missing " + std::to_string(missing.size()) +
               " required positional " + (missing.size() == 1 ? "argument" : "arguments") + ": " +
               quoted_list(missing));
    return false;
  }
  return true;
}

bool prefix_type_error(const char* param) {
  if (!PyErr_Occurred() || PyErr_Occurred() != PyExc_TypeError) return false;
  PendingError caught;
  PyObject* value = caught.value();
  Ref text = Ref::steal(PyObject_Str(value));
  if (!text) return false;
  Ref message = Ref::steal(PyUnicode_FromFormat("argument '%s': %U", param, text.get()));
  if (!message) return false;
  Ref replacement = Ref::steal(PyObject_CallOneArg(PyExc_TypeError, message.get()));
  if (!replacement) return false;
  if (PyObject* cause = PyException_GetCause(value)) {
    PyException_SetCause(replacement.get(), cause);  // steals the new reference
  }
  PyErr_SetObject(PyExc_TypeError, replacement.get());
  return false;
}

bool convert_str(PyObject* value, const char* param, std::string_view& out) {
  if (!PyUnicode_Check(value)) {
    raise_conversion_error(value, "PyString");
    return prefix_type_error(param);
  }
  Py_ssize_t size = 0;
  const char* text = PyUnicode_AsUTF8AndSize(value, &size);
  if (text == nullptr) return prefix_type_error(param);
  out = std::string_view(text, size_t(size));
  return true;
}

bool convert_bool(PyObject* value, const char* param, bool& out) {
  if (Py_IS_TYPE(value, &PyBool_Type)) {
    out = value == Py_True;
    return true;
  }
  // NumPy booleans, by their C-level type name: "numpy.bool_" (NumPy 1) or "numpy.bool"
  // (NumPy 2 renamed the same type).
  const char* name = Py_TYPE(value)->tp_name;
  if (std::strcmp(name, "numpy.bool_") == 0 || std::strcmp(name, "numpy.bool") == 0) {
    PyNumberMethods* number = Py_TYPE(value)->tp_as_number;
    if (number == nullptr || number->nb_bool == nullptr) {
      Ref type_text = Ref::steal(PyObject_Str(reinterpret_cast<PyObject*>(Py_TYPE(value))));
      if (!type_text) return prefix_type_error(param);
      PyErr_Format(PyExc_TypeError, "object of type '%U' does not define a '__bool__' conversion",
                   type_text.get());
      return prefix_type_error(param);
    }
    int truth = number->nb_bool(value);
    if (truth < 0) return prefix_type_error(param);
    out = truth != 0;
    return true;
  }
  raise_conversion_error(value, "PyBool");
  return prefix_type_error(param);
}

bool convert_id(PyObject* value, const char* param, uint32_t& out) {
  return convert_id_raw(value, out) || prefix_type_error(param);
}

bool convert_ids(PyObject* value, const char* param, std::vector<uint32_t>& out) {
  if (!convert_ids_raw(value, out)) return prefix_type_error(param);
  return true;
}

bool convert_id_batches(PyObject* value, const char* param,
                        std::vector<std::vector<uint32_t>>& out) {
  bool ok = convert_sequence(value, out, [&](PyObject* item) {
    out.emplace_back();
    return convert_ids_raw(item, out.back());
  });
  return ok || prefix_type_error(param);
}

bool convert_texts(PyObject* value, const char* param, TextBatch& out) {
  bool ok = convert_sequence(value, out, [&](PyObject* item) {
    if (!PyUnicode_Check(item)) {
      raise_conversion_error(item, "PyString");
      return false;
    }
    Py_ssize_t size = 0;
    const char* text = PyUnicode_AsUTF8AndSize(item, &size);
    if (text == nullptr) return false;
    out.append(std::string_view(text, size_t(size)));
    return true;
  });
  return ok || prefix_type_error(param);
}

}  // namespace sarfan::py
