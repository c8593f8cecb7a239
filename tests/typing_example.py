# Checked by mypy --strict and pyright against the installed stubs (tools/check_typing.sh,
# tests/test_typing.py); not a test module.
from array import array

import sarfan


def summary(texts: list[str]) -> tuple[float, list[tuple[int, int]], str]:
    tok = sarfan.SarfanMSATokenizer.load_default()
    batches: list[list[int]] = tok.encode_batch_ids(texts)
    result: sarfan.EncodeResult = tok.encode(texts[0], normalize=False)
    words = sum(len(text.split()) for text in texts)
    fertility = sum(len(ids) - 2 for ids in batches) / max(words, 1)
    return fertility, result.offsets, tok.decode(result.ids)


def rows(texts: list[str]) -> list[list[int]]:
    tok = sarfan.SarfanMSATokenizer.load_embedded()
    ids: array[int]
    offsets: array[int]
    ids, offsets = tok.encode_batch_ids_array(texts)
    piece: str | None = tok.id_to_token(ids[0])
    found: int | None = tok.token_to_id(piece or "")
    vocab: dict[str, int] = tok.get_vocab("egy")
    threads: int = sarfan.SarfanMSATokenizer.batch_threads()
    del found, vocab, threads
    return [list(ids[offsets[i]:offsets[i + 1]]) for i in range(len(offsets) - 1)]


def input_spans(texts: list[str]) -> list[str]:
    tok = sarfan.SarfanMSATokenizer.load_embedded()
    ids, spans = tok.encode_ids_and_input_offsets(texts[0], normalize=True)
    rows: list[tuple[list[int], list[tuple[int, int]]]] = tok.encode_batch_ids_and_input_offsets(texts)
    del ids, rows
    return [texts[0][start:end] for start, end in spans]
