#pragma once

#include "py_ref.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The argument layer shared by every method: matching positional and keyword arguments
// to parameters, converting values, and prefixing conversion TypeErrors with the
// parameter's name. Every function returns false (or nullptr) with an exception set.
namespace sarfan::py {

struct Param {
  const char* name = nullptr;
  const char* default_value = nullptr;  // as the signature line shows it; nullptr: required
};

// The one declaration of a method of the module's classes. Argument matching reads its
// parameters, and its docstring (method_def.h) is made from the same fields.
struct MethodSpec {
  const char* name;  // "encode"
  std::array<Param, 3> params{};
  const char* doc = "";  // the docstring after its signature line
  bool is_static = false;
  const char* class_name = "SarfanMSATokenizer";

  // Parameters in use, and how many of them, from the first, have no default.
  constexpr int count() const {
    int n = 0;
    while (n < int(params.size()) && params[n].name != nullptr) ++n;
    return n;
  }
  constexpr int required() const {
    int n = 0;
    while (n < count() && params[n].default_value == nullptr) ++n;
    return n;
  }
};

// Matches a fastcall-with-keywords call; slots[k] receives the borrowed argument of
// parameter k, or nullptr when it was not given.
bool match_arguments(const MethodSpec& method, PyObject* const* args, Py_ssize_t nargsf,
                     PyObject* kwnames, PyObject** slots);

// Replaces a pending TypeError (exactly that type) by "argument '{param}': {message}",
// keeping its __cause__. Other exceptions stay as they are. Returns false.
bool prefix_type_error(const char* param);

// Each converter takes the argument of parameter `param` and applies the prefix rule.
bool convert_str(PyObject* value, const char* param, std::string_view& out);
bool convert_bool(PyObject* value, const char* param, bool& out);
bool convert_ids(PyObject* value, const char* param, std::vector<uint32_t>& out);
bool convert_id_batches(PyObject* value, const char* param,
                        std::vector<std::vector<uint32_t>>& out);
// Texts copied as UTF-8 into one buffer: text k is bytes[ends[k-1], ends[k]).
class TextBatch {
 public:
  size_t size() const { return ends_.size(); }
  std::string_view operator[](size_t k) const {
    size_t begin = k == 0 ? 0 : ends_[k - 1];
    return std::string_view(bytes_).substr(begin, ends_[k] - begin);
  }
  void reserve(size_t count) { ends_.reserve(count); }
  void append(std::string_view text) {
    bytes_.append(text);
    ends_.push_back(bytes_.size());
  }

 private:
  std::string bytes_;
  std::vector<size_t> ends_;
};

// A sequence of str, each copied as UTF-8.
bool convert_texts(PyObject* value, const char* param, TextBatch& out);

}  // namespace sarfan::py
