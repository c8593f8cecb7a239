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


def test_committed_vocabulary_keeps_every_word_start():
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
    # Letter with haraka, tanwin, shadda and shadda with haraka (stored as NFC orders it),
    # and both tanwin-fath endings, each one piece.
    pieces = {p for p, _, _ in ROWS}
    for piece in ["بَ", "كِ", "تُ", "مْ", "سً", "دٌ", "رٍ", "نّ", "شَّ", "اً", "ًا"]:
        normalized = default_tokenizer.normalize(piece)
        assert {normalized, MARK + normalized} <= pieces, piece
        assert len(default_tokenizer.encode_ids(normalized)) == 3, piece


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
