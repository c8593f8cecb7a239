"""One Python operation on the first megabyte of the corpus lines joined into one text,
for instruction counts under valgrind --tool=cachegrind: MODE is load (the default
tokenizer only), ids (encode_ids) or read (encode with ids, tokens and offsets read),
done TIMES times. The counts of TIMES 2 minus those of TIMES 1 are one call's in the
steady state, when the tokenizer's shared result objects exist.

    python bench/python_slice.py CORPUS.txt MODE [TIMES]
"""
import sys

import sarfan

tok = sarfan.SarfanMSATokenizer.load_default()
text, size = [], 0
with open(sys.argv[1], encoding="utf-8") as f:
    for line in f:
        size += len(line.encode())
        if size > 1_000_000:
            break
        text.append(line.rstrip("\n"))
text = " ".join(text)
for _ in range(int(sys.argv[3]) if len(sys.argv) > 3 else 1):
    if sys.argv[2] == "ids":
        tok.encode_ids(text)
    elif sys.argv[2] == "read":
        result = tok.encode(text)
        fields = result.ids, result.tokens, result.offsets
        del result, fields
