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


# The ways an interpreter of this version can run code in a sub-interpreter: each runs
# INNER there. "isolated" ones have their own GIL, and the interpreter itself refuses
# single-phase modules in them; "shared" ones reach the module's own check.
SUB_INTERPRETERS = {
    "testcapi-shared": ("_testcapi", "_testcapi.run_in_subinterp(INNER)"),
    "xxsub-shared": ("_xxsubinterpreters",
                     "i = _xxsubinterpreters.create(**({'isolated': False} if sys.version_info >= (3, 12) else {}))\n"
                     "_xxsubinterpreters.run_string(i, INNER)\n_xxsubinterpreters.destroy(i)"),
    "xxsub-isolated": ("_xxsubinterpreters", "i = _xxsubinterpreters.create()\n"
                       "_xxsubinterpreters.run_string(i, INNER)\n_xxsubinterpreters.destroy(i)"),
    "interpreters-shared": ("_interpreters", "i = _interpreters.create('legacy')\n"
                            "assert _interpreters.run_string(i, INNER) is None\n_interpreters.destroy(i)"),
    "interpreters-isolated": ("_interpreters", "i = _interpreters.create('isolated')\n"
                              "assert _interpreters.run_string(i, INNER) is None\n_interpreters.destroy(i)"),
    # The public module of 3.14 (PEP 734): its interpreters always have their own GIL.
    "concurrent-isolated": ("concurrent.interpreters", "i = concurrent.interpreters.create()\n"
                            "i.exec(INNER)\ni.close()"),
}
IMPORT = """import os
try:
    import sarfan
    os.write(1, b"{who}: imported\\n")
except ImportError as e:
    os.write(1, ("{who}: ImportError: %s\\n" % e).encode())
"""
OWN_REFUSAL = "ImportError: sarfan does not support sub-interpreters"


def import_in_both(kind, main_first):
    """Imports sarfan in the main interpreter and in a sub-interpreter, in the given order;
    returns what each reported, main first."""
    module, run = SUB_INTERPRETERS[kind]
    if kind == "xxsub-isolated" and sys.version_info < (3, 12):
        pytest.skip("sub-interpreters with their own GIL need Python 3.12")
    try:
        __import__(module)
    except ImportError:
        pytest.skip(f"this interpreter has no {module}")
    main = IMPORT.format(who="main")
    code = f"import sys, {module}\nINNER = {IMPORT.format(who='sub')!r}\n"
    code += main + run + "\n" if main_first else run + "\n" + main
    proc = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, timeout=60)
    assert proc.returncode == 0, proc.stderr
    lines = proc.stdout.splitlines()
    return sorted(lines, key=lambda line: not line.startswith("main: "))


@pytest.mark.parametrize("kind", list(SUB_INTERPRETERS))
def test_sub_interpreter_import_is_refused(kind):
    main, sub = import_in_both(kind, main_first=True)
    assert main == "main: imported"
    if kind.endswith("-shared"):
        assert sub.startswith("sub: " + OWN_REFUSAL)
    else:
        assert sub.startswith("sub: ImportError: ") and "does not support loading in subinterpreters" in sub


# Python 3.13 runs a single-phase module's first initialisation in the main interpreter
# even when a sub-interpreter imports it, so there the main interpreter always owns it.
@pytest.mark.parametrize("kind", [k for k in SUB_INTERPRETERS if k.endswith("-shared")])
def test_first_importing_interpreter_owns_the_module(kind):
    main, sub = import_in_both(kind, main_first=False)
    if sys.version_info >= (3, 13):
        assert sub.startswith("sub: " + OWN_REFUSAL) and main == "main: imported"
    else:
        assert sub == "sub: imported" and main.startswith("main: " + OWN_REFUSAL)
