"""`sarfan train`: a base vocabulary for greedy longest-match encoding, from running text or
word-count lists.

The words are normalized by the tokenizer itself (with --raw they are taken as written,
as encoding with normalize=False sees them); a sentencepiece unigram model proposes
pieces, which are then re-scored and exchanged by what greedy encoding with the engine
really does with them. Every vocabulary written keeps word starts lossless: each plain
learned piece has at most 15 characters and also exists with the word-start mark, and
every inventory character exists in both forms, so the longest match at a word start is
always a marked piece.
"""
import hashlib
import math
import os
import struct
import sys
import tempfile

from .atomic_output import replaced_on_success
from .vocab_rules import MARK, MAX_PIECE_CHARS, SPECIALS, is_byte_or_special, raw_words, twin_of

FIRST_LEARNED_ID = 4 + 256
ROUNDS = 8
# A whole-word piece replaces a piece only when it saves this many times the pieces the
# removed one is estimated to cost; the estimate (one more piece per use) is optimistic.
SWAP_MARGIN = 2.0
SEED_CHARS = 20_000_000


class TrainError(Exception):
    """Bad input or options: reported in one line by the command."""


# --- reading ---


def read_inventory(path):
    """Characters of an inventory file: "U+XXXX" or "U+XXXX..U+YYYY" at the start of each
    line; the rest of a line, blank lines and lines starting with "#" are notes."""
    chars = []
    try:
        with open(path, encoding="utf-8") as f:
            lines = f.read().splitlines()
    except OSError as error:
        raise TrainError(f"cannot read {path}: {error.strerror}") from None
    except UnicodeDecodeError as error:
        raise TrainError(f"{path}: not UTF-8 text ({error.reason})") from None
    for number, line in enumerate(lines, 1):
        fields = line.split()
        if not fields or fields[0].startswith("#"):
            continue
        try:
            first, _, last = fields[0].partition("..")
            low, high = int(first.removeprefix("U+"), 16), int((last or first).removeprefix("U+"), 16)
            if not (first.startswith("U+") and (not last or last.startswith("U+")) and low <= high):
                raise ValueError
        except ValueError:
            raise TrainError(f"{path} line {number}: expected U+XXXX or U+XXXX..U+YYYY") from None
        chars.extend(chr(c) for c in range(low, high + 1))
    return list(dict.fromkeys(chars))


def count_words(paths, tok, bar, raw=False, normalized_weight=0.0):
    """Words and their counts: normalized, or with `raw` as written, and then also
    normalized with their counts scaled by `normalized_weight` (at least 1) when that is
    not 0. A line whose last TAB-separated field is a whole number is a WORD<TAB>COUNT
    entry, any other line is running text."""
    counts = {}

    def add(words, weight):
        for word in words:
            if word:
                counts[word] = counts.get(word, 0) + weight

    for path in paths:
        try:
            f = open(path, "rb")
        except OSError as error:
            raise TrainError(f"cannot read {path}: {error.strerror}") from None
        with f:
            for number, raw in enumerate(f, 1):
                if bar is not None:
                    bar.update(len(raw))
                try:
                    line = raw.decode("utf-8").rstrip("\n").rstrip("\r")
                except UnicodeDecodeError as error:
                    raise TrainError(f"{path} line {number}: not UTF-8 text ({error.reason})") from None
                text, tab, count = line.rpartition("\t")
                weight = int(count) if tab and count.isascii() and count.isdigit() else None
                if weight is None:
                    text, weight = line, 1
                if raw:
                    add(raw_words(text), weight)
                if not raw or normalized_weight:
                    scaled = max(1, round(weight * normalized_weight)) if raw else weight
                    add(tok.normalize(text).split(" "), scaled)
    return counts


def derived_inventory(words, min_count):
    """The characters of the words that occur at least `min_count` times, by code point."""
    seen = {}
    for word, count in words.items():
        for c in word:
            seen[c] = seen.get(c, 0) + count
    return sorted(c for c, n in seen.items() if n >= min_count and c != MARK)


# --- pieces ---


def piece_problem(piece):
    """Why `piece` cannot be a learned piece, or None."""
    body = piece[1:] if piece.startswith(MARK) else piece
    if not body:
        return "is empty"
    if any(c.isspace() for c in piece):
        return "holds whitespace"
    if len(piece) > MAX_PIECE_CHARS or (piece == body and len(piece) > MAX_PIECE_CHARS - 1):
        return "is too long (15 characters, or 16 with the mark)"
    if is_byte_or_special(piece):
        return "spells a special or byte piece"
    return None


class Pieces:
    """The learned pieces chosen so far, closed under twins: a plain piece always comes
    with its marked form."""

    def __init__(self, required):
        self.required = set()
        self.order = {}  # piece -> None, in the order chosen
        for piece in required:
            self.required.add(piece)
            self.add(piece)
        self.required.update(twin_of(p) for p in list(self.required) if twin_of(p))

    def cost(self, piece):
        twin = twin_of(piece)
        return (piece not in self.order) + (twin is not None and twin not in self.order)

    def add(self, piece):
        self.order[piece] = None
        twin = twin_of(piece)
        if twin is not None:
            self.order[twin] = None

    def remove(self, piece):
        del self.order[piece]

    def removable(self, piece):
        """Not required, and not the marked form of a chosen plain piece."""
        return piece not in self.required and piece[1:] not in self.order

    def __len__(self):
        return len(self.order)

    def __iter__(self):
        return iter(self.order)


def train_sentencepiece(words, size, prefix):
    """A sentencepiece unigram model of `size` pieces of the words, (word, count) pairs,
    written to PREFIX.model and PREFIX.vocab. One thread, fixed order: reproducible."""
    try:
        import sentencepiece as spm
    except ImportError:
        raise TrainError("training needs sentencepiece: pip install 'sarfan[train]'") from None
    # sentencepiece expands each word by its count when it seeds its pieces, so the counts
    # are scaled down to about SEED_CHARS characters in all (rare words keep a count of 1).
    scale = min(1.0, SEED_CHARS / sum(c * (len(w) + 1) for w, c in words))
    listing = "".join(f"{w}\t{max(1, round(c * scale))}\n" for w, c in words)
    with open(prefix + ".words.tsv", "w", encoding="utf-8") as f:
        f.write(listing)
    try:
        spm.SentencePieceTrainer.train(
            input=prefix + ".words.tsv", input_format="tsv",
            model_prefix=prefix, model_type="unigram", vocab_size=size,
            character_coverage=1.0, max_sentencepiece_length=MAX_PIECE_CHARS,
            normalization_rule_name="identity", add_dummy_prefix=True,
            remove_extra_whitespaces=False, split_digits=False, byte_fallback=False,
            num_threads=1, shuffle_input_sentence=False, hard_vocab_limit=False,
            bos_id=-1, eos_id=-1, unk_id=0, minloglevel=2)
    except RuntimeError as error:
        raise TrainError(f"sentencepiece could not train on the input: {error}") from None


def propose(words, inventory, budget, workdir):
    """Pieces of a sentencepiece unigram model of the words, in its order: the candidates.
    The model is kept in `workdir` under a name given by the words and the size."""
    listing = "".join(f"{w}\t{c}\n" for w, c in words)
    key = hashlib.sha256(f"{budget}\n{listing}".encode("utf-8")).hexdigest()[:16]
    prefix = os.path.join(workdir, f"proposal-{key}")
    if not os.path.exists(prefix + ".vocab"):
        train_sentencepiece(words, budget, prefix)
    allowed = set(inventory)
    candidates = []
    with open(prefix + ".vocab", encoding="utf-8") as f:
        for line in f.read().splitlines()[1:]:  # the first line is <unk>
            piece = line.split("\t")[0]
            body = piece[1:] if piece.startswith(MARK) else piece
            if piece_problem(piece) is None and all(c in allowed for c in body) and (
                    piece != body or not piece.startswith("#")):
                candidates.append(piece)
    return candidates


# --- measuring with the engine ---


def write_vocab(path, learned):
    """`learned`: (piece, score) for ids 260 on, in id order."""
    with open(path, "w", encoding="utf-8", newline="\n") as out:
        for i, special in enumerate(SPECIALS):
            out.write(f"{special}\t{i}\t0.0\n")
        for b in range(256):
            out.write(f"<0x{b:02X}>\t{4 + b}\t0.0\n")
        for k, (piece, score) in enumerate(learned):
            out.write(f"{piece}\t{FIRST_LEARNED_ID + k}\t{score_text(score)}\n")


def greedy_usage(pieces, words, workdir, raw):
    """Encodes every word with a vocabulary of `pieces`, as encode does (with `raw`, as
    encode(..., normalize=False) does). Returns the use count of each piece, the total
    pieces and the pieces of each word."""
    import sarfan

    ordered = list(pieces)
    path = os.path.join(workdir, "round.tsv")
    write_vocab(path, [(p, -1.0 - k / len(ordered)) for k, p in enumerate(ordered)])
    tok = sarfan.SarfanMSATokenizer.from_tsv(path)
    usage = [0] * (FIRST_LEARNED_ID + len(ordered))
    per_word = []
    total = 0
    ids, rows = tok.encode_batch_ids_array([w for w, _ in words], normalize=not raw)
    for k, (_, count) in enumerate(words):
        begin, end = rows[k] + 1, rows[k + 1] - 1  # without [BOS] and [EOS]
        for i in range(begin, end):
            usage[ids[i]] += count
        per_word.append(end - begin)
        total += count * (end - begin)
    return {p: usage[FIRST_LEARNED_ID + k] for k, p in enumerate(ordered)}, total, per_word


def exchange(pieces, words, usage, per_word, budget):
    """Fills free slots with the whole words that greedy splits most, then swaps the least
    used pieces for whole words that save clearly more. Returns the pieces changed."""
    gains = []
    for (word, count), n in zip(words, per_word):
        piece = MARK + word
        if n > 1 and piece not in pieces.order and piece_problem(piece) is None:
            gains.append((count * (n - 1), piece))
    gains.sort(key=lambda g: (-g[0], g[1]))
    removals = sorted((usage[p], p) for p in pieces if pieces.removable(p))
    free = budget - len(pieces)
    k = 0
    for gain, piece in gains[:max(free, 0)]:
        pieces.add(piece)
        k += 1
    swaps = 0
    for (gain, piece), (cost, old) in zip(gains[k:], removals):
        if gain <= SWAP_MARGIN * cost:
            break
        pieces.remove(old)
        pieces.add(piece)
        swaps += 1
    return k + swaps


# --- scores and layout ---


def float32(x):
    return struct.unpack("f", struct.pack("f", x))[0]


def score_text(score):
    """The shortest decimal text that reads back to the same 32-bit float."""
    value = float32(score)
    for digits in range(1, 10):
        text = f"{value:.{digits}g}"
        if float32(float(text)) == value:
            break
    if "e" in text:
        text = f"{value:.{max(digits - int(math.floor(math.log10(abs(value)))) - 1, 1)}f}"
    if "." not in text:
        text += ".0"
    return text


def layout(ordered, scores, fixed, count):
    """Places the fixed pieces at their ids and the others in `ordered` order; a fixed
    piece's score is clamped between its neighbours so scores never increase."""
    slots = [None] * count
    for id_, piece in fixed.items():
        slots[id_ - FIRST_LEARNED_ID] = piece
    rest = iter(p for p in ordered if p not in fixed.values())
    for k in range(count):
        if slots[k] is None:
            slots[k] = next(rest)
    values = [float32(scores[p]) for p in slots]
    fixed_slots = {id_ - FIRST_LEARNED_ID for id_ in fixed}
    for k in sorted(fixed_slots):
        upper = values[k - 1] if k > 0 else values[k]
        lower = next((values[j] for j in range(k + 1, count) if j not in fixed_slots), values[k])
        values[k] = min(upper, max(lower, values[k]))
    return list(zip(slots, values))


# --- the command ---


def parse_fixed(options, size):
    fixed = {}
    for option in options:
        id_text, sep, piece = option.partition("=")
        if not sep or not id_text.isdigit() or not piece:
            raise TrainError(f"--fixed wants ID=PIECE, got {option!r}")
        id_ = int(id_text)
        if not FIRST_LEARNED_ID <= id_ < size:
            raise TrainError(f"--fixed id {id_} is outside the learned ids {FIRST_LEARNED_ID}..{size - 1}")
        if id_ in fixed or piece in fixed.values():
            raise TrainError(f"--fixed {option!r} repeats an id or a piece")
        fixed[id_] = piece
    return fixed


def required_pieces(inventory, keep, fixed, encoded_form):
    """Every inventory character in both forms (a plain piece starting with "#" cannot be
    written, except at a fixed id where it stays a gap), the word-start mark alone, the
    kept pieces in the form that encoding sees (`encoded_form`) and the fixed pieces."""
    required = [MARK]
    for c in inventory:
        required += [MARK + c] if c == "#" else [c, MARK + c]
    for piece in keep:
        normalized = (MARK + encoded_form(piece[1:]) if piece.startswith(MARK)
                      else encoded_form(piece))
        problem = piece_problem(normalized) or ("cannot be written (a line starting with "
                                                "\"#\" is a comment)" if normalized.startswith("#") else None)
        if problem:
            raise TrainError(f"--keep {piece!r} {problem}")
        required.append(normalized)
    for piece in fixed.values():
        if piece != MARK and piece_problem(piece):
            raise TrainError(f"--fixed {piece!r} {piece_problem(piece)}")
        required.append(piece)
    return list(dict.fromkeys(required))


def train(args, bar_factory, log):
    """Returns the learned (piece, score) rows in id order and a summary line."""
    import sarfan

    if args.also_normalized and not args.raw:
        raise TrainError("--also-normalized goes with --raw")
    if args.also_normalized < 0:
        raise TrainError("--also-normalized wants a weight of 0 or more")
    if args.size <= FIRST_LEARNED_ID:
        raise TrainError(f"--size must exceed the {FIRST_LEARNED_ID} specials and byte pieces")
    fixed = parse_fixed(args.fixed, args.size)
    with tempfile.TemporaryDirectory() as scratch:
        workdir = args.workdir or scratch
        os.makedirs(workdir, exist_ok=True)
        base = os.path.join(workdir, "base.tsv")
        write_vocab(base, [])
        tok = sarfan.SarfanMSATokenizer.from_tsv(base)

        total_bytes = 0
        for path in args.input:
            try:
                total_bytes += os.path.getsize(path)
            except OSError as error:
                raise TrainError(f"cannot read {path}: {error.strerror}") from None
        bar = bar_factory(total_bytes, "B")
        try:
            counts = count_words(args.input, tok, bar, args.raw, args.also_normalized)
        finally:
            if bar is not None:
                bar.close()
        if not counts:
            raise TrainError("the input holds no words")
        inventory = (read_inventory(args.inventory) if args.inventory
                     else derived_inventory(counts, args.min_char_count))
        encoded_form = (lambda text: text) if args.raw else tok.normalize
        keep = list(args.keep)
        for piece in keep:
            body = piece[1:] if piece.startswith(MARK) else piece
            inventory += [c for c in encoded_form(body) if c not in inventory and not c.isspace()]
        inventory = list(dict.fromkeys(inventory))
        allowed = set(inventory)
        words = sorted(((w, c) for w, c in counts.items() if all(ch in allowed for ch in w)),
                       key=lambda item: (-item[1], item[0]))
        if not words:
            raise TrainError("no word of the input is made of inventory characters")

        required = required_pieces(inventory, keep, fixed, encoded_form)
        pieces = Pieces(required)
        budget = args.size - FIRST_LEARNED_ID
        if len(pieces) > budget:
            raise TrainError(f"--size {args.size} is too small: the specials, byte pieces and "
                             f"required pieces (inventory in both forms, kept, fixed) need "
                             f"{FIRST_LEARNED_ID + len(pieces)}")
        log(f"{len(words)} distinct words, {len(inventory)} inventory characters, "
            f"{len(pieces)} required pieces")
        for piece in propose(words, inventory, budget, workdir):
            cost = pieces.cost(piece)
            if len(pieces) + cost <= budget:
                pieces.add(piece)
            if len(pieces) == budget:
                break

        word_total = sum(c for _, c in words)
        bar = bar_factory(ROUNDS + 1, "round")
        try:
            for round_ in range(ROUNDS + 1):
                usage, total, per_word = greedy_usage(pieces, words, workdir, args.raw)
                changed = exchange(pieces, words, usage, per_word, budget) if round_ < ROUNDS else 0
                log(f"round {round_}: {total / word_total:.4f} pieces per word, "
                    f"{changed} pieces changed")
                if bar is not None:
                    bar.update(1)
                if round_ < ROUNDS and changed == 0:
                    break
        finally:
            if bar is not None:
                bar.close()

    floor = math.log(0.5 / total)
    scores = {p: math.log(usage[p] / total) if usage[p] else floor for p in pieces}
    ordered = sorted(pieces, key=lambda p: (-float32(scores[p]), p))
    rows = layout(ordered, scores, fixed, len(ordered))
    summary = (f"{FIRST_LEARNED_ID + len(rows)} pieces, {total / word_total:.4f} pieces per word "
               f"on {len(words)} distinct words of the input")
    return rows, summary


def command_train(args, out, bar_factory, usage_error):
    log = (lambda text: print(text, file=sys.stderr)) if args.verbose else (lambda text: None)
    try:
        # The temporary is made first: an output that cannot be written fails at once.
        with replaced_on_success(args.output) as (temporary,):
            rows, summary = train(args, bar_factory, log)
            write_vocab(temporary, rows)
    except TrainError as error:
        raise usage_error(str(error)) from None
    except OSError as error:
        target = error.filename or args.output
        raise usage_error(f"cannot write {target}: {error.strerror}") from None
    out.write(f"{summary}; written to {args.output}\n")


def add_parser(commands, run):
    p = commands.add_parser(
        "train", help="train a base vocabulary from UTF-8 text lines or WORD<TAB>COUNT lists",
        fromfile_prefix_chars="@")
    p.add_argument("input", nargs="+", metavar="INPUT",
                   help="UTF-8 files: running text, or WORD<TAB>COUNT lines (@FILE reads options)")
    p.add_argument("--size", type=int, required=True, metavar="N", help="vocabulary size with the "
                   "4 specials and 256 byte pieces")
    p.add_argument("-o", "--output", required=True, metavar="VOCAB.tsv")
    p.add_argument("--keep", nargs="+", action="extend", default=[], metavar="PIECE",
                   help="pieces that must exist (a plain piece gets its marked twin too)")
    p.add_argument("--fixed", action="append", default=[], metavar="ID=PIECE",
                   help="place a piece at an id (repeatable)")
    p.add_argument("--inventory", metavar="FILE", help="the characters that are pieces (lines "
                   "of U+XXXX or U+XXXX..U+YYYY), instead of the input's own")
    p.add_argument("--min-char-count", type=int, default=1, metavar="N",
                   help="without --inventory: characters seen at least N times (default 1)")
    p.add_argument("--raw", action="store_true", help="learn pieces of the text as written, "
                   "for encoding with normalize=False (words split at whitespace only)")
    p.add_argument("--also-normalized", type=float, nargs="?", const=1.0, default=0.0,
                   metavar="WEIGHT", help="with --raw: also count each word normalized, its "
                   "count times WEIGHT (default 1), so that one vocabulary serves both modes")
    p.add_argument("--workdir", metavar="DIR", help="keep intermediate files here; the proposal "
                   "is reused when the input and size are the same")
    p.add_argument("-v", "--verbose", action="store_true", help="report each round on stderr")
    p.set_defaults(run=run)
