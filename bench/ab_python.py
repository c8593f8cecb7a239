"""Compares two builds of the sarfan module in one process, trial by trial.

    python bench/ab_python.py A.so B.so CORPUS.txt [TRIALS]

Loads both extension files under the name sarfan, then times each workload on A and on B
in alternation, TRIALS rounds (at least 5), and reports for each the median process CPU
time, its spread (the range of the rounds, relative to the median) and the ratio of the
medians B/A. CPU time and alternation keep a shared, noisy machine from favouring either
build. Set SARFAN_NUM_THREADS to choose the pool size of both.
"""
import importlib.util
import statistics
import sys
import time


def load(path):
    spec = importlib.util.spec_from_file_location("sarfan", path)
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


def read(result):
    return result.ids, result.tokens, result.offsets


def main():
    first, second = (load(path).SarfanMSATokenizer.load_default() for path in sys.argv[1:3])
    with open(sys.argv[3], encoding="utf-8") as f:
        lines = f.read().splitlines()[:20000]
    trials = int(sys.argv[4]) if len(sys.argv) > 4 else 11
    if trials < 5:
        sys.exit("ab_python: at least 5 rounds")
    long_text = " ".join(lines[:4000])
    short = "في الكتاب"
    id_batches = first.encode_batch_ids(lines)
    workloads = {
        "two-word encode_ids x20000": lambda t: [t.encode_ids(short) for _ in range(20000)],
        "two-word encode x20000": lambda t: [t.encode(short) for _ in range(20000)],
        "long text encode_ids": lambda t: t.encode_ids(long_text),
        "long text encode + read": lambda t: read(t.encode(long_text)),
        "lines loop encode_ids": lambda t: [t.encode_ids(line) for line in lines],
        "lines encode_batch_ids": lambda t: t.encode_batch_ids(lines),
        "lines loop encode + read": lambda t: [read(t.encode(line)) for line in lines],
        "lines encode_batch": lambda t: t.encode_batch(lines),
        "decode_batch": lambda t: t.decode_batch(id_batches),
    }
    megabytes = sum(len(line.encode()) for line in lines) / 1e6
    print(f"{len(lines)} lines, {megabytes:.2f} MB; medians of {trials} alternated rounds, CPU time"
          " (spread: the rounds' range over the median)")
    for name, work in workloads.items():
        times = ([], [])
        for _ in range(trials):
            for k, tokenizer in enumerate((first, second)):
                start = time.process_time()
                result = work(tokenizer)
                times[k].append(time.process_time() - start)
                del result  # freed outside the timing
        a, b = (statistics.median(t) for t in times)
        spread_a, spread_b = ((max(t) - min(t)) / statistics.median(t) for t in times)
        print(f"{name:28s} A {a * 1e3:8.2f} ms ±{spread_a:4.0%}  B {b * 1e3:8.2f} ms ±{spread_b:4.0%}"
              f"  B/A {b / a:.3f}")


if __name__ == "__main__":
    main()
