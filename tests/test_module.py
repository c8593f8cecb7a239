import importlib
import subprocess
import sys

import pytest

import sarfan
from sarfan import EncodeResult, SarfanMSATokenizer


def test_module_surface():
    assert sarfan.__all__ == ["SarfanMSATokenizer", "EncodeResult"]
    assert sarfan.__doc__ == "Python module"
    callables = [n for n in dir(sarfan) if not n.startswith("__") and callable(getattr(sarfan, n))]
    assert sorted(callables) == ["EncodeResult", "SarfanMSATokenizer"]


@pytest.mark.parametrize("cls, name, doc", [
    (SarfanMSATokenizer, "SarfanMSATokenizer", "Python wrapper for the MSA Base Tokenizer"),
    (EncodeResult, "EncodeResult", "Python wrapper for EncodeResult"),
])
def test_classes(cls, name, doc):
    assert cls.__module__ == "builtins"
    assert cls.__name__ == cls.__qualname__ == name
    assert cls.__doc__ == doc
    for args in ((), ("x",)):
        with pytest.raises(TypeError, match="^No constructor defined$"):
            cls(*args)
    with pytest.raises(TypeError):
        type("Sub", (cls,), {})


def test_reimport_gives_the_same_objects():
    module, tokenizer_class = sarfan, sarfan.SarfanMSATokenizer
    del sys.modules["sarfan"]
    again = importlib.import_module("sarfan")
    assert again is module
    assert again.SarfanMSATokenizer is tokenizer_class


def test_attributes_are_read_only(default_tokenizer):
    tok = default_tokenizer
    assert (tok.pad_id, tok.bos_id, tok.eos_id, tok.unk_id, tok.vocab_size) == (0, 1, 2, 3, 64000)
    with pytest.raises(AttributeError):
        tok.vocab_size = 5
    with pytest.raises(AttributeError):
        del tok.pad_id
    with pytest.raises(AttributeError):
        tok.extra = 1
    result = tok.encode("x")
    with pytest.raises(AttributeError):
        result.ids = []
    with pytest.raises(TypeError):
        import weakref
        weakref.ref(tok)
    assert tok.vocab_size == 64000


@pytest.mark.parametrize("name, doc", [
    ("vocab_size", "Vocabulary size"), ("unk_id", "[UNK] token ID"), ("bos_id", "[BOS] token ID"),
    ("eos_id", "[EOS] token ID"), ("pad_id", "[PAD] token ID"),
])
def test_attribute_docstrings(name, doc):
    assert getattr(SarfanMSATokenizer, name).__doc__ == doc


def test_result_attributes_are_fresh_copies(default_tokenizer):
    result = default_tokenizer.encode("في الكتاب")
    first = result.ids
    assert first == result.ids and first is not result.ids
    first.append(7)
    assert result.ids == [1, 264, 541, 2]
    assert all(isinstance(o, tuple) and len(o) == 2 for o in result.offsets)
    assert isinstance(result.confidence, float) and result.fallback is True


def test_only_init_function_is_exported():
    out = subprocess.run(["nm", "-D", "--defined-only", sarfan.__file__],
                         capture_output=True, text=True, check=True).stdout
    symbols = [line.split()[-1] for line in out.splitlines() if line.strip()]
    assert symbols == ["PyInit_sarfan"]


def test_sub_interpreter_import_fails():
    code = (
        "import sarfan, _testcapi\n"
        "r = _testcapi.run_in_subinterp('import sarfan')\n"
        "print(r)\n"
    )
    proc = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True,
                          env={**__import__('os').environ})
    if "No module named '_testcapi'" in proc.stderr:
        pytest.skip("interpreter built without _testcapi")
    assert proc.returncode == 0, proc.stderr
    assert proc.stdout.strip() == "-1"
    assert "sub-interpreters" in proc.stderr
