#pragma once

#include "py_ref.h"

#include "errors.h"
#include "id_ints.h"

#include "tokenizer/encode_result.h"
#include "tokenizer/tokenizer.h"

namespace sarfan::py {

// A SarfanMSATokenizer instance: the interpreter's header, the owned Tokenizer, the
// access guard and the shared ints of the id lists it returns.
struct TokenizerObject {
  PyObject_HEAD Tokenizer tokenizer;
  Py_ssize_t borrow_flag;
  IdInts id_ints;
};

// An EncodeResult instance, wrapping one immutable core record.
struct EncodeResultObject {
  PyObject_HEAD EncodeResult result;
  Py_ssize_t borrow_flag;
};

// The two classes, created on first use and kept for the life of the process.
PyTypeObject* tokenizer_type();
PyTypeObject* encode_result_type();

// New instances owning the given values; nullptr with an exception set on failure.
PyObject* wrap_tokenizer(Tokenizer tokenizer);
PyObject* wrap_encode_result(EncodeResult result);

// A new list of `size` items, item k from make(k): a new reference, or nullptr with the
// exception that make() raised through the failure helpers of errors.h. The list is
// created at its final length.
template <class Make>
PyObject* build_list(size_t size, Make&& make);

// tp_new of both classes: instances are made by the module only.
PyObject* refuse_construction(PyTypeObject*, PyObject*, PyObject*);

// Python objects for core results; a failure to make them is raised by raise_api_failure().
PyObject* ids_to_list(const std::vector<uint32_t>& ids);
PyObject* string_to_str(std::string_view text);

template <class Make>
PyObject* build_list(size_t size, Make&& make) {
  Ref list = Ref::steal(PyList_New(Py_ssize_t(size)));
  if (!list) return raise_api_failure();
  for (size_t k = 0; k < size; ++k) {
    PyObject* item = make(k);
    if (item == nullptr) return nullptr;
    PyList_SET_ITEM(list.get(), Py_ssize_t(k), item);
  }
  return list.release();
}

}  // namespace sarfan::py
