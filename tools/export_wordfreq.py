#!/usr/bin/env python3
"""Writes wordfreq 3.1.1's Arabic "large" list as WORD<TAB>COUNT lines for `sarfan train`
(frequencies scaled by 1e9 to whole counts, at least 1), in the list's own order.

    export_wordfreq.py OUT.tsv
"""
import sys

import wordfreq

COUNT_SCALE = 1e9


def main():
    frequencies = wordfreq.get_frequency_dict("ar", "large")
    with open(sys.argv[1], "w", encoding="utf-8", newline="\n") as out:
        for word, frequency in frequencies.items():
            out.write(f"{word}\t{max(1, round(frequency * COUNT_SCALE))}\n")


if __name__ == "__main__":
    main()
