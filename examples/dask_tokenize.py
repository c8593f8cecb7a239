"""Tokenizing a corpus larger than one machine with Dask.

Each worker process loads its own tokenizer once (tokenizers are not picklable, and
loading takes about 20 ms) and encodes whole files with the batch methods; only file names
go to the workers and only ids come back (or, for corpora too large to collect, are written
next to the input by the workers themselves).

    python examples/dask_tokenize.py SCHEDULER_ADDRESS FILE...

`tokenize_files(client, paths)` returns, per file, the list of id lists of its lines, in
order.
"""
import functools
import json
import sys


@functools.lru_cache(maxsize=None)
def worker_tokenizer(vocab=None):
    """The tokenizer of this worker process, loaded on first use."""
    import sarfan

    if vocab:
        return sarfan.SarfanMSATokenizer.from_pretrained(vocab)
    return sarfan.SarfanMSATokenizer.load_default()


def encode_file(path, vocab=None, chunk_lines=4096):
    tok = worker_tokenizer(vocab)
    ids = []
    with open(path, encoding="utf-8") as f:
        chunk = []
        for line in f:
            chunk.append(line.rstrip("\n"))
            if len(chunk) == chunk_lines:
                ids.extend(tok.encode_batch_ids(chunk))
                chunk = []
        if chunk:
            ids.extend(tok.encode_batch_ids(chunk))
    return ids


def encode_file_to_jsonl(path, vocab=None):
    """Writes PATH.ids.jsonl beside the input on the worker; returns the line count."""
    ids = encode_file(path, vocab)
    with open(path + ".ids.jsonl", "w", encoding="utf-8") as out:
        for row in ids:
            out.write(json.dumps(row) + "\n")
    return len(ids)


def tokenize_files(client, paths, vocab=None):
    futures = client.map(encode_file, paths, vocab=vocab, pure=False)
    return client.gather(futures)


if __name__ == "__main__":
    from dask.distributed import Client

    with Client(sys.argv[1]) as client:
        counts = client.gather(client.map(encode_file_to_jsonl, sys.argv[2:], pure=False))
        for path, count in zip(sys.argv[2:], counts):
            print(f"{path}: {count} lines -> {path}.ids.jsonl")
