"""What a learned piece may be, shared by the trainer and its checks."""
import re

MARK = "\u2581"
MAX_PIECE_CHARS = 16  # with the mark; a plain piece has one character less
SPECIALS = ("[PAD]", "[BOS]", "[EOS]", "[UNK]")
_BYTE_PIECE = re.compile(r"<0x[0-9A-F]{2}>")


def twin_of(piece):
    """The marked form a plain piece needs beside it, or None for a marked piece."""
    return None if piece.startswith(MARK) else MARK + piece


def is_byte_or_special(piece):
    return piece in SPECIALS or _BYTE_PIECE.fullmatch(piece) is not None
