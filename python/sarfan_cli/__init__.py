"""The `sarfan` command: encode, decode and inspect with the sarfan tokenizer, and make
dialect plugin files."""
import argparse
import bisect
import itertools
import json
import os
import sys

CHUNK_LINES = 4096  # lines handed to one batch call by encode-file


class UsageError(Exception):
    """Bad input from the user: reported in one line, exit status 2."""


def names_a_file(vocab):
    """Whether --vocab is meant as a file rather than a model name (which may be a Hub repo,
    "org/model")."""
    return vocab.endswith(".tsv") or vocab.startswith(("/", "./", "../", "~"))


def load_tokenizer(vocab, plugins):
    import sarfan

    if vocab and names_a_file(vocab) and not os.path.isfile(os.path.expanduser(vocab)):
        raise UsageError(f"--vocab {vocab}: no such file")
    try:
        tok = (sarfan.SarfanMSATokenizer.from_pretrained(os.path.expanduser(vocab))
               if vocab and vocab.upper() != "DEFAULT" else sarfan.SarfanMSATokenizer.load_default())
        for option in plugins:
            name, sep, path = option.partition("=")
            if not sep or not name or not path:
                raise UsageError(f"--plugin wants NAME=PATH, got {option!r}")
            try:
                tok.load_plugin(path, name)
            except RuntimeError as error:
                raise UsageError(f"cannot load plugin {name} from {path}: {error}") from None
    except RuntimeError as error:
        raise UsageError(str(error)) from None
    return tok


def encode_one(tok, text, args):
    if args.ids_only:
        if args.dialect is not None:
            return tok.encode_ids_with_dialect(text, args.dialect, normalize=not args.no_normalize)
        return tok.encode_ids(text, normalize=not args.no_normalize)
    if args.dialect is not None:
        return tok.encode_with_dialect(text, args.dialect, normalize=not args.no_normalize)
    return tok.encode(text, normalize=not args.no_normalize)


def command_encode(args, out):
    tok = load_tokenizer(args.vocab, args.plugin)
    for text in args.text:
        result = encode_one(tok, text, args)
        if args.ids_only:
            out.write((json.dumps({"text": text, "ids": result}, ensure_ascii=False)
                       if args.json else " ".join(map(str, result))) + "\n")
            continue
        if args.json:
            out.write(json.dumps({"text": text, "ids": result.ids, "tokens": result.tokens,
                                  "offsets": result.offsets, "dialect": result.dialect,
                                  "fallback": result.fallback}, ensure_ascii=False) + "\n")
            continue
        out.write(f"{text}\n{'piece':<16}{'id':>8}  offsets\n")
        for piece, id_, (start, end) in zip(result.tokens, result.ids, result.offsets):
            out.write(f"{piece:<16}{id_:>8}  {start}-{end}\n")


def progress_bar(total_bytes, unit="B"):
    """A tqdm bar on stderr when it is a terminal and tqdm is installed, else None."""
    if not sys.stderr.isatty():
        return None
    try:
        from tqdm import tqdm
    except ImportError:
        return None
    return tqdm(total=total_bytes, unit=unit, unit_scale=unit == "B", file=sys.stderr)


class JsonlOutput:
    """One JSON list of ids per line of `stream`."""

    def __init__(self, stream):
        self.stream = stream

    def write(self, ids, row_offsets):
        for k in range(len(row_offsets) - 1):
            self.stream.write(json.dumps(ids[row_offsets[k]:row_offsets[k + 1]].tolist()) + "\n")

    def close(self):
        self.stream.close()


def text_chunks(source, name):
    """The lines of `source`, a binary file, CHUNK_LINES at a time, each without "\n" and
    then any "\r" at its end, and the bytes they took. Only one chunk of lines is held at a
    time: memory stays bounded whatever the file's size. Each chunk is decoded in one call,
    the line that breaks it found only when one does."""
    first = 1  # the number of the chunk's first line
    while True:
        try:
            raw = list(itertools.islice(source, CHUNK_LINES))
        except OSError as error:
            raise UsageError(f"cannot read {name}: {error.strerror}") from None
        if not raw:
            return
        data = b"".join(raw)
        try:
            text = data.decode("utf-8")
        except UnicodeDecodeError as error:
            number = first + bisect.bisect_right(list(itertools.accumulate(map(len, raw))),
                                                 error.start)
            raise UsageError(f"{name} line {number}: not UTF-8 text ({error.reason})") from None
        lines = text.split("\n")
        if text.endswith("\n"):
            lines.pop()
        if "\r" in text:
            lines = [line.rstrip("\r") for line in lines]
        yield lines, len(data)
        first += len(raw)


def command_encode_file(args, out):
    from .atomic_output import replaced_on_success
    from .npy_output import NpyOutput, npy_paths

    tok = load_tokenizer(args.vocab, args.plugin)
    if args.format == "npy" and not args.output:
        raise UsageError("--format npy needs -o PREFIX")
    if args.input == "-":
        source, name, total = sys.stdin.buffer, "standard input", None
    else:
        try:
            source = open(args.input, "rb")
            total = os.path.getsize(args.input)
        except OSError as error:
            raise UsageError(f"cannot read {args.input}: {error.strerror}") from None
        name = args.input
    targets = (npy_paths(args.output) if args.format == "npy"
               else (args.output,) if args.output else ())
    normalize = not args.no_normalize
    if args.dialect is not None:
        encode = lambda lines: tok.encode_batch_ids_array_with_dialect(lines, args.dialect, normalize)
    else:
        encode = lambda lines: tok.encode_batch_ids_array(lines, normalize)
    bar = progress_bar(total) if total else None
    try:
        with replaced_on_success(*targets) as temporaries:
            if args.format == "npy":
                sink = NpyOutput(*temporaries)
            elif temporaries:
                sink = JsonlOutput(open(temporaries[0], "w", encoding="utf-8"))
            else:
                sink = JsonlOutput(out)
            try:
                for lines, size in text_chunks(source, name):
                    sink.write(*encode(lines))
                    if bar is not None:
                        bar.update(size)
            finally:
                if temporaries:
                    sink.close()
    except OSError as error:
        if not targets:  # standard output's errors are main's (a closed pipe ends quietly)
            raise
        target = error.filename or args.output
        raise UsageError(f"cannot write {target}: {error.strerror}") from None
    finally:
        if bar is not None:
            bar.close()
        if source is not sys.stdin.buffer:
            source.close()


def command_decode(args, out):
    tok = load_tokenizer(args.vocab, args.plugin)
    try:
        ids = [int(text) for text in args.ids]
    except ValueError:
        raise UsageError("ids must be whole numbers") from None
    if any(not 0 <= id_ <= 4294967295 for id_ in ids):
        raise UsageError("ids must lie in 0..4294967295")
    text = (tok.decode_with_dialect(ids, args.dialect) if args.dialect is not None
            else tok.decode(ids))
    out.write(text + "\n")


def command_info(args, out):
    from . import _build_info
    from .fingerprint import vocab_fingerprint

    tok = load_tokenizer(args.vocab, args.plugin)
    fields = {
        "vocab_size": tok.vocab_size,
        "vocab_fingerprint": vocab_fingerprint(tok),
        "special_ids": {"pad": tok.pad_id, "bos": tok.bos_id, "eos": tok.eos_id, "unk": tok.unk_id},
        "plugins": tok.list_plugins(),
        "batch_threads": tok.batch_threads(),
        "utf8proc": _build_info.UTF8PROC_VERSION,
        "unicode": _build_info.UNICODE_VERSION,
    }
    if args.json:
        out.write(json.dumps(fields) + "\n")
    else:
        for key, value in fields.items():
            out.write(f"{key}: {value}\n")


def command_make_plugin(args, out):
    from .atomic_output import replaced_on_success
    from .make_plugin import make_plugin

    tok = load_tokenizer(args.base, [])
    try:
        with open(args.words, encoding="utf-8") as f:
            lines = f.read().splitlines()
    except OSError as error:
        raise UsageError(f"cannot read {args.words}: {error.strerror}") from None
    except UnicodeDecodeError as error:
        raise UsageError(f"{args.words}: not UTF-8 text ({error.reason})") from None
    words = []
    for number, line in enumerate(lines, 1):
        if not line.strip() or line.startswith("#"):
            continue
        word, sep, count = line.rpartition("\t")
        if not sep or not word or not count.isdigit():
            raise UsageError(f"{args.words} line {number}: expected WORD<TAB>COUNT")
        words.append((word, int(count)))
    if args.size < 1:
        raise UsageError("--size must be at least 1")
    if not words:
        raise UsageError(f"{args.words} holds no words")
    rows = make_plugin(tok, words, args.size, args.max_chars, args.raw)
    if not rows:
        raise UsageError(f"{args.words}: no pieces to add (each word is already one piece of "
                         f"the base, or longer than --max-chars {args.max_chars})")
    try:
        with replaced_on_success(args.output) as (temporary,), \
                open(temporary, "w", encoding="utf-8") as f:
            for piece, id_, score in rows:
                f.write(f"{piece}\t{id_}\t{score:.6g}\n")
    except OSError as error:
        raise UsageError(f"cannot write {args.output}: {error.strerror}") from None
    out.write(f"{len(rows)} pieces written to {args.output} (ids {tok.vocab_size}.."
              f"{tok.vocab_size + len(rows) - 1})\n")


def version_text():
    from . import _build_info

    return (f"sarfan {_build_info.SARFAN_VERSION} (utf8proc {_build_info.UTF8PROC_VERSION}, "
            f"Unicode {_build_info.UNICODE_VERSION})")


def parser():
    top = argparse.ArgumentParser(
        prog="sarfan", description="Encode, decode and inspect with the sarfan Arabic tokenizer, "
        "and make dialect plugin files.")
    top.add_argument("--version", action="version", version=version_text())
    commands = top.add_subparsers(dest="command", required=True, metavar="COMMAND")

    def tokenizer_options(p):
        p.add_argument("--vocab", metavar="PATH_OR_NAME",
                       help="vocabulary file or name for from_pretrained (default: what "
                       "load_default() finds: SARFAN_DEFAULT_MODEL or a local sarfan-msa-64k "
                       "file, else the embedded vocabulary)")
        p.add_argument("--plugin", action="append", default=[], metavar="NAME=PATH",
                       help="load a dialect plugin (repeatable)")

    p = commands.add_parser("encode", help="print pieces, ids and offsets of each TEXT")
    p.add_argument("text", nargs="+", metavar="TEXT")
    p.add_argument("--json", action="store_true", help="one JSON object per text")
    p.add_argument("--ids-only", action="store_true", help="ids alone (the fast path)")
    p.add_argument("--no-normalize", action="store_true", help="encode the text as given")
    p.add_argument("--dialect", metavar="NAME", help="encode with this dialect's plugin")
    tokenizer_options(p)
    p.set_defaults(run=command_encode)

    p = commands.add_parser("encode-file", help="encode a UTF-8 file line by line to JSON Lines of "
                            "ids, or to .npy arrays")
    p.add_argument("input", metavar="IN", help="input file, or - for standard input")
    p.add_argument("-o", "--output", metavar="OUT",
                   help="output file (default: standard output); with --format npy the PREFIX "
                   "of PREFIX.ids.npy and PREFIX.offsets.npy")
    p.add_argument("--format", choices=["jsonl", "npy"], default="jsonl",
                   help="jsonl: one JSON list of ids per line (default); npy: all ids as uint32 "
                   "and the lines' bounds as int64 (lines + 1)")
    p.add_argument("--dialect", metavar="NAME")
    p.add_argument("--no-normalize", action="store_true", help="encode the lines as given")
    tokenizer_options(p)
    p.set_defaults(run=command_encode_file)

    p = commands.add_parser("decode", help="print the text of the ids")
    p.add_argument("ids", nargs="+", metavar="ID")
    p.add_argument("--dialect", metavar="NAME")
    tokenizer_options(p)
    p.set_defaults(run=command_decode)

    p = commands.add_parser("info", help="vocabulary, special ids, plugins, threads, Unicode version")
    p.add_argument("--json", action="store_true")
    tokenizer_options(p)
    p.set_defaults(run=command_info)

    p = commands.add_parser("make-plugin", help="make a dialect plugin file from a word-frequency list")
    p.add_argument("words", metavar="WORDS.tsv", help="lines of WORD<TAB>COUNT")
    p.add_argument("--base", metavar="PATH_OR_NAME",
                   help="base vocabulary for from_pretrained, or DEFAULT (what load_default() "
                   "finds)")
    p.add_argument("-o", "--output", required=True, metavar="PLUGIN.tsv")
    p.add_argument("--size", type=int, default=2000, help="most pieces to add (default 2000)")
    p.add_argument("--max-chars", type=int, default=16,
                   help="longest piece in characters, with the mark (default 16, the base's)")
    p.add_argument("--raw", action="store_true", help="pieces of the words as written, for "
                   "encoding with normalize=False")
    p.set_defaults(run=command_make_plugin)

    from . import train
    train.add_parser(commands, lambda args, out: train.command_train(args, out, progress_bar, UsageError))
    return top


def main(argv=None):
    args = parser().parse_args(argv)
    try:
        args.run(args, sys.stdout)
    except UsageError as error:
        print(f"sarfan: error: {error}", file=sys.stderr)
        return 2
    except BrokenPipeError:
        return 0
    except KeyboardInterrupt:
        return 130
    return 0
