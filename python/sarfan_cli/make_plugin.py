"""Dialect plugins from word-frequency lists: the words the base vocabulary splits most,
weighted by how often they occur, become whole-word pieces of their own."""
import math

from .vocab_rules import MARK


def make_plugin(tok, words, size, max_chars=16, raw=False):
    """Plugin rows (piece, id, score) for `words`, a list of (word, count): at most `size`
    pieces "▁word" the base lacks, ranked by the pieces they save, count * (base pieces -
    1), with ids from the base's vocab_size on and log-frequency scores. Pieces are kept
    in the normalized form the tokenizer encodes (with `raw`, as written, for encoding with
    normalize=False), and within `max_chars` characters (the segmentation never matches
    longer plugin pieces than the base's longest)."""
    gains = {}
    counts = {}
    for word, count in words:
        if count <= 0 or any(c.isspace() for c in word):
            continue
        ids = tok.encode_ids(word, normalize=not raw)
        text = word if raw else tok.decode(ids).strip()
        if not text or any(c.isspace() for c in text):
            continue
        piece = MARK + text
        if len(piece) > max_chars:
            continue
        counts[piece] = counts.get(piece, 0) + count
        saved = len(ids) - 3  # pieces beyond one, without [BOS] and [EOS]
        if saved > 0:
            gains[piece] = gains.get(piece, 0) + count * saved
    ranked = sorted(gains, key=lambda piece: (-gains[piece], piece))[:size]
    total = sum(counts[piece] for piece in ranked) or 1
    return [(piece, tok.vocab_size + k, math.log(counts[piece] / total))
            for k, piece in enumerate(ranked)]
