#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace sarfan {

// Piece texts of one encode, kept in one buffer instead of one string each.
class PieceTexts {
 public:
  size_t size() const { return ends_.size(); }
  std::string_view operator[](size_t k) const {
    size_t start = k == 0 ? 0 : ends_[k - 1];
    return std::string_view(bytes_).substr(start, ends_[k] - start);
  }
  void reserve(size_t pieces, size_t bytes) {
    ends_.reserve(pieces);
    bytes_.reserve(bytes);
  }
  void push(std::string_view prefix, std::string_view text) {
    bytes_.append(prefix);
    bytes_.append(text);
    ends_.push_back(bytes_.size());
  }

 private:
  std::string bytes_;
  std::vector<size_t> ends_;
};

// The full result of one encode: parallel ids, piece texts and character spans, from the
// "[BOS]" step to the "[EOS]" step, with the resolved dialect.
struct EncodeResult {
  std::vector<uint32_t> ids;
  PieceTexts tokens;
  std::vector<std::pair<size_t, size_t>> offsets;
  std::string dialect;
  float confidence = 1.0f;
  bool fallback = true;
};

// The ids of one encode with, for each step, the span of the caller's text, in characters,
// that it came from (Tokenizer::encode_ids_and_input_offsets).
struct IdsAndInputOffsets {
  std::vector<uint32_t> ids;
  std::vector<std::pair<size_t, size_t>> offsets;
};

}  // namespace sarfan
