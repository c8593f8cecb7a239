#!/usr/bin/env bash
# Alternates two builds of the engine benchmark (A, then B) ROUNDS times on the bench corpus
# (SARFAN_BENCH_CORPUS, else build/corpus/arabic-10mb.txt) and prints, for each benchmark,
# the median CPU time of each, its spread (the rounds' range over the median) and B/A.
#   bench/ab_engine.sh A B ROUNDS
set -euo pipefail
a=$1; b=$2; rounds=$3
export SARFAN_BENCH_CORPUS=${SARFAN_BENCH_CORPUS:-build/corpus/arabic-10mb.txt}
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
for i in $(seq "$rounds"); do
  for k in a b; do
    bin=${!k}
    "$bin" --benchmark_format=json --benchmark_min_time=0.2 > "$out/$k-$i.json" 2>/dev/null
  done
done
python3 - "$out" "$rounds" <<'PY'
import json, statistics, sys
out, rounds = sys.argv[1], int(sys.argv[2])
times = {}
for k in "ab":
    for i in range(1, rounds + 1):
        for bm in json.load(open(f"{out}/{k}-{i}.json"))["benchmarks"]:
            times.setdefault(bm["name"], {"a": [], "b": []})[k].append(bm["cpu_time"])
print(f"{'benchmark':32s} {'A median':>12s} {'spread':>7s} {'B median':>12s} {'spread':>7s}  B/A  (ns)")
for name, t in times.items():
    ma, mb = statistics.median(t["a"]), statistics.median(t["b"])
    sa, sb = (max(t["a"]) - min(t["a"])) / ma, (max(t["b"]) - min(t["b"])) / mb
    print(f"{name:32s} {ma:12.1f} {sa:7.1%} {mb:12.1f} {sb:7.1%}  {mb / ma:.3f}")
PY
