"""Measures sarfan against Hugging Face tokenizers, SentencePiece and tiktoken on the same
Arabic text in one run, and writes a Markdown table (into each --write file, between its
compare markers) and a bar chart.

    compare.py --build BUILD --work DIR --corpus TEXT [--write FILE ...] [--chart PNG]

Workloads, all cut from the corpus (one sentence a line, bench/make_corpus.py): the
sentences; short texts of 10 to 30 characters (the first words of each sentence); long
documents of about 128 KB (consecutive sentences joined). Each peer is timed on each in
alternation with sarfan, best of a few runs; load time and resident memory are measured in
a fresh process per tokenizer.
"""
import argparse
import json
import os
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

import peers  # noqa: E402
from marked_block import write_block  # noqa: E402



def best_time(fn, repeat):
    times = []
    for _ in range(repeat):
        start = time.perf_counter()
        result = fn()
        times.append(time.perf_counter() - start)
        del result
    return min(times)


def workloads(corpus_path):
    with open(corpus_path, encoding="utf-8") as f:
        sentences = f.read().splitlines()
    short = []
    for line in sentences:
        text = ""
        for word in line.split():
            if len(text) + len(word) + 1 > 30:
                break
            text = f"{text} {word}" if text else word
        if len(text) >= 10:
            short.append(text)
    documents, current, size = [], [], 0
    for line in sentences:
        current.append(line)
        size += len(line.encode("utf-8")) + 1
        if size >= 128_000:
            documents.append("\n".join(current))
            current, size = [], 0
    return sentences, short, documents


def megabytes(texts):
    return sum(len(t.encode("utf-8")) for t in texts) / 1e6


LOAD_PROBE = r"""
import json, sys, time
sys.path.insert(0, {here!r})
import peers
peer = [p for p in peers.all_peers({paths!r}) if p.name == {name!r}][0]
def rss():
    for line in open("/proc/self/status"):
        if line.startswith("VmRSS:"):
            return int(line.split()[1]) * 1024
import_start = rss()
peer.load()  # imports the package and warms the file cache
before = rss()
times = []
for _ in range(5):
    start = time.perf_counter()
    tok = peer.load()
    times.append(time.perf_counter() - start)
    if _ < 4:
        del tok
print(json.dumps({{"load": min(times), "rss": rss() - import_start}}))
"""


def load_figures(peer, paths):
    """Load time (best of five, after a first load) and resident memory the tokenizer
    adds to a fresh interpreter that has imported its package."""
    code = LOAD_PROBE.format(here=HERE, paths=paths, name=peer.name)
    out = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, check=True)
    return json.loads(out.stdout.strip().splitlines()[-1])


def measure(peer, tok, sarfan_peer, sarfan_tok, sentences, short, documents, repeat):
    """Figures of `peer` and, timed in alternation with it, of sarfan."""
    def pair(work_peer, work_sarfan):
        times_peer, times_sarfan = [], []
        for _ in range(repeat):
            times_peer.append(best_time(work_peer, 1))
            times_sarfan.append(best_time(work_sarfan, 1))
        return min(times_peer), min(times_sarfan)

    figures = {"peer": {}, "sarfan": {}}
    mb = megabytes(sentences)
    loop_p, loop_s = pair(lambda: [peer.encode(tok, t) for t in sentences],
                          lambda: [sarfan_peer.encode(sarfan_tok, t) for t in sentences])
    batch_p, batch_s = pair(lambda: peer.encode_batch(tok, sentences),
                            lambda: sarfan_peer.encode_batch(sarfan_tok, sentences))
    short_p, short_s = pair(lambda: [peer.encode(tok, t) for t in short],
                            lambda: [sarfan_peer.encode(sarfan_tok, t) for t in short])
    docs_mb = megabytes(documents)
    docs_p, docs_s = pair(lambda: [peer.encode(tok, t) for t in documents],
                          lambda: [sarfan_peer.encode(sarfan_tok, t) for t in documents])
    for key, (p, s) in {"loop": (loop_p, loop_s), "batch": (batch_p, batch_s)}.items():
        figures["peer"][key], figures["sarfan"][key] = mb / p, mb / s
    figures["peer"]["short"], figures["sarfan"]["short"] = len(short) / short_p, len(short) / short_s
    figures["peer"]["long"], figures["sarfan"]["long"] = docs_mb / docs_p, docs_mb / docs_s
    words = sum(len(t.split()) for t in sentences)
    figures["peer"]["fertility"] = sum(peer.pieces(peer.encode(tok, t)) for t in sentences) / words
    figures["sarfan"]["fertility"] = sum(
        sarfan_peer.pieces(sarfan_peer.encode(sarfan_tok, t)) for t in sentences) / words
    return figures


def table(rows, machine):
    """rows: list of (name, figures) with sarfan first."""
    s = rows[0][1]
    lines = [
        f"Measured on {machine} by `make compare` ({time.strftime('%Y-%m-%d')}). Ratios are "
        "sarfan's figure over the peer's (for load time and memory, the peer's over sarfan's): "
        "above 1 means sarfan is ahead.",
        "",
        "| tokenizer | loop MB/s | batch MB/s | short texts/s | 128 KB docs MB/s | load ms | memory MB | pieces/word |",
        "| --- | --- | --- | --- | --- | --- | --- | --- |",
    ]
    for name, f in rows:
        if name == "sarfan":
            cells = [f"{f['loop']:.1f}", f"{f['batch']:.1f}", f"{f['short']:,.0f}", f"{f['long']:.1f}",
                     f"{f['load'] * 1e3:.1f}", f"{f['rss'] / 1e6:.1f}", f"{f['fertility']:.3f}"]
        else:
            cells = [
                f"{f['loop']:.1f} (x{f['sarfan_loop'] / f['loop']:.1f})",
                f"{f['batch']:.1f} (x{f['sarfan_batch'] / f['batch']:.1f})",
                f"{f['short']:,.0f} (x{f['sarfan_short'] / f['short']:.1f})",
                f"{f['long']:.1f} (x{f['sarfan_long'] / f['long']:.1f})",
                f"{f['load'] * 1e3:.1f} (x{f['load'] / s['load']:.1f})",
                f"{f['rss'] / 1e6:.1f} (x{f['rss'] / s['rss']:.1f})",
                f"{f['fertility']:.3f}",
            ]
        lines.append(f"| {name} | " + " | ".join(cells) + " |")
    return "\n".join(lines)


def chart(rows, path):
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    measures = [("loop", "single-text loop"), ("batch", "batch, all cores"),
                ("short", "short texts"), ("long", "128 KB documents")]
    peers_only = rows[1:]
    fig, ax = plt.subplots(figsize=(10, 4.8))
    width = 0.8 / len(peers_only)
    for k, (name, f) in enumerate(peers_only):
        ratios = [f[f"sarfan_{key}"] / f[key] for key, _ in measures]
        positions = [m + (k - (len(peers_only) - 1) / 2) * width for m in range(len(measures))]
        ax.bar(positions, ratios, width, label=name)
    ax.axhline(1.0, color="black", linewidth=0.8)
    ax.set_xticks(range(len(measures)), [label for _, label in measures])
    ax.set_ylabel("sarfan speed / peer speed")
    ax.set_title("sarfan against each peer on the same Arabic text (higher: sarfan faster)")
    ax.legend(fontsize=8)
    fig.tight_layout()
    fig.savefig(path, dpi=110)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--build", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--corpus", required=True)
    parser.add_argument("--write", action="append", default=[], metavar="FILE")
    parser.add_argument("--chart")
    parser.add_argument("--repeat", type=int, default=2)
    parser.add_argument("--machine", default=f"{os.cpu_count()} CPUs")
    args = parser.parse_args()

    paths = peers.build(args.work, args.build)
    sentences, short, documents = workloads(args.corpus)
    print(f"{len(sentences):,} sentences ({megabytes(sentences):.1f} MB), {len(short):,} short "
          f"texts, {len(documents)} documents", file=sys.stderr)
    everyone = peers.all_peers(paths)
    sarfan_peer = everyone[0]
    sarfan_tok = sarfan_peer.load()
    rows = [("sarfan", dict(load_figures(sarfan_peer, paths)))]
    sarfan_runs = []
    for peer in everyone[1:]:
        tok = peer.load()
        figures = measure(peer, tok, sarfan_peer, sarfan_tok, sentences, short, documents, args.repeat)
        row = dict(figures["peer"])
        row.update(load_figures(peer, paths))
        row.update({f"sarfan_{k}": v for k, v in figures["sarfan"].items()})
        rows.append((peer.name, row))
        sarfan_runs.append(figures["sarfan"])
        print(f"{peer.name}: {json.dumps(row)}", file=sys.stderr)
        del tok
    # sarfan's own row: its best figure over the runs beside each peer.
    for key in ("loop", "batch", "short", "long"):
        rows[0][1][key] = max(run[key] for run in sarfan_runs)
    rows[0][1]["fertility"] = sarfan_runs[0]["fertility"]
    text = table(rows, args.machine)
    print(text)
    for path in args.write:
        write_block(path, "compare", text)
    if args.chart:
        chart(rows, args.chart)


if __name__ == "__main__":
    main()
