#pragma once

#include "py_ref.h"

#include <memory>
#include <new>
#include <string>
#include <utility>

#include "errors.h"

#include "result_objects.h"

#include "tokenizer/encode_result.h"
#include "tokenizer/tokenizer.h"

namespace sarfan::py {

// An instance of one of the module's classes: the interpreter's header, the wrapped
// state and the access guard (borrow.h).
template <class State>
struct Instance {
  PyObject_HEAD State state;
  Py_ssize_t borrow_flag;
};

// SarfanMSATokenizer: the owned Tokenizer and the Python objects its results share.
struct TokenizerState {
  Tokenizer tokenizer;
  std::shared_ptr<ResultObjects> objects;
};
using TokenizerObject = Instance<TokenizerState>;

// EncodeResult: one immutable core record, and the objects that the results of its
// tokenizer share.
struct EncodeResultState {
  EncodeResult result;
  std::shared_ptr<ResultObjects> objects;
};
using EncodeResultObject = Instance<EncodeResultState>;

// A class of the module: a heap type "builtins.<name>" with a docstring, methods and
// attributes, made by the module only (tp_new refuses) and with no slot beyond these.
struct ClassDef {
  const char* name;
  const char* doc;
  PyMethodDef* methods;
  PyGetSetDef* getset;
  int basic_size;
  destructor dealloc;
  std::string qualified_name = {};  // kept here: the type refers to it for life
  PyTypeObject* type = nullptr;     // made on first use, kept for the life of the process
};

// The class's type; nullptr with the interpreter's exception when it cannot be made.
PyTypeObject* class_type(ClassDef& def);

template <class Object>
void dealloc_instance(PyObject* self) {
  PyTypeObject* type = Py_TYPE(self);
  using State = decltype(Object::state);
  reinterpret_cast<Object*>(self)->state.~State();
  type->tp_free(self);
  Py_DECREF(type);
}

template <class Object>
ClassDef class_def(const char* name, const char* doc, PyMethodDef* methods, PyGetSetDef* getset) {
  return {name, doc, methods, getset, int(sizeof(Object)), dealloc_instance<Object>};
}

// A new instance of `type` whose state is made from `args`, the guard free; nullptr with
// an exception set on failure.
template <class Object, class... Args>
PyObject* wrap_instance(PyTypeObject* type, Args&&... args) {
  if (type == nullptr) return nullptr;
  PyObject* self = type->tp_alloc(type, 0);
  if (self == nullptr) return raise_api_failure();
  auto* object = reinterpret_cast<Object*>(self);
  using State = decltype(Object::state);
  new (&object->state) State{std::forward<Args>(args)...};
  object->borrow_flag = 0;
  return self;
}

// The two classes, created on first use and kept for the life of the process.
PyTypeObject* tokenizer_type();
PyTypeObject* encode_result_type();

// New instances owning the given values; nullptr with an exception set on failure.
PyObject* wrap_tokenizer(Tokenizer tokenizer);
PyObject* wrap_encode_result(EncodeResult result, std::shared_ptr<ResultObjects> objects);

// A new list of `size` items, item k from make(k): a new reference, or nullptr with the
// exception that make() raised through the failure helpers of errors.h. The list is
// created at its final length.
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
      return nullptr;
    }
    PyList_SET_ITEM(list.get(), Py_ssize_t(k), item);
  }
  PyObject_GC_Track(list.get());
  return list.release();
}

// Python objects for core results; a failure to make them is raised by raise_api_failure().
PyObject* string_to_str(std::string_view text);

}  // namespace sarfan::py
