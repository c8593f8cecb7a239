"""Writes measured figures into a Markdown file between the markers
<!-- NAME:begin --> and <!-- NAME:end -->, so that each table has one source: the tool
that measures it."""


def write_block(path, name, text):
    begin_marker, end_marker = f"<!-- {name}:begin -->", f"<!-- {name}:end -->"
    with open(path, encoding="utf-8") as f:
        content = f.read()
    if begin_marker not in content or end_marker not in content:
        raise SystemExit(f"{path}: no {begin_marker} ... {end_marker} block to write")
    begin = content.index(begin_marker) + len(begin_marker)
    end = content.index(end_marker)
    with open(path, "w", encoding="utf-8") as f:
        f.write(content[:begin] + "\n" + text.rstrip("\n") + "\n" + content[end:])


def target(option):
    """FILE:NAME of a --write option."""
    path, _, name = option.rpartition(":")
    if not path or not name:
        raise SystemExit(f"--write wants FILE:NAME, got {option!r}")
    return path, name
