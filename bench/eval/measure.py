#!/usr/bin/env python3
"""Measures vocabularies on running text: fertility (pieces per whitespace word, BOS/EOS
excluded), the share of byte pieces, the share of words whose first piece lacks the
word-start mark, and the share of lines that decode back to exactly their normalized text.
With --raw the text is encoded as written (normalize=False), and a line decodes exactly
when it gives back its words joined by single spaces.

Each VOCAB is a sarfan TSV file or "default" (the embedded one); --spm adds a
sentencepiece model, fed the same normalized text and counted with its own pieces. Line
ranges of a text's categories come from its CATEGORIES file (lines "name first last").

    measure.py --text LABEL=PATH[:CATEGORIES] ... [--raw] [--vocab NAME=VOCAB ...]
        [--spm NAME=MODEL] [--write FILE:NAME]
"""
import argparse
import os
import re
import sys

import sarfan

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
from marked_block import target, write_block  # noqa: E402

MARK = "\u2581"
# Unicode White_Space: what the engine's scan splits words at.
WHITESPACE = re.compile("[\t-\r \x85\xa0\u1680\u2000-\u200a\u2028\u2029\u202f\u205f\u3000]+")


def words_of(text):
    return [word for word in WHITESPACE.split(text) if word]


def word_starts(text):
    return {m.start() for m in re.finditer("[^" + WHITESPACE.pattern[1:-2] + "]+", text)}


class SarfanCounter:
    def __init__(self, path):
        self.tok = (sarfan.SarfanMSATokenizer.load_default() if path == "default"
                    else sarfan.SarfanMSATokenizer.from_tsv(path))

    def line(self, text):
        """(pieces, byte pieces, words with an unmarked first piece, decodes exactly)."""
        result = self.tok.encode(text, normalize=False)
        steps = list(zip(result.ids, result.tokens, result.offsets))[1:-1]
        starts = word_starts(text)
        seen, unmarked = set(), 0
        for id_, piece, (start, _) in steps:
            if start in starts and start not in seen:
                seen.add(start)
                unmarked += not piece.startswith(MARK)
        byte_pieces = sum(4 <= id_ < 260 for id_, _, _ in steps)
        exact = self.tok.decode(result.ids) == " ".join(words_of(text))
        return len(steps), byte_pieces, unmarked, exact


class SentencepieceCounter:
    def __init__(self, path):
        import sentencepiece as spm

        self.sp = spm.SentencePieceProcessor(model_file=path)

    def line(self, text):
        text = " ".join(words_of(text))
        pieces = self.sp.encode(text, out_type=str)
        ids = self.sp.encode(text)
        unk = sum(self.sp.is_unknown(i) for i in ids)
        # sentencepiece spells each space as the mark: one marked piece per word start.
        unmarked = max(0, len(words_of(text)) - sum(p.startswith(MARK) for p in pieces))
        exact = self.sp.decode(ids) == text
        return len(ids), unk, unmarked, exact


def measure(counter, lines):
    words = pieces = byte_pieces = unmarked = exact = 0
    for text in lines:
        n, b, u, e = counter.line(text)
        words += len(words_of(text))
        pieces += n
        byte_pieces += b
        unmarked += u
        exact += e
    return {"fertility": pieces / words, "bytes": byte_pieces / pieces,
            "unmarked": unmarked / words, "exact": exact / len(lines), "lines": len(lines)}


def read_lines(path, raw):
    """The lines of a text file, normalized by the default model's switches unless `raw`."""
    with open(path, encoding="utf-8") as f:
        lines = f.read().splitlines()
    if raw:
        return lines
    normalizer = sarfan.SarfanMSATokenizer.load_embedded()
    return [normalizer.normalize(line) for line in lines]


def read_groups(path, count):
    """{name: (first line, last line)}: all lines, then the categories of `path` if any."""
    groups = {"all": (1, count)}
    if path:
        with open(path, encoding="utf-8") as f:
            for row in f.read().splitlines():
                if row.strip():
                    name, first, last = row.rsplit(maxsplit=2)
                    groups[name] = (int(first), int(last))
    return groups


def table(texts, counters, raw):
    """The Markdown table of every counter on every text and category."""
    rows = ["| text | vocabulary | pieces per word | byte pieces (sentencepiece: unknown) "
            "| words with unmarked first piece | lines decoded exactly |",
            "| --- | --- | --- | --- | --- | --- |"]
    for label, (path, categories) in texts.items():
        lines = read_lines(path, raw)
        for group, (first, last) in read_groups(categories, len(lines)).items():
            for name, counter in counters:
                m = measure(counter, lines[first - 1:last])
                text = label if group == "all" else f"{label}: {group}"
                rows.append(f"| {text} ({m['lines']} lines) | {name} | {m['fertility']:.4f} | "
                            f"{m['bytes']:.2%} | {m['unmarked']:.2%} | {m['exact']:.1%} |")
    return "\n".join(rows)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--text", action="append", required=True, metavar="LABEL=PATH[:CATEGORIES]",
                        help="a text to measure, with the file of its line ranges by category")
    parser.add_argument("--vocab", action="append", default=[], metavar="NAME=VOCAB")
    parser.add_argument("--spm", action="append", default=[], metavar="NAME=MODEL")
    parser.add_argument("--raw", action="store_true", help="encode the text as written")
    parser.add_argument("--write", metavar="FILE:NAME",
                        help="also write the table between the NAME markers of FILE")
    args = parser.parse_args()
    texts = {}
    for option in args.text:
        label, _, where = option.partition("=")
        path, _, categories = where.partition(":")
        texts[label] = (path, categories or None)
    counters = [(name, SarfanCounter(path)) for name, path in
                (option.split("=", 1) for option in args.vocab)]
    counters += [(name, SentencepieceCounter(path)) for name, path in
                 (option.split("=", 1) for option in args.spm)]
    text = table(texts, counters, args.raw)
    print(text)
    if args.write:
        write_block(*target(args.write), text)


if __name__ == "__main__":
    main()
