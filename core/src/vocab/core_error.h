#pragma once

#include <string>

namespace sarfan {

// The one error type of the core. Each kind renders to a fixed display text;
// the Python layer shows exactly that text to users.
class CoreError {
 public:
  enum class Kind {
    kIo,
    kInvalidModel,
    kPluginIncompatible,
    kUnknownDialect,
    kRouterNotLoaded,
    kInvalidInput,
    kSerialization,
    kFst,
  };

  static CoreError io(std::string text) { return CoreError(Kind::kIo, std::move(text)); }
  // An operating-system failure: the C library's message plus " (os error N)".
  static CoreError os(int error_number);
  static CoreError invalid_utf8() { return io("stream did not contain valid UTF-8"); }
  static CoreError nul_in_path() { return io("file name contained an unexpected NUL byte"); }
  static CoreError invalid_model(std::string message) {
    return CoreError(Kind::kInvalidModel, std::move(message));
  }
  static CoreError plugin_incompatible(std::string plugin_hash, std::string base_hash) {
    return CoreError(Kind::kPluginIncompatible, std::move(plugin_hash), std::move(base_hash));
  }
  static CoreError unknown_dialect(std::string dialect) {
    return CoreError(Kind::kUnknownDialect, std::move(dialect));
  }
  static CoreError router_not_loaded() { return CoreError(Kind::kRouterNotLoaded, {}); }
  static CoreError invalid_input(std::string message) {
    return CoreError(Kind::kInvalidInput, std::move(message));
  }
  static CoreError serialization(std::string text) {
    return CoreError(Kind::kSerialization, std::move(text));
  }
  static CoreError fst(std::string message) { return CoreError(Kind::kFst, std::move(message)); }

  Kind kind() const { return kind_; }
  // The payload text (the message, the I/O text, or the plugin hash).
  const std::string& message() const { return first_; }
  std::string display() const;

 private:
  CoreError(Kind kind, std::string first, std::string second = {})
      : kind_(kind), first_(std::move(first)), second_(std::move(second)) {}

  Kind kind_;
  std::string first_;
  std::string second_;
};

}  // namespace sarfan
