#include "model_resolution.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "embedded_default_vocab.h"
#include "errors.h"
#include "objects.h"
#include "vocab/utf8.h"
#include "vocab/vocab_loader.h"

namespace sarfan::py {

namespace {

constexpr std::string_view kDefaultName = "sarfan-msa-64k";

// An environment variable that is present and valid UTF-8.
std::optional<std::string> env(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr || !utf8::is_valid(value)) return std::nullopt;
  return std::string(value);
}

std::string join(const std::string& dir, const std::string& name) {
  if (!name.empty() && name[0] == '/') return name;
  if (dir.empty() || dir.back() == '/') return dir + name;
  return dir + "/" + name;
}

bool is_regular_file(const std::string& path) {
  struct stat info;
  return path.find('\0') == std::string::npos && ::stat(path.c_str(), &info) == 0 &&
         S_ISREG(info.st_mode);
}

std::string alias_key(std::string_view name) {
  std::string key(name);
  for (char& c : key) {
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    if (c == '_') c = '-';
  }
  return key;
}

// The final component of `name` read as a path, or "" for the root, "." or nothing.
std::string final_component(std::string_view name) {
  std::string last;
  size_t start = 0;
  bool first = true;
  while (start <= name.size()) {
    size_t slash = name.find('/', start);
    if (slash == std::string_view::npos) slash = name.size();
    std::string_view part = name.substr(start, slash - start);
    if (!part.empty() && !(part == "." && !first)) last = std::string(part);
    if (!part.empty()) first = false;
    start = slash + 1;
  }
  return last;
}

bool has_extension(std::string_view name) {
  std::string last = final_component(name);
  if (last.empty() || last == "." || last == "..") return false;
  size_t dot = last.rfind('.');
  return dot != std::string::npos && dot > 0;
}

// Replaces invalid UTF-8 with U+FFFD, as paths turn into text.
std::string path_text(const std::string& path) {
  std::string out;
  utf8::append_repaired(out, path);
  return out;
}

PyObject* load_file(const std::string& path) {
  auto vocab = from_tsv_file(path_text(path));
  if (!vocab.ok()) return raise_core_error(vocab.error());
  return wrap_tokenizer(Tokenizer::from_vocab(std::move(vocab).value()));
}

// Tries one hub download; returns 1 with *result set when the resolution ends here (a
// tokenizer, or nullptr with an exception), 0 to go on.
int try_hub_file(PyObject* download, const std::string& repo, const std::string& filename,
                 PyObject** result) {
  Ref kwargs = Ref::steal(PyDict_New());
  if (!kwargs) {
    *result = nullptr;
    return 1;
  }
  Ref repo_id = Ref::steal(PyUnicode_FromStringAndSize(repo.data(), Py_ssize_t(repo.size())));
  Ref file = Ref::steal(PyUnicode_FromStringAndSize(filename.data(), Py_ssize_t(filename.size())));
  Ref type = Ref::steal(PyUnicode_FromString("model"));
  if (!repo_id || !file || !type ||
      PyDict_SetItemString(kwargs.get(), "repo_id", repo_id.get()) < 0 ||
      PyDict_SetItemString(kwargs.get(), "filename", file.get()) < 0 ||
      PyDict_SetItemString(kwargs.get(), "repo_type", type.get()) < 0) {
    *result = nullptr;
    return 1;
  }
  Ref args = Ref::steal(PyTuple_New(0));
  if (!args) {
    *result = nullptr;
    return 1;
  }
  Ref path = Ref::steal(PyObject_Call(download, args.get(), kwargs.get()));
  if (!path) {
    PyErr_Clear();
    return 0;
  }
  if (!PyUnicode_Check(path.get())) {
    raise_conversion_error(path.get(), "PyString");
    *result = nullptr;
    return 1;
  }
  Py_ssize_t size;
  const char* text = PyUnicode_AsUTF8AndSize(path.get(), &size);
  if (text == nullptr) {
    *result = nullptr;
    return 1;
  }
  std::string local(text, size_t(size));
  if (!is_regular_file(local)) return 0;
  *result = load_file(local);
  return 1;
}

}  // namespace

std::vector<std::string> model_file_candidates(std::string_view name) {
  std::vector<std::string> out;
  auto add = [&](std::string candidate) {
    for (const std::string& existing : out) {
      if (existing == candidate) return;
    }
    out.push_back(std::move(candidate));
  };
  bool ends_tsv = name.size() >= 4 && name.substr(name.size() - 4) == ".tsv";
  add(ends_tsv ? std::string(name) : std::string(name) + ".tsv");
  std::string key = alias_key(name);
  if (key == "sarfan-msa-64k" || key == "sarfan-msa-64kv1" || key == "sarfan-msa-64k-v1") {
    add("Sarfan-MSA-64Kv1.tsv");
    add("sarfan_msa_v64000_step10.tsv");
  }
  add("tokenizer.tsv");
  add("vocab.tsv");
  return out;
}

std::vector<std::string> model_search_dirs() {
  std::vector<std::string> dirs;
  if (auto dir = env("SARFAN_MODEL_DIR")) dirs.push_back(*dir);
  if (auto dir = env("SARFAN_PRETRAINED_DIR")) dirs.push_back(*dir);
  if (auto home = env("HOME")) {
    dirs.push_back(join(*home, ".cache/sarfan"));
    dirs.push_back(join(*home, ".cache/sarfan/pretrained"));
    dirs.push_back(join(*home, ".local/share/sarfan"));
  }
  std::vector<char> buffer(4096);
  while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
    if (errno != ERANGE) return dirs;
    buffer.resize(buffer.size() * 2);
  }
  std::string cwd(buffer.data());
  for (const char* sub : {"", "vocab", "models", "Sarfan-MSA-64Kv1", "Sarfan-MSA-64Kv1/vocab"}) {
    dirs.push_back(*sub ? join(cwd, sub) : cwd);
  }
  return dirs;
}

std::vector<std::string> hub_repo_ids(std::string_view name) {
  std::vector<std::string> ids = {std::string(name)};
  if (name.find('/') == std::string_view::npos) {
    std::string space = env("SARFAN_HF_NAMESPACE").value_or("sarfan-lab");
    ids.push_back(space + "/" + std::string(name));
  }
  return ids;
}

std::optional<std::string> find_local_model(std::string_view name) {
  std::string as_is(name);
  if (is_regular_file(as_is)) return as_is;
  if (!has_extension(name) && is_regular_file(as_is + ".tsv")) return as_is + ".tsv";
  std::vector<std::string> candidates = model_file_candidates(name);
  for (const std::string& dir : model_search_dirs()) {
    for (const std::string& candidate : candidates) {
      std::string path = join(dir, candidate);
      if (is_regular_file(path)) return path;
    }
  }
  return std::nullopt;
}

PyObject* resolve_pretrained(std::string_view name) {
  if (auto path = find_local_model(name)) return load_file(*path);
  std::vector<std::string> candidates = model_file_candidates(name);
  for (const std::string& repo : hub_repo_ids(name)) {
    Ref module = Ref::steal(PyImport_ImportModule("huggingface_hub"));
    if (!module) {
      PyErr_Clear();
      continue;
    }
    Ref download = Ref::steal(PyObject_GetAttrString(module.get(), "hf_hub_download"));
    if (!download) {
      PyErr_Clear();
      continue;
    }
    for (const std::string& candidate : candidates) {
      PyObject* result = nullptr;
      if (try_hub_file(download.get(), repo, candidate, &result)) return result;
    }
  }
  std::string message = "Could not resolve pretrained tokenizer '" + std::string(name) +
                        "'. Try: from_tsv('/path/to/model.tsv'), set SARFAN_MODEL_DIR, or install "
                        "huggingface_hub and publish a repo with a TSV file.";
  return raise_runtime_error(message);
}

PyObject* load_default_tokenizer() {
  std::string name = env("SARFAN_DEFAULT_MODEL").value_or(std::string(kDefaultName));
  if (auto path = find_local_model(name)) return load_file(*path);
  bool is_default = name.size() == kDefaultName.size();
  for (size_t k = 0; is_default && k < name.size(); ++k) {
    char c = name[k];
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    is_default = c == kDefaultName[k];
  }
  if (!is_default) return resolve_pretrained(name);
  auto vocab = from_tsv_text(EMBEDDED_DEFAULT_TSV);
  if (!vocab.ok()) {
    return raise_runtime_error("Embedded default model is invalid: " + vocab.error().display());
  }
  return wrap_tokenizer(Tokenizer::from_vocab(std::move(vocab).value()));
}

}  // namespace sarfan::py
