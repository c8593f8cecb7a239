import os
import subprocess
import sys
import threading

import pytest

import sarfan
from sarfan import SarfanMSATokenizer
from conftest import FI, KITAB, MARK, write_tsv

TEXTS = ["", "   ", f"{FI} {KITAB}", "😀 emoji 😀", "ا" * 500, "أإآ ـ ى ة" * 20,
         "ازيك يا باشا", f"{KITAB} " * 300, "\t\n", "abc"] * 7


@pytest.fixture
def plugin_tokenizer(tmp_path):
    tok = SarfanMSATokenizer.load_default()
    tok.load_plugin(write_tsv(tmp_path / "egy.tsv", [(MARK + "ازيك", 64000, -1)]), "egy")
    return tok


def expected(tok, texts, dialect=None):
    if dialect is None:
        return [tok.encode_ids(t) for t in texts], [tok.encode(t) for t in texts]
    return ([tok.encode_ids_with_dialect(t, dialect) for t in texts],
            [tok.encode_with_dialect(t, dialect) for t in texts])


def fields(r):
    return (r.ids, r.tokens, r.offsets, r.dialect, r.confidence, r.fallback)


@pytest.mark.parametrize("dialect", [None, "egy", "nope"])
def test_batches_equal_single_calls(plugin_tokenizer, dialect):
    tok = plugin_tokenizer
    ids, results = expected(tok, TEXTS, dialect)
    if dialect is None:
        got_ids, got = tok.encode_batch_ids(TEXTS), tok.encode_batch(tuple(TEXTS))
    else:
        got_ids = tok.encode_batch_ids_with_dialect(TEXTS, dialect)
        got = tok.encode_batch_with_dialect(tuple(TEXTS), dialect)
    assert got_ids == ids
    assert [fields(r) for r in got] == [fields(r) for r in results]
    assert got[0] is not got[10] and fields(got[0]) == fields(got[10])  # repeated texts


def test_empty_and_single(default_tokenizer):
    assert default_tokenizer.encode_batch([]) == [] and default_tokenizer.encode_batch_ids(()) == []
    assert default_tokenizer.encode_batch_ids([f"{FI} {KITAB}"]) == [[1, 264, 541, 2]]
    assert default_tokenizer.encode_batch_with_dialect([], "x") == []


def test_bad_items_fail_before_encoding(default_tokenizer):
    with pytest.raises(TypeError, match="^argument 'texts': 'bytes' object cannot be converted"):
        default_tokenizer.encode_batch(["a"] * 1000 + [b"x"])
    with pytest.raises(UnicodeEncodeError):
        default_tokenizer.encode_batch_ids(["a", "\ud800"])


def test_guard_during_batch_iteration(tmp_path):
    tok = SarfanMSATokenizer.load_default()
    plugin = write_tsv(tmp_path / "p.tsv", [("x", 64000, 0)])
    seen = []

    class Texts:
        def __len__(self):
            return 2

        def __getitem__(self, i):
            raise AssertionError

        def __iter__(self):
            try:
                tok.load_plugin(plugin, "p")
            except RuntimeError as e:
                seen.append(str(e))
            yield "x"
            yield "y"

    assert tok.encode_batch_ids(Texts()) == [tok.encode_ids("x"), tok.encode_ids("y")]
    assert seen == ["Already borrowed"] and tok.list_plugins() == []


def test_plugin_change_from_another_thread_during_batch(tmp_path):
    tok = SarfanMSATokenizer.load_default()
    plugin = write_tsv(tmp_path / "p.tsv", [("x", 64000, 0)])
    errors, started, release = [], threading.Event(), threading.Event()

    class Texts:
        def __len__(self):
            return 1

        def __getitem__(self, i):
            raise AssertionError

        def __iter__(self):
            started.set()
            release.wait(10)  # lets the other thread run while the batch holds the tokenizer
            yield "x"

    def other():
        started.wait(10)
        try:
            tok.load_plugin(plugin, "p")
        except RuntimeError as e:
            errors.append(str(e))
        release.set()

    thread = threading.Thread(target=other)
    thread.start()
    tok.encode_batch(Texts())
    thread.join()
    assert errors == ["Already borrowed"] and tok.list_plugins() == []


POOL_SCRIPT = """
import json, sys, sarfan
tok = sarfan.SarfanMSATokenizer.load_default()
texts = json.loads(sys.stdin.read())
print(json.dumps([tok.encode_batch_ids(texts), [r.offsets for r in tok.encode_batch(texts)]]))
"""


@pytest.mark.parametrize("threads", ["1", "2", "4"])
def test_pool_sizes(default_tokenizer, threads):
    import json
    texts = TEXTS * 30  # large enough to go through the pool
    env = dict(os.environ, SARFAN_NUM_THREADS=threads, PYTHONPATH=os.path.dirname(sarfan.__file__))
    proc = subprocess.run([sys.executable, "-c", POOL_SCRIPT], input=json.dumps(texts),
                          capture_output=True, text=True, env=env, timeout=120)
    assert proc.returncode == 0, proc.stderr
    ids, offsets = json.loads(proc.stdout)
    assert ids == [default_tokenizer.encode_ids(t) for t in texts]
    assert offsets == [[list(o) for o in default_tokenizer.encode(t).offsets] for t in texts]


FORK_SCRIPT = """
import os, sarfan
tok = sarfan.SarfanMSATokenizer.load_default()
texts = ["في الكتاب " * 50] * 400
want = tok.encode_batch_ids(texts)
for _ in range(3):
    pid = os.fork()
    if pid == 0:
        ok = tok.encode_batch_ids(texts) == want and len(tok.encode_batch(texts)) == 400
        os._exit(0 if ok else 1)
    _, status = os.waitpid(pid, 0)
    assert os.WEXITSTATUS(status) == 0, status
assert tok.encode_batch_ids(texts) == want
print("ok")
"""


def test_fork_after_batch():
    env = dict(os.environ, PYTHONPATH=os.path.dirname(sarfan.__file__))
    proc = subprocess.run([sys.executable, "-c", FORK_SCRIPT], capture_output=True, text=True,
                          env=env, timeout=120)
    assert proc.returncode == 0, proc.stderr
    assert proc.stdout.strip() == "ok"


def test_threads_share_tokenizers(plugin_tokenizer):
    tokenizers = [plugin_tokenizer, SarfanMSATokenizer.load_default()]
    want = [[t.encode_ids(x) for x in TEXTS] for t in tokenizers]
    failures = []

    def work(seed):
        for k in range(150):
            which = (seed + k) % 2
            tok = tokenizers[which]
            got = tok.encode_batch_ids(TEXTS) if k % 3 else [tok.encode_ids(x) for x in TEXTS]
            if got != want[which]:
                failures.append((seed, k))

    threads = [threading.Thread(target=work, args=(s,)) for s in range(8)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert failures == []


@pytest.mark.parametrize("count", [3, 3000])  # encoded on the calling thread, and on the pool
def test_batch_lists_stay_visible_to_the_collector(default_tokenizer, count):
    # The lists are built out of the collector's sight and handed back to it: a cycle
    # made through one of them must still be collected.
    import gc
    import weakref

    class Holder:
        pass

    result = default_tokenizer.encode_batch_ids([f"{FI} {KITAB}"] * count)
    assert gc.is_tracked(result) and all(gc.is_tracked(ids) for ids in result)
    holder = Holder()
    ids = result[count // 2]
    ids.append(holder)
    holder.ids = ids
    alive = weakref.ref(holder)
    del holder, ids, result
    gc.collect()
    assert alive() is None
