"""id_to_token, token_to_id, get_vocab, load_embedded and batch_threads."""
import os
import subprocess
import sys

import pytest

from sarfan import SarfanMSATokenizer
from conftest import FI, MARK, write_tsv


@pytest.fixture
def tok(tmp_path, clean_env):
    tok = SarfanMSATokenizer.load_default()
    tok.load_plugin(write_tsv(tmp_path / "egy.tsv", [(MARK + "ازيك", 64000, -1),
                                                     (MARK + FI, 64001, -1)]), "egy")
    return tok


def test_lookups_invert_each_other_over_the_base(tok):
    vocab = tok.get_vocab()
    assert len(vocab) > 60000 and max(vocab.values()) < tok.vocab_size
    for piece, id_ in vocab.items():
        assert tok.id_to_token(id_) == piece and tok.token_to_id(piece) == id_
    assert [tok.id_to_token(i) for i in (tok.pad_id, tok.bos_id, tok.eos_id, tok.unk_id)] == \
        ["[PAD]", "[BOS]", "[EOS]", "[UNK]"]


def test_ids_agree_with_encoding(tok):
    result = tok.encode(f"{FI} الكتاب")
    assert [tok.id_to_token(i) for i in result.ids] == result.tokens
    assert [tok.token_to_id(p) for p in result.tokens] == result.ids


def test_plugins(tok):
    assert tok.id_to_token(64000) == MARK + "ازيك" and tok.token_to_id(MARK + "ازيك") == 64000
    # A piece in both: the base id, as encoding without a dialect gives it.
    assert tok.token_to_id(MARK + FI) == tok.get_vocab()[MARK + FI] != 64001
    egy = tok.get_vocab("egy")
    assert egy[MARK + "ازيك"] == 64000 and egy[MARK + FI] == 64001
    assert MARK + "ازيك" not in tok.get_vocab() and tok.get_vocab("nope") == tok.get_vocab()
    assert tok.get_vocab(dialect=None) == tok.get_vocab()
    tok.unload_plugin("egy")
    assert tok.id_to_token(64000) is None and tok.token_to_id(MARK + "ازيك") is None


@pytest.mark.parametrize("call, error, message", [
    (lambda t: t.id_to_token(-1), OverflowError, "out of range integral type conversion attempted"),
    (lambda t: t.id_to_token(2 ** 32), OverflowError, "out of range"),
    (lambda t: t.id_to_token("1"), TypeError, "argument 'id': "),
    (lambda t: t.token_to_id(1), TypeError,
     "argument 'piece': 'int' object cannot be converted to 'PyString'"),
    (lambda t: t.get_vocab(1), TypeError, "argument 'dialect': "),
    (lambda t: t.get_vocab("a", "b"), TypeError, "takes from 0 to 1 positional arguments"),
    (lambda t: t.load_embedded(1), TypeError, "takes no arguments"),
])
def test_argument_errors(tok, call, error, message):
    with pytest.raises(error) as caught:
        call(tok)
    assert message in str(caught.value)


def test_unknowns_are_none(tok):
    assert tok.id_to_token(2 ** 32 - 1) is None and tok.token_to_id("no such piece") is None


def test_load_embedded_ignores_the_environment(clean_env, monkeypatch, small_vocab):
    embedded = SarfanMSATokenizer.load_embedded().get_vocab()
    # A model file in the working directory and a variable both redirect load_default.
    os.replace(small_vocab, "tokenizer.tsv")
    monkeypatch.setenv("SARFAN_DEFAULT_MODEL", "tokenizer")
    assert SarfanMSATokenizer.load_default().vocab_size != 64000
    assert SarfanMSATokenizer.load_embedded().get_vocab() == embedded


@pytest.mark.parametrize("threads", ["1", "3"])
def test_batch_threads_is_the_pools_size(threads):
    code = "import sarfan; print(sarfan.SarfanMSATokenizer.batch_threads())"
    done = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True,
                          env=dict(os.environ, SARFAN_NUM_THREADS=threads), timeout=60)
    assert done.stdout.strip() == threads, done.stderr
