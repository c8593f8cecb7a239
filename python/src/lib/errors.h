#pragma once

#include "py_ref.h"

#include <exception>
#include <new>
#include <string>
#include <string_view>

#include "vocab/core_error.h"

// How the binding layer fails. Every path that sets an exception goes through these:
// - a core error or any other refusal of the module's own: RuntimeError with its text;
// - an argument of the wrong type: TypeError with the conversion message;
// - an interpreter call that fails while a result is being made: PanicException, or
//   SystemError when the interpreter set no exception;
// - a C++ exception: MemoryError for std::bad_alloc (still caught by `except Exception`),
//   PanicException for anything else.
// Exceptions raised by the caller's own Python code pass through unchanged.
namespace sarfan::py {

// Raises RuntimeError with `message` (invalid UTF-8 replaced). Returns nullptr for `return`.
PyObject* raise_runtime_error(std::string_view message);
// Raises RuntimeError with the error's display text.
PyObject* raise_core_error(const CoreError& error);

// The qualified name of `object`'s type, or "<failed to extract type name>".
std::string type_name(PyObject* object);
// Raises TypeError "'{type}' object cannot be converted to '{target}'".
void raise_conversion_error(PyObject* object, const char* target);

// PanicException, a BaseException subclass created once per process on first use. It is
// not an attribute of the module, which holds only its two classes.
PyObject* panic_exception_type();
// Raises PanicException with `message`.
PyObject* raise_panic(const std::string& message);
// For an interpreter call that failed while making a result: prints the pending error and
// raises PanicException "Python API call failed"; with no pending error, raises
// SystemError "attempted to fetch exception but none was set".
PyObject* raise_api_failure();
// `made`, an object the interpreter was asked to make for a result, or raise_api_failure()
// when it is nullptr.
inline PyObject* checked_result(PyObject* made) {
  return made != nullptr ? made : raise_api_failure();
}

// Runs `body` (returning a new reference or nullptr with an exception set) so that no C++
// exception reaches the interpreter.
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
