#pragma once

#include <optional>
#include <utility>
#include <variant>

#include "vocab/core_error.h"

namespace sarfan {

// A value or the CoreError that prevented it. Every fallible core call returns one.
template <class T>
class [[nodiscard]] Result {
 public:
  Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}
  Result(CoreError error) : state_(std::in_place_index<1>, std::move(error)) {}

  bool ok() const { return state_.index() == 0; }
  T& value() & { return std::get<0>(state_); }
  const T& value() const& { return std::get<0>(state_); }
  T&& value() && { return std::get<0>(std::move(state_)); }
  const CoreError& error() const { return std::get<1>(state_); }

 private:
  std::variant<T, CoreError> state_;
};

template <>
class [[nodiscard]] Result<void> {
 public:
  Result() = default;
  Result(CoreError error) : error_(std::move(error)) {}

  bool ok() const { return !error_.has_value(); }
  const CoreError& error() const { return *error_; }

 private:
  std::optional<CoreError> error_;
};

}  // namespace sarfan
