#pragma once

#include "py_ref.h"

#include <exception>
#include <new>
#include <string>

#include "vocab/core_error.h"

namespace sarfan::py {

// Raises RuntimeError with the error's display text. Returns nullptr for `return`.
PyObject* raise_core_error(const CoreError& error);
// Raises the module's PanicException (a BaseException subclass) with `message`.
PyObject* raise_panic(const std::string& message);
// For an interpreter call that failed while building a result: prints the pending error
// and raises PanicException "Python API call failed".
PyObject* raise_api_failure();
// The exception type, created on first use.
PyObject* panic_exception_type();

// Runs `body` (returning a new reference or nullptr with an exception set) so that no C++
// exception reaches the interpreter: std::bad_alloc becomes MemoryError, anything else
// PanicException.
template <class Body>
PyObject* guarded(Body&& body) noexcept {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return PyErr_NoMemory();
  } catch (const std::exception& e) {
    return raise_panic(e.what());
  } catch (...) {
    return raise_panic("unknown C++ exception");
  }
}

}  // namespace sarfan::py
