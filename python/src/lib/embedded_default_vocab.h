#pragma once

#include <string_view>

namespace sarfan {

// The default vocabulary (64,000 pieces of Modern Standard Arabic), compiled into the
// module from data/sarfan-msa-64k.tsv: no file is needed at run time.
extern const std::string_view EMBEDDED_DEFAULT_TSV;

}  // namespace sarfan
