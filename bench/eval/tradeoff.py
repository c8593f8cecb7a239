#!/usr/bin/env python3
"""The default vocabulary's trade-off between text as written and normalized text: trains
it with each weight of the normalized copy (sarfan train --also-normalized W, with the
options of `make vocab`), and measures the share of learned slots that only text as written
can use (pieces that normalization would change) against the pieces per word of both modes
on each text. Writes one Markdown table.

    tradeoff.py WORDS.tsv OPTIONS --weights W... --work DIR --text LABEL=PATH...
        [--baseline NAME=VOCAB] [--write FILE:NAME]
"""
import argparse
import os
import subprocess
import sys

import sarfan

from measure import SarfanCounter, measure, read_lines

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.dirname(HERE))
from marked_block import target, write_block  # noqa: E402

MARK = "\u2581"
FIRST_LEARNED_ID = 260


def raw_form_share(path):
    """The share of learned pieces that normalizing would change: only text as written
    (hamza forms, taa marbuta, alef maqsura, tatweel, typed mark orders...) reaches them."""
    tok = sarfan.SarfanMSATokenizer.from_tsv(path)
    learned = [piece for piece, id_ in tok.get_vocab().items() if id_ >= FIRST_LEARNED_ID]
    raw = sum(tok.normalize(piece.removeprefix(MARK)) != piece.removeprefix(MARK)
              for piece in learned)
    return raw / len(learned)


def train(words, options, weight, work):
    out = os.path.join(work, f"weight-{weight}", "vocab.tsv")
    if not os.path.exists(out):
        os.makedirs(os.path.dirname(out), exist_ok=True)
        subprocess.run([sys.executable, "-m", "sarfan_cli", "train", words, "--size", "64000",
                        "-o", out, "@" + options, "--also-normalized", weight,
                        "--workdir", os.path.join(work, f"weight-{weight}", "work")], check=True)
    return out


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("words")
    parser.add_argument("options")
    parser.add_argument("--weights", nargs="+", required=True)
    parser.add_argument("--work", required=True, help="vocabularies are kept here and reused")
    parser.add_argument("--text", action="append", required=True, metavar="LABEL=PATH")
    parser.add_argument("--baseline", metavar="NAME=VOCAB")
    parser.add_argument("--write", metavar="FILE:NAME")
    args = parser.parse_args()
    texts = [option.split("=", 1) for option in args.text]
    lines = {(label, raw): read_lines(path, raw) for label, path in texts for raw in (False, True)}
    vocabs = [(f"weight {w}", train(args.words, args.options, w, args.work)) for w in args.weights]
    if args.baseline:
        vocabs.append(tuple(args.baseline.split("=", 1)))
    header = ["vocabulary", "slots given to raw forms"]
    header += [f"{label}, {'as written' if raw else 'normalized'}" for label, _ in texts
               for raw in (False, True)]
    rows = ["| " + " | ".join(header) + " |", "|" + " --- |" * len(header)]
    for name, path in vocabs:
        counter = SarfanCounter(path)
        cells = [name, f"{raw_form_share(path):.1%}"]
        cells += [f"{measure(counter, lines[label, raw])['fertility']:.4f}" for label, _ in texts
                  for raw in (False, True)]
        rows.append("| " + " | ".join(cells) + " |")
    text = "\n".join(rows)
    print(text)
    if args.write:
        write_block(*target(args.write), text)


if __name__ == "__main__":
    main()
