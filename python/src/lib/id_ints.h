#pragma once

#include <Python.h>

#include <cstdint>
#include <span>
#include <vector>

namespace sarfan::py {

// The Python ints of token ids, made on first use and shared by every id list one
// tokenizer returns (ints are immutable). A list of n ids then costs n reference-count
// increments instead of n allocations, which is most of encode_ids' Python-side cost.
// Used only with the interpreter lock held.
class IdInts {
 public:
  IdInts() = default;
  IdInts(const IdInts&) = delete;
  IdInts& operator=(const IdInts&) = delete;
  ~IdInts();

  // A new list holding the ids; nullptr with an exception set on failure.
  PyObject* to_list(std::span<const uint32_t> ids);

 private:
  // Ids at or above this get a fresh int each time: the table stays at most 2 MiB.
  static constexpr uint32_t kLimit = 1u << 18;

  // A new reference, filling the table when id < kLimit; a failure is raised by
  // raise_api_failure().
  PyObject* make(uint32_t id);

  std::vector<PyObject*> ints_;  // owned references, nullptr where not made yet
};

}  // namespace sarfan::py
