"""The Python-level figures that bench/compare_builds.py sets against another build's: MB/s
of each workload (milliseconds for the load), each the best of a few runs.

    python bench/python_figures.py CORPUS.txt                  # the sarfan on sys.path
    python bench/python_figures.py CORPUS.txt A.so B.so ROUNDS  # two module files

With two module files both are loaded into this one process and timed workload by
workload in alternation (which goes first alternates too), ROUNDS times; the output is
{"a": [figures of each round], "b": [...]}. The long text is the first tenth of the corpus
lines joined by spaces (about 1 MB), as in bench/python_bench.py. The batch figures use the
pool size of SARFAN_NUM_THREADS.
"""
import importlib.util
import json
import sys
import time

from python_bench import corpus_texts


def workloads(module, corpus):
    """{figure: (work(tok), megabytes, repeat)}; megabytes None for a time in ms."""
    lines, megabytes, long_text, long_mb = corpus_texts(corpus)
    encoded = module.SarfanMSATokenizer.load_embedded().encode_batch_ids(lines[: len(lines) // 10])

    def read(result):
        return result.ids, result.tokens, result.offsets

    return {
        "py_long_encode_ids_MBps": (lambda t: t.encode_ids(long_text), long_mb, 3),
        "py_long_encode_read_MBps": (lambda t: read(t.encode(long_text)), long_mb, 3),
        "py_lines_encode_ids_MBps": (lambda t: [t.encode_ids(l) for l in lines], megabytes, 2),
        "py_lines_encode_read_MBps": (lambda t: [read(r) for r in map(t.encode, lines)], megabytes, 2),
        "py_batch_ids_MBps": (lambda t: t.encode_batch_ids(lines), megabytes, 2),
        "py_decode_batch_MBps": (lambda t: t.decode_batch(encoded), long_mb, 3),
        "py_load_default_ms": (lambda t: type(t).load_default(), None, 5),
    }


def timed(work, tok):
    start = time.perf_counter()
    result = work(tok)
    elapsed = time.perf_counter() - start
    del result  # freed outside the timing
    return elapsed


def figure(seconds, megabytes):
    return megabytes / seconds if megabytes is not None else 1e3 * seconds


def load_module(path):
    spec = importlib.util.spec_from_file_location("sarfan", path)
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


def main():
    corpus, *modules = sys.argv[1:]
    if not modules:
        import sarfan

        tok = sarfan.SarfanMSATokenizer.load_default()
        print(json.dumps({name: figure(min(timed(work, tok) for _ in range(repeat)), megabytes)
                          for name, (work, megabytes, repeat) in workloads(sarfan, corpus).items()}))
        return
    a, b, rounds = load_module(modules[0]), load_module(modules[1]), int(modules[2])
    toks = {"a": a.SarfanMSATokenizer.load_default(), "b": b.SarfanMSATokenizer.load_default()}
    plan = workloads(a, corpus)
    samples = {"a": [], "b": []}
    for round_ in range(rounds):
        order = ("a", "b") if round_ % 2 == 0 else ("b", "a")
        best = {key: {} for key in order}
        for name, (work, _, repeat) in plan.items():
            for _ in range(repeat):
                for key in order:
                    seconds = timed(work, toks[key])
                    best[key][name] = min(best[key].get(name, seconds), seconds)
        for key in order:
            samples[key].append({name: figure(seconds, plan[name][1])
                                 for name, seconds in best[key].items()})
        print(f"round {round_ + 1} of {rounds} done", file=sys.stderr)
    print(json.dumps(samples))

if __name__ == "__main__":
    main()
