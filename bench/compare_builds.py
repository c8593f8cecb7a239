"""Sets the benchmarks of one build against another's on a noisy machine: the two builds
run in alternation, round after round, and the medians of each figure are compared.

    python bench/compare_builds.py --base OLD --new NEW --corpus CORPUS.txt
        [--rounds 5] [--json OUT.json]

OLD and NEW are either CMake build folders of this project (bench/ and python/ inside):
the engine benchmarks (bench/engine_bench.cc, MB/s from CPU time), the vocabulary load
(bench/vocab_load_bench.cc, ms) and the Python figures (bench/python_figures.py, pool of 2)
of each, in alternating processes; or two files of the extension module (two wheels'
sarfan*.so, for one interpreter): the Python figures of both in one process, workload by
workload in alternation. The ratio is new over old for rates and old over new for times,
so above 1 is faster. --json stores both builds' medians and the ratios, e.g. as
bench/baseline.json for the next change to compare against.
"""
import argparse
import json
import os
import statistics
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))


def engine_figures(build, corpus):
    out = {}
    runs = [
        ([os.path.join(build, "bench", "sarfan_bench_engine")], {"SARFAN_BENCH_CORPUS": corpus}),
        ([os.path.join(build, "bench", "sarfan_bench_vocab_load"), "--benchmark_filter=Text"], {}),
    ]
    for command, env in runs:
        text = subprocess.run(
            command + ["--benchmark_format=json", "--benchmark_min_time=0.5"],
            env={**os.environ, **env}, check=True, capture_output=True, text=True).stdout
        for bench in json.loads(text)["benchmarks"]:
            name = bench["name"]
            if "MB" in bench and not name.startswith("BM_Load"):
                out[name + "_MBps"] = bench["MB"]
            else:
                out[name + "_" + bench["time_unit"]] = bench["cpu_time"]
    return out


def python_figures(build, corpus):
    env = {**os.environ, "PYTHONPATH": os.path.join(build, "python"), "SARFAN_NUM_THREADS": "2"}
    text = subprocess.run([sys.executable, os.path.join(HERE, "python_figures.py"), corpus],
                          env=env, check=True, capture_output=True, text=True).stdout
    return json.loads(text)


def module_figures(base, new, corpus, rounds):
    """Per-round Python figures of two module files measured in one process."""
    env = {**os.environ, "SARFAN_NUM_THREADS": "2"}
    text = subprocess.run([sys.executable, os.path.join(HERE, "python_figures.py"), corpus,
                           base, new, str(rounds)], env=env, check=True,
                          stdout=subprocess.PIPE, text=True).stdout
    runs = json.loads(text)
    return {"base": runs["a"], "new": runs["b"]}


def is_rate(name):
    return name.endswith("MBps")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--base", required=True)
    parser.add_argument("--new", required=True)
    parser.add_argument("--corpus", required=True)
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("--json")
    args = parser.parse_args()
    samples = {"base": {}, "new": {}}
    if os.path.isfile(args.base) and os.path.isfile(args.new):
        for which, runs in module_figures(args.base, args.new, args.corpus, args.rounds).items():
            for figures in runs:
                for name, value in figures.items():
                    samples[which].setdefault(name, []).append(value)
    for round_ in range(args.rounds if not os.path.isfile(args.base) else 0):
        # Each build goes first in every other round: the second run of a round met a
        # warmer or busier machine often enough to bias medians by 10%.
        for which in ("base", "new") if round_ % 2 == 0 else ("new", "base"):
            build = getattr(args, which)
            figures = {**engine_figures(build, args.corpus), **python_figures(build, args.corpus)}
            for name, value in figures.items():
                samples[which].setdefault(name, []).append(value)
        print(f"round {round_ + 1} of {args.rounds} done", file=sys.stderr)
    report = {"rounds": args.rounds, "base": {}, "new": {}, "ratio": {}}
    print(f"{'figure':44} {'base':>10} {'new':>10} {'ratio':>7}")
    for name in samples["base"]:
        if name not in samples["new"]:
            continue
        base = statistics.median(samples["base"][name])
        new = statistics.median(samples["new"][name])
        ratio = new / base if is_rate(name) else base / new
        report["base"][name], report["new"][name], report["ratio"][name] = base, new, ratio
        print(f"{name:44} {base:10.2f} {new:10.2f} {ratio:6.2f}x")
    if args.json:
        with open(args.json, "w") as f:
            json.dump(report, f, indent=1, sort_keys=True)
            f.write("\n")


if __name__ == "__main__":
    main()
