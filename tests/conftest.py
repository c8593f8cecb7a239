import contextlib
import os
import subprocess
import sys

import pytest

import sarfan

FI = "في"
KITAB = "الكتاب"
MARK = "\u2581"
DEFAULT_TSV = os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))),
                           "python", "src", "lib", "data", "sarfan-msa-64k.tsv")


def pytest_configure(config):
    config.addinivalue_line(
        "markers", "stress: long runs (a million calls, files of hundreds of MB); "
        "make test runs them, make test-quick leaves them out")


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


FIFO_WRITER = """
import os, sys
data = open(sys.argv[1], 'rb').read()
cut, remove = int(sys.argv[3]), sys.argv[4] == 'remove'
with open(sys.argv[2], 'wb') as fifo:
    fifo.write(data[:cut])
    fifo.flush()
    if remove:
        os.remove(sys.argv[2])  # the reader has the file open: it goes on to the end
        fifo.write(data[cut:])
"""


@contextlib.contextmanager
def fifo_of(fifo, source, cut=None, remove=False):
    """Makes the FIFO `fifo` and writes the bytes of the file `source` into it from
    another process (the module holds the interpreter lock while it reads, so a writer
    thread of this process could not run): all of them, or the first `cut`, then, with
    `remove`, deletes the FIFO while the reader has it open and writes the rest."""
    os.mkfifo(fifo)
    cut = os.path.getsize(source) if cut is None else cut
    writer = subprocess.Popen([sys.executable, "-c", FIFO_WRITER, str(source), str(fifo), str(cut),
                               "remove" if remove else "keep"])
    try:
        yield str(fifo)
    finally:
        assert writer.wait(timeout=60) == 0
