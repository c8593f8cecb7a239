#!/usr/bin/env python3
"""Writes a reproducible stand-in for Arabic running text.

Words are drawn from the Arabic "large" list of wordfreq 3.1.1 by their frequencies with
a fixed seed, in sentences of 6 to 24 words with Arabic commas and full stops, one
sentence per line (about the length of an MSA sentence), until the size is reached.

    make_corpus.py OUT.txt [--megabytes 10] [--seed 2026]
"""
import argparse
import itertools
import random

import wordfreq


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("out")
    parser.add_argument("--megabytes", type=float, default=10)
    parser.add_argument("--seed", type=int, default=2026)
    args = parser.parse_args()
    frequencies = wordfreq.get_frequency_dict("ar", "large")
    words = list(frequencies)
    cumulative = list(itertools.accumulate(frequencies[w] for w in words))
    rng = random.Random(args.seed)
    target = int(args.megabytes * 1_000_000)
    size = 0
    with open(args.out, "w", encoding="utf-8", newline="\n") as out:
        while size < target:
            sentence = rng.choices(words, cum_weights=cumulative, k=rng.randint(6, 24))
            if len(sentence) > 10 and rng.random() < 0.5:
                sentence[len(sentence) // 2] += "،"
            line = " ".join(sentence) + ".\n"
            out.write(line)
            size += len(line.encode("utf-8"))


if __name__ == "__main__":
    main()
