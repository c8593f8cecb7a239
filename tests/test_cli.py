import json
import os
import resource
import stat
import subprocess
import sys

import pytest

import sarfan
import sarfan_cli
from conftest import DEFAULT_TSV, FI, KITAB, MARK


def run(capsys, *argv):
    status = sarfan_cli.main(list(argv))
    out, err = capsys.readouterr()
    return status, out, err


def test_encode_outputs(capsys):
    status, out, _ = run(capsys, "encode", "--json", f"{FI} {KITAB}")
    assert status == 0
    record = json.loads(out)
    assert record["ids"] == [1, 264, 541, 2] and record["tokens"][1] == MARK + FI
    assert record["offsets"] == [[0, 0], [0, 2], [3, 9], [9, 9]]
    status, out, _ = run(capsys, "encode", "--ids-only", f"{FI} {KITAB}", KITAB)
    assert out.splitlines() == ["1 264 541 2", "1 541 2"]
    status, out, _ = run(capsys, "encode", f"{FI} {KITAB}")
    assert "541  3-9" in out
    status, out, _ = run(capsys, "decode", "1", "264", "541", "2")
    assert out == f"{FI} {KITAB}\n"


@pytest.mark.parametrize("argv, message", [
    (["decode", "x"], "ids must be whole numbers"),
    (["decode", "4294967296"], "ids must lie in 0..4294967295"),
    (["encode", "--plugin", "nopath", "x"], "--plugin wants NAME=PATH"),
    (["encode", "--plugin", "egy=/missing.tsv", "x"],
     "cannot load plugin egy from /missing.tsv: IO error: No such file or directory (os error 2)"),
    (["encode-file", "/missing/input.txt"], "cannot read /missing/input.txt"),
    # A file that is not there fails at once, without a look at the Hub.
    (["encode", "--vocab", "/missing/vocab.tsv", "x"], "--vocab /missing/vocab.tsv: no such file"),
    (["info", "--vocab", "./missing"], "--vocab ./missing: no such file"),
    (["make-plugin", "/missing.tsv", "-o", "/tmp/x.tsv"], "cannot read /missing.tsv"),
])
def test_bad_input_is_one_line_and_status_2(capsys, argv, message):
    status, out, err = run(capsys, *argv)
    assert status == 2 and out == ""
    assert err.startswith("sarfan: error: ") and message in err and err.count("\n") == 1


def test_command_line_entry_needs_no_traceback():
    env = dict(os.environ, PYTHONPATH=os.path.dirname(sarfan.__file__))
    done = subprocess.run([sys.executable, "-m", "sarfan_cli", "decode", "nan"], env=env,
                          capture_output=True, text=True, timeout=60)
    assert done.returncode == 2 and "Traceback" not in done.stderr
    done = subprocess.run([sys.executable, "-m", "sarfan_cli", "info", "--json"], env=env,
                          capture_output=True, text=True, timeout=60)
    info = json.loads(done.stdout)
    assert info["vocab_size"] == 64000 and info["unicode"].split(".")[0] >= "16"


def test_encode_file_matches_batch(capsys, tmp_path, monkeypatch, default_tokenizer):
    monkeypatch.setattr(sarfan_cli, "CHUNK_LINES", 7)  # several chunks, and a partial one
    lines = [f"{FI} {KITAB} {k}" for k in range(30)] + ["", "😀 x\r"]
    source = tmp_path / "in.txt"
    source.write_bytes(("\n".join(lines) + "\n").encode())  # the "\r" kept as written
    target = tmp_path / "out.jsonl"
    assert run(capsys, "encode-file", str(source), "-o", str(target))[0] == 0
    written = [json.loads(l) for l in target.read_text().splitlines()]
    expected = default_tokenizer.encode_batch_ids([l.rstrip("\r") for l in lines])
    assert written == expected
    raw_lines = ["إلى المدرسة", "ﻻ  كﻼم"]
    source.write_text("\n".join(raw_lines) + "\n", encoding="utf-8")
    for flags, normalize in (([], True), (["--no-normalize"], False)):
        assert run(capsys, "encode-file", str(source), "-o", str(target), *flags)[0] == 0
        written = [json.loads(l) for l in target.read_text().splitlines()]
        assert written == [default_tokenizer.encode_ids(l, normalize) for l in raw_lines]


class InterruptedTokenizer:
    """Encodes the first chunk, then is interrupted as by Ctrl-C."""

    def __init__(self, tok):
        self.tok = tok
        self.chunks = 0

    def encode_batch_ids_array(self, lines, normalize):
        self.chunks += 1
        if self.chunks > 1:
            raise KeyboardInterrupt
        return self.tok.encode_batch_ids_array(lines, normalize)


def output_paths(folder, format_):
    return [folder / "out.ids.npy", folder / "out.offsets.npy"] if format_ == "npy" else \
        [folder / "out.jsonl"]


@pytest.mark.parametrize("format_", ["jsonl", "npy"])
@pytest.mark.parametrize("failure", ["bad line", "interrupt"])
def test_encode_file_stopped_midway_leaves_no_output(capsys, tmp_path, monkeypatch,
                                                     default_tokenizer, format_, failure):
    monkeypatch.setattr(sarfan_cli, "CHUNK_LINES", 4)  # the failure comes chunks in
    lines = [f"{FI} {KITAB} {k}".encode() for k in range(20)]
    if failure == "bad line":
        lines[10] = KITAB.encode() + b"\xff"
        status, message = 2, "line 11: not UTF-8 text (invalid start byte)"
    else:
        monkeypatch.setattr(sarfan_cli, "load_tokenizer",
                            lambda *_: InterruptedTokenizer(default_tokenizer))
        status, message = 130, ""
    source = tmp_path / "in.txt"
    source.write_bytes(b"\n".join(lines) + b"\n")
    folder = tmp_path / "out"
    folder.mkdir()
    argv = ["encode-file", str(source), "--format", format_, "-o",
            str(folder / ("out" if format_ == "npy" else "out.jsonl"))]
    result = run(capsys, *argv)
    assert result[0] == status and result[2] == (f"sarfan: error: {source} {message}\n"
                                                 if message else "")
    assert list(folder.iterdir()) == []
    # Earlier output stays as it was.
    for path in output_paths(folder, format_):
        path.write_bytes(b"earlier")
    assert run(capsys, *argv)[0] == status
    assert {path.name: path.read_bytes() for path in folder.iterdir()} == \
        {path.name: b"earlier" for path in output_paths(folder, format_)}


@pytest.mark.parametrize("format_", ["jsonl", "npy"])
def test_encode_file_write_error_leaves_no_output(tmp_path, format_):
    source = tmp_path / "in.txt"
    source.write_text(f"{FI} {KITAB}\n" * 50_000, encoding="utf-8")
    folder = tmp_path / "out"
    folder.mkdir()

    def limit_file_size():  # writes past 64 KiB fail with EFBIG (Python ignores SIGXFSZ)
        resource.setrlimit(resource.RLIMIT_FSIZE,
                           (65536, resource.getrlimit(resource.RLIMIT_FSIZE)[1]))

    env = dict(os.environ, PYTHONPATH=os.path.dirname(sarfan.__file__))
    done = subprocess.run([sys.executable, "-m", "sarfan_cli", "encode-file", str(source),
                           "--format", format_, "-o", str(folder / "out")], env=env,
                          preexec_fn=limit_file_size, capture_output=True, text=True, timeout=60)
    assert done.returncode == 2
    assert done.stderr == f"sarfan: error: cannot write {folder / 'out'}: File too large\n"
    assert list(folder.iterdir()) == []


def test_encode_file_writes_through_links_and_fifos(capsys, tmp_path, default_tokenizer):
    # Renaming a finished temporary must not replace a link or a pipe the output goes to.
    source = tmp_path / "in.txt"
    source.write_text(f"{FI} {KITAB}\n", encoding="utf-8")
    expected = json.dumps(default_tokenizer.encode_ids(f"{FI} {KITAB}")) + "\n"
    real = tmp_path / "real.jsonl"
    real.write_text("earlier")
    link = tmp_path / "link.jsonl"
    link.symlink_to(real)
    assert run(capsys, "encode-file", str(source), "-o", str(link))[0] == 0
    assert link.is_symlink() and real.read_text() == expected
    fifo = tmp_path / "fifo"
    os.mkfifo(fifo)
    reader = subprocess.Popen([sys.executable, "-c", "import sys; print(open(sys.argv[1]).read(), end='')",
                               str(fifo)], stdout=subprocess.PIPE, text=True)
    try:
        assert run(capsys, "encode-file", str(source), "-o", str(fifo))[0] == 0
        assert reader.communicate(timeout=10)[0] == expected
    finally:
        reader.kill()
        reader.wait()
    assert stat.S_ISFIFO(fifo.stat().st_mode)


def test_make_plugin_end_to_end(capsys, tmp_path):
    # Dialect words the base splits into several pieces become whole pieces of the plugin.
    words = tmp_path / "egy.tsv"
    words.write_text("ازيك\t500\nعايز\t300\nكده\t200\nالكتاب\t50\n# comment\n\n", encoding="utf-8")
    plugin = tmp_path / "egy.plugin.tsv"
    status, out, _ = run(capsys, "make-plugin", str(words), "--base", "DEFAULT", "-o", str(plugin))
    assert status == 0 and "ids 64000.." in out
    rows = [line.split("\t") for line in plugin.read_text(encoding="utf-8").splitlines()]
    assert [int(r[1]) for r in rows] == list(range(64000, 64000 + len(rows)))
    assert MARK + KITAB not in [r[0] for r in rows]  # already one base piece
    tok = sarfan.SarfanMSATokenizer.load_default()
    tok.load_plugin(str(plugin), "egy")
    assert rows and rows[0][0] == MARK + "ازيك"  # the largest gain first
    for piece, id_, _ in rows:
        word = piece[len(MARK):]
        assert tok.encode_ids_with_dialect(word, "egy") == [1, int(id_), 2]
        assert len(tok.encode_ids(word)) > 3
    text = "ازيك عايز كده الكتاب"
    ids = tok.encode_ids_with_dialect(text, "egy")
    assert 64000 in ids and tok.decode(ids) == text


@pytest.mark.parametrize("listing, message", [
    ("# a comment\n\n", "holds no words"),
    (f"{KITAB}\t50\n{FI}\t20\n", "no pieces to add"),  # each already one piece of the base
])
def test_make_plugin_without_pieces_is_an_error(capsys, tmp_path, listing, message):
    words = tmp_path / "words.tsv"
    words.write_text(listing, encoding="utf-8")
    status, out, err = run(capsys, "make-plugin", str(words), "-o", str(tmp_path / "p.tsv"))
    assert status == 2 and out == ""
    assert err.startswith(f"sarfan: error: {words}") and message in err and err.count("\n") == 1
    assert [p.name for p in tmp_path.iterdir()] == ["words.tsv"]


def test_make_plugin_raw_keeps_words_as_written(capsys, tmp_path):
    words = tmp_path / "words.tsv"
    words.write_text("إزيك\t500\nإمبارحة\t300\n", encoding="utf-8")
    plugin = tmp_path / "raw.tsv"
    assert run(capsys, "make-plugin", str(words), "--raw", "-o", str(plugin))[0] == 0
    pieces = [line.split("\t")[0] for line in plugin.read_text(encoding="utf-8").splitlines()]
    assert sorted(pieces) == [MARK + "إزيك", MARK + "إمبارحة"]  # both split by the base
    tok = sarfan.SarfanMSATokenizer.load_default()
    tok.load_plugin(str(plugin), "raw")
    for k, piece in enumerate(pieces):
        assert tok.encode_ids_with_dialect(piece[len(MARK):], "raw", False) == [1, 64000 + k, 2]


def test_info_fingerprint_is_the_hash_of_the_loaded_pieces(capsys, clean_env, small_vocab):
    import hashlib

    def fingerprint(rows):
        lines = "".join(f"{id_}\t{piece}\n" for piece, id_ in sorted(rows, key=lambda r: r[1]))
        return hashlib.sha256(lines.encode()).hexdigest()[:16]

    embedded = sarfan.SarfanMSATokenizer.load_embedded().get_vocab().items()
    small = sarfan.SarfanMSATokenizer.from_tsv(small_vocab).get_vocab().items()
    assert fingerprint(embedded) != fingerprint(small)
    status, out, _ = run(capsys, "info", "--json")
    assert status == 0 and json.loads(out)["vocab_fingerprint"] == fingerprint(embedded)
    status, out, _ = run(capsys, "info", "--json", "--vocab", small_vocab)
    assert json.loads(out)["vocab_fingerprint"] == fingerprint(small)
    # A local file of the default name replaces the embedded model, and it is what is told.
    os.link(small_vocab, "sarfan-msa-64k.tsv")
    status, out, _ = run(capsys, "info", "--json")
    assert json.loads(out)["vocab_fingerprint"] == fingerprint(small)
