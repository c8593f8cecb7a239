"""What a learned piece may be, shared by the trainer and its checks."""
import re

MARK = "\u2581"
MAX_PIECE_CHARS = 16  # with the mark; a plain piece has one character less
SPECIALS = ("[PAD]", "[BOS]", "[EOS]", "[UNK]")
_BYTE_PIECE = re.compile(r"<0x[0-9A-F]{2}>")
# Unicode White_Space, the characters that separate words in the engine's scan.
_WHITESPACE = re.compile("[\t-\r \x85\xa0\u1680\u2000-\u200a\u2028\u2029\u202f\u205f\u3000]+")


def twin_of(piece):
    """The marked form a plain piece needs beside it, or None for a marked piece."""
    return None if piece.startswith(MARK) else MARK + piece


def is_byte_or_special(piece):
    return piece in SPECIALS or _BYTE_PIECE.fullmatch(piece) is not None


def raw_words(text):
    """The words of `text` as encoding with normalize=False sees them: the runs between
    White_Space characters."""
    return [word for word in _WHITESPACE.split(text) if word]
