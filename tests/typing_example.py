# Checked by mypy --strict against the stubs (tests/test_typing.py); not a test module.
import sarfan


def summary(texts: list[str]) -> tuple[float, list[tuple[int, int]], str]:
    tok = sarfan.SarfanMSATokenizer.load_default()
    batches: list[list[int]] = tok.encode_batch_ids(texts)
    result: sarfan.EncodeResult = tok.encode(texts[0], normalize=False)
    words = sum(len(text.split()) for text in texts)
    fertility = sum(len(ids) - 2 for ids in batches) / max(words, 1)
    return fertility, result.offsets, tok.decode(result.ids)
