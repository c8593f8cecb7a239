#!/usr/bin/env python3
"""Prints the options that `make vocab` gives `sarfan train` for the default vocabulary,
one per line (read back with @FILE): the inventory file, the pieces at fixed ids, and the
diacritic-bearing pieces that wordfreq's undiacritized list cannot teach.

The diacritic rule: every Arabic letter of the normalized alphabet followed by each
haraka (fatha, damma, kasra, sukun), each tanwin, shadda, and shadda with each of fatha,
damma and kasra; and both spellings of the tanwin-fath ending, "اً" and "ًا". The
trainer normalizes them (NFC puts fatha, damma and kasra before shadda).

    default_vocab_options.py > OPTIONS
"""
import sys

MARK = "\u2581"
FIXED = {263: MARK, 264: MARK + "في", 541: MARK + "الكتاب", 13699: "#"}
LETTERS = ([0x0621, 0x0624, 0x0626, 0x0627, 0x0628] + list(range(0x062A, 0x063B))
           + list(range(0x0641, 0x0649)) + [0x064A])
HARAKAT = ["\u064e", "\u064f", "\u0650", "\u0652"]  # fatha, damma, kasra, sukun
TANWIN = ["\u064b", "\u064c", "\u064d"]
SHADDA = "\u0651"


def diacritic_pieces():
    pieces = []
    for letter in map(chr, LETTERS):
        pieces += [letter + mark for mark in HARAKAT + TANWIN + [SHADDA]]
        pieces += [letter + SHADDA + haraka for haraka in HARAKAT[:3]]
    return pieces + ["\u0627\u064b", "\u064b\u0627"]


def main():
    lines = ["--inventory", "tools/default_inventory.txt"]
    for id_, piece in FIXED.items():
        lines += ["--fixed", f"{id_}={piece}"]
    lines += ["--keep"] + diacritic_pieces()
    sys.stdout.write("".join(line + "\n" for line in lines))


if __name__ == "__main__":
    main()
