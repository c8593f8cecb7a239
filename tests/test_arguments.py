import array
import decimal
import fractions
import operator
import pathlib
import warnings

import numpy as np
import pytest

from sarfan import SarfanMSATokenizer

FN = "SarfanMSATokenizer."


@pytest.mark.parametrize("call, message", [
    (lambda t: t.encode(), FN + "encode() missing 1 required positional argument: 'text'"),
    (lambda t: t.load_plugin(),
     FN + "load_plugin() missing 2 required positional arguments: 'path' and 'name'"),
    (lambda t: t.encode_with_dialect(normalize=True),
     FN + "encode_with_dialect() missing 2 required positional arguments: 'text' and 'dialect'"),
    (lambda t: t.decode([], []), FN + "decode() takes 1 positional arguments but 2 were given"),
    (lambda t: t.encode("a", True, 3),
     FN + "encode() takes from 1 to 2 positional arguments but 3 were given"),
    (lambda t: t.encode_with_dialect("a", "b", True, 4),
     FN + "encode_with_dialect() takes from 2 to 3 positional arguments but 4 were given"),
    (lambda t: SarfanMSATokenizer.from_tsv("a", "b"),
     FN + "from_tsv() takes 1 positional arguments but 2 were given"),
    (lambda t: t.encode("a", normalise=False),
     FN + "encode() got an unexpected keyword argument 'normalise'"),
    (lambda t: t.encode("a", text="b"), FN + "encode() got multiple values for argument 'text'"),
    (lambda t: t.encode("a", normalize=True, normalise=1),
     FN + "encode() got an unexpected keyword argument 'normalise'"),
])
def test_matching_messages(default_tokenizer, call, message):
    with pytest.raises(TypeError) as info:
        call(default_tokenizer)
    assert str(info.value) == message


@pytest.mark.parametrize("call, message", [
    (lambda t: t.encode("a", normalize=1), "argument 'normalize': 'int' object cannot be converted to 'PyBool'"),
    (lambda t: t.encode("a", None), "argument 'normalize': 'NoneType' object cannot be converted to 'PyBool'"),
    (lambda t: t.encode("a", 1.0), "argument 'normalize': 'float' object cannot be converted to 'PyBool'"),
    (lambda t: t.encode(b"a"), "argument 'text': 'bytes' object cannot be converted to 'PyString'"),
    (lambda t: SarfanMSATokenizer.from_tsv(pathlib.Path("x")),
     "argument 'path': 'PosixPath' object cannot be converted to 'PyString'"),
    (lambda t: t.decode("12"), "argument 'ids': Can't extract `str` to `Vec`"),
    (lambda t: t.decode({1: 2}), "argument 'ids': 'dict' object cannot be converted to 'Sequence'"),
    (lambda t: t.decode(i for i in [1]),
     "argument 'ids': 'generator' object cannot be converted to 'Sequence'"),
    (lambda t: t.decode([1.5]), "argument 'ids': 'float' object cannot be interpreted as an integer"),
    (lambda t: t.decode_batch([[1], "x"]), "argument 'id_batches': Can't extract `str` to `Vec`"),
    (lambda t: t.decode_with_dialect([1], 5),
     "argument 'dialect': 'int' object cannot be converted to 'PyString'"),
    (lambda t: t.encode_batch("abc"), "argument 'texts': Can't extract `str` to `Vec`"),
    (lambda t: t.encode_batch({"a"}), "argument 'texts': 'set' object cannot be converted to 'Sequence'"),
    (lambda t: t.encode_batch_ids(["a", 3]),
     "argument 'texts': 'int' object cannot be converted to 'PyString'"),
    (lambda t: t.encode_batch_with_dialect(["a"], None),
     "argument 'dialect': 'NoneType' object cannot be converted to 'PyString'"),
])
def test_conversion_messages(default_tokenizer, call, message):
    with pytest.raises(TypeError) as info:
        call(default_tokenizer)
    assert type(info.value) is TypeError
    assert str(info.value) == message


@pytest.mark.parametrize("ids", [[-1], [4294967296], [2**70]])
def test_out_of_range_ids(default_tokenizer, ids):
    with pytest.raises(OverflowError):
        default_tokenizer.decode(ids)
    if ids[0] in (-1, 4294967296):
        with pytest.raises(OverflowError, match="^out of range integral type conversion attempted$"):
            default_tokenizer.decode(ids)


# Ids 4 to 259 are the byte pieces of bytes 0 to 255 in every default vocabulary.
@pytest.mark.parametrize("ids, expected", [
    ([], ""), ((), ""), (range(0), ""), (range(69, 71), "AB"), (b"\x45\x46", "AB"),
    (bytearray(b"\x45"), "A"), (array.array("I", [69, 70]), "AB"), ([np.int64(69)], "A"),
    ((69, 4294967295, 70), "AB"),
])
def test_accepted_id_sequences(default_tokenizer, ids, expected):
    assert default_tokenizer.decode(ids) == expected


class IndexOnly:
    def __index__(self):
        return 264


class IntOnly:
    def __int__(self):
        return 264


# Some interpreters (3.9) still turn these into ints through __int__, with only a
# DeprecationWarning; an id must be an int or have __index__ on every interpreter, and the
# message is the interpreter's own for operator.index.
@pytest.mark.parametrize("item", [264.0, 1.5, np.float64(264.0), decimal.Decimal(264),
                                  fractions.Fraction(264), IntOnly()])
@pytest.mark.parametrize("param, call", [("ids", lambda t, item: t.decode([item])),
                                         ("id_batches", lambda t, item: t.decode_batch([[1], [item]]))])
def test_ids_refuse_non_index_numbers(default_tokenizer, param, call, item):
    with pytest.raises(TypeError) as expected:
        operator.index(item)
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        with pytest.raises(TypeError) as info:
            call(default_tokenizer, item)
    assert type(info.value) is TypeError
    assert str(info.value) == f"argument '{param}': {expected.value}"
    assert str(expected.value).endswith("' object cannot be interpreted as an integer")


@pytest.mark.parametrize("item", [IndexOnly(), np.int64(264), np.uint32(264), 264])
def test_ids_take_index_objects_without_warning(default_tokenizer, item):
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        assert default_tokenizer.decode([item]) == default_tokenizer.decode([264]) == "في"
        assert default_tokenizer.decode_batch([[item]]) == ["في"]


@pytest.mark.parametrize("value, expected", [(True, True), (False, False),
                                             (np.bool_(True), True), (np.bool_(False), False)])
def test_normalize_accepts_bools(default_tokenizer, value, expected):
    text = "أ"
    assert default_tokenizer.encode_ids(text, value) == default_tokenizer.encode_ids(text, expected)
    assert default_tokenizer.encode_ids(text, normalize=value) == default_tokenizer.encode_ids(text, expected)


def test_normalize_positional_equals_keyword(default_tokenizer):
    assert default_tokenizer.encode("أ", False).ids == default_tokenizer.encode("أ", normalize=False).ids
    assert default_tokenizer.encode("أ", False).ids != default_tokenizer.encode("أ").ids


def test_rewrite_keeps_cause(default_tokenizer):
    class Item:
        def __index__(self):
            try:
                raise KeyError("inner")
            except KeyError as e:
                raise TypeError("bad index") from e

    with pytest.raises(TypeError) as info:
        default_tokenizer.decode([Item()])
    assert str(info.value) == "argument 'ids': bad index"
    assert isinstance(info.value.__cause__, KeyError)


def test_other_exceptions_pass_unchanged(default_tokenizer):
    class Boom(Exception):
        pass

    class Seq:
        def __len__(self):
            return 1

        def __getitem__(self, i):
            raise Boom("x")

    with pytest.raises(Boom):
        default_tokenizer.decode(Seq())
    with pytest.raises(UnicodeEncodeError):
        default_tokenizer.encode("a\udc80")


@pytest.mark.parametrize("name", ["load_default", "list_plugins"])
def test_no_argument_methods(default_tokenizer, name):
    with pytest.raises(TypeError):
        getattr(default_tokenizer, name)(1)
