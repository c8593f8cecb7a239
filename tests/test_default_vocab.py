import os
import sys

from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st

from conftest import DEFAULT_TSV, FI, KITAB, MARK
from vocab_checks import boundary_faults, read_rows

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "python"))
from sarfan_cli.train import read_inventory  # noqa: E402

INVENTORY = read_inventory(os.path.join(ROOT, "tools", "default_inventory.txt"))
ROWS = read_rows(DEFAULT_TSV)


# Standard Arabic orthography as written: hamza forms, taa marbuta, alef maqsura, alef
# wasla, tatweel, and the presentation forms of PDF-extracted text.
ORTHOGRAPHY = ("\u0623\u0625\u0622\u0629\u0649\u0624\u0626\u0621\u0671\u0640\ufe8e"
               + "".join(map(chr, range(0xFEF5, 0xFEFD))))
EVAL_TEXT = os.path.join(ROOT, "bench", "eval", "msa-eval.txt")


def test_committed_vocabulary_keeps_every_word_start():
    assert set(ORTHOGRAPHY) <= set(INVENTORY)
    assert boundary_faults(ROWS, INVENTORY) == []


def test_committed_vocabulary_layout():
    assert [int(id_) for _, id_, _ in ROWS] == list(range(64000))
    assert [p for p, _, _ in ROWS[:4]] == ["[PAD]", "[BOS]", "[EOS]", "[UNK]"]
    assert [p for p, _, _ in ROWS[4:260]] == [f"<0x{b:02X}>" for b in range(256)]
    assert {k: ROWS[k][0] for k in (263, 264, 541, 13699)} == {
        263: MARK, 264: MARK + FI, 541: MARK + KITAB, 13699: "#"}
    scores = [float(s) for _, _, s in ROWS[260:]]
    assert all(a >= b for a, b in zip(scores, scores[1:])) and scores[-1] < 0
    pieces = [p for p, _, _ in ROWS[260:]]
    assert len(set(pieces)) == len(pieces) and max(map(len, pieces)) == 16
    assert not any(" " in p or p.startswith("#") and p != "#" for p in pieces)


def test_diacritic_pieces_of_the_rule_exist(default_tokenizer):
    # Letter with haraka, tanwin, shadda and shadda with haraka in both orders (typed text
    # puts the shadda first, NFC last), letters as written too, and both tanwin-fath
    # endings: each one piece, normalized or as written.
    pieces = {p for p, _, _ in ROWS}
    shadda_first = "\u0634\u0651\u064e"
    for piece in ["بَ", "كِ", "تُ", "مْ", "سً", "دٌ", "رٍ", "نّ", shadda_first, shadda_first[0] +
                  shadda_first[2:0:-1], "اً", "ًا", "أَ", "إِ", "ةً", "ىً", "ؤُ", "ئِ"]:
        for text in {piece, default_tokenizer.normalize(piece)}:
            assert {text, MARK + text} <= pieces, text
            assert len(default_tokenizer.encode_ids(text, normalize=False)) == 3, text


def test_raw_words_keep_their_boundaries(default_tokenizer):
    tok = default_tokenizer
    assert tok.encode_ids("قال إن", normalize=False) != tok.encode_ids("قالإن", normalize=False)
    for text in ["قال إن المدرسة إلى آخر", "ﻻ كﻼم", "كتـــاب"]:
        assert tok.decode(tok.encode_ids(text, normalize=False)) == text
    # The lam-alef ligature unfolds with its alef when normalized.
    assert tok.decode(tok.encode_ids("كﻼم")) == "كلام"


def evaluation_faults(tok, lines, normalize):
    """Lines of the evaluation text that do not decode to their words joined by single
    spaces, words whose first piece is unmarked, and byte pieces of inventory characters."""
    faults = []
    for number, line in enumerate(lines, 1):
        text = tok.normalize(line) if normalize else line
        r = tok.encode(text, normalize=False)
        if tok.decode(r.ids) != " ".join(text.split()):
            faults.append(f"line {number} does not decode back")
        starts = {k for k, c in enumerate(text) if not c.isspace() and (k == 0 or text[k - 1].isspace())}
        for piece, id_, (start, _) in zip(r.tokens[1:-1], r.ids[1:-1], r.offsets[1:-1]):
            if start in starts and text[start] in INVENTORY and not piece.startswith(MARK):
                faults.append(f"line {number}: word at {start} starts unmarked")
            if 4 <= id_ < 260 and text[start] in INVENTORY and text[start] != "#":
                faults.append(f"line {number}: byte piece for {text[start]!r}")
            starts.discard(start)  # only a word's first piece carries the mark
    return faults


def test_evaluation_text_round_trips_as_written_and_normalized(default_tokenizer):
    with open(EVAL_TEXT, encoding="utf-8") as f:
        lines = f.read().splitlines()
    for normalize in (False, True):
        assert evaluation_faults(default_tokenizer, lines, normalize) == [], normalize


def test_emoji_falls_back_to_four_byte_steps(default_tokenizer):
    r = default_tokenizer.encode("a \U0001F600")
    assert r.tokens[1] == MARK + "a"
    assert r.ids[2:6] == [244, 163, 156, 132] and r.offsets[2:6] == [(2, 3)] * 4


# Words over the inventory, plain "#" too (inside a word it falls back to its byte piece);
# "[" and "<" are left out, so that no word spells a special or byte piece.
WORD_CHARS = [c for c in INVENTORY if c not in "[<"]


@settings(max_examples=300, deadline=None, suppress_health_check=[HealthCheck.too_slow])
@given(words=st.lists(st.text(st.sampled_from(WORD_CHARS), min_size=1, max_size=20),
                      min_size=1, max_size=6))
def test_random_words_over_the_inventory_round_trip(default_tokenizer, words):
    text = " ".join(words)
    assert default_tokenizer.decode(default_tokenizer.encode_ids(text)) == \
        default_tokenizer.normalize(text)


# Raw words drawn mostly from the letters that normalization folds away, among the rest of
# the inventory, separated by runs of any whitespace.
RAW_CHARS = st.one_of(st.sampled_from(ORTHOGRAPHY), st.sampled_from(WORD_CHARS))


@settings(max_examples=300, deadline=None, suppress_health_check=[HealthCheck.too_slow])
@given(words=st.lists(st.text(RAW_CHARS, min_size=1, max_size=12), min_size=1, max_size=6),
       gaps=st.lists(st.sampled_from([" ", "  ", "\t", "\n", "\u00a0", "\u3000 "]),
                     min_size=7, max_size=7))
def test_random_raw_words_round_trip_with_marked_starts(default_tokenizer, words, gaps):
    text = gaps[-1] + "".join(w + g for w, g in zip(words, gaps))
    r = default_tokenizer.encode(text, normalize=False)
    assert default_tokenizer.decode(r.ids) == " ".join(words)
    assert r.ids == default_tokenizer.encode_ids(text, normalize=False)
    position, starts = 0, []
    for w in words:
        position = text.index(w, position)
        starts.append(position)
        position += len(w)
    first_pieces = {}
    for piece, (start, _) in zip(r.tokens[1:-1], r.offsets[1:-1]):
        first_pieces.setdefault(start, piece)
    assert all(first_pieces[start].startswith(MARK) for start in starts)


def test_previous_release_vocabulary_loads_with_its_ids():
    import hashlib

    path = os.path.join(ROOT, "vocab", "sarfan-msa-64k-0.2.0.tsv")
    with open(path, "rb") as f:
        assert hashlib.sha256(f.read()).hexdigest()[:16] == "75f8fcbf8ddead57"
    import sarfan

    old = sarfan.SarfanMSATokenizer.from_tsv(path)
    assert old.encode_ids(FI + " " + KITAB) == [1, 264, 541, 2]
    assert old.token_to_id(MARK + "الي") is not None and old.token_to_id(MARK + "إلى") is None
