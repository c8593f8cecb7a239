#include "vocab/vocab.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>
#include <new>
#include <numeric>
#include <string_view>
#include <utility>

#include "vocab/tsv_line.h"
#include "vocab/utf8.h"

namespace sarfan {

size_t Vocab::memory_bytes() const {
  return index_.memory_bytes() + arena_.capacity() + token_offsets_.capacity() * sizeof(uint32_t) +
         scores_.capacity() * sizeof(float) + pieces_.memory_bytes();
}

Result<void> PackedEntries::add(std::string_view token, uint32_t id, float score) {
  if (token.size() > std::numeric_limits<uint32_t>::max() - arena_.size()) {
    return CoreError::invalid_model("Vocabulary tokens exceed 4 GiB in total");
  }
  items_.push_back({uint32_t(arena_.size()), uint32_t(token.size()), id, score});
  arena_.append(token);
  return {};
}

VocabBuilder VocabBuilder::for_entries(PackedEntries entries, SpecialIds special) {
  size_t max_token_len = 0;
  for (const Item& item : entries.items()) {
    max_token_len = std::max(max_token_len, utf8::count_chars(entries.token(item)));
  }
  VocabBuilder builder(max_token_len, special);
  builder.entries_ = std::move(entries);
  return builder;
}

Result<void> VocabBuilder::add_token(std::string_view token, uint32_t id, float score) {
  if (utf8::count_chars(token) > max_token_len_) {
    return CoreError::invalid_model("Token '" + std::string(token) + "' exceeds max_token_len " +
                                    std::to_string(max_token_len_));
  }
  return entries_.add(token, id, score);
}

// Item indices in ascending byte order of the tokens; equal tokens keep their order.
// A stable LSD radix sort on each token's first 16 bytes (big-endian, zero-padded, passes
// with a single digit skipped), then a comparison sort of the whole tokens inside each run
// that ties on those bytes (long tokens with a common prefix, or tokens told apart only by
// trailing NUL bytes). For the 64k default vocabulary this takes about 1.5 ms; a
// comparison sort on whole tokens 11 ms.
std::vector<uint32_t> VocabBuilder::sorted_order() const {
  const std::vector<Item>& items = entries_.items();
  struct Key {
    uint64_t high, low;
    uint32_t index;
  };
  auto big_endian = [](std::string_view bytes) {
    unsigned char padded[8] = {};
    std::memcpy(padded, bytes.data(), std::min<size_t>(bytes.size(), 8));
    uint64_t word;
    std::memcpy(&word, padded, 8);
    if constexpr (std::endian::native == std::endian::little) word = __builtin_bswap64(word);
    return word;
  };
  std::vector<Key> keys(items.size()), scratch(items.size());
  for (uint32_t i = 0; i < items.size(); ++i) {
    std::string_view token = token_of(items[i]);
    keys[i] = {big_endian(token), big_endian(token.size() > 8 ? token.substr(8) : ""), i};
  }
  // Many keys take 16-bit digits: eight passes instead of twelve. For fewer keys, clearing
  // and summing a histogram of 65,536 counts would cost more than the passes saved.
  const int bits = keys.size() >= (1u << 15) ? 16 : 11;
  const uint64_t mask = (uint64_t(1) << bits) - 1;
  std::vector<uint32_t> histogram(size_t(1) << bits);
  auto radix_pass = [&](auto digit_of) {
    std::fill(histogram.begin(), histogram.end(), 0u);
    for (const Key& key : keys) ++histogram[digit_of(key)];
    if (histogram[digit_of(keys[0])] == keys.size()) return;  // one digit: order stands
    uint32_t position = 0;
    for (uint32_t& count : histogram) position += std::exchange(count, position);
    for (const Key& key : keys) scratch[histogram[digit_of(key)]++] = key;
    keys.swap(scratch);
  };
  for (int shift = 0; shift < 64; shift += bits) {
    radix_pass([shift, mask](const Key& key) { return (key.low >> shift) & mask; });
  }
  for (int shift = 0; shift < 64; shift += bits) {
    radix_pass([shift, mask](const Key& key) { return (key.high >> shift) & mask; });
  }
  auto by_token = [&](const Key& a, const Key& b) {
    int order = token_of(items[a.index]).compare(token_of(items[b.index]));
    return order != 0 ? order < 0 : a.index < b.index;
  };
  for (size_t start = 0; start < keys.size();) {
    size_t end = start + 1;
    while (end < keys.size() && keys[end].high == keys[start].high &&
           keys[end].low == keys[start].low) {
      ++end;
    }
    if (end - start > 1) std::sort(keys.begin() + start, keys.begin() + end, by_token);
    start = end;
  }
  std::vector<uint32_t> order(keys.size());
  for (size_t k = 0; k < keys.size(); ++k) order[k] = keys[k].index;
  return order;
}

Result<Vocab> VocabBuilder::build() && {
  const std::vector<Item>& items = entries_.items();
  if (items.empty()) return CoreError::invalid_model("Cannot build vocabulary with no entries");
  try {
    std::vector<uint32_t> order = sorted_order();

    uint32_t max_id = 0;
    for (const Item& item : items) max_id = std::max(max_id, item.id);
    if (max_id > tsv::kMaxSupportedId) {
      return CoreError::invalid_model("Token ID " + std::to_string(max_id) +
                                      " exceeds the largest supported id " +
                                      std::to_string(tsv::kMaxSupportedId));
    }
    uint32_t vocab_size = max_id + 1;

    std::vector<uint8_t> seen_ids(vocab_size, 0);
    for (size_t k = 0; k < order.size(); ++k) {
      const Item& item = items[order[k]];
      if (seen_ids[item.id]) {
        return CoreError::invalid_model("Duplicate token ID " + std::to_string(item.id));
      }
      seen_ids[item.id] = 1;
      // Sorting is stable, so equal tokens stand next to each other.
      if (k > 0 && token_of(items[order[k - 1]]) == token_of(item)) {
        return CoreError::invalid_model("Duplicate token '" + std::string(token_of(item)) + "'");
      }
    }

    Vocab vocab;
    vocab.vocab_size_ = vocab_size;
    vocab.max_token_len_ = max_token_len_;
    vocab.special_ = special_;
    vocab.scores_.assign(vocab_size, 0.0f);
    // Offsets: lengths per id first, then a prefix sum, then the bytes in id order.
    vocab.token_offsets_.assign(size_t(vocab_size) + 1, 0);
    for (const Item& item : items) {
      vocab.token_offsets_[item.id + 1] = item.length;
      vocab.scores_[item.id] = item.score;
    }
    std::partial_sum(vocab.token_offsets_.begin(), vocab.token_offsets_.end(),
                     vocab.token_offsets_.begin());

    std::string packed;
    packed.reserve(entries_.arena_.size());
    std::vector<uint32_t> ends(order.size()), values(order.size());
    for (size_t k = 0; k < order.size(); ++k) {
      packed.append(token_of(items[order[k]]));
      ends[k] = uint32_t(packed.size());
      values[k] = items[order[k]].id;
    }
    vocab.index_ = TokenIndex::build_packed(packed, ends, values);

    // Tokens added in ascending id order (as vocabulary files list them) already lie in
    // the arena in id order: it is kept instead of copied.
    bool in_id_order = true;
    for (size_t k = 1; k < items.size() && in_id_order; ++k) {
      in_id_order = items[k].id > items[k - 1].id;
    }
    if (in_id_order) {
      vocab.arena_ = std::move(entries_.arena_);
      vocab.arena_.shrink_to_fit();
    } else {
      vocab.arena_.resize(entries_.arena_.size());
      for (const Item& item : items) {
        entries_.arena_.copy(vocab.arena_.data() + vocab.token_offsets_[item.id], item.length,
                             item.offset);
      }
    }
    vocab.pieces_ = PieceTables::build(vocab.index_, vocab_size,
                                       [&](size_t id) { return vocab.token(uint32_t(id)); });
    return vocab;
  } catch (const std::bad_alloc&) {
    return CoreError::invalid_model("Not enough memory to build the vocabulary");
  }
}

}  // namespace sarfan
