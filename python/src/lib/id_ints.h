#pragma once

#include <Python.h>

#include <cstdint>
#include <span>
#include <vector>

namespace sarfan::py {

// The Python ints of token ids and offsets, made on first use and shared by every list
// that one tokenizer's calls and results return (ints are immutable). A list of n ids then costs n
// reference-count increments instead of n allocations, which is most of encode_ids' Python-side
// cost. Used only with the interpreter lock held.
class IdInts {
 public:
  IdInts() = default;
  IdInts(const IdInts&) = delete;
  IdInts& operator=(const IdInts&) = delete;
  ~IdInts();

  // A new list holding the ids; nullptr with an exception set on failure.
  PyObject* to_list(std::span<const uint32_t> ids);
  // A new reference to the int `value`; nullptr with an exception set on failure.
  PyObject* int_of(size_t value) {
    if (value < ints_.size() && ints_[value] != nullptr) {
      Py_INCREF(ints_[value]);
      return ints_[value];
    }
    return value < kLimit ? make(uint32_t(value)) : fresh(value);
  }

 private:
  // Values at or above this get a fresh int each time: the table stays at most 8 MiB of
  // pointers, reached only by offsets into texts of a million characters. It grows by
  // doubling from 64k entries.
  static constexpr uint32_t kLimit = 1u << 20;

  // A new reference, filling the table when id < kLimit; a failure is raised by
  // raise_api_failure().
  PyObject* make(uint32_t id);
  static PyObject* fresh(size_t value);

  std::vector<PyObject*> ints_;  // owned references, nullptr where not made yet
};

}  // namespace sarfan::py
