#!/usr/bin/env python3
"""Prints the options that `make vocab` gives `sarfan train` for the default vocabulary,
one per line (read back with @FILE): raw training that also counts every word normalized,
so that one vocabulary serves text as written and normalized text; the inventory file;
the pieces at fixed ids; and the diacritic-bearing pieces that wordfreq's undiacritized
list cannot teach.

The diacritic rule: every Arabic letter (hamza forms, taa marbuta and alef maqsura
included) followed by each haraka (fatha, damma, kasra, sukun), each tanwin, shadda, and
shadda with each of fatha, damma and kasra in both orders (typed text puts the shadda
first, NFC puts it last); and both spellings of the tanwin-fath ending, "اً" and "ًا".

    default_vocab_options.py > OPTIONS
"""
import sys

MARK = "\u2581"
FIXED = {263: MARK, 264: MARK + "في", 541: MARK + "الكتاب", 13699: "#"}
LETTERS = list(range(0x0621, 0x063B)) + list(range(0x0641, 0x064B))
# Weight of each word's normalized form beside its written form.
NORMALIZED_WEIGHT = "1"
HARAKAT = ["\u064e", "\u064f", "\u0650", "\u0652"]  # fatha, damma, kasra, sukun
TANWIN = ["\u064b", "\u064c", "\u064d"]
SHADDA = "\u0651"


def diacritic_pieces():
    pieces = []
    for letter in map(chr, LETTERS):
        pieces += [letter + mark for mark in HARAKAT + TANWIN + [SHADDA]]
        pieces += [letter + SHADDA + haraka for haraka in HARAKAT[:3]]
        pieces += [letter + haraka + SHADDA for haraka in HARAKAT[:3]]
    return pieces + ["\u0627\u064b", "\u064b\u0627"]


def main():
    lines = ["--raw", "--also-normalized", NORMALIZED_WEIGHT,
             "--inventory", "tools/default_inventory.txt"]
    for id_, piece in FIXED.items():
        lines += ["--fixed", f"{id_}={piece}"]
    lines += ["--keep"] + diacritic_pieces()
    sys.stdout.write("".join(line + "\n" for line in lines))


if __name__ == "__main__":
    main()
