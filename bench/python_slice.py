"""One Python operation on the first megabyte of the corpus lines joined into one text,
for instruction counts under cachegrind (bench/cachegrind.sh python): MODE is load (the
default tokenizer only, to subtract), ids (encode_ids) or read (encode with ids, tokens
and offsets read).

    python bench/python_slice.py CORPUS.txt MODE
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
if sys.argv[2] == "ids":
    tok.encode_ids(text)
elif sys.argv[2] == "read":
    result = tok.encode(text)
    result.ids, result.tokens, result.offsets
