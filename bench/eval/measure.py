#!/usr/bin/env python3
"""Measures vocabularies on running text: fertility (pieces per whitespace word, BOS/EOS
excluded), the share of byte pieces, the share of words whose first piece lacks the
word-start mark, and the share of lines that decode back to exactly their normalized text.

Each VOCAB is a sarfan TSV file or "default" (the embedded one); --spm adds a
sentencepiece model, fed the same normalized text and counted with its own pieces. Line
ranges of the evaluation set's categories come from --categories (lines "name first last").

    measure.py TEXT [--vocab NAME=VOCAB ...] [--spm NAME=MODEL] [--categories FILE]
"""
import argparse
import sys

import sarfan

MARK = "\u2581"


class SarfanCounter:
    def __init__(self, path):
        self.tok = (sarfan.SarfanMSATokenizer.load_default() if path == "default"
                    else sarfan.SarfanMSATokenizer.from_tsv(path))

    def line(self, normalized):
        """(pieces, byte pieces, words with an unmarked first piece, decodes exactly)."""
        result = self.tok.encode(normalized, normalize=False)
        steps = list(zip(result.ids, result.tokens, result.offsets))[1:-1]
        starts = {0} | {k + 1 for k, c in enumerate(normalized) if c == " "}
        seen, unmarked = set(), 0
        for id_, piece, (start, _) in steps:
            if start in starts and start not in seen:
                seen.add(start)
                unmarked += not piece.startswith(MARK)
        byte_pieces = sum(4 <= id_ < 260 for id_, _, _ in steps)
        exact = self.tok.decode(result.ids) == normalized
        return len(steps), byte_pieces, unmarked, exact


class SentencepieceCounter:
    def __init__(self, path):
        import sentencepiece as spm

        self.sp = spm.SentencePieceProcessor(model_file=path)

    def line(self, normalized):
        pieces = self.sp.encode(normalized, out_type=str)
        ids = self.sp.encode(normalized)
        unk = sum(self.sp.is_unknown(i) for i in ids)
        # sentencepiece spells each space as the mark: one marked piece per word start.
        words = len(normalized.split(" ")) if normalized else 0
        unmarked = max(0, words - sum(p.startswith(MARK) for p in pieces))
        exact = self.sp.decode(ids) == normalized
        return len(ids), unk, unmarked, exact


def measure(counter, lines):
    words = pieces = byte_pieces = unmarked = exact = 0
    for normalized in lines:
        n, b, u, e = counter.line(normalized)
        words += len(normalized.split(" ")) if normalized else 0
        pieces += n
        byte_pieces += b
        unmarked += u
        exact += e
    return {"fertility": pieces / words, "bytes": byte_pieces / pieces,
            "unmarked": unmarked / words, "exact": exact / len(lines), "lines": len(lines)}


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("text")
    parser.add_argument("--vocab", action="append", default=[], metavar="NAME=VOCAB")
    parser.add_argument("--spm", action="append", default=[], metavar="NAME=MODEL")
    parser.add_argument("--categories", metavar="FILE")
    args = parser.parse_args()
    normalizer = sarfan.SarfanMSATokenizer.load_default()
    with open(args.text, encoding="utf-8") as f:
        lines = [normalizer.normalize(line) for line in f.read().splitlines()]
    groups = {"all": (1, len(lines))}
    if args.categories:
        with open(args.categories, encoding="utf-8") as f:
            for row in f.read().splitlines():
                if row.strip():
                    name, first, last = row.rsplit(maxsplit=2)
                    groups[name] = (int(first), int(last))
    counters = [(name, SarfanCounter(path)) for name, path in
                (option.split("=", 1) for option in args.vocab)]
    counters += [(name, SentencepieceCounter(path)) for name, path in
                 (option.split("=", 1) for option in args.spm)]
    print("| text | vocabulary | pieces per word | byte pieces (sentencepiece: unknown) "
          "| words with unmarked first piece | lines decoded exactly |")
    print("| --- | --- | --- | --- | --- | --- |")
    for group, (first, last) in groups.items():
        for name, counter in counters:
            m = measure(counter, lines[first - 1:last])
            print(f"| {group} ({m['lines']} lines) | {name} | {m['fertility']:.4f} | "
                  f"{m['bytes']:.2%} | {m['unmarked']:.2%} | {m['exact']:.1%} |")
    sys.stdout.flush()


if __name__ == "__main__":
    main()
