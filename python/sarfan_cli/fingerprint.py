"""The fingerprint of a base vocabulary: the start of the SHA-256 of its pieces and ids, as
the loaded tokenizer holds them. Models that share a name are told apart by it, whatever
the vocabulary was loaded from (the embedded text, a file, the Hub); scores and comment
lines, which encoding never reads, do not count."""
import hashlib

DIGITS = 16


def vocab_fingerprint(tok):
    """Hex digits of SHA-256 over "ID<TAB>PIECE<LF>" for every base piece, by id."""
    digest = hashlib.sha256()
    for piece, id_ in sorted(tok.get_vocab().items(), key=lambda item: item[1]):
        digest.update(f"{id_}\t{piece}\n".encode())
    return digest.hexdigest()[:DIGITS]
