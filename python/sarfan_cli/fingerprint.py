"""The fingerprint `sarfan info` prints: the start of the SHA-256 of the base vocabulary's
TSV, so that models that share a name can be told apart. The file is found as the module
finds it locally; a vocabulary fetched from the model hub has no local file to hash."""
import hashlib
import os

DEFAULT_NAME = "sarfan-msa-64k"
DEFAULT_ALIASES = ("sarfan-msa-64k", "sarfan-msa-64kv1", "sarfan-msa-64k-v1")
DIGITS = 16


def search_dirs():
    dirs = [os.environ[v] for v in ("SARFAN_MODEL_DIR", "SARFAN_PRETRAINED_DIR") if v in os.environ]
    home = os.environ.get("HOME")
    if home is not None:
        dirs += [os.path.join(home, d) for d in (".cache/sarfan", ".cache/sarfan/pretrained",
                                                  ".local/share/sarfan")]
    cwd = os.getcwd()
    return dirs + [cwd] + [os.path.join(cwd, d) for d in
                           ("vocab", "models", "Sarfan-MSA-64Kv1", "Sarfan-MSA-64Kv1/vocab")]


def local_file(name):
    """The local file that loading `name` reads, or None."""
    last = os.path.basename(os.path.normpath(name)) if name else ""
    has_extension = last not in ("", ".", "..") and last.rfind(".") > 0
    tries = [name] + ([] if has_extension else [name + ".tsv"])
    candidates = [name if name.endswith(".tsv") else name + ".tsv"]
    if name.lower().replace("_", "-") in DEFAULT_ALIASES:
        candidates += ["Sarfan-MSA-64Kv1.tsv", "sarfan_msa_v64000_step10.tsv"]
    candidates = list(dict.fromkeys(candidates + ["tokenizer.tsv", "vocab.tsv"]))
    tries += [os.path.join(d, c) for d in search_dirs() for c in candidates]
    return next((path for path in tries if path and os.path.isfile(path)), None)


def vocab_fingerprint(vocab, embedded_sha256):
    """`vocab` as the CLI's --vocab option (None or "DEFAULT": load_default())."""
    if vocab is None or vocab.upper() == "DEFAULT":
        name = os.environ.get("SARFAN_DEFAULT_MODEL", DEFAULT_NAME)
        path = local_file(name)
        if path is None:
            return embedded_sha256[:DIGITS] if name.lower() == DEFAULT_NAME else "unknown"
    else:
        path = local_file(vocab)
        if path is None:
            return "unknown"
    digest = hashlib.sha256()
    with open(path, "rb") as f:
        for block in iter(lambda: f.read(1 << 20), b""):
            digest.update(block)
    return digest.hexdigest()[:DIGITS]
