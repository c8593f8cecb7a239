"""Checks of a vocabulary TSV's word-boundary rules, shared by the tests of the committed
default and of `sarfan train`."""
MARK = "\u2581"


def read_rows(path):
    """(piece, id, score text) of every line, comment lines included."""
    with open(path, encoding="utf-8", newline="\n") as f:
        return [tuple(line.split("\t")) for line in f.read().split("\n")[:-1]]


def boundary_faults(rows, inventory):
    """Breaches of the two rules: every plain learned piece has at most 15 characters and a
    marked twin; every inventory character is a piece in both forms (a plain "#" cannot be
    carried: its line reads as a comment)."""
    learned = {piece for piece, id_, _ in rows if int(id_) >= 260}
    faults = []
    for piece in sorted(learned):
        if not piece.startswith(MARK):
            if len(piece) > 15:
                faults.append(f"plain piece {piece!r} is longer than 15 characters")
            if MARK + piece not in learned:
                faults.append(f"plain piece {piece!r} has no marked twin")
    for c in inventory:
        if MARK + c not in learned:
            faults.append(f"inventory character U+{ord(c):04X} is not a marked piece")
        if c != "#" and c not in learned:
            faults.append(f"inventory character U+{ord(c):04X} is not a plain piece")
    return faults
