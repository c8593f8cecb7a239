#pragma once

#include <Python.h>

#include <array>
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
  // `markers`: the ids whose steps may carry a text other than their piece (see
  // piece_str).
  ResultObjects(uint32_t base_vocab_size, std::array<uint32_t, 3> markers)
      : base_vocab_size_(base_vocab_size), markers_(markers) {}
  ResultObjects(const ResultObjects&) = delete;
  ResultObjects& operator=(const ResultObjects&) = delete;
  ~ResultObjects();

  IdInts& ints() { return ints_; }

  // New lists for the fields of a result; nullptr with an exception set on failure.
  PyObject* tokens_list(const PieceTexts& tokens, const std::vector<uint32_t>& ids);
  PyObject* offsets_list(const std::vector<std::pair<size_t, size_t>>& offsets);
  // A new tuple (ids, offsets) of two lists; nullptr with an exception set on failure.
  PyObject* ids_and_offsets(const IdsAndInputOffsets& encoded);

 private:
  // A new reference to the str of step text `text` with id `id`. A step's text is its
  // id's piece (a matched key, or a byte piece found by its text), except for the begin,
  // end and unknown steps, whose ids are fixed and whose texts are the markers "[BOS]",
  // "[EOS]" and "[UNK]" whatever piece the vocabulary gives those ids: their strs are kept
  // with the text they were made from.
  PyObject* piece_str(uint32_t id, std::string_view text);

  struct MarkerStr {
    std::string text;
    PyObject* str = nullptr;  // owned
  };

  IdInts ints_;
  uint32_t base_vocab_size_;
  std::array<uint32_t, 3> markers_;
  std::vector<PyObject*> strs_;  // owned, by base id, filled on first use
  std::array<MarkerStr, 3> marker_strs_;
};

}  // namespace sarfan::py
