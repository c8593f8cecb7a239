#pragma once

#include "py_ref.h"

#include <array>
#include <cstddef>
#include <type_traits>

#include "args.h"

// A method's entry in its class's method table, made from its MethodSpec: the calling
// convention and the docstring's signature line follow from the declared parameters, so
// argument matching and the docstring cannot drift apart.
namespace sarfan::py {

namespace method_def_detail {

constexpr size_t append(char* out, size_t at, const char* text) {
  for (; *text != '\0'; ++text, ++at) {
    if (out != nullptr) out[at] = *text;
  }
  return at;
}

// Writes "name($self, a, b=True)\n--\n\nbody" to `out` (only counts when it is nullptr)
// and returns its length. The interpreter splits it into __text_signature__ and __doc__.
constexpr size_t write_docstring(const MethodSpec& spec, char* out) {
  size_t at = append(out, append(out, 0, spec.name), "(");
  const char* separator = "";
  if (!spec.is_static) {
    at = append(out, at, "$self");
    separator = ", ";
  }
  for (int k = 0; k < spec.count(); ++k) {
    at = append(out, append(out, at, separator), spec.params[k].name);
    if (spec.params[k].default_value != nullptr) {
      at = append(out, append(out, at, "="), spec.params[k].default_value);
    }
    separator = ", ";
  }
  return append(out, append(out, at, ")\n--\n\n"), spec.doc);
}

template <const MethodSpec& kSpec>
inline constexpr auto kDocstring = [] {
  std::array<char, write_docstring(kSpec, nullptr) + 1> text{};
  write_docstring(kSpec, text.data());
  return text;
}();

using NoArgs = PyObject* (*)(PyObject*, PyObject*);
using FastWithKeywords = PyObject* (*)(PyObject*, PyObject* const*, Py_ssize_t, PyObject*);

}  // namespace method_def_detail

// Methods without parameters take METH_NOARGS, the others METH_FASTCALL | METH_KEYWORDS;
// static ones add METH_STATIC.
template <const MethodSpec& kSpec, class Function>
PyMethodDef method_def(Function function) {
  using namespace method_def_detail;
  constexpr bool kNoArgs = kSpec.count() == 0;
  static_assert(std::is_same_v<Function, std::conditional_t<kNoArgs, NoArgs, FastWithKeywords>>,
                "the function's signature must match the calling convention");
  int flags =
      (kNoArgs ? METH_NOARGS : METH_FASTCALL | METH_KEYWORDS) | (kSpec.is_static ? METH_STATIC : 0);
  return {kSpec.name, reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(function)), flags,
          kDocstring<kSpec>.data()};
}

}  // namespace sarfan::py
