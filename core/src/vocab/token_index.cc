#include "vocab/token_index.h"

#include <algorithm>
#include <new>

namespace sarfan {

// Nodes are placed depth first, each at the lowest base from which all its labels land
// on free cells. Cells never become free again, so a scan cursor moves forward past
// occupied cells once; holes that fall more than kWindow cells behind the frontier are
// given up, which bounds the search for nodes with many labels and keeps the build
// linear in the total key length.
class TokenIndex::Builder {
 public:
  TokenIndex build(std::span<const std::string_view> keys, std::span<const uint32_t> values) {
    keys_ = keys;
    values_ = values;
    size_t key_bytes = 0;
    for (std::string_view key : keys) key_bytes += key.size();
    units_.reserve(key_bytes + 2 * keys.size() + 2 * kWindow);
    occupy(kRoot, kRootCheck);
    if (!keys.empty()) stack_.push_back({kRoot, 0, uint32_t(keys.size()), 0});
    while (!stack_.empty()) {
      Task task = stack_.back();
      stack_.pop_back();
      if (task.hi - task.lo == 1) {
        place_chain(task);
      } else {
        place_branch(task);
      }
    }
    // Pad so that `step` never reads past the end, whatever the byte.
    units_.resize(size_t(max_base_) + kValueLabel + 1, Unit{0, kFree});
    for (Unit& unit : units_) {
      if (unit.check == kFree) unit.base = 0;
    }
    if (units_.capacity() > units_.size() + units_.size() / 4) units_.shrink_to_fit();
    TokenIndex index;
    index.units_ = std::move(units_);
    return index;
  }

 private:
  struct Task {
    Node node;
    uint32_t lo, hi;  // keys[lo, hi) share the node's prefix
    uint32_t depth;
  };
  static constexpr size_t kWindow = 1024;

  // A node whose subtree holds one key: its remaining bytes form a chain of single edges.
  void place_chain(const Task& task) {
    std::string_view key = keys_[task.lo];
    Node node = task.node;
    for (size_t depth = task.depth; depth < key.size(); ++depth) {
      uint32_t label = static_cast<unsigned char>(key[depth]);
      uint32_t base = single_base(label);
      occupy(base + label, node);
      units_[node].base = base;
      node = base + label;
    }
    uint32_t base = single_base(kValueLabel);
    occupy(base + kValueLabel, node);
    units_[base + kValueLabel].base = values_[task.lo];
    units_[node].base = base | kKeyFlag;
  }

  void place_branch(const Task& task) {
    labels_.clear();
    starts_.clear();
    uint32_t lo = task.lo;
    bool ends_key = keys_[lo].size() == task.depth;  // a proper prefix sorts first
    if (ends_key) ++lo;
    for (uint32_t i = lo; i < task.hi; ++i) {
      uint32_t label = static_cast<unsigned char>(keys_[i][task.depth]);
      if (labels_.empty() || label != labels_.back()) {
        labels_.push_back(label);
        starts_.push_back(i);
      }
    }
    if (ends_key) labels_.push_back(kValueLabel);
    uint32_t base = branch_base();
    for (uint32_t label : labels_) occupy(base + label, task.node);
    units_[task.node].base = base | (ends_key ? kKeyFlag : 0);
    if (ends_key) units_[base + kValueLabel].base = values_[task.lo];
    for (size_t c = starts_.size(); c-- > 0;) {
      uint32_t child_lo = starts_[c];
      uint32_t child_hi = c + 1 < starts_.size() ? starts_[c + 1] : task.hi;
      uint32_t label = static_cast<unsigned char>(keys_[child_lo][task.depth]);
      stack_.push_back({base + label, child_lo, child_hi, task.depth + 1});
    }
  }

  void ensure(size_t size) {
    if (units_.size() < size) units_.resize(std::max(size, units_.size() + 512), Unit{0, kFree});
  }

  void occupy(uint32_t cell, uint32_t parent) {
    ensure(size_t(cell) + 1);
    units_[cell].check = parent;
  }

  bool is_free(size_t cell) const { return cell >= units_.size() || units_[cell].check == kFree; }

  void advance_cursor() {
    if (cursor_ + kWindow < units_.size()) cursor_ = units_.size() - kWindow;
    while (!is_free(cursor_)) ++cursor_;
  }

  uint32_t single_base(uint32_t label) {
    advance_cursor();
    size_t cell = std::max<size_t>(cursor_, label);
    while (!is_free(cell)) ++cell;
    return note_base(cell - label);
  }

  uint32_t branch_base() {
    advance_cursor();
    uint32_t first = labels_.front();
    for (size_t cell = std::max<size_t>(cursor_, first);; ++cell) {
      if (!is_free(cell)) continue;
      uint32_t base = uint32_t(cell - first);
      bool fits = true;
      for (size_t k = 1; k < labels_.size() && fits; ++k) fits = is_free(size_t(base) + labels_[k]);
      if (fits) return note_base(base);
    }
  }

  uint32_t note_base(size_t base) {
    if (base + kValueLabel >= kBaseMask) throw std::bad_alloc();
    max_base_ = std::max(max_base_, uint32_t(base));
    return uint32_t(base);
  }

  std::span<const std::string_view> keys_;
  std::span<const uint32_t> values_;
  std::vector<Unit> units_;
  std::vector<Task> stack_;
  std::vector<uint32_t> labels_, starts_;
  size_t cursor_ = 0;
  uint32_t max_base_ = 0;
};

TokenIndex::TokenIndex() : units_(kValueLabel + 1, Unit{0, kFree}) {
  units_[kRoot].check = kRootCheck;
}

TokenIndex TokenIndex::build(std::span<const std::string_view> keys,
                             std::span<const uint32_t> values) {
  return Builder().build(keys, values);
}

}  // namespace sarfan
