#include "result_objects.h"

#include <unordered_map>

#include "errors.h"
#include "objects.h"

namespace sarfan::py {

namespace {

// Keeps the cyclic collector from running while a list of new tuples is made: each
// young collection that their allocations set off would walk the young lists, this
// one and the other fields' (a 130,000-pair offsets list set off about 185). The
// collection that is due runs at the next allocation after the pause.
class CollectorPause {
 public:
#if PY_VERSION_HEX >= 0x030A0000
  CollectorPause() : was_enabled_(PyGC_Disable() != 0) {}
  ~CollectorPause() {
    if (was_enabled_) PyGC_Enable();
  }

 private:
  bool was_enabled_;
#endif
};

}  // namespace

ResultObjects::~ResultObjects() {
  for (PyObject* str : strs_) Py_XDECREF(str);
  for (MarkerStr& marker : marker_strs_) Py_XDECREF(marker.str);
}

PyObject* ResultObjects::piece_str(uint32_t id, std::string_view text) {
  if (id >= base_vocab_size_) return string_to_str(text);
  PyObject** slot = nullptr;
  for (size_t k = 0; k < markers_.size(); ++k) {
    if (id != markers_[k]) continue;
    MarkerStr& marker = marker_strs_[k];
    if (marker.str != nullptr && marker.text != text) return string_to_str(text);
    if (marker.str == nullptr) marker.text = std::string(text);
    slot = &marker.str;
    break;
  }
  if (slot == nullptr) {
    if (strs_.empty()) strs_.assign(base_vocab_size_, nullptr);
    slot = &strs_[id];
  }
  if (*slot == nullptr) {
    *slot = string_to_str(text);
    if (*slot == nullptr) return nullptr;
  }
  Py_INCREF(*slot);
  return *slot;
}

PyObject* ResultObjects::tokens_list(const PieceTexts& tokens, const std::vector<uint32_t>& ids) {
  // Plugin pieces repeat too within a result: one str each per read.
  struct Shared {
    std::string_view text;
    PyObject* str;  // borrowed from the list being built
  };
  std::unordered_map<uint32_t, Shared> plugin_strs;
  return build_list(tokens.size(), [&](size_t k) -> PyObject* {
    uint32_t id = ids[k];
    if (id < base_vocab_size_) return piece_str(id, tokens[k]);
    auto found = plugin_strs.find(id);
    if (found != plugin_strs.end() && found->second.text == tokens[k]) {
      Py_INCREF(found->second.str);
      return found->second.str;
    }
    PyObject* str = string_to_str(tokens[k]);
    if (str != nullptr) plugin_strs[id] = {tokens[k], str};
    return str;
  });
}

PyObject* ResultObjects::offsets_list(const std::vector<std::pair<size_t, size_t>>& offsets) {
  CollectorPause pause;
  // A piece usually starts where the one before ended: that int is taken again.
  PyObject* previous_end = nullptr;  // borrowed from the list being built
  return build_list(offsets.size(), [&](size_t k) -> PyObject* {
    Ref start = k > 0 && offsets[k].first == offsets[k - 1].second
                    ? Ref::borrow(previous_end)
                    : Ref::steal(ints_.int_of(offsets[k].first));
    if (!start) return nullptr;
    Ref end = Ref::steal(ints_.int_of(offsets[k].second));
    if (!end) return nullptr;
    PyObject* pair = PyTuple_New(2);
    if (pair == nullptr) return raise_api_failure();
    // A pair of ints can never be part of a cycle; the collector untracks such tuples
    // itself when it meets them, this spares it the meeting.
    PyObject_GC_UnTrack(pair);
    previous_end = end.get();
    PyTuple_SET_ITEM(pair, 0, start.release());
    PyTuple_SET_ITEM(pair, 1, end.release());
    return pair;
  });
}

PyObject* ResultObjects::ids_and_offsets(const IdsAndInputOffsets& encoded) {
  Ref ids = Ref::steal(ints_.to_list(encoded.ids));
  if (!ids) return nullptr;
  Ref offsets = Ref::steal(offsets_list(encoded.offsets));
  if (!offsets) return nullptr;
  return checked_result(PyTuple_Pack(2, ids.get(), offsets.get()));
}

}  // namespace sarfan::py
