import gc
import sys
import tracemalloc

import pytest

from sarfan import SarfanMSATokenizer
from conftest import FI, KITAB, MARK, write_tsv


def test_docstrings_and_signatures():
    cases = {
        "from_tsv": "(path)", "from_pretrained": "(name)", "load_default": "()",
        "encode": "($self, text, normalize=True)", "decode_batch": "($self, id_batches)",
        "encode_batch_ids_with_dialect": "($self, texts, dialect)",
        "list_plugins": "($self)",
    }
    for name, signature in cases.items():
        assert getattr(SarfanMSATokenizer, name).__text_signature__ == signature
    assert SarfanMSATokenizer.from_tsv.__doc__ == (
        "Load a base tokenizer from a TSV vocabulary file.\n\nTSV format: token<TAB>id<TAB>score")
    assert SarfanMSATokenizer.decode.__doc__ == (
        "Decode token IDs (auto-detects plugin tokens from any loaded plugin)")
    assert SarfanMSATokenizer.encode_ids.__doc__.endswith("~2-3x faster than encode() for bulk throughput")


def test_documented_examples(default_tokenizer):
    tok = default_tokenizer
    r = tok.encode(f"{FI} {KITAB}")
    assert r.ids == [1, 264, 541, 2]
    assert r.tokens == ["[BOS]", MARK + FI, MARK + KITAB, "[EOS]"]
    assert r.offsets == [(0, 0), (0, 2), (3, 9), (9, 9)]
    assert (r.dialect, r.confidence, r.fallback) == ("msa", 1.0, True)
    assert tok.decode([1, 264, 541, 2]) == f"{FI} {KITAB}"
    assert tok.encode("").ids == [1, 2]


def test_byte_fallback_on_a_vocabulary_without_latin_letters(tmp_path):
    rows = [("[PAD]", 0, 0), ("[BOS]", 1, 0), ("[EOS]", 2, 0), ("[UNK]", 3, 0)]
    rows += [(f"<0x{b:02X}>", 4 + b, 0) for b in range(256)]
    rows += [(MARK + FI, 260, -1.0), (FI, 261, -2.0)]
    tok = SarfanMSATokenizer.from_tsv(write_tsv(tmp_path / "v.tsv", rows))
    r = tok.encode("a \U0001F600")
    assert r.ids == [1, 101, 244, 163, 156, 132, 2]
    assert r.offsets[1:-1] == [(0, 1)] + [(2, 3)] * 4


@pytest.mark.parametrize("text, expected", [
    ("\u0623\u0625\u0622 \u0649 \u0629", "\u0627\u0627\u0627 \u064a \u0647"),
    ("\u0643\u0640\u062a\u0627\u0628", "\u0643\u062a\u0627\u0628"),
    ("  a \t\n b  ", "a b"),
    ("\u0627\u0653", "\u0627"),
    ("\u0628\u0651\u064e", "\u0628\u064e\u0651"),  # NFC puts fatha before shadda
    ("\ufefb \ufe8e \ufe8d", "\u0644 \u0627 \ufe8d"),
    ("", ""),
])
def test_normalize_is_the_text_that_encode_segments(default_tokenizer, text, expected):
    tok = default_tokenizer
    assert tok.normalize(text) == expected
    assert tok.encode_ids(expected, normalize=False) == tok.encode_ids(text)
    assert tok.normalize(text=text) == expected


def test_normalize_rejects_other_types(default_tokenizer):
    with pytest.raises(TypeError):
        default_tokenizer.normalize(b"x")


def test_encode_ids_equals_encode(default_tokenizer):
    for text in ["", "   ", f"{FI}  {KITAB}", "أإآ ـ ى ة", "abc 123 😀", "ﻻ ﺎ"]:
        for normalize in (True, False):
            assert default_tokenizer.encode_ids(text, normalize) == default_tokenizer.encode(text, normalize).ids


@pytest.mark.parametrize("plugin_id", [64000, 65535, 65536, 262143, 262144, 16777215])
def test_id_lists_for_any_id(tmp_path, plugin_id):
    # Id lists reuse one int object per id; ids past that table and plugin ids beside it
    # must come out right, and lists from many calls must stay independent.
    tok = SarfanMSATokenizer.load_default()
    tok.load_plugin(write_tsv(tmp_path / "p.tsv", [(MARK + "ازيك", plugin_id, -1)]), "egy")
    expected = [1, plugin_id, 264, plugin_id, 2]
    first = tok.encode_ids_with_dialect("ازيك في ازيك", "egy")
    assert first == expected and tok.encode_batch_ids_with_dialect(["ازيك في ازيك"] * 3, "egy") == [expected] * 3
    first[1] = -1
    again = tok.encode_ids_with_dialect("ازيك في ازيك", "egy")
    assert again == expected
    assert tok.encode_with_dialect("ازيك في ازيك", "egy").ids == expected


def test_from_tsv_errors(tmp_path):
    with pytest.raises(RuntimeError) as info:
        SarfanMSATokenizer.from_tsv(str(tmp_path / "missing.tsv"))
    assert str(info.value) == "IO error: No such file or directory (os error 2)"
    bad = tmp_path / "bad.tsv"
    bad.write_text("a\t1\n")
    with pytest.raises(RuntimeError) as info:
        SarfanMSATokenizer.from_tsv(str(bad))
    assert str(info.value) == "Invalid model file: TSV line 1: expected 3 columns, got 2 (line: 'a\t1')"


def test_plugins(default_tokenizer, tmp_path):
    tok = SarfanMSATokenizer.load_default()
    assert tok.list_plugins() == [] and tok.unload_plugin("none") is None
    plugin = write_tsv(tmp_path / "egy.tsv", [(MARK + "ازيك", 64000, -1), ("<0xF0>", 64001, 0)])
    assert tok.load_plugin(plugin, "egy") is None
    assert tok.list_plugins() == ["egy"] and tok.vocab_size == 64000
    assert tok.encode_ids_with_dialect("ازيك", "egy") == [1, 64000, 2]
    assert tok.encode_ids("ازيك") != [1, 64000, 2]
    r = tok.encode_with_dialect("ازيك", "egy")
    assert (r.dialect, r.fallback, r.tokens[1]) == ("egy", False, MARK + "ازيك")
    assert tok.decode([64000]) == "ازيك" and tok.decode_with_dialect([64000], "x") == ""
    bad = tmp_path / "bad.tsv"
    bad.write_text("x\t63999\t0\n")
    with pytest.raises(RuntimeError) as info:
        tok.load_plugin(str(bad), "bad")
    assert str(info.value) == ("Invalid model file: Plugin TSV line 1: token 'x' global ID 63999 "
                               "is below base_vocab_size 64000")
    assert tok.list_plugins() == ["egy"]
    tok.unload_plugin("egy")
    assert tok.list_plugins() == []
    assert default_tokenizer.list_plugins() == []  # tokenizers share nothing


def test_result_outlives_tokenizer_and_plugins(tmp_path):
    tok = SarfanMSATokenizer.load_default()
    tok.load_plugin(write_tsv(tmp_path / "p.tsv", [(MARK + "x", 64000, 0)]), "p")
    result = tok.encode_with_dialect("x", "p")
    tok.unload_plugin("p")
    del tok
    gc.collect()
    assert result.ids == [1, 64000, 2]


def test_guard_refuses_plugin_change_during_decode(tmp_path):
    tok = SarfanMSATokenizer.load_default()
    plugin = write_tsv(tmp_path / "p.tsv", [("x", 64000, 0)])
    seen = []

    class Ids:
        def __len__(self):
            return 2

        def __getitem__(self, i):
            raise AssertionError("iterated through __iter__")

        def __iter__(self):
            try:
                tok.load_plugin(plugin, "p")
            except RuntimeError as e:
                seen.append(str(e))
            yield 264
            yield 541

    assert tok.decode(Ids()) == f"{FI} {KITAB}"
    assert seen == ["Already borrowed"] and tok.list_plugins() == []

    class Raising:
        def __len__(self):
            return 1

        def __getitem__(self, i):
            raise AssertionError("iterated through __iter__")

        def __iter__(self):
            tok.unload_plugin("p")
            yield 1

    with pytest.raises(RuntimeError, match="^Already borrowed$"):
        tok.decode(Raising())
    tok.load_plugin(plugin, "p")  # the guard is free again
    assert tok.list_plugins() == ["p"]


def test_no_reference_or_memory_leaks(tmp_path):
    tok = SarfanMSATokenizer.load_default()
    plugin = write_tsv(tmp_path / "p.tsv", [("x", 64000, 0)])
    text, ids, name = f"{FI} {KITAB}" * 3, [1, 264, 541, 2], "p"
    before = (sys.getrefcount(text), sys.getrefcount(ids), sys.getrefcount(name), sys.getrefcount(tok))

    def round_trip():
        for _ in range(200):
            r = tok.encode(text)
            r.ids, r.tokens, r.offsets, r.dialect
            tok.encode_ids(text, normalize=False)
            tok.decode(ids)
            tok.decode_batch([ids, ids])
            tok.encode_batch_ids([text, text])
            tok.load_plugin(plugin, name)
            tok.unload_plugin(name)
            try:
                tok.encode(b"x")
            except TypeError:
                pass

    round_trip()
    gc.collect()
    tracemalloc.start()
    round_trip()
    first, _ = tracemalloc.get_traced_memory()
    for _ in range(5):
        round_trip()
    second, _ = tracemalloc.get_traced_memory()
    tracemalloc.stop()
    after = (sys.getrefcount(text), sys.getrefcount(ids), sys.getrefcount(name), sys.getrefcount(tok))
    assert after == before
    assert second - first < 64 * 1024
