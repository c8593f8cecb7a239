"""The Python-level figures that bench/compare_builds.py sets against another build's, as
one JSON object of MB/s (and milliseconds for the load), each the best of a few runs.

    python bench/python_figures.py CORPUS.txt

The long text is the first tenth of the corpus lines joined by spaces (about 1 MB), as in
bench/python_bench.py. The batch figure uses the pool size of SARFAN_NUM_THREADS.
"""
import json
import sys

import sarfan
from python_bench import best, corpus_texts


def main():
    tok = sarfan.SarfanMSATokenizer.load_default()
    lines, megabytes, long_text, long_mb = corpus_texts(sys.argv[1])

    def encode_and_read():
        result = tok.encode(long_text)
        return result.ids, result.tokens, result.offsets

    encoded = [tok.encode_ids(line) for line in lines[: len(lines) // 10]]
    figures = {
        "py_long_encode_ids_MBps": long_mb / best(lambda: tok.encode_ids(long_text), 3),
        "py_long_encode_read_MBps": long_mb / best(encode_and_read, 3),
        "py_lines_encode_ids_MBps": megabytes / best(lambda: [tok.encode_ids(l) for l in lines], 2),
        "py_lines_encode_read_MBps": megabytes
        / best(lambda: [(r.ids, r.tokens, r.offsets) for r in map(tok.encode, lines)], 2),
        "py_batch_ids_MBps": megabytes / best(lambda: tok.encode_batch_ids(lines), 2),
        "py_decode_batch_MBps": long_mb / best(lambda: tok.decode_batch(encoded), 3),
        "py_load_default_ms": 1e3 * best(sarfan.SarfanMSATokenizer.load_default),
    }
    print(json.dumps(figures))


if __name__ == "__main__":
    main()
