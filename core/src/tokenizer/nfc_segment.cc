#include "tokenizer/nfc_segment.h"

#include <utf8proc.h>

#include <algorithm>

#include "tokenizer/nfc_properties.h"

namespace sarfan {

void nfc_segment(std::vector<char32_t>& segment, std::vector<int>& scratch) {
  static_assert(sizeof(utf8proc_int32_t) == sizeof(int));
  scratch.clear();
  for (char32_t c : segment) {
    utf8proc_int32_t parts[32];
    utf8proc_ssize_t n =
        utf8proc_decompose_char(utf8proc_int32_t(c), parts, 32, UTF8PROC_DECOMPOSE, nullptr);
    if (n < 1 || n > 32) {  // cannot happen for valid code points; keep the character
      scratch.push_back(int(c));
      continue;
    }
    scratch.insert(scratch.end(), parts, parts + n);
  }
  // Canonical ordering: sort each run of non-starters by combining class, stably.
  auto ccc = [](int c) { return nfc::combining_class(nfc::properties(char32_t(c))); };
  for (size_t i = 0; i < scratch.size();) {
    if (ccc(scratch[i]) == 0) {
      ++i;
      continue;
    }
    size_t j = i;
    while (j < scratch.size() && ccc(scratch[j]) != 0) ++j;
    if (j - i > 1) {
      std::stable_sort(scratch.begin() + i, scratch.begin() + j,
                       [&](int a, int b) { return ccc(a) < ccc(b); });
    }
    i = j;
  }
  utf8proc_ssize_t n = utf8proc_normalize_utf32(
      reinterpret_cast<utf8proc_int32_t*>(scratch.data()), utf8proc_ssize_t(scratch.size()),
      utf8proc_option_t(UTF8PROC_STABLE | UTF8PROC_COMPOSE));
  if (n < 0) n = utf8proc_ssize_t(scratch.size());
  segment.assign(scratch.begin(), scratch.begin() + n);
}

}  // namespace sarfan
