#!/usr/bin/env python3
"""Trains sarfan's embedded default vocabulary (64,000 pieces of Modern Standard Arabic).

Source: the Arabic "large" word list of wordfreq 3.1.1 (data under CC BY-SA 4.0).
The words are normalized by the core's own normalizer (tools/normalize_lines.cc), so the
pieces are learned on the text that encoding sees; words holding characters outside the
piece inventory are dropped. A sentencepiece unigram model trained on the weighted word
list proposes the pieces; they are then re-scored and pruned for greedy longest-match
encoding, measured with the engine itself (tools/greedy_counts.cc).

Everything is deterministic: fixed inputs, one training thread, sorted tie-breaks, so two
runs give the same bytes.

    python tools/train_default_vocab.py --build build/release --out VOCAB.tsv [--report R.md]
"""

import argparse
import math
import os
import struct
import subprocess
import sys
import tempfile

import sentencepiece as spm
import wordfreq

MARK = "\u2581"
VOCAB_SIZE = 64000
FIRST_LEARNED_ID = 260
LEARNED = VOCAB_SIZE - FIRST_LEARNED_ID  # 63,740
MAX_PIECE_CHARS = 16
COUNT_SCALE = 1e9  # wordfreq frequencies become integer counts

ARABIC_LETTERS = (
    [0x0621, 0x0624, 0x0626, 0x0627, 0x0628]
    + list(range(0x062A, 0x063B))
    + list(range(0x0641, 0x0649))
    + [0x064A]
)
ARABIC_PUNCTUATION = [0x060C, 0x061B, 0x061F]
ASCII_MARKS = '!"#%(),-./:=|'
OTHER_MARKS = [0x00AB, 0x00BB, 0x2013, 0x2014, 0x2026]
DIGITS = [chr(c) for c in range(0x30, 0x3A)] + [chr(c) for c in range(0x0660, 0x066A)]

PUNCTUATION = [chr(c) for c in ARABIC_PUNCTUATION] + list(ASCII_MARKS) + [chr(c) for c in OTHER_MARKS]
INVENTORY = set(chr(c) for c in ARABIC_LETTERS) | set(PUNCTUATION) | set(DIGITS)

# Pieces at fixed ids, so that documented examples hold for this model.
FIXED = {263: MARK, 264: MARK + "في", 541: MARK + "الكتاب", 13699: "#"}
# Pieces that must exist whatever training finds.
REQUIRED = (
    sorted(INVENTORY)
    + [MARK + c for c in PUNCTUATION + DIGITS]
    + list(FIXED.values())
    + [MARK + "ال", "كتاب"]
)


def run(cmd, stdin_text):
    result = subprocess.run(cmd, input=stdin_text.encode("utf-8"), capture_output=True, check=True)
    return result.stdout.decode("utf-8")


def load_words(build_dir):
    """Normalized words with integer counts, sorted by count (descending) then text."""
    frequencies = wordfreq.get_frequency_dict("ar", "large")
    raw = list(frequencies.items())
    normalized = run([os.path.join(build_dir, "tools", "sarfan_normalize_lines")],
                     "".join(word + "\n" for word, _ in raw)).split("\n")[:-1]
    assert len(normalized) == len(raw)
    counts = {}
    dropped = 0
    for (word, frequency), norm in zip(raw, normalized):
        count = max(1, round(frequency * COUNT_SCALE))
        if not norm or any(c not in INVENTORY for c in norm):
            dropped += 1
            continue
        counts[norm] = counts.get(norm, 0) + count
    words = sorted(counts.items(), key=lambda item: (-item[1], item[0]))
    return words, len(raw), dropped


def train_sentencepiece(words, workdir, vocab_size):
    tsv = os.path.join(workdir, "words.tsv")
    with open(tsv, "w", encoding="utf-8") as out:
        for word, count in words:
            out.write(f"{word}\t{count}\n")
    prefix = os.path.join(workdir, f"spm{vocab_size}")
    spm.SentencePieceTrainer.train(
        input=tsv, input_format="tsv", model_prefix=prefix, model_type="unigram",
        vocab_size=vocab_size, character_coverage=1.0, max_sentencepiece_length=MAX_PIECE_CHARS,
        normalization_rule_name="identity", add_dummy_prefix=True, remove_extra_whitespaces=False,
        split_digits=False, byte_fallback=False, num_threads=1, shuffle_input_sentence=False,
        bos_id=-1, eos_id=-1, unk_id=0, hard_vocab_limit=True, minloglevel=2)
    return prefix + ".model"


def float32(x):
    return struct.unpack("f", struct.pack("f", x))[0]


def score_text(score):
    """The shortest decimal text that reads back to the same float32 (9 digits at most)."""
    value = float32(score)
    for digits in range(1, 10):
        text = f"{value:.{digits}g}"
        if float32(float(text)) == value:
            break
    if "." not in text:
        text += ".0"
    assert "e" not in text and float32(float(text)) == value, text
    return text


def is_usable(piece):
    if piece == MARK or not piece or len(piece) > MAX_PIECE_CHARS:
        return False
    body = piece[1:] if piece.startswith(MARK) else piece
    return bool(body) and all(c in INVENTORY for c in body)


def write_vocab(path, learned):
    """`learned`: list of (piece, score) for ids 260.., in id order."""
    with open(path, "w", encoding="utf-8", newline="\n") as out:
        for i, special in enumerate(["[PAD]", "[BOS]", "[EOS]", "[UNK]"]):
            out.write(f"{special}\t{i}\t0.0\n")
        for b in range(256):
            out.write(f"<0x{b:02X}>\t{4 + b}\t0.0\n")
        for k, (piece, score) in enumerate(learned):
            out.write(f"{piece}\t{FIRST_LEARNED_ID + k}\t{score_text(score)}\n")


def layout(pieces_by_rank, scores):
    """Places the fixed pieces at their ids and the others by rank; scores stay
    non-increasing (a fixed piece is clamped between its neighbours)."""
    others = [p for p in pieces_by_rank if p not in FIXED.values()]
    slots = [None] * LEARNED
    for id_, piece in FIXED.items():
        slots[id_ - FIRST_LEARNED_ID] = piece
    it = iter(others)
    for k in range(LEARNED):
        if slots[k] is None:
            slots[k] = next(it)
    values = [float32(scores[p]) for p in slots]
    fixed_slots = {id_ - FIRST_LEARNED_ID for id_ in FIXED}
    for k in sorted(fixed_slots):
        upper = values[k - 1] if k > 0 else values[k]
        lower = next((values[j] for j in range(k + 1, LEARNED) if j not in fixed_slots), values[k])
        values[k] = min(upper, max(lower, values[k]))
    for k in range(1, LEARNED):
        assert values[k] <= values[k - 1], (k, slots[k], values[k], values[k - 1])
    return list(zip(slots, values))


def greedy_counts(build_dir, vocab_path, words_text):
    out = run([os.path.join(build_dir, "tools", "sarfan_greedy_counts"), vocab_path], words_text)
    lines = out.split("\n")
    total_words, total_pieces, fallback_words = map(int, lines[0].split("\t"))
    counts = {}
    for line in lines[1:]:
        if line:
            id_, count = line.split("\t")
            counts[int(id_)] = int(count)
    return total_words, total_pieces, fallback_words, counts


def sentencepiece_fertility(model_path, words):
    processor = spm.SentencePieceProcessor(model_file=model_path)
    total_words = total_pieces = 0
    batch = [w for w, _ in words]
    encoded = processor.encode(batch)
    for (word, count), ids in zip(words, encoded):
        total_words += count
        total_pieces += count * len(ids)
    return total_pieces / total_words


def word_gain_candidates(words, counts_by_word, known, limit):
    """Whole words (as "▁" + word) that greedy encodes in several pieces, by the pieces
    they would save: count x (pieces - 1)."""
    scored = []
    for word, count in words:
        piece = MARK + word
        pieces = counts_by_word.get(word, 1)
        if pieces > 1 and len(piece) <= MAX_PIECE_CHARS and piece not in known:
            scored.append((-(count * (pieces - 1)), piece))
    scored.sort()
    return [piece for _, piece in scored[:limit]]


def greedy_pieces_per_word(build_dir, vocab_path, words):
    """Greedy piece count of every word (unweighted), through the engine."""
    text = "".join(f"{w}\t1\n" for w, _ in words)
    out = run([os.path.join(build_dir, "tools", "sarfan_greedy_counts"), "--per-word", vocab_path], text)
    return {w: int(n) for (w, _), n in zip(words, out.split("\n")[:-1])}


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--build", required=True, help="CMake build directory with the tools")
    parser.add_argument("--out", required=True, help="vocabulary TSV to write")
    parser.add_argument("--report", help="Markdown report to write")
    parser.add_argument("--rounds", type=int, default=8, help="greedy refinement rounds")
    parser.add_argument("--workdir", help="keep the word list and the sentencepiece model here "
                        "(reused when present, to iterate on the later steps)")
    args = parser.parse_args()

    words, raw_count, dropped = load_words(args.build)
    words_text = "".join(f"{w}\t{c}\n" for w, c in words)
    with tempfile.TemporaryDirectory() as tmp:
        workdir = args.workdir or tmp
        os.makedirs(workdir, exist_ok=True)
        model = os.path.join(workdir, f"spm{VOCAB_SIZE}.model")
        if not os.path.exists(model):
            model = train_sentencepiece(words, workdir, VOCAB_SIZE)
        processor = spm.SentencePieceProcessor(model_file=model)
        candidates = []  # (piece, spm score) in spm order
        for i in range(processor.get_piece_size()):
            piece = processor.id_to_piece(i)
            if not processor.is_unknown(i) and is_usable(piece):
                candidates.append((piece, processor.get_score(i)))
        spm_rank = {p: k for k, (p, _) in enumerate(candidates)}
        required = list(dict.fromkeys(REQUIRED))
        required_set = set(required)
        pool = [p for p, _ in candidates if p not in required_set]
        chosen = required + pool[: LEARNED - len(required)]
        rank = lambda p: (spm_rank.get(p, len(spm_rank)), p)

        vocab_path = os.path.join(workdir, "vocab.tsv")
        for round_ in range(args.rounds + 1):
            provisional = {p: -float(k + 1) for k, p in enumerate(sorted(chosen, key=rank))}
            write_vocab(vocab_path, layout(sorted(chosen, key=rank), provisional))
            total_words, total_pieces, fallback, counts = greedy_counts(args.build, vocab_path, words_text)
            id_of = {}
            with open(vocab_path, encoding="utf-8") as f:
                for line in f:
                    piece, id_, _ = line.rstrip("\n").split("\t")
                    id_of[piece] = int(id_)
            usage = {p: counts.get(id_of[p], 0) for p in chosen}
            unused = sorted((p for p in chosen if usage[p] == 0 and p not in required_set), key=rank)
            print(f"round {round_}: fertility {total_pieces / total_words:.4f}, "
                  f"fallback words {fallback / total_words:.4%}, unused {len(unused)}", file=sys.stderr)
            if round_ == args.rounds or not unused:
                break
            # Replace pieces that greedy never uses by whole words that it splits most.
            per_word = greedy_pieces_per_word(args.build, vocab_path, words)
            added = word_gain_candidates(words, per_word, set(chosen), len(unused))
            removed = set(unused[: len(added)])
            chosen = [p for p in chosen if p not in removed] + added

        floor = math.log(0.5 / total_pieces)
        scores = {p: (math.log(usage[p] / total_pieces) if usage[p] else floor) for p in chosen}
        ordered = sorted(chosen, key=lambda p: (-float32(scores[p]), rank(p)))
        write_vocab(args.out, layout(ordered, scores))
        total_words, total_pieces, fallback, _ = greedy_counts(args.build, args.out, words_text)
        ours = total_pieces / total_words
        theirs = sentencepiece_fertility(model, words)

    report = [
        "| measure (wordfreq 3.1.1 Arabic large list, frequency-weighted) | sarfan (greedy) | sentencepiece unigram 64k |",
        "| --- | --- | --- |",
        f"| pieces per word | {ours:.4f} | {theirs:.4f} |",
        f"| words encoded without byte fallback | {1 - fallback / total_words:.4%} | - |",
        "",
        f"{raw_count} words in the list, {dropped} dropped (characters outside the inventory); "
        f"{len(words)} distinct words after normalization. Greedy fertility is "
        f"{(ours / theirs - 1):+.2%} relative to sentencepiece.",
    ]
    print("\n".join(report))
    if args.report:
        with open(args.report, "w", encoding="utf-8") as f:
            f.write("\n".join(report) + "\n")


if __name__ == "__main__":
    main()
