#pragma once

#include <Python.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "id_ints.h"

#include "tokenizer/encode_result.h"

namespace sarfan::py {

// The Python objects that the results of one tokenizer share: ints for ids and offsets,
// and the strs of base pieces. The tokenizer object and every EncodeResult it made hold
// it jointly, so a result keeps these objects alive, never the tokenizer. Plugin pieces
// (ids from the base vocabulary size on) are not kept: a plugin may be unloaded or
// replaced while results live. Used only with the interpreter lock held.
//
// On the 1 MB benchmark text, reading ids, tokens and offsets spent most of its time
// making one int per id and offset and one str per piece.
class ResultObjects {
 public:
  explicit ResultObjects(uint32_t base_vocab_size) : base_vocab_size_(base_vocab_size) {}
  ResultObjects(const ResultObjects&) = delete;
  ResultObjects& operator=(const ResultObjects&) = delete;
  ~ResultObjects();

  IdInts& ints() { return ints_; }

  // New lists for the fields of a result; nullptr with an exception set on failure.
  PyObject* tokens_list(const PieceTexts& tokens, const std::vector<uint32_t>& ids);
  PyObject* offsets_list(const std::vector<std::pair<size_t, size_t>>& offsets);

 private:
  // A base piece's str, kept with the text it was made from: an id stands for one text in
  // the vocabulary, but a step may carry another (the begin, end and unknown markers).
  struct Piece {
    std::string text;
    PyObject* str = nullptr;  // owned
  };
  // A new reference to the str of step text `text` with id `id`.
  PyObject* piece_str(uint32_t id, std::string_view text);

  IdInts ints_;
  uint32_t base_vocab_size_;
  std::vector<Piece> pieces_;  // by base id, filled on first use
};

}  // namespace sarfan::py
