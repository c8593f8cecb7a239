#include "vocab/token_index.h"

#include <algorithm>
#include <array>
#include <limits>
#include <new>
#include <string>

namespace sarfan {

// Nodes are placed depth first, each at the lowest base from which all its labels land
// on free cells. Cells never become free again, so a scan cursor moves forward past
// occupied cells once; holes that fall more than kWindow cells behind the frontier are
// given up, which bounds the search for nodes with many labels and keeps the build
// linear in the total key length.
class TokenIndex::Builder {
 public:
  // Key k is packed[ends[k-1], ends[k]).
  TokenIndex build(std::string_view packed, std::span<const uint32_t> ends,
                   std::span<const uint32_t> values) {
    packed_ = packed;
    ends_ = ends;
    values_ = values;
    uint32_t count = uint32_t(ends.size());
    units_.reserve(packed.size() + 2 * size_t(count) + 2 * kWindow);
    occupy(kRoot, kRootCheck);
    order_.resize(count);
    for (uint32_t i = 0; i < count; ++i) order_[i] = i;
    if (count > 0) stack_.push_back({kRoot, 0, count, 0});
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
    // The last cell stays free and serves as the dead node.
    // Free cells keep base 0 from their creation: nothing writes a base but to a cell
    // it has occupied.
    units_.resize(size_t(max_base_) + kValueLabel + 2, Unit{0, kFree});
    // The reserve is an upper bound; its untouched part stays address space only, so it
    // is kept rather than copying the array into a tight one.
    TokenIndex index;
    index.units_ = std::move(units_);
    index.dead_ = Node(index.units_.size() - 1);
    for (uint32_t label = 0; label < kValueLabel; ++label) {
      index.edge_labels_[label / 64] |= uint64_t(edge_seen_[label]) << (label % 64);
    }
    return index;
  }

 private:
  struct Task {
    Node node;
    uint32_t lo, hi;  // keys[order_[lo, hi)] share the node's prefix
    size_t offset;    // bytes of that prefix
  };
  static constexpr uint32_t kEndOfKey = 0xFFFFFFFFu;

  uint32_t label_at(uint32_t key, size_t offset, size_t& width) const {
    std::string_view k = key_text(key);
    if (offset == k.size()) return kEndOfKey;
    auto p = reinterpret_cast<const unsigned char*>(k.data());
    return TokenIndex::next_label(p + offset, p + k.size(), width);
  }
  static constexpr size_t kWindow = 1024;
  static constexpr uint32_t kLinearGroups = 16;

  // A node whose subtree holds one key: its remaining bytes form a chain of single edges.
  void place_chain(const Task& task) {
    uint32_t key = order_[task.lo];
    Node node = task.node;
    size_t width = 0;
    for (size_t offset = task.offset;; offset += width) {
      uint32_t label = label_at(key, offset, width);
      if (label == kEndOfKey) break;
      uint32_t base = single_base(label);
      occupy(base + label, node);
      note_edge(label);
      units_[node].base = base;
      node = base + label;
    }
    uint32_t base = single_base(kValueLabel);
    occupy(base + kValueLabel, node);
    units_[base + kValueLabel].base = values_[key];
    units_[node].base = base | kKeyFlag;
  }

  // Finds the node's labels and their key groups, places the labels and queues the
  // children. Byte-sorted keys come grouped by label: each group is found by a galloping
  // search for the end of its prefix, so a node costs about its label count times the log
  // of its key count rather than its key count. Keys that are not grouped so (byte
  // strings that are not UTF-8) are grouped by a counting sort instead.
  void place_branch(const Task& task) {
    labels_.clear();
    starts_.clear();
    uint32_t lo = task.lo, hi = task.hi;
    bool ends_key = key_text(order_[lo]).size() == task.offset;  // sorts first; keys are unique
    uint32_t end_key = order_[lo];
    if (ends_key) ++lo;
    if (!find_sorted_groups(task.offset, lo, hi)) hi = sort_into_groups(task, lo);

    if (ends_key) labels_.push_back(kValueLabel);
    uint32_t base = branch_base();
    for (uint32_t label : labels_) {
      occupy(base + label, task.node);
      note_edge(label);
    }
    units_[task.node].base = base | (ends_key ? kKeyFlag : 0);
    if (ends_key) {
      units_[base + kValueLabel].base = values_[end_key];
      labels_.pop_back();
    }
    for (size_t c = starts_.size(); c-- > 0;) {
      uint32_t child_lo = starts_[c];
      uint32_t child_hi = c + 1 < starts_.size() ? starts_[c + 1] : hi;
      size_t width = 0;
      label_at(order_[child_lo], task.offset, width);
      stack_.push_back({base + labels_[c], child_lo, child_hi, task.offset + width});
    }
  }

  // Groups keys[order_[lo, hi)] by their label at `offset` when each label's keys are
  // contiguous and in ascending label-prefix order; false (nothing kept) when not.
  bool find_sorted_groups(size_t offset, uint32_t lo, uint32_t hi) {
    for (uint32_t i = lo; i < hi;) {
      size_t width = 0;
      uint32_t label = label_at(order_[i], offset, width);
      const char* prefix = key_text(order_[i]).data() + offset;
      // A lone Arabic lead byte labels by itself but shares its byte with the two-byte
      // labels, so its keys need not be contiguous.
      if (label == kEndOfKey || (width == 1 && TokenIndex::is_arabic_lead(uint8_t(label)))) {
        return give_up_groups();
      }
      auto in_group = [&](uint32_t k) {
        std::string_view key = key_text(order_[k]);
        return key.size() >= offset + width && key[offset] == prefix[0] &&
               (width == 1 || key[offset + 1] == prefix[1]);
      };
      labels_.push_back(label);
      starts_.push_back(i);
      if (hi - lo <= kLinearGroups) {
        // Few keys: stepping through them beats the unpredictable branches of a search.
        ++i;
        while (i < hi && in_group(i)) ++i;
        continue;
      }
      // Gallop to a key past the group, then bisect: [i + 1, end) is the group's rest.
      uint32_t step = 1, known = i;
      while (known + step < hi && in_group(known + step)) {
        known += step;
        step *= 2;
      }
      uint32_t end = std::min<uint32_t>(hi, known + step);
      while (known + 1 < end) {
        uint32_t mid = known + (end - known) / 2;
        if (in_group(mid)) {
          known = mid;
        } else {
          end = mid;
        }
      }
      i = end;
    }
    return all_distinct_labels() || give_up_groups();
  }

  bool give_up_groups() {
    labels_.clear();
    starts_.clear();
    return false;
  }

  bool all_distinct_labels() {
    bool distinct = true;
    for (uint32_t label : labels_) distinct = distinct && counts_[label]++ == 0;
    for (uint32_t label : labels_) counts_[label] = 0;
    return distinct;
  }

  // Reorders order_[lo, task.hi) into groups by label (a stable counting sort) with the
  // labels ascending; returns the end of the groups.
  uint32_t sort_into_groups(const Task& task, uint32_t lo) {
    labels_.clear();
    starts_.clear();
    key_labels_.resize(task.hi - lo);
    for (uint32_t i = lo; i < task.hi; ++i) {
      size_t width = 0;
      uint32_t label = label_at(order_[i], task.offset, width);
      key_labels_[i - lo] = label;
      if (counts_[label]++ == 0) labels_.push_back(label);
    }
    std::sort(labels_.begin(), labels_.end());
    uint32_t next = lo;
    for (uint32_t label : labels_) {
      starts_.push_back(next);
      uint32_t count = counts_[label];
      counts_[label] = next;  // becomes the write position of the label's group
      next += count;
    }
    sorted_.resize(task.hi - lo);
    for (uint32_t i = lo; i < task.hi; ++i) {
      sorted_[counts_[key_labels_[i - lo]]++ - lo] = order_[i];
    }
    for (uint32_t label : labels_) counts_[label] = 0;
    std::copy(sorted_.begin(), sorted_.begin() + (next - lo), order_.begin() + lo);
    return next;
  }

  void note_edge(uint32_t label) { edge_seen_[label] = true; }

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

  std::string_view key_text(uint32_t key) const {
    uint32_t begin = key == 0 ? 0 : ends_[key - 1];
    return packed_.substr(begin, ends_[key] - begin);
  }

  std::string_view packed_;
  std::span<const uint32_t> ends_, values_;
  std::vector<Unit> units_;
  std::vector<Task> stack_;
  std::vector<uint32_t> order_, sorted_;
  std::vector<uint32_t> labels_, starts_, key_labels_;
  std::array<uint32_t, kValueLabel> counts_{};
  std::array<bool, kValueLabel + 1> edge_seen_{};  // the value's virtual label too
  size_t cursor_ = 0;
  uint32_t max_base_ = 0;
};

TokenIndex::TokenIndex() : units_(kValueLabel + 2, Unit{0, kFree}), dead_(kValueLabel + 1) {
  units_[kRoot].check = kRootCheck;
}

TokenIndex TokenIndex::build(std::span<const std::string_view> keys,
                             std::span<const uint32_t> values) {
  // The builder reads the keys in order many times over; packing them into one buffer in
  // that order first turns scattered reads into sequential ones (a 64k-entry build read
  // each token from wherever its line had put it).
  size_t bytes = 0;
  for (std::string_view key : keys) bytes += key.size();
  if (bytes > std::numeric_limits<uint32_t>::max()) throw std::bad_alloc();
  std::string packed;
  packed.reserve(bytes);
  std::vector<uint32_t> ends(keys.size());
  for (size_t k = 0; k < keys.size(); ++k) {
    packed.append(keys[k]);
    ends[k] = uint32_t(packed.size());
  }
  return build_packed(packed, ends, values);
}

TokenIndex TokenIndex::build_packed(std::string_view packed, std::span<const uint32_t> ends,
                                    std::span<const uint32_t> values) {
  return Builder().build(packed, ends, values);
}

}  // namespace sarfan
