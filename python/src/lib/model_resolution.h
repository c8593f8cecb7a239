#pragma once

#include "py_ref.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Finding a vocabulary by name: a path, a file in the search directories (with aliases
// for the default model), or a file on the Hugging Face Hub through huggingface_hub.
// The environment and the working directory are read at every call; nothing is cached.
namespace sarfan::py {

std::vector<std::string> model_file_candidates(std::string_view name);
std::vector<std::string> model_search_dirs();
std::vector<std::string> hub_repo_ids(std::string_view name);
// The first local file that `name` resolves to.
std::optional<std::string> find_local_model(std::string_view name);

// A new SarfanMSATokenizer for `name`, or nullptr with the exception set.
PyObject* resolve_pretrained(std::string_view name);
// load_default(): SARFAN_DEFAULT_MODEL or "sarfan-msa-64k", local files first, the
// embedded vocabulary for the default name.
PyObject* load_default_tokenizer();
// The embedded default vocabulary, whatever the environment and the files around.
PyObject* load_embedded_tokenizer();

}  // namespace sarfan::py
