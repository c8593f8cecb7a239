"""Where a wrapped tokenizer came from, so that it can be rebuilt in another process: the
embedded default, a vocabulary file or a pretrained name, plus its plugin files, each
with a content hash that is checked again when it is rebuilt."""
import hashlib
import os

import sarfan
from sarfan_cli.fingerprint import vocab_fingerprint


class SourceChangedError(RuntimeError):
    """A file the tokenizer was made from has changed or gone since then."""


def file_sha256(path):
    digest = hashlib.sha256()
    with open(path, "rb") as f:
        for block in iter(lambda: f.read(1 << 20), b""):
            digest.update(block)
    return digest.hexdigest()


DEFAULT_NAME = "sarfan-msa-64k"
# The default model's name in its three forms, as alias keys (lower case, "_" as "-").
DEFAULT_ALIAS_KEYS = {"sarfan-msa-64k", "sarfan-msa-64kv1", "sarfan-msa-64k-v1"}


def names_default_model(name):
    return name.lower().replace("_", "-") in DEFAULT_ALIAS_KEYS


def load_default_model():
    """The default model as load_default() finds it (a local file, else the embedded one),
    never from the hub: when SARFAN_DEFAULT_MODEL names another model, the embedded one."""
    chosen = os.environ.get("SARFAN_DEFAULT_MODEL", DEFAULT_NAME)
    if chosen.lower() == DEFAULT_NAME:
        return sarfan.SarfanMSATokenizer.load_default()
    return sarfan.SarfanMSATokenizer.load_embedded()


class TokenizerSource:
    """kind is "embedded", "default" (a name of the default model), "file" (vocab is an
    absolute path) or "name" (vocab is a name for SarfanMSATokenizer.from_pretrained);
    plugins is a list of (name, absolute path)."""

    def __init__(self, kind, vocab=None, plugins=()):
        self.kind = kind
        self.vocab = os.path.abspath(vocab) if kind == "file" else vocab
        self.plugins = [(name, os.path.abspath(path)) for name, path in plugins]
        self.vocab_hash = None
        self.plugin_hashes = []

    @classmethod
    def for_vocab(cls, vocab, plugins=()):
        """None: the embedded default; an existing file: that file; else a pretrained name."""
        if vocab is None:
            return cls("embedded", None, plugins)
        if os.path.isfile(vocab):
            return cls("file", vocab, plugins)
        if names_default_model(vocab):
            return cls("default", vocab, plugins)
        return cls("name", vocab, plugins)

    def load(self):
        """The tokenizer with its plugins; records the hashes of what it read."""
        if self.kind == "embedded":
            tok = sarfan.SarfanMSATokenizer.load_embedded()
        elif self.kind == "default":
            tok = load_default_model()
        elif self.kind == "file":
            self.vocab_hash = file_sha256(self.vocab)
            tok = sarfan.SarfanMSATokenizer.from_tsv(self.vocab)
        else:
            tok = sarfan.SarfanMSATokenizer.from_pretrained(self.vocab)
        self.plugin_hashes = []
        for name, path in self.plugins:
            self.plugin_hashes.append(file_sha256(path))
            tok.load_plugin(path, name)
        return tok

    def reference(self, tok):
        """What a pickle carries: no vocabulary content, only where it is and its hashes."""
        if self.vocab_hash is None:  # kept: the wrapped tokenizer's base never changes
            self.vocab_hash = vocab_fingerprint(tok)
        return (self.kind, self.vocab, self.vocab_hash, list(zip(self.plugins, self.plugin_hashes)))

    @classmethod
    def restore(cls, reference):
        """Loads the tokenizer a reference names, or raises SourceChangedError."""
        kind, vocab, vocab_hash, plugins = reference
        source = cls(kind, vocab, [entry for entry, _ in plugins])
        expected = [(vocab, vocab_hash)] if kind == "file" else []
        expected += [(path, digest) for (_, path), digest in plugins]
        for path, digest in expected:
            check_file(path, digest)
        tok = source.load()
        if kind != "file":
            source.vocab_hash = vocab_fingerprint(tok)
        if source.vocab_hash != vocab_hash:
            what = ("the embedded default vocabulary" if kind == "embedded"
                    else f"vocabulary {vocab}")
            raise SourceChangedError(
                f"sarfan tokenizer cannot be rebuilt: {what} differs here from the one it was "
                "made with (another sarfan version?)")
        return tok, source


class Engine:
    """A wrapped sarfan tokenizer and its source. It pickles by reference (the source and its
    hashes), so the wrapper's own state pickles too: datasets hashes that state to
    fingerprint a function that uses the wrapper."""

    def __init__(self, tok, source):
        self.tok = tok
        self.source = source

    def __reduce__(self):
        return (_restore_engine, (self.source.reference(self.tok),))


def _restore_engine(reference):
    return Engine(*TokenizerSource.restore(reference))


def check_file(path, digest):
    if not os.path.isfile(path):
        raise SourceChangedError(
            f"sarfan tokenizer cannot be rebuilt: {path} is missing in this process")
    found = file_sha256(path)
    if found != digest:
        raise SourceChangedError(
            f"sarfan tokenizer cannot be rebuilt: {path} has changed since it was loaded "
            f"(sha256 {found[:12]}..., expected {digest[:12]}...)")
