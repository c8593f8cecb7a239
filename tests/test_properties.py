"""Property tests of the whole Python surface: random argument types and counts for every
method, random vocabulary and plugin files, random texts with surrogates and control
characters. Only the documented exceptions, with their documented messages, may come out;
whatever succeeds must keep the results' shape."""
import re

import numpy as np
import pytest
from hypothesis import HealthCheck, event, given, settings
from hypothesis import strategies as st

from sarfan import EncodeResult, SarfanMSATokenizer

from conftest import MARK, write_tsv

PROFILE = settings(max_examples=300, deadline=None, derandomize=True,
                   suppress_health_check=[HealthCheck.function_scoped_fixture,
                                          HealthCheck.too_slow])

# name -> parameters, required first; static methods take no receiver.
METHODS = {
    "encode": ("text", "normalize"), "encode_with_dialect": ("text", "dialect", "normalize"),
    "encode_ids": ("text", "normalize"), "encode_ids_with_dialect": ("text", "dialect", "normalize"),
    "encode_batch": ("texts",), "encode_batch_with_dialect": ("texts", "dialect"),
    "encode_batch_ids": ("texts",), "encode_batch_ids_with_dialect": ("texts", "dialect"),
    "decode": ("ids",), "decode_with_dialect": ("ids", "dialect"), "decode_batch": ("id_batches",),
    "load_plugin": ("path", "name"), "unload_plugin": ("name",), "list_plugins": (),
    "from_tsv": ("path",), "from_pretrained": ("name",), "load_default": (),
}
FN = r"SarfanMSATokenizer\.\w+\(\)"
QUOTED = r"'[^']*'"
TYPE_ERRORS = [
    FN + r" takes \d+ positional arguments but \d+ (was|were) given",
    FN + r" takes from \d+ to \d+ positional arguments but \d+ (was|were) given",
    FN + r" got an unexpected keyword argument '.*'",
    FN + r" got multiple values for argument '\w+'",
    FN + rf" missing \d+ required positional arguments?: {QUOTED}(( and |, and |, ){QUOTED})*",
    r"argument '\w+': '[\w.<> ]+' object cannot be converted to '(PyString|PyBool|Sequence)'",
    r"argument '\w+': Can't extract `str` to `Vec`",
    r"argument '\w+': '[\w.]+' object cannot be interpreted as an integer",
    # The interpreter's own, for the two methods without parameters (METH_NOARGS).
    FN + r" takes no arguments \(\d+ given\)",
    FN + r" takes no keyword arguments",
]
OVERFLOW_ERRORS = ["out of range integral type conversion attempted",
                   "Python int too large to convert to C long"]
RUNTIME_ERRORS = [r"IO error: .+", r"Invalid model file: .+",
                  r"Could not resolve pretrained tokenizer .+", r"Already (mutably )?borrowed"]


def check_documented(error):
    text = str(error)
    if type(error) is TypeError:
        patterns = TYPE_ERRORS
    elif type(error) is OverflowError:
        patterns = [re.escape(m) for m in OVERFLOW_ERRORS]
    elif type(error) is RuntimeError:
        patterns = RUNTIME_ERRORS
    elif type(error) is UnicodeEncodeError:
        assert error.reason == "surrogates not allowed"
        return
    else:
        raise AssertionError(f"undocumented {type(error).__name__}: {text}") from error
    assert any(re.fullmatch(p, text, re.S) for p in patterns), f"{type(error).__name__}: {text}"


texts = st.text(st.characters(codec=None, categories=None), max_size=40) | st.text(
    st.sampled_from([" ", "\t", "\n", "\x00", "\x1f", "\x7f", "\u00a0", "\u3000", "\u2028",
                     "\ud800", "\udfff", MARK, "a", "\u0627", "\u0644", "\u0640", "\u0653",
                     "\ufefb", "\U0001F600", "\u064e"]), max_size=40)
ids = st.integers(-3, 2**33) | st.sampled_from([0, 1, 2, 3, 259, 63999, 64000, 2**32 - 1, 2**32])
values = st.recursive(
    st.none() | st.booleans() | st.floats(allow_nan=False) | ids | texts | st.binary(max_size=8)
    | st.just(np.bool_(True)) | st.just(np.int64(5)) | st.just(object()),
    lambda inner: st.lists(inner, max_size=4) | st.tuples(inner, inner)
    | st.dictionaries(st.text(max_size=2), inner, max_size=2)
    | st.frozensets(st.integers(0, 5), max_size=3),
    max_leaves=8)


@pytest.fixture
def surface(clean_env, monkeypatch):
    monkeypatch.setenv("HF_HUB_OFFLINE", "1")
    return SarfanMSATokenizer.load_default()


@pytest.fixture
def files(clean_env):
    """Real paths the drawn arguments may name: a vocabulary, a plugin, a directory."""
    return {"VOCAB": write_tsv(clean_env / "v.tsv", [("[PAD]", 0, 0), ("ab", 5, 0)]),
            "PLUGIN": write_tsv(clean_env / "p.tsv", [("ab", 64000, 0)]), "DIR": str(clean_env)}


# Well-typed values for each parameter, so that calls also get past the argument layer.
PARAMETER_VALUES = {
    "text": texts, "normalize": st.booleans() | st.just(np.bool_(False)),
    "dialect": st.sampled_from(["msa", "p", ""]) | texts,
    "texts": st.lists(texts, max_size=5) | st.tuples(texts, texts),
    "ids": st.lists(ids, max_size=6) | st.tuples(ids) | st.builds(np.array, st.lists(
        st.integers(0, 70000), max_size=4), dtype=st.just(np.int64)),
    "id_batches": st.lists(st.lists(ids, max_size=4), max_size=3),
    "path": st.sampled_from(["VOCAB", "PLUGIN", "DIR", "/dev/null", "./missing.tsv"]) | texts,
    "name": st.sampled_from(["p", "msa", "sarfan-msa-64k", "VOCAB"]) | texts,
}


@st.composite
def calls(draw):
    method = draw(st.sampled_from(sorted(METHODS)))
    parameters = METHODS[method]
    given = draw(st.integers(0, len(parameters)))  # optional ones may be left out
    drawn = [draw(PARAMETER_VALUES[p]) for p in parameters[:given]]
    for k in range(given):
        if draw(st.integers(0, 9)) == 0:
            drawn[k] = draw(values)  # a wrong type now and then
    by_keyword = draw(st.integers(0, given))
    positional = drawn[:given - by_keyword]
    keywords = dict(zip(parameters[given - by_keyword:given], drawn[given - by_keyword:]))
    if draw(st.integers(0, 9)) == 0:  # a surplus or misnamed argument now and then
        if draw(st.booleans()):
            positional.append(draw(values))
        else:
            keywords[draw(st.sampled_from(["x", "text", "name", "normalise"]))] = 1
    return method, positional, keywords


@PROFILE
@given(call=calls())
def test_any_arguments_give_a_result_or_a_documented_error(surface, files, call):
    method, positional, keywords = call

    def resolve(value):
        if not isinstance(value, str):
            return value
        if value in files:
            return files[value]
        if method in ("from_tsv", "from_pretrained", "load_plugin"):
            return f"./{value}"  # other paths and names stay inside the empty working folder
        return value

    positional = [resolve(v) for v in positional]
    keywords = {k: resolve(v) for k, v in keywords.items()}
    before = surface.list_plugins()
    try:
        result = getattr(surface, method)(*positional, **keywords)
    except Exception as error:  # noqa: BLE001 - the point is to see every kind
        event(f"{method}: {type(error).__name__}")
        check_documented(error)
        if method != "unload_plugin":
            assert surface.list_plugins() == before
        return
    event(f"{method}: returned")
    if method.startswith("encode_batch"):
        assert isinstance(result, list) and all(isinstance(r, (list, EncodeResult)) for r in result)
    elif method.startswith("encode_ids"):
        assert isinstance(result, list) and all(isinstance(i, int) for i in result)
    elif method.startswith("encode"):
        assert isinstance(result, EncodeResult) and len(result.ids) == len(result.offsets)
    elif method.startswith("decode"):
        assert isinstance(result, (str, list))
    elif method in ("from_tsv", "from_pretrained", "load_default"):
        assert isinstance(result, SarfanMSATokenizer)
    elif method == "load_plugin":
        assert result is None and (keywords.get("name") or positional[1]) in surface.list_plugins()


WHITE_SPACE = "".join(map(chr, [*range(9, 14), 0x20, 0x85, 0xA0, 0x1680, *range(0x2000, 0x200B),
                                0x2028, 0x2029, 0x202F, 0x205F, 0x3000]))


@PROFILE
@given(text=texts, normalize=st.booleans(), dialect=st.none() | st.sampled_from(["x", "msa", ""]))
def test_any_text_encodes_or_is_refused_for_surrogates(default_tokenizer, text, normalize, dialect):
    has_surrogate = any(0xD800 <= ord(c) <= 0xDFFF for c in text)
    try:
        if dialect is None:
            result = default_tokenizer.encode(text, normalize)
            ids = default_tokenizer.encode_ids(text, normalize=normalize)
        else:
            result = default_tokenizer.encode_with_dialect(text, dialect, normalize)
            ids = default_tokenizer.encode_ids_with_dialect(text, dialect, normalize)
    except UnicodeEncodeError as error:
        assert has_surrogate and error.reason == "surrogates not allowed"
        return
    assert not has_surrogate
    assert result.ids == ids and len(result.tokens) == len(ids) == len(result.offsets)
    assert (ids[0], ids[-1], result.tokens[0], result.tokens[-1]) == (1, 2, "[BOS]", "[EOS]")
    end = result.offsets[-1][1]
    assert result.offsets[0] == (0, 0) and result.offsets[-1] == (end, end)
    if not normalize:
        assert end == len(text)  # str length counts code points, as offsets do
    starts = [s for s, _ in result.offsets]
    assert starts == sorted(starts) and all(0 <= s <= e <= end for s, e in result.offsets)
    assert (result.dialect, result.fallback) == ("msa" if dialect is None else dialect,
                                                 dialect is None)
    decoded = default_tokenizer.decode(ids)
    assert decoded == decoded.strip(WHITE_SPACE)
    if normalize:
        batch = default_tokenizer.encode_batch_ids([text, text])
        assert batch == [ids, ids]


token_text = st.text(st.sampled_from(["a", "b", MARK, "\u0628", "\u0644", " ", "#", "\r", "\x00",
                                      "\ufeff", "\U0001F600", "\ud800"]), min_size=0, max_size=4)
id_text = st.integers(0, 300).map(str) | st.sampled_from(["", "-1", "+7", "x", "16777216",
                                                          "4294967296", " 5", "07"])
score_text = st.floats(allow_nan=True, allow_infinity=True, width=32).map(repr) | st.sampled_from(
    ["", "nan", "-inf", "1e999", "0x10", "+.5", "-0", "1.", "e5"])
tsv_lines = st.lists(st.one_of(
    st.tuples(token_text, id_text, score_text).map("\t".join),
    st.sampled_from(["", "# note", " \t", "a\tb", "a\t1\t2\t3", "\ufeffa\t4\t0"])), max_size=12)


def write_lines(path, lines, ending="\n"):
    try:
        data = ending.join(lines).encode("utf-8")
    except UnicodeEncodeError:
        data = ending.join(lines).encode("utf-8", "surrogatepass")  # invalid UTF-8 on purpose
    path.write_bytes(data)
    return str(path)


@PROFILE
@given(lines=tsv_lines, ending=st.sampled_from(["\n", "\r\n"]))
def test_random_vocabulary_files_load_or_fail_with_a_model_error(tmp_path, lines, ending):
    path = write_lines(tmp_path / "vocab.tsv", lines, ending)
    try:
        tok = SarfanMSATokenizer.from_tsv(path)
    except RuntimeError as error:
        assert re.fullmatch(r"(IO error|Invalid model file): .+", str(error), re.S), str(error)
        return
    assert tok.vocab_size >= 1 and (tok.bos_id, tok.eos_id, tok.unk_id) == (1, 2, 3)
    for text in ["ab", MARK + "b a", "\u0628\u0644 \U0001F600"]:
        ids = tok.encode_ids(text)
        assert ids[0] == 1 and ids[-1] == 2 and tok.encode(text).ids == ids
        assert isinstance(tok.decode(ids), str)


@PROFILE
@given(lines=tsv_lines)
def test_random_plugin_files_load_or_leave_the_plugins_unchanged(tok, tmp_path, lines):
    tok.load_plugin(write_tsv(tmp_path / "standing.tsv", [(MARK + "ab", 64000, 0)]), "p")
    lines = [re.sub(r"\t(\d+)\t", lambda m: f"\t{int(m[1]) + 63900}\t", line) for line in lines]
    path = write_lines(tmp_path / "plugin.tsv", lines)
    try:
        tok.load_plugin(path, "p")
    except RuntimeError as error:
        assert re.fullmatch(r"(IO error|Invalid model file): .+", str(error), re.S), str(error)
        assert tok.list_plugins() == ["p"]
        assert tok.encode_ids_with_dialect("ab", "p") == [1, 64000, 2]
        return
    assert tok.list_plugins() == ["p"]
    ids = tok.encode_ids_with_dialect("ab " + MARK + "b\u0628", "p")
    assert ids[0] == 1 and ids[-1] == 2 and all(0 <= i < 2**32 for i in ids)
    assert isinstance(tok.decode(ids), str) and isinstance(tok.decode_with_dialect(ids, "p"), str)


@PROFILE
@given(batches=st.lists(st.lists(ids, max_size=6) | texts | st.none(), max_size=4))
def test_decode_batch_of_anything(default_tokenizer, batches):
    try:
        out = default_tokenizer.decode_batch(batches)
    except Exception as error:  # noqa: BLE001
        check_documented(error)
        return
    assert out == [default_tokenizer.decode(b) for b in batches]
