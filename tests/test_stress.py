"""Stress and fault tests: many threads with plugin churn, fork after batch in a loop,
resident memory over a million calls, and files that are huge, unreadable, deleted or cut
short while being read. SARFAN_STRESS_LOG=FILE appends what the runs measured to FILE."""
import collections.abc
import json
import os
import pathlib
import random
import shutil
import subprocess
import sys
import tempfile
import threading
import time

import pytest

import sarfan
from sarfan import SarfanMSATokenizer

from conftest import DEFAULT_TSV, FI, KITAB, MARK, fifo_of, write_tsv

UNDER_ASAN = "libasan" in os.environ.get("LD_PRELOAD", "")
TEXTS = [f"{FI} {KITAB}", "ذهب الطالب إلى المكتبة", "a \U0001F600 b", "", "  \t", "ابن الــكتاب"]


def log_figures(name, **figures):
    path = os.environ.get("SARFAN_STRESS_LOG")
    if path:
        with open(path, "a", encoding="utf-8") as out:
            out.write(json.dumps({"test": name, **figures}) + "\n")


class SlowSequence(collections.abc.Sequence):
    """A sequence written in Python whose walk lets other threads run."""

    def __init__(self, items):
        self.items = items

    def __len__(self):
        time.sleep(0)
        return len(self.items)

    def __getitem__(self, i):
        time.sleep(0)
        return self.items[i]


def test_threads_mixing_calls_with_plugin_churn(tmp_path):
    tok = SarfanMSATokenizer.load_default()
    plugin = write_tsv(tmp_path / "p.tsv", [(MARK + FI, 64000, 0), ("كت", 64001, 0)])
    with_plugin = SarfanMSATokenizer.load_default()
    with_plugin.load_plugin(plugin, "p")
    want = {tuple(map(tuple, [with_plugin.encode_ids_with_dialect(t, "p") for t in TEXTS])),
            tuple(map(tuple, [tok.encode_ids_with_dialect(t, "p") for t in TEXTS]))}
    decoded = {with_plugin.decode([1, 64000, 264, 2]), tok.decode([1, 64000, 264, 2])}
    interval = sys.getswitchinterval()
    sys.setswitchinterval(1e-5)
    errors, borrowed, loads, calls = [], collections.Counter(), collections.Counter(), collections.Counter()
    stop = time.monotonic() + (20 if UNDER_ASAN else 4)

    def reader(kind):
        rng = random.Random(kind)
        while time.monotonic() < stop:
            # In every other 50 ms the calls walk a Python sequence, in which other threads
            # run while this one holds the tokenizer (plugin changes are refused then);
            # lists are walked without a switch, so plugin changes go through between calls.
            slow = int((time.monotonic() - stop) / 0.05) % 2 == 1
            wrap = SlowSequence if slow and rng.random() < 0.5 else list
            try:
                if kind == 0:
                    got = tok.encode_batch_ids_with_dialect(wrap(TEXTS), "p")
                elif kind == 1:
                    got = [r.ids for r in tok.encode_batch_with_dialect(wrap(TEXTS), "p")]
                elif kind == 2:
                    got = [tok.encode_ids_with_dialect(t, "p") for t in TEXTS]
                else:
                    text = tok.decode(wrap([1, 64000, 264, 2]))
                    batch = tok.decode_batch(wrap([[1, 64000, 264, 2]] * 2))
                    if text not in decoded or batch[0] not in decoded:
                        errors.append(("decode", text, batch))
                    calls["decode"] += 1
                    continue
                if tuple(map(tuple, got)) not in want:  # one registry state for the whole call
                    errors.append(("encode", kind, got))
                calls["encode"] += 1
            except Exception as error:  # noqa: BLE001
                errors.append((kind, repr(error)))

    def churn(seed):
        rng = random.Random(seed)
        while time.monotonic() < stop:
            try:
                if rng.random() < 0.5:
                    tok.load_plugin(plugin, "p")
                    loads["load"] += 1
                else:
                    tok.unload_plugin("p")
                    loads["unload"] += 1
                assert tok.list_plugins() in ([], ["p"])
            except RuntimeError as error:
                borrowed[str(error)] += 1
            except Exception as error:  # noqa: BLE001
                errors.append(("churn", repr(error)))
            time.sleep(0)

    threads = [threading.Thread(target=reader, args=(k % 4,)) for k in range(6)]
    threads += [threading.Thread(target=churn, args=(k,)) for k in range(2)]
    try:
        for t in threads:
            t.start()
        for t in threads:
            t.join()
    finally:
        sys.setswitchinterval(interval)
    assert errors == []
    assert set(borrowed) <= {"Already borrowed"}
    assert calls["encode"] > 0 and calls["decode"] > 0 and loads["load"] > 0
    log_figures("threads", threads=8, calls=sum(calls.values()), plugin_changes=sum(loads.values()),
                refused_changes=sum(borrowed.values()))


FORK_LOOP = """
import os, signal, sarfan
tok = sarfan.SarfanMSATokenizer.load_default()
texts = ["في الكتاب والقلم " * 40] * 300   # large enough for the pool
want = tok.encode_batch_ids(texts)
for round in range(ROUNDS):
    assert tok.encode_batch_ids(texts) == want
    pid = os.fork()
    if pid == 0:
        signal.alarm(60)  # a child that hangs fails instead of blocking the test
        ok = tok.encode_batch_ids(texts) == want
        ok = ok and [r.ids for r in tok.encode_batch(texts[:50])] == want[:50]
        if round % 5 == 0:  # a grandchild, forked after the child's own batch
            pid = os.fork()
            if pid == 0:
                os._exit(0 if tok.encode_batch_ids(texts) == want else 1)
            ok = ok and os.waitstatus_to_exitcode(os.waitpid(pid, 0)[1]) == 0
        os._exit(0 if ok else 1)
    status = os.waitstatus_to_exitcode(os.waitpid(pid, 0)[1])
    assert status == 0, (round, status)
assert tok.encode_batch_ids(texts) == want
print("ok")
"""


def test_fork_after_batch_in_a_loop():
    rounds = 25
    env = dict(os.environ, PYTHONPATH=os.path.dirname(sarfan.__file__), SARFAN_NUM_THREADS="2")
    proc = subprocess.run([sys.executable, "-c", FORK_LOOP.replace("ROUNDS", str(rounds))],
                          capture_output=True, text=True, env=env, timeout=600)
    assert proc.returncode == 0 and proc.stdout.strip() == "ok", proc.stderr
    log_figures("fork", rounds=rounds)


def resident_bytes():
    with open("/proc/self/statm") as statm:
        return int(statm.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")


@pytest.mark.stress
@pytest.mark.skipif(UNDER_ASAN, reason="the sanitizer's quarantine holds freed memory on purpose")
def test_resident_memory_stays_flat_over_many_calls(tmp_path):
    tok = SarfanMSATokenizer.load_default()
    tok.load_plugin(write_tsv(tmp_path / "p.tsv", [("كت", 64000, 0)]), "p")
    short = [f"{FI} {KITAB}", "كتب", "a b", "\U0001F600"]
    batch = [f"{FI} {KITAB} {k}" for k in range(32)]

    def run(calls, batches):
        for k in range(calls):
            r = tok.encode_with_dialect(short[k & 3], "p") if k & 4 else tok.encode(short[k & 3])
            r.ids, r.tokens, r.offsets
            tok.encode_ids(short[k & 3])
            tok.decode(r.ids)
        for k in range(batches):
            tok.encode_batch(batch) if k & 1 else tok.encode_batch_ids_with_dialect(batch, "p")

    run(100_000, 1_000)  # warm-up: caches, the pool, the allocator's arenas
    start = resident_bytes()
    run(1_000_000, 10_000)
    end = resident_bytes()
    log_figures("rss", calls=1_000_000, batch_calls=10_000, rss_start=start, rss_end=end)
    assert end <= start * 1.05, (start, end)


def write_big(path, head, line, count, tail=b""):
    with open(path, "wb") as out:
        out.write(head)
        block = line * 4096
        for _ in range(count // 4096):
            out.write(block)
        out.write(line * (count % 4096))
        out.write(tail)
    return str(path)


@pytest.mark.stress
def test_huge_files(tmp_path):
    default = open(DEFAULT_TSV, "rb").read()
    # 300 MB: the default vocabulary behind 290 MB of comment lines.
    path = write_big(tmp_path / "commented.tsv", b"", b"#" + b"x" * 1023 + b"\n", 290 * 1024, default)
    assert os.path.getsize(path) > 300_000_000
    tok = SarfanMSATokenizer.from_tsv(path)
    assert tok.vocab_size == 64000 and tok.encode_ids(f"{FI} {KITAB}") == [1, 264, 541, 2]
    plugin = SarfanMSATokenizer.load_default()
    plugin.load_plugin(write_big(tmp_path / "plugin.tsv", b"", b"#" + b"y" * 1023 + b"\n",
                                 100 * 1024, f"{MARK}{FI}\t64000\t0\n".encode()), "p")
    assert plugin.encode_ids_with_dialect(FI, "p") == [1, 64000, 2]
    os.remove(path)
    # A line of 64 MB without a tab, and a piece of 16 MB.
    line = write_big(tmp_path / "line.tsv", b"", b"b" * 1024, 64 * 1024, b"\n")
    with pytest.raises(RuntimeError) as info:
        SarfanMSATokenizer.from_tsv(line)
    expected = "Invalid model file: TSV line 1: expected 3 columns, got 1 (line: '" + "b" * 2**26 + "')"
    assert str(info.value) == expected, str(info.value)[:200]
    piece = write_big(tmp_path / "piece.tsv", default[:default.index(b"\n<0x00>")] + b"\n",
                      b"a" * 1024, 16 * 1024, b"\t4\t0\n")
    tok = SarfanMSATokenizer.from_tsv(piece)
    assert tok.vocab_size == 5 and tok.encode_ids("a" * 100) == [1] + [3] * 100 + [2]
    log_figures("huge", commented_bytes=300_000_000 + len(default), line_bytes=64 * 2**20,
                piece_bytes=16 * 2**20)


def in_unprivileged_child(work):
    """Runs `work` (returning a JSON-able value) where permissions hold: in a child that
    drops to the user nobody when the tests run as root, in this process otherwise."""
    if os.geteuid() != 0:
        return work()
    read, write = os.pipe()
    pid = os.fork()
    if pid == 0:
        try:
            os.close(read)
            os.setgroups([])
            os.setgid(65534)
            os.setuid(65534)
            out = json.dumps(work())
        except BaseException as error:  # noqa: BLE001 - reported to the parent
            out = json.dumps({"child failed": repr(error)})
        os.write(write, out.encode())
        os._exit(0)
    os.close(write)
    with os.fdopen(read) as pipe:
        data = pipe.read()
    os.waitpid(pid, 0)
    return json.loads(data)


def outcome(call):
    try:
        result = call()
    except Exception as error:  # noqa: BLE001
        return f"{type(error).__name__}: {error}"
    return "ok" if result is None else result


@pytest.fixture
def reachable_tmp():
    """A fresh folder that the user nobody can reach (pytest's own are private to root)."""
    path = tempfile.mkdtemp(prefix="sarfan-stress-")
    os.chmod(path, 0o755)
    yield pathlib.Path(path)
    for root, dirs, _ in os.walk(path):
        for d in dirs:
            os.chmod(os.path.join(root, d), 0o755)
    shutil.rmtree(path)


def test_unreadable_files_and_directories(reachable_tmp, monkeypatch):
    tmp_path = reachable_tmp
    for name in ("SARFAN_MODEL_DIR", "SARFAN_PRETRAINED_DIR", "SARFAN_DEFAULT_MODEL"):
        monkeypatch.delenv(name, raising=False)
    # No hub: the user nobody cannot import anything more from this interpreter's folders.
    monkeypatch.setitem(sys.modules, "huggingface_hub", None)
    locked_file = write_tsv(tmp_path / "locked.tsv", [("[PAD]", 0, 0), ("x", 4, 0)])
    os.chmod(locked_file, 0)
    models = tmp_path / "models"
    models.mkdir()
    write_tsv(models / "mine.tsv", [("[PAD]", 0, 0), ("x", 4, 0)])
    locked_models = tmp_path / "locked-models"
    locked_models.mkdir()
    write_tsv(locked_models / "hidden.tsv", [("[PAD]", 0, 0)])
    os.chmod(models / "mine.tsv", 0)
    os.chmod(locked_models, 0)
    home = tmp_path / "home"
    (home / ".sarfan").mkdir(parents=True)
    os.chmod(home, 0)
    monkeypatch.setenv("HOME", str(home))
    monkeypatch.chdir(tmp_path)
    denied = "RuntimeError: IO error: Permission denied (os error 13)"

    def work():
        tok = SarfanMSATokenizer.load_default()
        out = {
            "vocab": outcome(lambda: SarfanMSATokenizer.from_tsv(locked_file)),
            "plugin": outcome(lambda: tok.load_plugin(locked_file, "p")),
            "plugins after": tok.list_plugins(),
            "default, home locked": outcome(lambda: SarfanMSATokenizer.load_default().vocab_size),
        }
        os.environ["SARFAN_MODEL_DIR"] = str(models)
        out["search dir, file locked"] = outcome(lambda: SarfanMSATokenizer.from_pretrained("mine"))
        os.environ["SARFAN_MODEL_DIR"] = str(locked_models)
        out["search dir locked"] = outcome(lambda: SarfanMSATokenizer.from_pretrained("hidden"))
        out["default, search dir locked"] = outcome(lambda: SarfanMSATokenizer.load_default().vocab_size)
        return out

    got = in_unprivileged_child(work)
    assert got["vocab"] == denied and got["plugin"] == denied and got["plugins after"] == []
    assert got["default, home locked"] == 64000 and got["default, search dir locked"] == 64000
    assert got["search dir, file locked"] == denied
    assert got["search dir locked"].startswith(
        "RuntimeError: Could not resolve pretrained tokenizer 'hidden'"), got
    log_figures("unreadable", **got)


@pytest.mark.parametrize("how", ["cut mid-line", "cut after a line", "deleted while loading"])
def test_fifo_cut_short_or_deleted_loads_like_the_same_bytes_from_a_file(tmp_path, how):
    data = open(DEFAULT_TSV, "rb").read()
    cut = data.index(b"\n", len(data) // 2) + (1 if how == "cut after a line" else -3)
    remove = how == "deleted while loading"
    with fifo_of(tmp_path / "vocab.fifo", DEFAULT_TSV, cut, remove) as fifo:
        got = outcome(lambda: SarfanMSATokenizer.from_tsv(fifo).encode_ids(f"{FI} {KITAB}"))
    same = tmp_path / "same.tsv"
    same.write_bytes(data if remove else data[:cut])
    assert got == outcome(lambda: SarfanMSATokenizer.from_tsv(str(same)).encode_ids(f"{FI} {KITAB}"))
    if how != "cut mid-line":
        assert got == [1, 264, 541, 2]


ENDLESS = """
import resource, sarfan
resource.setrlimit(resource.RLIMIT_AS, (3 << 30, 3 << 30))
tok = sarfan.SarfanMSATokenizer.load_default()
for load in (lambda: sarfan.SarfanMSATokenizer.from_tsv("/dev/zero"),
             lambda: tok.load_plugin("/dev/zero", "p")):
    try:
        load()
    except RuntimeError as error:
        print(error)
print(tok.list_plugins(), tok.encode_ids("في"))
"""


@pytest.mark.skipif(UNDER_ASAN, reason="the sanitizer reserves more address space than the limit")
def test_endless_line_under_a_memory_limit_fails_cleanly():
    # A line is held whole while it is read; /dev/zero never ends one.
    env = dict(os.environ, PYTHONPATH=os.path.dirname(sarfan.__file__))
    proc = subprocess.run([sys.executable, "-c", ENDLESS], capture_output=True, text=True,
                          env=env, timeout=300)
    assert proc.returncode == 0, proc.stderr
    assert proc.stdout.splitlines() == ["Invalid model file: Not enough memory to load the vocabulary",
                                        "Invalid model file: Not enough memory to load the plugin",
                                        "[] [1, 264, 2]"]
