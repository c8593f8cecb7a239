"""encode_batch_ids_array(_with_dialect): the ids of encode_batch_ids in two buffers, and
the zero-copy views that NumPy, PyTorch and Arrow take of them."""
import array

import numpy as np
import pytest

from sarfan import SarfanMSATokenizer
from conftest import FI, KITAB, MARK, write_tsv

# Enough text for the pool to take part (batches under 16 KiB run on the calling thread).
TEXTS = ["", f"{FI} {KITAB}", "😀 emoji", "ازيك يا باشا", f"{KITAB} " * 300, "\t\n"] * 40


@pytest.fixture
def tok(tmp_path):
    tok = SarfanMSATokenizer.load_default()
    tok.load_plugin(write_tsv(tmp_path / "egy.tsv", [(MARK + "ازيك", 64000, -1)]), "egy")
    return tok


def rows(ids, offsets):
    return [list(ids[offsets[i]:offsets[i + 1]]) for i in range(len(offsets) - 1)]


@pytest.mark.parametrize("texts", [TEXTS, TEXTS[:1], TEXTS[:3], (), tuple(TEXTS)])
@pytest.mark.parametrize("dialect", [None, "egy", "nope"])
def test_rows_equal_encode_batch_ids(tok, texts, dialect):
    if dialect is None:
        ids, offsets = tok.encode_batch_ids_array(texts)
        want = tok.encode_batch_ids(texts)
    else:
        ids, offsets = tok.encode_batch_ids_array_with_dialect(texts, dialect)
        want = tok.encode_batch_ids_with_dialect(texts, dialect)
    assert isinstance(ids, array.array) and ids.typecode == "I" and ids.itemsize == 4
    assert isinstance(offsets, array.array) and offsets.typecode == "q" and offsets.itemsize == 8
    assert len(offsets) == len(texts) + 1 and offsets[0] == 0 and offsets[-1] == len(ids)
    assert rows(ids, offsets) == want


@pytest.mark.parametrize("dialect", [None, "egy"])
def test_normalize_false_encodes_each_text_as_given(tok, dialect):
    texts = ["إلى  المدرسة", "ﻻ", "ازيك\tيا"] * 2000  # enough for the pool
    if dialect is None:
        got = [tok.encode_batch_ids_array(texts, False), tok.encode_batch_ids_array(texts, normalize=False)]
        want = [tok.encode_ids(text, False) for text in texts]
    else:
        got = [tok.encode_batch_ids_array_with_dialect(texts, dialect, False),
               tok.encode_batch_ids_array_with_dialect(texts, dialect, normalize=False)]
        want = [tok.encode_ids_with_dialect(text, dialect, False) for text in texts]
    assert rows(*got[0]) == rows(*got[1]) == want
    assert want != [tok.encode_ids(text) for text in texts]


def test_dialect_changes_the_ids(tok):
    plain, _ = tok.encode_batch_ids_array(["ازيك"])
    egy, _ = tok.encode_batch_ids_array_with_dialect(["ازيك"], "egy")
    assert list(egy) == [tok.bos_id, 64000, tok.eos_id] and list(plain) != list(egy)


@pytest.mark.parametrize("call, error, message", [
    (lambda t: t.encode_batch_ids_array("abc"), TypeError,
     "argument 'texts': Can't extract `str` to `Vec`"),
    (lambda t: t.encode_batch_ids_array({"a"}), TypeError,
     "argument 'texts': 'set' object cannot be converted to 'Sequence'"),
    (lambda t: t.encode_batch_ids_array(["a", 1]), TypeError,
     "argument 'texts': 'int' object cannot be converted to 'PyString'"),
    (lambda t: t.encode_batch_ids_array_with_dialect(["a"], 1), TypeError,
     "argument 'dialect': 'int' object cannot be converted to 'PyString'"),
    (lambda t: t.encode_batch_ids_array(["\ud800"]), UnicodeEncodeError, "surrogates"),
    (lambda t: t.encode_batch_ids_array(), TypeError,
     "SarfanMSATokenizer.encode_batch_ids_array() missing 1 required positional argument: "
     "'texts'"),
    (lambda t: t.encode_batch_ids_array_with_dialect(["a"], "egy", True, 1), TypeError,
     "takes from 2 to 3 positional arguments but 4 were given"),
    (lambda t: t.encode_batch_ids_array(["a"], 1), TypeError,
     "argument 'normalize': 'int' object cannot be converted to 'PyBool'"),
])
def test_errors_match_the_other_batch_methods(tok, call, error, message):
    with pytest.raises(error, match=None) as caught:
        call(tok)
    assert message in str(caught.value)


def test_guard_refuses_a_plugin_change_while_texts_are_walked(tok, tmp_path):
    plugin = write_tsv(tmp_path / "p.tsv", [("x", 64001, 0)])
    seen = []

    class Texts:
        def __len__(self):
            return 1

        def __getitem__(self, k):
            if k:
                raise IndexError
            try:
                tok.load_plugin(plugin, "p")
            except RuntimeError as error:
                seen.append(str(error))
            return FI

    tok.encode_batch_ids_array(Texts())
    assert seen == ["Already borrowed"] and tok.list_plugins() == ["egy"]


def test_numpy_views_split_and_pad(tok):
    ids, offsets = tok.encode_batch_ids_array(TEXTS)
    flat = np.frombuffer(ids, dtype=np.uint32)
    bounds = np.asarray(offsets)
    assert flat.dtype == np.uint32 and bounds.dtype == np.int64
    ids[0] = 7  # a view, not a copy
    assert flat[0] == 7
    ids[0] = tok.bos_id
    want = tok.encode_batch_ids(TEXTS)
    assert [row.tolist() for row in np.split(flat, bounds[1:-1])] == want
    lengths = np.diff(bounds)
    padded = np.full((len(TEXTS), lengths.max()), tok.pad_id, dtype=np.int64)
    padded[np.arange(lengths.max()) < lengths[:, None]] = flat
    assert [row[:n].tolist() for row, n in zip(padded, lengths)] == want
    assert (padded[lengths < lengths.max(), -1] == tok.pad_id).all()


def test_torch_frombuffer(tok):
    torch = pytest.importorskip("torch")
    ids, offsets = tok.encode_batch_ids_array(TEXTS)
    flat = torch.frombuffer(ids, dtype=torch.int32)  # torch has no uint32 arithmetic
    bounds = torch.frombuffer(offsets, dtype=torch.int64)
    rows_ = [flat[bounds[i]:bounds[i + 1]].tolist() for i in range(len(TEXTS))]
    assert rows_ == tok.encode_batch_ids(TEXTS)


def test_arrow_large_list_over_the_buffers(tok):
    pa = pytest.importorskip("pyarrow")
    ids, offsets = tok.encode_batch_ids_array(TEXTS)
    values = pa.array(np.frombuffer(ids, dtype=np.uint32))
    column = pa.LargeListArray.from_arrays(pa.array(np.frombuffer(offsets, dtype=np.int64)), values)
    assert column.type == pa.large_list(pa.uint32())
    # Arrow wraps the NumPy memory: the values buffer is the array's own.
    assert values.buffers()[1].address == np.frombuffer(ids, dtype=np.uint32).ctypes.data
    assert column.to_pylist() == tok.encode_batch_ids(TEXTS)
