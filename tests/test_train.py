import importlib.util
import os
import random
import stat

import pytest

import sarfan
import sarfan_cli
from conftest import MARK
from vocab_checks import boundary_faults, read_rows

# The trainer proposes pieces with sentencepiece (the `train` extra); the wheels' test
# environments leave it out.
pytestmark = pytest.mark.skipif(importlib.util.find_spec("sentencepiece") is None,
                                reason="sentencepiece is not installed")

ROOTS = ["كتب", "درس", "علم", "عمل", "سفر", "حكم", "قرأ", "فهم", "شرح", "نظر"]
AFFIXES = ["", "ال", "و", "ب", "ل", "است", "م"], ["", "ة", "ات", "ون", "ين", "ها", "هم", "ي"]


def sentences(seed, count):
    """Running text of words made from a few roots and affixes, with Latin words and digits."""
    rng = random.Random(seed)
    words = [p + r + s for r in ROOTS for p in AFFIXES[0] for s in AFFIXES[1]]
    words += ["google", "python", "data", "2024", "15%", "«نص»"]
    return [" ".join(rng.choices(words, k=rng.randint(4, 12))) + "." for _ in range(count)]


@pytest.fixture
def corpus(tmp_path):
    text = tmp_path / "corpus.txt"
    text.write_text("\n".join(sentences(1, 400)) + "\n", encoding="utf-8")
    counts = tmp_path / "counts.tsv"
    counts.write_text("مكتبة\t50\nمدرسة\t20\n", encoding="utf-8")
    return tmp_path, [str(text), str(counts)]


def train(capsys, *argv):
    status = sarfan_cli.main(["train", *argv])
    out, err = capsys.readouterr()
    return status, out, err


def test_trained_vocabulary_loads_keeps_boundaries_and_is_deterministic(capsys, corpus):
    folder, inputs = corpus
    first, second = folder / "a.tsv", folder / "b.tsv"
    argv = ["--size", "900", "--keep", "بَ", MARK + "zz", "--fixed", "300=" + MARK + "مكتبة"]
    status, out, err = train(capsys, *inputs, *argv, "-o", str(first))
    assert status == 0 and err == "" and "900 pieces" in out
    assert train(capsys, *inputs, *argv, "-o", str(second))[0] == 0
    assert first.read_bytes() == second.read_bytes()

    rows = read_rows(first)
    assert [int(i) for _, i, _ in rows] == list(range(900)) and rows[300][0] == MARK + "مكتبة"
    tok = sarfan.SarfanMSATokenizer.from_tsv(str(first))
    text = "".join(open(path, encoding="utf-8").read() for path in inputs)
    inventory = sorted(set(tok.normalize(text.replace("\t50", "").replace("\t20", ""))) - {" "})
    assert boundary_faults(rows, inventory) == []
    pieces = {p for p, _, _ in rows}
    assert {"بَ", MARK + "بَ", MARK + "zz"} <= pieces

    held_out = sentences(2, 50)
    for line in held_out:
        assert tok.decode(tok.encode_ids(line)) == tok.normalize(line)
    words = sum(len(line.split()) for line in held_out)
    pieces_used = sum(len(ids) - 2 for ids in tok.encode_batch_ids(held_out))
    assert pieces_used < 2 * words  # whole words learned, not letters


@pytest.mark.parametrize("umask, mode", [(0o022, 0o644), (0o027, 0o640)], ids=["022", "027"])
def test_vocabulary_gets_the_umasks_mode(capsys, corpus, umask, mode):
    folder, inputs = corpus
    vocab = folder / "v.tsv"
    old = os.umask(umask)
    try:
        assert train(capsys, *inputs, "--size", "900", "-o", str(vocab))[0] == 0
    finally:
        os.umask(old)
    assert stat.S_IMODE(vocab.stat().st_mode) == mode


def test_raw_training_serves_text_as_written_and_normalized(capsys, tmp_path):
    # Words with hamza, taa marbuta and alef maqsura, and a piece kept in the typed order
    # (shadda before fatha), which normalization would reorder.
    lines = [line.replace("است", "أست").replace("ة ", "ة إلى ") for line in sentences(3, 400)]
    text = tmp_path / "raw.txt"
    text.write_text("\n".join(lines) + "\n", encoding="utf-8")
    typed = "\u0628\u0651\u064e"
    vocab = tmp_path / "raw.tsv"
    status, out, err = train(capsys, str(text), "--size", "1200", "--raw", "--also-normalized",
                             "--keep", typed, "-o", str(vocab))
    assert status == 0 and err == ""
    pieces = {p for p, _, _ in read_rows(vocab)}
    assert {typed, MARK + "إلى", "ى", MARK + "ة", "ة"} <= pieces
    tok = sarfan.SarfanMSATokenizer.from_tsv(str(vocab))
    for line in sentences(4, 30):
        raw = line.replace("ة ", "ة إلى ")
        assert tok.decode(tok.encode_ids(raw, normalize=False)) == raw
        assert tok.decode(tok.encode_ids(raw)) == tok.normalize(raw)
    assert len(tok.encode_ids("إلى", normalize=False)) == 3
    assert len(tok.encode_ids("إلى")) == 3  # "الي", learned from the normalized copies


@pytest.mark.parametrize("make_input, argv, message", [
    (lambda d: d.joinpath("e.txt").write_text(" \n\n", encoding="utf-8"), ["--size", "900"],
     "the input holds no words"),
    (lambda d: d.joinpath("e.txt").write_bytes(b"\xd9\x81\xff\n"), ["--size", "900"],
     "line 1: not UTF-8 text"),
    (lambda d: None, ["--size", "900"], "cannot read"),
    (lambda d: d.joinpath("e.txt").write_text("كتب", encoding="utf-8"), ["--size", "265"],
     "--size 265 is too small"),
    (lambda d: d.joinpath("e.txt").write_text("كتب", encoding="utf-8"), ["--size", "100"],
     "--size must exceed"),
    (lambda d: d.joinpath("e.txt").write_text("كتب", encoding="utf-8"),
     ["--size", "900", "--fixed", "5=x"], "--fixed id 5 is outside"),
    (lambda d: d.joinpath("e.txt").write_text("كتب", encoding="utf-8"),
     ["--size", "900", "--keep", "a b"], "holds whitespace"),
    (lambda d: d.joinpath("e.txt").write_text("كتب", encoding="utf-8"),
     ["--size", "900", "--also-normalized", "2"], "--also-normalized goes with --raw"),
])
def test_bad_input_is_one_line_status_2_and_nothing_written(capsys, tmp_path, make_input, argv,
                                                            message):
    make_input(tmp_path)
    out_path = tmp_path / "out.tsv"
    status, out, err = train(capsys, str(tmp_path / "e.txt"), *argv, "-o", str(out_path))
    assert status == 2 and out == ""
    assert err.startswith("sarfan: error: ") and message in err and err.count("\n") == 1
    assert [p.name for p in tmp_path.iterdir() if p.name != "e.txt"] == []
