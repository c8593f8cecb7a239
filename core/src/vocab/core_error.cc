#include "vocab/core_error.h"

#include <string.h>

namespace sarfan {

namespace {

// strerror_r comes in a GNU flavour (returns the text) and a POSIX one (fills the buffer,
// as Windows' strerror_s does).
[[maybe_unused]] const char* error_text(char* result, const char*) {
  return result;
}
[[maybe_unused]] const char* error_text(int result, const char* buffer) {
  return result == 0 ? buffer : "Unknown error";
}

}  // namespace

CoreError CoreError::os(int error_number) {
  char buffer[256] = {};
#if defined(_WIN32)
  const char* text = error_text(strerror_s(buffer, sizeof buffer, error_number), buffer);
#else
  const char* text = error_text(strerror_r(error_number, buffer, sizeof buffer), buffer);
#endif
  return io(std::string(text) + " (os error " + std::to_string(error_number) + ")");
}

std::string CoreError::display() const {
  switch (kind_) {
    case Kind::kIo:
      return "IO error: " + first_;
    case Kind::kInvalidModel:
      return "Invalid model file: " + first_;
    case Kind::kPluginIncompatible:
      return "Plugin incompatible with base model: plugin_hash=" + first_ +
             ", base_hash=" + second_;
    case Kind::kUnknownDialect:
      return "Unknown dialect: " + first_;
    case Kind::kRouterNotLoaded:
      return "Router not loaded but auto-routing requested";
    case Kind::kInvalidInput:
      return "Invalid input: " + first_;
    case Kind::kSerialization:
      return "Serialization error: " + first_;
    case Kind::kFst:
      return "FST error: " + first_;
  }
  return first_;
}

}  // namespace sarfan
