"""encode_ids_and_input_offsets and its batch and dialect forms: the ids of encode with
spans of the caller's text, which slice it into what each piece was made from."""
import pytest
from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st

from sarfan import SarfanMSATokenizer
from conftest import FI, KITAB, MARK, write_tsv

PROFILE = settings(max_examples=400, deadline=None, derandomize=True,
                   suppress_health_check=[HealthCheck.function_scoped_fixture])

# Characters of every kind that normalization treats apart: letters that stay or fold,
# tatweel, marks in and out of canonical order, composable pairs, lam-alef ligatures,
# whitespace of several kinds, Latin, a character NFC replaces, and byte-fallback ones.
ALPHABET = ("ابتثجحخدذرزسشصضطظعغفقكلمنهوي" "أإآىةء" "\u0640" "\u064b\u064e\u064f\u0650\u0651\u0652"
            "\u0653\u0654\u0655\u0670" "\ufef5\ufef7\ufef9\ufefb\ufefc\ufe8e\ufe8d"
            " \t\n\u00a0\u3000\u2003" "abe\u0301\u0323\u2126\u00e9" "😀\u2581\u0000")
TEXTS = st.text(alphabet=ALPHABET, max_size=40)


@pytest.fixture(scope="module")
def tok():
    return SarfanMSATokenizer.load_default()


@pytest.fixture
def tok_egy(tmp_path):
    tok = SarfanMSATokenizer.load_default()
    tok.load_plugin(write_tsv(tmp_path / "egy.tsv", [(MARK + "ازيك", 64000, -1)]), "egy")
    return tok


def test_spans_slice_the_callers_text(tok):
    text = "  ذهب   الولد"
    ids, spans = tok.encode_ids_and_input_offsets(text)
    assert ids == tok.encode_ids(text)
    assert [text[a:b] for a, b in spans] == ["", "ذهب", "الولد", ""]
    assert spans[0] == (0, 0) and spans[-1] == (len(text), len(text))
    # The spans of encode() count the normalized text, "ذهب الولد".
    assert tok.encode(text).offsets == [(0, 0), (0, 3), (4, 9), (9, 9)]


@pytest.mark.parametrize("text, pieces", [
    ("كتـــاب", ["كتـــاب"]),            # tatweel inside a word stays inside its span
    ("ـكتاب", ["كتاب"]),                # and at its start belongs to no piece
    ("\u0627\u0653", ["\u0627\u0653"]),  # composed by NFC, then folded to alef
    (f" {FI}\u3000\t{KITAB} ", [FI, KITAB]),
])
def test_removed_and_composed_characters(tok, text, pieces):
    _, spans = tok.encode_ids_and_input_offsets(text)
    assert [text[a:b] for a, b in spans[1:-1]] == pieces


def test_ligature_halves_share_its_span(tmp_path):
    # A vocabulary where lam and alef are pieces of their own: ﻼ (normalized لا) gives two
    # pieces, and both come from the ligature.
    rows = [("[PAD]", 0, 0), ("[BOS]", 1, 0), ("[EOS]", 2, 0), ("[UNK]", 3, 0)]
    rows += [(f"<0x{b:02X}>", 4 + b, 0) for b in range(256)]
    rows += [(MARK + "ل", 260, -1), ("ا", 261, -1), ("م", 262, -1), (MARK + "م", 263, -1)]
    tok = SarfanMSATokenizer.from_tsv(write_tsv(tmp_path / "v.tsv", rows))
    text = "م \ufefcم"
    assert tok.encode(text).tokens == ["[BOS]", MARK + "م", MARK + "ل", "ا", "م", "[EOS]"]
    _, spans = tok.encode_ids_and_input_offsets(text)
    assert spans == [(0, 0), (0, 1), (2, 3), (2, 3), (3, 4), (4, 4)]


def test_byte_pieces_carry_their_characters_span(tok):
    text = "ـ😀a"
    result = tok.encode(text)
    _, spans = tok.encode_ids_and_input_offsets(text)
    assert result.tokens[1:5] == ["<0xF0>", "<0x9F>", "<0x98>", "<0x80>"]
    assert spans[1:5] == [(1, 2)] * 4


@pytest.mark.parametrize("text", ["", "   ", f"  {FI}  {KITAB}", "إلى ﻻ ـكتب", "😀 a\u0301"])
def test_without_normalization_spans_are_encodes_offsets(tok, text):
    result = tok.encode(text, False)
    assert tok.encode_ids_and_input_offsets(text, False) == (result.ids, result.offsets)
    assert tok.encode_ids_and_input_offsets(text, normalize=False) == (result.ids, result.offsets)


def test_dialect_takes_the_plugins_pieces(tok_egy):
    ids, spans = tok_egy.encode_ids_and_input_offsets_with_dialect(" ازيك", "egy")
    assert ids == [1, 64000, 2] and spans == [(0, 0), (1, 5), (5, 5)]
    assert tok_egy.encode_ids_and_input_offsets(" ازيك")[0] == tok_egy.encode_ids(" ازيك")


BATCH = ["", f"{FI} {KITAB}", "😀 emoji", "ازيك  يا ـباشا", f"{KITAB}\u3000" * 300, "\t\n",
         "ك\ufefbم"] * 40  # over 16 KiB: the pool takes part


@pytest.mark.parametrize("texts", [BATCH, BATCH[:1], (), tuple(BATCH[:5])])
@pytest.mark.parametrize("dialect", [None, "egy"])
@pytest.mark.parametrize("normalize", [True, False])
def test_batch_equals_one_text_at_a_time(tok_egy, texts, dialect, normalize):
    if dialect is None:
        got = tok_egy.encode_batch_ids_and_input_offsets(texts, normalize)
        want = [tok_egy.encode_ids_and_input_offsets(t, normalize) for t in texts]
    else:
        got = tok_egy.encode_batch_ids_and_input_offsets_with_dialect(texts, dialect, normalize)
        want = [tok_egy.encode_ids_and_input_offsets_with_dialect(t, dialect, normalize)
                for t in texts]
    assert got == want
    assert all(type(row) is tuple and type(row[0]) is list and type(row[1]) is list for row in got)


@pytest.mark.parametrize("call, error, message", [
    (lambda t: t.encode_batch_ids_and_input_offsets("abc"), TypeError,
     "argument 'texts': Can't extract `str` to `Vec`"),
    (lambda t: t.encode_batch_ids_and_input_offsets(["a", 1]), TypeError,
     "argument 'texts': 'int' object cannot be converted to 'PyString'"),
    (lambda t: t.encode_ids_and_input_offsets(b"a"), TypeError,
     "argument 'text': 'bytes' object cannot be converted to 'PyString'"),
    (lambda t: t.encode_ids_and_input_offsets("\ud800"), UnicodeEncodeError, "surrogates"),
])
def test_argument_errors(tok, call, error, message):
    with pytest.raises(error, match=message):
        call(tok)


def pieces(result):
    """(first step, last step, normalized span) of each piece: a matched piece, or the byte
    steps of one character."""
    out = []
    for k in range(1, len(result.ids) - 1):
        span = result.offsets[k]
        if out and result.tokens[k].startswith("<0x") and out[-1][2] == span \
                and result.tokens[k - 1].startswith("<0x"):
            out[-1] = (out[-1][0], k, span)
        else:
            out.append((k, k, span))
    return out


@PROFILE
@given(text=TEXTS)
def test_unshared_pieces_normalize_back_to_their_text(tok, text):
    result = tok.encode(text)
    ids, spans = tok.encode_ids_and_input_offsets(text)
    assert ids == result.ids and len(spans) == len(ids)
    assert spans[0] == (0, 0) and spans[-1] == (len(text), len(text))
    normalized = tok.normalize(text)
    units = pieces(result)
    for u, (first, last, (start, end)) in enumerate(units):
        span = spans[first]
        assert spans[first:last + 1] == [span] * (last - first + 1)  # bytes of one character
        shared = any(max(span[0], spans[units[v][0]][0]) < min(span[1], spans[units[v][0]][1])
                     for v in (u - 1, u + 1) if 0 <= v < len(units))
        if shared:
            continue
        piece = normalized[start:end]
        if not result.tokens[first].startswith("<0x"):
            assert result.tokens[first] in (piece, MARK + piece)
        assert tok.normalize(text[span[0]:span[1]]) == piece


@PROFILE
@given(texts=st.lists(TEXTS, max_size=6), normalize=st.booleans())
def test_batch_property(tok, texts, normalize):
    assert tok.encode_batch_ids_and_input_offsets(texts, normalize) == [
        tok.encode_ids_and_input_offsets(t, normalize) for t in texts]
