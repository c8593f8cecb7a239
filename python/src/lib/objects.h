#pragma once

#include "py_ref.h"

#include "tokenizer/encode_result.h"
#include "tokenizer/tokenizer.h"

namespace sarfan::py {

// A SarfanMSATokenizer instance: the interpreter's header, the owned Tokenizer and the
// access guard.
struct TokenizerObject {
  PyObject_HEAD Tokenizer tokenizer;
  Py_ssize_t borrow_flag;
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

// Python objects for core results.
PyObject* ids_to_list(const std::vector<uint32_t>& ids);
PyObject* string_to_str(std::string_view text);

}  // namespace sarfan::py
