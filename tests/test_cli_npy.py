"""sarfan encode-file --format npy, sarfan --version and the thread count of sarfan info."""
import json
import os
import re
import subprocess
import sys

import numpy as np
import pytest

import sarfan
import sarfan_cli
from sarfan_cli.npy_output import NpyColumn
from conftest import FI, KITAB

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def run(capsys, *argv):
    status = sarfan_cli.main(list(argv))
    out, err = capsys.readouterr()
    return status, out, err


@pytest.mark.parametrize("lines", [
    [f"{FI} {KITAB} {k} 😀" for k in range(30)] + ["", "x\r"],
    [],
    [""],
])
def test_npy_output_holds_every_lines_ids(capsys, tmp_path, monkeypatch, default_tokenizer, lines):
    monkeypatch.setattr(sarfan_cli, "CHUNK_LINES", 7)  # several chunks, and a partial one
    source = tmp_path / "in.txt"
    source.write_bytes("".join(line + "\n" for line in lines).encode("utf-8"))
    prefix = str(tmp_path / "out")
    assert run(capsys, "encode-file", str(source), "--format", "npy", "-o", prefix)[0] == 0
    ids = np.load(prefix + ".ids.npy", mmap_mode="r")
    offsets = np.load(prefix + ".offsets.npy")
    assert ids.dtype == np.uint32 and offsets.dtype == np.int64
    assert len(offsets) == len(lines) + 1 and offsets[0] == 0 and offsets[-1] == len(ids)
    rows = [ids[a:b].tolist() for a, b in zip(offsets, offsets[1:])]
    assert rows == [default_tokenizer.encode_ids(line.rstrip("\r")) for line in lines]


def test_npy_dialect_and_errors(capsys, tmp_path):
    source = tmp_path / "in.txt"
    source.write_text("abc\n", encoding="utf-8")
    status, _, err = run(capsys, "encode-file", str(source), "--format", "npy")
    assert status == 2 and "--format npy needs -o PREFIX" in err
    status, _, err = run(capsys, "encode-file", str(source), "--format", "npy", "-o",
                         str(tmp_path / "no" / "dir" / "out"))
    assert status == 2 and "cannot write" in err
    prefix = str(tmp_path / "d")
    assert run(capsys, "encode-file", str(source), "--format", "npy", "-o", prefix,
               "--dialect", "egy")[0] == 0
    assert np.load(prefix + ".ids.npy").tolist() == \
        sarfan.SarfanMSATokenizer.load_default().encode_ids_with_dialect("abc", "egy")


def test_columns_are_written_as_they_go(tmp_path):
    # Only the header waits for the end: the items are on disk once appended.
    import array

    path = tmp_path / "c.npy"
    column = NpyColumn(str(path), "I")
    column.append(array.array("I", range(1000)))
    column.file.flush()
    assert os.path.getsize(path) == 128 + 4000
    column.append(array.array("I", range(5)))
    column.close()
    assert np.load(path).tolist() == list(range(1000)) + list(range(5))


def test_version(capsys):
    with open(os.path.join(ROOT, "pyproject.toml"), encoding="utf-8") as f:
        version = re.search(r'^version = "([^"]+)"', f.read(), re.M).group(1)
    with pytest.raises(SystemExit) as done:
        sarfan_cli.main(["--version"])
    assert done.value.code == 0
    assert capsys.readouterr().out.startswith(f"sarfan {version} (utf8proc ")


@pytest.mark.parametrize("threads", ["1", "3"])
def test_info_reports_the_pools_threads(threads):
    env = dict(os.environ, PYTHONPATH=os.path.dirname(sarfan.__file__), SARFAN_NUM_THREADS=threads)
    done = subprocess.run([sys.executable, "-m", "sarfan_cli", "info", "--json"], env=env,
                          capture_output=True, text=True, timeout=60)
    assert json.loads(done.stdout)["batch_threads"] == int(threads)
