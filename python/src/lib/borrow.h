#pragma once

#include "py_ref.h"

#include "errors.h"

namespace sarfan::py {

// The per-instance access guard: borrow_flag is 0 when free, n > 0 while n calls read the
// instance, -1 while one call holds it exclusively. It is only touched with the
// interpreter lock held, so it needs no atomics. A refused access fails at once.
template <class Object>
class Borrow {
 public:
  enum class Mode { kShared, kExclusive };

  // Checks that `self` is an instance of `type` (named `type_name` in messages) and takes
  // access; on refusal ok() is false and an exception is set.
  Borrow(PyObject* self, PyTypeObject* type, const char* type_name, Mode mode) : mode_(mode) {
    if (!PyObject_TypeCheck(self, type)) {
      raise_conversion_error(self, type_name);
      return;
    }
    auto* object = reinterpret_cast<Object*>(self);
    if (mode == Mode::kShared) {
      if (object->borrow_flag == -1) {
        raise_runtime_error("Already mutably borrowed");
        return;
      }
      ++object->borrow_flag;
    } else {
      if (object->borrow_flag != 0) {
        raise_runtime_error("Already borrowed");
        return;
      }
      object->borrow_flag = -1;
    }
    Py_INCREF(self);
    object_ = object;
  }
  Borrow(const Borrow&) = delete;
  Borrow& operator=(const Borrow&) = delete;
  ~Borrow() {
    if (object_ == nullptr) return;
    if (mode_ == Mode::kShared) {
      --object_->borrow_flag;
    } else {
      object_->borrow_flag = 0;
    }
    Py_DECREF(reinterpret_cast<PyObject*>(object_));
  }

  bool ok() const { return object_ != nullptr; }
  // The instance's wrapped state.
  auto* operator->() const { return &object_->state; }
  auto& operator*() const { return object_->state; }

 private:
  Mode mode_;
  Object* object_ = nullptr;
};

}  // namespace sarfan::py
