#pragma once

#include <string>
#include <string_view>

#include "vocab/result.h"
#include "vocab/vocab.h"

namespace sarfan {

// Loads a vocabulary in the token<TAB>id<TAB>score format from a file.
Result<Vocab> from_tsv_file(const std::string& path);
// The same from a text held in memory.
Result<Vocab> from_tsv_text(std::string_view text);

}  // namespace sarfan
