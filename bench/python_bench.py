"""Python-level throughput of sarfan with the embedded default vocabulary.

    python bench/python_bench.py CORPUS.txt [POOL_BENCH]

Reports calls per second of a two-word encode_ids and encode, MB/s of single-text calls
over the corpus lines and over one long text, of the batch methods against a loop, of
the array batch against the list batch (with POOL_BENCH, the sarfan_bench_pool binary,
the pool's engine-only ceiling beside it), and the overhead of the transformers wrapper
over the array batch plus NumPy padding. Set SARFAN_NUM_THREADS to choose the pool size
(read once per process).
"""
import os
import subprocess
import sys
import time

import numpy as np


def timed(fn):
    start = time.perf_counter()
    result = fn()
    elapsed = time.perf_counter() - start
    del result  # freed outside the timing
    return elapsed


def best(fn, repeat=5):
    return min(timed(fn) for _ in range(repeat))


def best_pair(first, second, repeat=9):
    """Best times of two workloads measured in alternation, so that both see the same
    state of a noisy machine."""
    times = [(timed(first), timed(second)) for _ in range(repeat)]
    return min(t for t, _ in times), min(t for _, t in times)


def corpus_texts(path):
    """The corpus lines and their MB, and the long text (the first tenth of the lines
    joined by spaces, about 1 MB) and its MB."""
    with open(path, encoding="utf-8") as f:
        lines = f.read().splitlines()
    megabytes = sum(len(l.encode()) for l in lines) / 1e6
    long_text = " ".join(lines[: len(lines) // 10])
    return lines, megabytes, long_text, len(long_text.encode()) / 1e6


def main():
    import sarfan

    tok = sarfan.SarfanMSATokenizer.load_default()
    lines, megabytes, long_text, long_mb = corpus_texts(sys.argv[1])
    short = "في الكتاب"
    n = 200000
    ids_calls = n / best(lambda: [tok.encode_ids(short) for _ in range(n)], 3)
    full_calls = n / best(lambda: [tok.encode(short) for _ in range(n)], 3)
    print(f"two-word encode_ids: {ids_calls / 1e6:.2f} M calls/s; encode: {full_calls / 1e6:.2f} M calls/s")
    def encode_and_read(text):
        result = tok.encode(text)
        return result.ids, result.tokens, result.offsets

    ids_mbs = long_mb / best(lambda: tok.encode_ids(long_text), 3)
    record_mbs = long_mb / best(lambda: tok.encode(long_text), 3)
    full_mbs = long_mb / best(lambda: encode_and_read(long_text), 3)
    print(f"long text ({long_mb:.1f} MB): encode_ids {ids_mbs:.0f} MB/s; encode {record_mbs:.0f} MB/s "
          f"(record only, fields converted on read), with ids, tokens and offsets read "
          f"{full_mbs:.0f} MB/s: encode_ids x{ids_mbs / full_mbs:.1f}")
    loop_ids, batch_ids = best_pair(lambda: [tok.encode_ids(l) for l in lines],
                                    lambda: tok.encode_batch_ids(lines))
    loop_full, batch_full = best_pair(lambda: [tok.encode(l) for l in lines],
                                      lambda: tok.encode_batch(lines))
    threads = os.environ.get("SARFAN_NUM_THREADS", "all CPUs")
    print(f"{len(lines)} lines, {megabytes:.1f} MB, pool: {threads}")
    print(f"  loop encode_ids {megabytes / loop_ids:.0f} MB/s ({len(lines) / loop_ids:,.0f} texts/s); "
          f"encode_batch_ids {megabytes / batch_ids:.0f} MB/s ({len(lines) / batch_ids:,.0f} texts/s), "
          f"x{loop_ids / batch_ids:.2f}")
    print(f"  loop encode {megabytes / loop_full:.0f} MB/s; encode_batch {megabytes / batch_full:.0f} MB/s, "
          f"x{loop_full / batch_full:.2f}")
    bench_arrays(tok, lines, megabytes)
    bench_wrapper(tok, lines, megabytes)
    k = 20000
    for size in (2, 4, 8):
        small = [l for l in lines if len(l) < 120][:size]
        loop_small, batch_small = best_pair(
            lambda: [[tok.encode_ids(t) for t in small] for _ in range(k)],
            lambda: [tok.encode_batch_ids(small) for _ in range(k)])
        print(f"  {size}-text batches of short texts: loop {loop_small / k * 1e6:.2f} us, "
              f"batch {batch_small / k * 1e6:.2f} us")


def bench_arrays(tok, lines, megabytes):
    lists, arrays = best_pair(lambda: tok.encode_batch_ids(lines),
                              lambda: tok.encode_batch_ids_array(lines))
    print(f"  encode_batch_ids {megabytes / lists:.0f} MB/s; encode_batch_ids_array "
          f"{megabytes / arrays:.0f} MB/s, x{lists / arrays:.2f}")
    if len(sys.argv) > 2:
        ceiling = subprocess.run([sys.argv[2], sys.argv[1]], capture_output=True, text=True,
                                 check=True).stdout.strip()
        print(f"  ceiling: {ceiling}")


def padded(ids, row_offsets, pad_id):
    """The NumPy padding a caller of encode_batch_ids_array writes: ids and mask, right."""
    flat = np.frombuffer(ids, dtype=np.uint32)
    lengths = np.diff(np.frombuffer(row_offsets, dtype=np.int64))
    filled = np.arange(lengths.max(initial=0)) < lengths[:, None]
    matrix = np.full(filled.shape, pad_id, dtype=np.int64)
    matrix[filled] = flat
    return matrix, filled.astype(np.int64)


def bench_wrapper(tok, lines, megabytes):
    try:
        from sarfan_transformers import SarfanTokenizer
    except ImportError:
        print("  (transformers is not installed: no wrapper figures)")
        return
    wrapper = SarfanTokenizer()
    for size in (len(lines), 1024):
        batches = [lines[k:k + size] for k in range(0, len(lines), size)]
        bare, wrapped = best_pair(
            lambda: [padded(*tok.encode_batch_ids_array(b), tok.pad_id) for b in batches],
            lambda: [wrapper(b, padding=True, return_tensors="np") for b in batches])
        what = "all lines in one batch" if size == len(lines) else f"{size}-line batches"
        print(f"  {what}, padded: encode_batch_ids_array + NumPy {megabytes / bare:.0f} MB/s; "
              f"SarfanTokenizer(padding=True, return_tensors='np') {megabytes / wrapped:.0f} "
              f"MB/s, overhead {100 * (wrapped / bare - 1):+.0f}%")


if __name__ == "__main__":
    main()
