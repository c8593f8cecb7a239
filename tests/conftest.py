import os

import pytest

import sarfan

FI = "في"
KITAB = "الكتاب"
MARK = "\u2581"


@pytest.fixture
def clean_env(monkeypatch, tmp_path):
    """No sarfan variables, an empty working directory and an empty home."""
    for name in ("SARFAN_MODEL_DIR", "SARFAN_PRETRAINED_DIR", "SARFAN_HF_NAMESPACE",
                 "SARFAN_DEFAULT_MODEL"):
        monkeypatch.delenv(name, raising=False)
    home = tmp_path / "home"
    work = tmp_path / "work"
    home.mkdir()
    work.mkdir()
    monkeypatch.setenv("HOME", str(home))
    monkeypatch.chdir(work)
    return tmp_path


@pytest.fixture(scope="session")
def default_tokenizer():
    return sarfan.SarfanMSATokenizer.load_default()


@pytest.fixture
def tok(clean_env):
    return sarfan.SarfanMSATokenizer.load_default()


def write_tsv(path, rows):
    """Writes token/id/score rows; returns the path as str."""
    path.write_text("".join(f"{t}\t{i}\t{s}\n" for t, i, s in rows), encoding="utf-8")
    return str(path)


@pytest.fixture
def small_vocab(tmp_path):
    rows = [("[PAD]", 0, 0), ("[BOS]", 1, 0), ("[EOS]", 2, 0), ("[UNK]", 3, 0)]
    rows += [(f"<0x{b:02X}>", 4 + b, 0) for b in range(256)]
    rows += [(MARK + "ab", 260, -1), ("c", 261, -1), ("ab", 262, -1)]
    return write_tsv(tmp_path / "small.tsv", rows)
