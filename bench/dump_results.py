"""Writes what the module returns for every line of a text, for comparing two builds.

    python bench/dump_results.py CORPUS.txt OUT.bin

Per line, as little-endian 32-bit words: the number of steps, then the ids and the
(start, end) offsets of `encode`, then the ids of `encode_ids(normalize=False)`, which
must equal those of `encode(normalize=False)`; `encode_ids` must also equal the ids of
`encode`. Prints the SHA-256 of the dump.
"""
import array
import hashlib
import sys

import sarfan


def main():
    tok = sarfan.SarfanMSATokenizer.load_default()
    digest = hashlib.sha256()
    with open(sys.argv[1], encoding="utf-8") as text, open(sys.argv[2], "wb") as out:
        for line in text:
            line = line.rstrip("\n")
            result = tok.encode(line)
            if tok.encode_ids(line) != result.ids:
                sys.exit(f"encode_ids and encode disagree (normalized) on: {line!r}")
            raw_ids = tok.encode_ids(line, normalize=False)
            if raw_ids != tok.encode(line, normalize=False).ids:
                sys.exit(f"encode_ids and encode disagree (unnormalized) on: {line!r}")
            words = array.array("I", [len(result.ids)])
            words.extend(result.ids)
            for start, end in result.offsets:
                words.append(start)
                words.append(end)
            words.append(len(raw_ids))
            words.extend(raw_ids)
            chunk = words.tobytes()
            digest.update(chunk)
            out.write(chunk)
    print(digest.hexdigest())


if __name__ == "__main__":
    main()
