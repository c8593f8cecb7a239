import os
import sys
import types

import pytest

from sarfan import SarfanMSATokenizer
from conftest import write_tsv

RESOLUTION_ERROR = ("Could not resolve pretrained tokenizer '{}'. Try: from_tsv('/path/to/model.tsv'), "
                    "set SARFAN_MODEL_DIR, or install huggingface_hub and publish a repo with a TSV file.")
DEFAULT_FILES = ["sarfan-msa-64k.tsv", "Sarfan-MSA-64Kv1.tsv", "sarfan_msa_v64000_step10.tsv",
                 "tokenizer.tsv", "vocab.tsv"]


def tiny_vocab(path, size=10):
    path.parent.mkdir(parents=True, exist_ok=True)
    return write_tsv(path, [("x", size - 1, -1.0)])


@pytest.fixture
def fake_hub(monkeypatch):
    """A huggingface_hub module that records its calls and serves `files` by (repo, name)."""
    module = types.ModuleType("huggingface_hub")
    module.calls = []
    module.files = {}

    def hf_hub_download(*args, **kwargs):
        assert args == ()
        assert list(kwargs) == ["repo_id", "filename", "repo_type"]
        assert kwargs["repo_type"] == "model"
        module.calls.append((kwargs["repo_id"], kwargs["filename"]))
        key = (kwargs["repo_id"], kwargs["filename"])
        if key not in module.files:
            raise FileNotFoundError(key)
        return module.files[key]

    module.hf_hub_download = hf_hub_download
    monkeypatch.setitem(sys.modules, "huggingface_hub", module)
    return module


def test_full_order_for_the_default_name(clean_env, fake_hub, monkeypatch):
    model_dir = clean_env / "models"
    model_dir.mkdir()
    monkeypatch.setenv("SARFAN_MODEL_DIR", str(model_dir))
    with pytest.raises(RuntimeError) as info:
        SarfanMSATokenizer.from_pretrained("sarfan-msa-64k")
    assert str(info.value) == RESOLUTION_ERROR.format("sarfan-msa-64k")
    assert fake_hub.calls == ([("sarfan-msa-64k", f) for f in DEFAULT_FILES]
                              + [("sarfan-lab/sarfan-msa-64k", f) for f in DEFAULT_FILES])


def test_hub_namespace_and_slash_names(clean_env, fake_hub, monkeypatch):
    monkeypatch.setenv("SARFAN_HF_NAMESPACE", "")
    with pytest.raises(RuntimeError):
        SarfanMSATokenizer.from_pretrained("m")
    assert [r for r, _ in fake_hub.calls] == ["m"] * 3 + ["/m"] * 3
    fake_hub.calls.clear()
    with pytest.raises(RuntimeError):
        SarfanMSATokenizer.from_pretrained("org/repo")
    assert fake_hub.calls == [("org/repo", "org/repo.tsv"), ("org/repo", "tokenizer.tsv"),
                              ("org/repo", "vocab.tsv")]


def test_hub_download_loads_and_errors(clean_env, fake_hub, tmp_path):
    fake_hub.files[("org/repo", "tokenizer.tsv")] = tiny_vocab(tmp_path / "dl" / "t.tsv", 7)
    assert SarfanMSATokenizer.from_pretrained("org/repo").vocab_size == 7
    bad = tmp_path / "dl" / "bad.tsv"
    bad.write_text("only\n")
    fake_hub.files[("org/bad", "org/bad.tsv")] = str(bad)
    with pytest.raises(RuntimeError, match="^Invalid model file: TSV line 1"):
        SarfanMSATokenizer.from_pretrained("org/bad")
    assert ("org/bad", "tokenizer.tsv") not in fake_hub.calls
    fake_hub.files[("org/odd", "org/odd.tsv")] = 42
    with pytest.raises(TypeError, match="^'int' object cannot be converted to 'PyString'$"):
        SarfanMSATokenizer.from_pretrained("org/odd")


def test_without_hub_package(clean_env, monkeypatch):
    monkeypatch.setitem(sys.modules, "huggingface_hub", None)  # import raises ImportError
    with pytest.raises(RuntimeError) as info:
        SarfanMSATokenizer.from_pretrained("nothing-here")
    assert str(info.value) == RESOLUTION_ERROR.format("nothing-here")
    assert info.value.__context__ is None


def test_local_paths_and_search_dirs(clean_env, fake_hub, monkeypatch):
    work = clean_env / "work"
    tiny_vocab(work / "plain", 3)
    assert SarfanMSATokenizer.from_pretrained("plain").vocab_size == 3
    tiny_vocab(work / "named.tsv", 4)
    assert SarfanMSATokenizer.from_pretrained("named").vocab_size == 4
    tiny_vocab(work / "Sarfan-MSA-64Kv1" / "vocab" / "Sarfan-MSA-64Kv1.tsv", 5)
    assert SarfanMSATokenizer.from_pretrained("SARFAN_MSA_64K").vocab_size == 5
    # Directory order beats candidate order: tokenizer.tsv in SARFAN_MODEL_DIR wins over
    # the name's own file under HOME.
    first = clean_env / "first"
    tiny_vocab(first / "tokenizer.tsv", 6)
    tiny_vocab(clean_env / "home" / ".cache" / "sarfan" / "other.tsv", 8)
    monkeypatch.setenv("SARFAN_MODEL_DIR", str(first))
    assert SarfanMSATokenizer.from_pretrained("other").vocab_size == 6
    assert fake_hub.calls == []


def test_load_default_paths(clean_env, fake_hub, monkeypatch):
    tok = SarfanMSATokenizer.load_default()
    assert tok.vocab_size == 64000 and tok.encode("في الكتاب").ids == [1, 264, 541, 2]
    monkeypatch.setenv("SARFAN_DEFAULT_MODEL", "SARFAN-MSA-64K")
    assert SarfanMSATokenizer.load_default().vocab_size == 64000
    monkeypatch.setenv("SARFAN_DEFAULT_MODEL", "sarfan_msa_64k")
    with pytest.raises(RuntimeError, match="^Could not resolve pretrained tokenizer 'sarfan_msa_64k'"):
        SarfanMSATokenizer.load_default()
    monkeypatch.setenv("SARFAN_DEFAULT_MODEL", "")
    with pytest.raises(RuntimeError) as info:
        SarfanMSATokenizer.load_default()
    assert str(info.value) == RESOLUTION_ERROR.format("")
    monkeypatch.delenv("SARFAN_DEFAULT_MODEL")
    tiny_vocab(clean_env / "work" / "models" / "sarfan-msa-64k.tsv", 9)
    assert SarfanMSATokenizer.load_default().vocab_size == 9
    (clean_env / "work" / "models" / "sarfan-msa-64k.tsv").write_text("broken\n")
    with pytest.raises(RuntimeError, match="^Invalid model file"):
        SarfanMSATokenizer.load_default()


def test_from_pretrained_never_uses_the_embedded_text(clean_env, fake_hub):
    with pytest.raises(RuntimeError, match="^Could not resolve"):
        SarfanMSATokenizer.from_pretrained("sarfan-msa-64k")
