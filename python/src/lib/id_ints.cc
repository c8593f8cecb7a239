#include "id_ints.h"

#include <algorithm>

#include "errors.h"

namespace sarfan::py {

IdInts::~IdInts() {
  for (PyObject* value : ints_) Py_XDECREF(value);
}

PyObject* IdInts::make(uint32_t id) {
  if (id >= kLimit) return checked_result(PyLong_FromUnsignedLong(id));
  if (id >= ints_.size()) {
    size_t size = std::max<size_t>(ints_.size(), 65536);
    while (size <= id) size *= 2;
    ints_.resize(size, nullptr);
  }
  PyObject* value = checked_result(PyLong_FromUnsignedLong(id));
  if (value == nullptr) return nullptr;
  Py_INCREF(value);
  ints_[id] = value;
  return value;
}

PyObject* IdInts::fresh(size_t value) {
  return checked_result(PyLong_FromSize_t(value));
}

PyObject* IdInts::to_list(std::span<const uint32_t> ids) {
  PyObject* list = PyList_New(Py_ssize_t(ids.size()));
  if (list == nullptr) return raise_api_failure();
  PyObject** items = reinterpret_cast<PyListObject*>(list)->ob_item;
  PyObject* const* table = ints_.data();
  size_t size = ints_.size();
  for (size_t k = 0; k < ids.size(); ++k) {
    uint32_t id = ids[k];
    PyObject* value = id < size ? table[id] : nullptr;
    if (value != nullptr) {
      Py_INCREF(value);
    } else {
      value = make(id);
      if (value == nullptr) {
        Py_DECREF(list);  // the unfilled items are NULL, which list dealloc skips
        return nullptr;
      }
      table = ints_.data();
      size = ints_.size();
    }
    items[k] = value;
  }
  return list;
}

}  // namespace sarfan::py
