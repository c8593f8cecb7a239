#pragma once

#include "py_ref.h"

#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "args.h"
#include "borrow.h"
#include "errors.h"
#include "objects.h"

// The steps every SarfanMSATokenizer method takes before its own work, in this order:
// match the arguments to the MethodSpec, take access to the receiver, convert each given
// argument in parameter order. The first failure ends the call.
namespace sarfan::py {

enum class Receiver { kNone, kShared, kExclusive };

using TokenizerAccess = Borrow<TokenizerObject>;

inline TokenizerAccess tokenizer_access(PyObject* self, TokenizerAccess::Mode mode) {
  return TokenizerAccess(self, tokenizer_type(), "SarfanMSATokenizer", mode);
}

namespace method_call_detail {

// The converter of each parameter type (args.h).
template <class T>
bool convert(PyObject* value, const char* param, T& out) {
  if constexpr (std::is_same_v<T, std::string_view>) {
    return convert_str(value, param, out);
  } else if constexpr (std::is_same_v<T, bool>) {
    return convert_bool(value, param, out);
  } else if constexpr (std::is_same_v<T, std::vector<uint32_t>>) {
    return convert_ids(value, param, out);
  } else if constexpr (std::is_same_v<T, std::vector<std::vector<uint32_t>>>) {
    return convert_id_batches(value, param, out);
  } else {
    static_assert(std::is_same_v<T, TextBatch>, "no converter for this parameter type");
    return convert_texts(value, param, out);
  }
}

// The value of an optional parameter that was not given: normalize defaults to true.
template <class T>
T absent() {
  if constexpr (std::is_same_v<T, bool>) {
    return true;
  } else {
    return T();
  }
}

}  // namespace method_call_detail

// Runs the method declared by `kSpec`, whose parameters convert to `Params...`: after the
// prologue, body(state, params...) with the receiver's TokenizerState (body(params...)
// for a static method). No C++ exception leaves (errors.h).
template <const MethodSpec& kSpec, Receiver kReceiver, class... Params, class Body>
PyObject* call_method(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                      Body&& body) {
  using namespace method_call_detail;
  static_assert(sizeof...(Params) == size_t(kSpec.count()), "one type per declared parameter");
  const MethodSpec& spec = kSpec;
  return guarded([&]() -> PyObject* {
    PyObject* slots[sizeof...(Params) + 1];
    if (!match_arguments(spec, args, nargs, kwnames, slots)) return nullptr;
    auto convert_all = [&](auto&... values) {
      int k = 0;
      [[maybe_unused]] auto one = [&](auto& value) {
        PyObject* given = slots[k];
        const char* param = spec.params[k++].name;
        return given == nullptr || convert(given, param, value);
      };
      return (one(values) && ...);
    };
    std::tuple<Params...> values{absent<Params>()...};
    if constexpr (kReceiver == Receiver::kNone) {
      if (!std::apply(convert_all, values)) return nullptr;
      return std::apply(body, values);
    } else {
      TokenizerAccess access = tokenizer_access(self, kReceiver == Receiver::kShared
                                                          ? TokenizerAccess::Mode::kShared
                                                          : TokenizerAccess::Mode::kExclusive);
      if (!access.ok()) return nullptr;
      if (!std::apply(convert_all, values)) return nullptr;
      return std::apply([&](auto&... params) { return body(*access, params...); }, values);
    }
  });
}

}  // namespace sarfan::py
