"""Results share Python objects with their tokenizer's other results (ints, base piece
strs); what they return must not depend on what was cached before or on the tokenizer's
later life."""
import gc

from conftest import FI, KITAB, MARK, write_tsv

from sarfan import SarfanMSATokenizer


def test_plugin_pieces_follow_each_result_not_the_loaded_plugin(tmp_path):
    tok = SarfanMSATokenizer.load_default()
    tok.load_plugin(write_tsv(tmp_path / "a.tsv", [(MARK + "ازيك", 64000, -1)]), "egy")
    first = tok.encode_with_dialect("ازيك ازيك", "egy")
    assert first.tokens == ["[BOS]", MARK + "ازيك", MARK + "ازيك", "[EOS]"]
    tok.unload_plugin("egy")
    tok.load_plugin(write_tsv(tmp_path / "b.tsv", [(MARK + "شلونك", 64000, -1)]), "egy")
    second = tok.encode_with_dialect("شلونك", "egy")
    assert second.ids == [1, 64000, 2]
    assert second.tokens == ["[BOS]", MARK + "شلونك", "[EOS]"]
    assert first.tokens == ["[BOS]", MARK + "ازيك", MARK + "ازيك", "[EOS]"]
    del tok
    gc.collect()
    assert first.tokens[1] == MARK + "ازيك" and second.tokens[1] == MARK + "شلونك"
    assert first.offsets == [(0, 0), (0, 4), (5, 9), (9, 9)]


def test_step_texts_that_differ_from_their_ids_piece(tmp_path):
    # Ids 1 and 3 are ordinary pieces here, so the begin step and the unknown steps carry
    # texts other than the pieces of their ids, in whatever order they are met.
    rows = [("[PAD]", 0, 0), ("q", 1, 0), ("[EOS]", 2, 0), ("z", 3, 0)]
    tok = SarfanMSATokenizer.from_tsv(write_tsv(tmp_path / "v.tsv", rows))
    unknown = tok.encode("😀 q")
    known = tok.encode("q z")
    assert unknown.ids == [1, 3, 3, 3, 3, 1, 2]
    assert unknown.tokens == ["[BOS]"] + ["[UNK]"] * 4 + ["q", "[EOS]"]
    assert known.ids == [1, 1, 3, 2] and known.tokens == ["[BOS]", "q", "z", "[EOS]"]
    assert tok.encode("😀").tokens == ["[BOS]"] + ["[UNK]"] * 4 + ["[EOS]"]


def test_long_results_and_large_offsets(default_tokenizer):
    # Offsets past a million characters come from beyond the shared ints.
    words = 550_001
    result = default_tokenizer.encode(" ".join([FI] * words))
    n = 3 * words - 1
    assert len(result.ids) == words + 2 and set(result.ids[1:-1]) == {264}
    offsets = result.offsets
    assert offsets[-2:] == [(n - 2, n), (n, n)] and offsets[1] == (0, 2)
    assert all(offsets[k] == (3 * (k - 1), 3 * (k - 1) + 2) for k in range(1, words + 1, 9973))
    tokens = result.tokens
    assert tokens[0] == "[BOS]" and tokens[-1] == "[EOS]" and set(tokens[1:-1]) == {MARK + FI}


def test_every_read_builds_new_lists(default_tokenizer):
    result = default_tokenizer.encode(f"{FI} {KITAB}")
    for name in ("ids", "tokens", "offsets"):
        first, second = getattr(result, name), getattr(result, name)
        assert first == second and first is not second
        first.clear()
        assert getattr(result, name) == second
    assert result.offsets[1] is not result.offsets[1]
