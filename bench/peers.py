"""The tokenizers sarfan is compared with, each given a 64,000-piece vocabulary made for
the same data, built once into a work directory and reused from there:

- Hugging Face `tokenizers`: WordPiece over sarfan's own pieces (greedy longest match,
  "▁x" becoming the word-initial "x" and "x" the continuation "##x"), Unigram over
  sarfan's pieces and scores, and a byte-level BPE of 64,000 tokens trained on the words
  the default vocabulary was trained on (wordfreq's Arabic list, repeated by frequency);
- `sentencepiece`: a unigram model trained as the default vocabulary's proposal is;
- `tiktoken`: an `Encoding` made from the ranks of that BPE.

Every peer is a small object with `load()` (returns the tokenizer), `encode(tok, text)`,
`encode_batch(tok, texts)` (the peer's own batch call, all cores) and `name`.
"""
import base64
import json
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
sys.path.insert(0, os.path.join(ROOT, "python"))

from sarfan_cli.train import train_sentencepiece  # noqa: E402
from sarfan_cli.vocab_rules import MARK  # noqa: E402

VOCAB_SIZE = 64000
COUNT_SCALE = 1e9  # wordfreq frequencies as whole counts, as tools/export_wordfreq.py makes them
DEFAULT_TSV = os.path.join(ROOT, "python", "src", "lib", "data", "sarfan-msa-64k.tsv")
SPECIALS = ["[PAD]", "[BOS]", "[EOS]", "[UNK]"]
THREADS = os.cpu_count() or 1
# The regular expression GPT-2's byte-level pre-tokenizer splits with, which the trained
# BPE uses; tiktoken is given the same one.
GPT2_SPLIT = r"""'s|'t|'re|'ve|'m|'ll|'d| ?\p{L}+| ?\p{N}+| ?[^\s\p{L}\p{N}]+|\s+(?!\S)|\s+"""


def default_pieces():
    """(piece, id, score) of the default vocabulary, in id order."""
    rows = []
    with open(DEFAULT_TSV, encoding="utf-8") as f:
        for line in f:
            piece, id_, score = line.rstrip("\n").split("\t")
            rows.append((piece, int(id_), float(score)))
    return rows


def training_words():
    """wordfreq 3.1.1's Arabic "large" list, normalized by the module, as (word, count), most
    frequent first: what the default vocabulary was trained on."""
    import sarfan
    import wordfreq

    tok = sarfan.SarfanMSATokenizer.load_default()
    counts = {}
    for word, frequency in wordfreq.get_frequency_dict("ar", "large").items():
        for part in tok.normalize(word).split(" "):
            if part:
                counts[part] = counts.get(part, 0) + max(1, round(frequency * COUNT_SCALE))
    return sorted(counts.items(), key=lambda item: (-item[1], item[0]))


def training_text(words, total=6_000_000):
    """The training words as text, each repeated in proportion to its count (at least
    once), about `total` words in all."""
    scale = total / sum(count for _, count in words)
    for word, count in words:
        yield " ".join([word] * max(1, round(count * scale)))


def bytes_of_byte_level(token):
    """The bytes behind a token of the byte-level alphabet (GPT-2's byte-to-character map)."""
    printable = list(range(ord("!"), ord("~") + 1)) + list(range(0xA1, 0xAD)) + list(range(0xAE, 0x100))
    mapping = {}
    extra = 0
    for b in range(256):
        if b in printable:
            mapping[chr(b)] = b
        else:
            mapping[chr(256 + extra)] = b
            extra += 1
    return bytes(mapping[c] for c in token)


def build(work, build_dir):
    """Makes every peer's files under `work` (skipping those present); returns their paths."""
    from tokenizers import Tokenizer, decoders, models, normalizers, pre_tokenizers, trainers

    os.makedirs(work, exist_ok=True)
    paths = {name: os.path.join(work, file) for name, file in [
        ("wordpiece", "hf-wordpiece.json"), ("unigram", "hf-unigram.json"),
        ("bpe", "hf-bpe.json"), ("spm", f"spm{VOCAB_SIZE}.model"), ("tiktoken", "bpe.tiktoken")]}
    rows = default_pieces()
    words = None

    if not os.path.exists(paths["wordpiece"]):
        vocab = {}
        for piece, id_, _ in rows:
            if piece in SPECIALS:
                vocab[piece] = id_
            elif piece.startswith("<0x"):
                continue  # WordPiece has no byte fallback: an unknown word becomes [UNK]
            elif piece.startswith(MARK):
                if len(piece) > 1:
                    vocab.setdefault(piece[1:], id_)
            else:
                vocab.setdefault("##" + piece, id_)
        tok = Tokenizer(models.WordPiece(vocab=vocab, unk_token="[UNK]", max_input_chars_per_word=100))
        tok.normalizer = normalizers.NFC()
        tok.pre_tokenizer = pre_tokenizers.WhitespaceSplit()
        tok.save(paths["wordpiece"])

    if not os.path.exists(paths["unigram"]):
        by_id = {id_: (piece, score) for piece, id_, score in rows}
        # The default vocabulary leaves one id free; Unigram wants them all, so a piece
        # no text can produce fills it.
        pieces = [by_id.get(i, (f"[UNUSED{i}]", -100.0)) for i in range(VOCAB_SIZE)]
        tok = Tokenizer(models.Unigram(pieces, unk_id=3, byte_fallback=True))
        tok.normalizer = normalizers.NFC()
        tok.pre_tokenizer = pre_tokenizers.Metaspace(replacement=MARK, prepend_scheme="always")
        tok.decoder = decoders.Metaspace(replacement=MARK, prepend_scheme="always")
        tok.save(paths["unigram"])

    if not os.path.exists(paths["spm"]) or not os.path.exists(paths["bpe"]):
        words = training_words()
    if not os.path.exists(paths["spm"]):
        train_sentencepiece(words, VOCAB_SIZE, paths["spm"].removesuffix(".model"))

    if not os.path.exists(paths["bpe"]):
        tok = Tokenizer(models.BPE())
        tok.normalizer = normalizers.NFC()
        tok.pre_tokenizer = pre_tokenizers.ByteLevel(add_prefix_space=True)
        tok.decoder = decoders.ByteLevel()
        trainer = trainers.BpeTrainer(vocab_size=VOCAB_SIZE, min_frequency=2, show_progress=False,
                                      initial_alphabet=pre_tokenizers.ByteLevel.alphabet())
        tok.train_from_iterator(training_text(words), trainer=trainer)
        tok.save(paths["bpe"])

    if not os.path.exists(paths["tiktoken"]):
        vocab = json.load(open(paths["bpe"], encoding="utf-8"))["model"]["vocab"]
        with open(paths["tiktoken"], "w", encoding="ascii") as out:
            # Ranks: merges in the order they were learned, after the 256 single bytes.
            for token, rank in sorted(vocab.items(), key=lambda item: item[1]):
                out.write(f"{base64.b64encode(bytes_of_byte_level(token)).decode()} {rank}\n")
    return paths


class Sarfan:
    name = "sarfan"

    def load(self):
        import sarfan
        return sarfan.SarfanMSATokenizer.load_default()

    def encode(self, tok, text):
        return tok.encode_ids(text)

    def encode_batch(self, tok, texts):
        return tok.encode_batch_ids(texts)

    def pieces(self, ids):
        return len(ids) - 2  # without [BOS] and [EOS]


class HuggingFace:
    def __init__(self, name, path):
        self.name, self.path = name, path

    def load(self):
        from tokenizers import Tokenizer
        return Tokenizer.from_file(self.path)

    def encode(self, tok, text):
        return tok.encode(text, add_special_tokens=False).ids

    def encode_batch(self, tok, texts):
        return [e.ids for e in tok.encode_batch(texts, add_special_tokens=False)]

    def pieces(self, ids):
        return len(ids)


class SentencePiece:
    name = "sentencepiece unigram"

    def __init__(self, path):
        self.path = path

    def load(self):
        import sentencepiece
        return sentencepiece.SentencePieceProcessor(model_file=self.path)

    def encode(self, tok, text):
        return tok.encode(text)

    def encode_batch(self, tok, texts):
        return tok.encode(texts, num_threads=THREADS)

    def pieces(self, ids):
        return len(ids)


class Tiktoken:
    name = "tiktoken (BPE ranks)"

    def __init__(self, path):
        self.path = path

    def load(self):
        import tiktoken
        ranks = {}
        with open(self.path, "rb") as f:
            for line in f:
                token, rank = line.split()
                ranks[base64.b64decode(token)] = int(rank)
        return tiktoken.Encoding("sarfan-compare-bpe", pat_str=GPT2_SPLIT, mergeable_ranks=ranks,
                                 special_tokens={})

    def encode(self, tok, text):
        return tok.encode_ordinary(text)

    def encode_batch(self, tok, texts):
        return tok.encode_ordinary_batch(texts, num_threads=THREADS)

    def pieces(self, ids):
        return len(ids)


def all_peers(paths):
    return [
        Sarfan(),
        HuggingFace("HF WordPiece (sarfan pieces)", paths["wordpiece"]),
        HuggingFace("HF Unigram (sarfan pieces)", paths["unigram"]),
        HuggingFace("HF BPE (trained)", paths["bpe"]),
        SentencePiece(paths["spm"]),
        Tiktoken(paths["tiktoken"]),
    ]
