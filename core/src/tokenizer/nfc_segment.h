#pragma once

#include <vector>

namespace sarfan {

// Brings one normalization segment (code points between two NFC boundaries) into NFC:
// canonical decomposition and composition through utf8proc, canonical reordering here.
// utf8proc reorders by swapping neighbours, which is quadratic on a long run of marks; a
// stable sort by combining class gives the same order in O(n log n).
// `scratch` is reused between calls.
void nfc_segment(std::vector<char32_t>& segment, std::vector<int>& scratch);

}  // namespace sarfan
