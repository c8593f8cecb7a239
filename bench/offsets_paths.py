#!/usr/bin/env python3
"""Full results (ids, tokens, offsets) of many texts as the transformers wrapper reads them,
two ways, alternated in one process: encode_batch (on the worker pool, always normalizing)
and a loop of encode() on the calling thread. Prints MB/s medians and spreads, normalized
and as written.

    offsets_paths.py CORPUS [--lines N] [--rounds R]
"""
import argparse
import statistics
import time

import sarfan


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("corpus")
    parser.add_argument("--lines", type=int, default=20000)
    parser.add_argument("--rounds", type=int, default=7)
    args = parser.parse_args()
    tok = sarfan.SarfanMSATokenizer.load_default()
    with open(args.corpus, encoding="utf-8") as f:
        lines = f.read().splitlines()[:args.lines]
    megabytes = sum(len(line.encode("utf-8")) for line in lines) / 1e6

    def results_read(results):
        return [(r.ids, r.tokens, r.offsets) for r in results]

    ways = {
        "encode_batch": lambda normalize: results_read(tok.encode_batch(lines)) if normalize else None,
        "loop of encode": lambda normalize: results_read(tok.encode(t, normalize) for t in lines),
    }
    for normalize in (True, False):
        times = {name: [] for name in ways}
        for _ in range(args.rounds):
            for name, way in ways.items():
                start = time.perf_counter()
                if way(normalize) is None:
                    continue
                times[name].append(time.perf_counter() - start)
        print(f"normalize={normalize}, {len(lines)} lines, {sarfan.SarfanMSATokenizer.batch_threads()} threads:")
        for name, spent in times.items():
            if spent:
                print(f"  {name:<20} {megabytes / statistics.median(spent):7.1f} MB/s "
                      f"(rounds {megabytes / max(spent):.1f}-{megabytes / min(spent):.1f})")


if __name__ == "__main__":
    main()
