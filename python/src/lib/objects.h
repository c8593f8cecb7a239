#pragma once

#include "py_ref.h"

#include <memory>
#include "errors.h"

#include "result_objects.h"

#include "tokenizer/encode_result.h"
#include "tokenizer/tokenizer.h"

namespace sarfan::py {

// A SarfanMSATokenizer instance: the interpreter's header, the owned Tokenizer, the
// access guard and the Python objects its results share.
struct TokenizerObject {
  PyObject_HEAD Tokenizer tokenizer;
  Py_ssize_t borrow_flag;
  std::shared_ptr<ResultObjects> objects;
};

// An EncodeResult instance, wrapping one immutable core record, with the objects that
// the results of its tokenizer share.
struct EncodeResultObject {
  PyObject_HEAD EncodeResult result;
  Py_ssize_t borrow_flag;
  std::shared_ptr<ResultObjects> objects;
};

// The two classes, created on first use and kept for the life of the process.
PyTypeObject* tokenizer_type();
PyTypeObject* encode_result_type();

// New instances owning the given values; nullptr with an exception set on failure.
PyObject* wrap_tokenizer(Tokenizer tokenizer);
PyObject* wrap_encode_result(EncodeResult result, std::shared_ptr<ResultObjects> objects);

// A new list of `size` items, item k from make(k) (a new reference, or nullptr with an
// exception set). The list is created at its final length.
template <class Make>
PyObject* build_list(size_t size, Make&& make);

// tp_new of both classes: instances are made by the module only.
PyObject* refuse_construction(PyTypeObject*, PyObject*, PyObject*);

// Python objects for core results.
PyObject* string_to_str(std::string_view text);

template <class Make>
PyObject* build_list(size_t size, Make&& make) {
  Ref list = Ref::steal(PyList_New(Py_ssize_t(size)));
  if (!list) return raise_api_failure();
  // Untracked while it fills: otherwise every young collection that the items' allocations
  // set off walks the whole list made so far (a 130,000-item offsets list spent a third of
  // its time there).
  PyObject_GC_UnTrack(list.get());
  for (size_t k = 0; k < size; ++k) {
    PyObject* item = make(k);
    if (item == nullptr) {
      PyObject_GC_Track(list.get());
      return PyErr_Occurred() ? nullptr : raise_api_failure();
    }
    PyList_SET_ITEM(list.get(), Py_ssize_t(k), item);
  }
  PyObject_GC_Track(list.get());
  return list.release();
}

}  // namespace sarfan::py
