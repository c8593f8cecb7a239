import pytest

from sarfan import SarfanMSATokenizer

from conftest import DEFAULT_TSV, fifo_of


def test_vocabulary_from_a_fifo_loads_like_a_file(tmp_path):
    # As with process substitution: the writer is another process.
    with fifo_of(tmp_path / "vocab.fifo", DEFAULT_TSV) as fifo:
        tok = SarfanMSATokenizer.from_tsv(fifo)
    assert tok.vocab_size == 64000 and tok.encode_ids("في الكتاب") == [1, 264, 541, 2]


@pytest.mark.parametrize("make, message, plugin_loads", [
    (lambda d: str(d), "IO error: Is a directory (os error 21)", False),
    # An empty plugin is a plugin with no pieces; an empty vocabulary is refused.
    (lambda d: "/dev/null", "Invalid model file: TSV file contains no valid entries", True),
    (lambda d: str(d / "missing.tsv"), "IO error: No such file or directory (os error 2)", False),
])
def test_unusable_vocabulary_and_plugin_files(tmp_path, make, message, plugin_loads):
    path = make(tmp_path)
    with pytest.raises(RuntimeError) as info:
        SarfanMSATokenizer.from_tsv(path)
    assert str(info.value) == message
    tok = SarfanMSATokenizer.load_default()
    if plugin_loads:
        tok.load_plugin(path, "x")
        assert tok.list_plugins() == ["x"] and tok.encode_ids_with_dialect("في", "x") == [1, 264, 2]
        return
    with pytest.raises(RuntimeError) as info:
        tok.load_plugin(path, "x")
    assert str(info.value) == message and tok.list_plugins() == []


@pytest.mark.parametrize("ids, expected", [([4294967295], ""), ([4294967294, 3, 264], "[UNK] في")])
def test_decode_ids_near_two_to_the_32(default_tokenizer, ids, expected):
    assert default_tokenizer.decode(ids) == expected


def test_decode_refuses_two_to_the_32(default_tokenizer):
    with pytest.raises(OverflowError, match="out of range integral type conversion attempted"):
        default_tokenizer.decode([4294967296])
