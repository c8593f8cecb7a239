"""Writes the seed corpora of the fuzz targets into fuzz/corpus/<target>/.

The seeds are small, hand-picked inputs that reach each parser's and scanner's paths
(the fuzzer mutates from there); rerun after changing an input format.
"""
import hashlib
import pathlib
import struct

HERE = pathlib.Path(__file__).resolve().parent
DEFAULT_TSV = HERE.parent / "python" / "src" / "lib" / "data" / "sarfan-msa-64k.tsv"
MARK = "\u2581"


def specials_and_bytes():
    lines = ["[PAD]\t0\t0", "[BOS]\t1\t0", "[EOS]\t2\t0", "[UNK]\t3\t0"]
    lines += [f"<0x{b:02X}>\t{4 + b}\t0" for b in range(256)]
    return "\n".join(lines) + "\n"


def vocab_seeds():
    default = DEFAULT_TSV.read_text(encoding="utf-8").splitlines(keepends=True)
    yield "".join(default[:300]).encode()                       # specials, bytes, first pieces
    yield "".join(default[:4] + default[5000:5200]).encode()    # gaps in the ids
    yield specials_and_bytes().replace("\n", "\r\n").encode()  # CRLF endings
    yield b"# comment\n\n \t\n[PAD]\t0\t0\n\xe2\x96\x81\xd9\x81\xd9\x8a\t7\t-3.25e1\nx\t9\t+.5"
    yield b"a\t1\t0\na\t2\t0\n"                                 # duplicate token
    yield b"a\t1\t0\nb\t1\t0\n"                                 # duplicate id
    yield b"a\t70000\t1e-45\nb\t16777216\t0\n"                  # ids far apart, id limit
    yield b"a\t4294967296\t0\n"                                 # id overflow
    yield b"a\t-1\t0\nb\t+\t0\nc\t\t0\n"                        # bad ids
    yield b"a\t1\tnan\nb\t2\tinf\nc\t3\t1e999\nd\t4\t0x1p3\n"   # score syntax
    yield b"a\t1\t0\tx\n"                                       # four columns
    yield b"\xef\xbb\xbfa\t1\t0\n"                              # byte order mark
    yield b"a\xff\t1\t0\n"                                      # invalid UTF-8
    yield ("w" * 9000 + "\t5\t0\n" + "v\t6\t0\n").encode()      # a line across refills
    yield (MARK + "a" + MARK + "b\t5\t0\n" + "\u00a0x\t6\t0\n").encode()


def plugin_seeds():
    # Plugin text, then a text to encode, then that text's length in one byte.
    text = f"{MARK}ab ab\u0628\u0644 \U0001F600 [BOS]x".encode()
    plugins = [
        b"ab\t284\t-2\n\xe2\x96\x81b\t285\t-2\n<0xF0>\t286\t0\n",
        b"x\t200\t0\n",                                           # below the base
        b"x\t300\t0\nx\t302\t0\ny\t300\t1\n",                     # same token, same id
        b"# c\n\nx\t290\t0\r\n",
        b"x\t70000\t0\ny\t16777216\t0\n",
        b"x\t290\n",
        b"\xd8\xa8\xd9\x84\xd8\xa8\t284\t0\n[EOS]\t285\t0\n",
    ]
    for plugin in plugins:
        yield plugin + text + bytes([len(text)])


def normalize_seeds():
    texts = [
        "ذَهَبَ الطّالِبُ إلى المكتبةِ",
        "\u0627\u0653 \u0627\u0640\u0653 \u0622\u0623\u0625\u0649\u0629",
        "\ufefb\ufe8e\ufe8d \ufb01 \u0661\u0662",
        "  a \t\nb  \u00a0\u3000\u2028x\u0085",
        "e\u0301 a\u0316\u0301 \u1100\u1161\u11a8 \U000105d2\u0307",
        "\u0958\u093c \uf900 \u2126",
    ]
    for flags in (0x7E, 0x7F, 0x00, 0x40):
        for text in texts:
            yield bytes([flags]) + text.encode()
    yield b"\x7e\xff\xc0\x80\xed\xa0\x80\xf0\x9f\x98 x"


def encode_seeds():
    texts = [
        "في الكتاب",
        "ذهب الطالب إلى المكتبة لقراءة الكتاب الجديد.",
        f"a \U0001F600 {MARK}ab abcab b{MARK}a \u0628\u0644\u0628 [BOS]x z",
        "الــكتاب\u3000\u00a0و\tالقلم",
        "\ufefb\u0627\u0653 \u0623\u062d\u0645\u062f",
    ]
    for flags in (0, 1, 2, 3, 4, 5, 6, 7, 8, 13):
        for text in texts:
            yield bytes([flags]) + text.encode()
    yield b"\x02\xff\xfe \xd8"


def decode_seeds():
    def ids(dialect, values):
        return bytes([dialect]) + b"".join(struct.pack("<H", v) for v in values)
    yield ids(0, [1, 264, 2])
    yield ids(1, [1, 248, 163, 156, 132, 2])                   # byte pieces of an emoji
    yield ids(1, [248, 270, 248, 273, 274, 275, 276, 277])     # bytes around plugin ids
    yield ids(2, [273, 274, 282, 283, 0xFF00, 0xFFFF])
    yield ids(3, [0, 1, 2, 3, 276, 278])
    yield ids(0, [280, 281, 282, 36, 36])


def main():
    seeds = {"fuzz_vocab_loader": vocab_seeds, "fuzz_plugin_loader": plugin_seeds,
             "fuzz_normalize": normalize_seeds, "fuzz_encode": encode_seeds,
             "fuzz_decode": decode_seeds}
    for target, make in seeds.items():
        folder = HERE / "corpus" / target
        folder.mkdir(parents=True, exist_ok=True)
        for old in folder.iterdir():
            old.unlink()
        for data in make():
            (folder / hashlib.sha1(data).hexdigest()[:16]).write_bytes(data)


if __name__ == "__main__":
    main()
