#!/usr/bin/env python3
"""Writes the API reference from the type stubs, the one source of the API's text:
docs/api.md, and the README's API table between its markers.

    tools/gen_api_docs.py           rewrite both
    tools/gen_api_docs.py --check   exit 1, naming the file, when either differs

Docstrings follow one layout: a summary line, optional paragraphs, then the sections
Args:, Returns:, Raises: and Example:, each with its lines indented under it."""
import argparse
import ast
import pathlib
import re
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent
STUB = ROOT / "python/sarfan-stubs/__init__.pyi"
API_PAGE = ROOT / "docs/api.md"
README = ROOT / "README.md"
TABLE_START = "<!-- api-table:start -->"
TABLE_END = "<!-- api-table:end -->"
SECTIONS = ("Args", "Returns", "Raises", "Example")


class StubError(Exception):
    pass


def split_docstring(doc):
    """(summary, paragraphs, {section: [lines]}) of a docstring in the layout above."""
    lines = doc.strip("\n").splitlines()
    summary, rest = lines[0].strip(), lines[1:]
    body, sections, current = [], {}, None
    for line in rest:
        header = line.strip().rstrip(":")
        if line.strip().endswith(":") and header in SECTIONS:
            current = sections.setdefault(header, [])
        elif current is not None:
            current.append(line)
        else:
            body.append(line.strip())
    paragraphs = [" ".join(p.split()) for p in "\n".join(body).split("\n\n") if p.strip()]
    return summary, paragraphs, {name: _dedent(text) for name, text in sections.items()}


def _dedent(lines):
    lines = [line for line in lines if line.strip()]
    indent = min((len(line) - len(line.lstrip()) for line in lines), default=0)
    return [line[indent:] for line in lines]


def entries(lines):
    """`name: text` entries of an Args or Raises section, continuation lines joined."""
    found = []
    for line in lines:
        if line[:1].isspace() and found:
            found[-1][1] += " " + line.strip()
        else:
            name, _, text = line.partition(":")
            found.append([name.strip(), text.strip()])
    return found


def signature(node):
    """The call as a user writes it: arguments with their defaults, no self, no types."""
    args = node.args
    positional = args.posonlyargs + args.args
    defaults = [None] * (len(positional) - len(args.defaults)) + list(args.defaults)
    parts = [a.arg if d is None else f"{a.arg}={ast.unparse(d)}"
             for a, d in zip(positional, defaults) if a.arg not in ("self", "cls")]
    if args.vararg:
        parts.append("*" + args.vararg.arg)
    elif args.kwonlyargs:
        parts.append("*")
    for a, d in zip(args.kwonlyargs, args.kw_defaults):
        parts.append(a.arg if d is None else f"{a.arg}={ast.unparse(d)}")
    if args.kwarg:
        parts.append("**" + args.kwarg.arg)
    return f"{node.name}({', '.join(parts)})"


def decorator_names(node):
    return {ast.unparse(d).rsplit(".", 1)[-1] for d in node.decorator_list}


def members(cls):
    """(name, kind, call, annotation, docstring) of each public member, in stub order;
    overloads give one member (the first docstring found)."""
    found = {}
    for node in cls.body:
        if not isinstance(node, (ast.FunctionDef, ast.AsyncFunctionDef)):
            continue
        if node.name.startswith("_"):
            continue
        names = decorator_names(node)
        kind = ("property" if "property" in names else
                "static method" if "staticmethod" in names else
                "class method" if "classmethod" in names else "method")
        returns = ast.unparse(node.returns) if node.returns else "None"
        call = node.name if kind == "property" else signature(node)
        doc = ast.get_docstring(node, clean=True)
        if node.name in found:
            if found[node.name][4] is None:
                found[node.name][4] = doc
            continue
        found[node.name] = [node.name, kind, call, returns, doc]
    return [tuple(m) for m in found.values()]


def read_api(stub_text):
    """[(class name, class docstring, members)] of the public classes of a stub."""
    tree = ast.parse(stub_text)
    classes, missing = [], []
    for node in tree.body:
        if isinstance(node, ast.ClassDef) and not node.name.startswith("_"):
            found = members(node)
            missing += [f"{node.name}.{m[0]}" for m in found if not m[4]]
            classes.append((node.name, ast.get_docstring(node) or "", found))
    if missing:
        raise StubError("members without a docstring in the stub: " + ", ".join(missing))
    return classes


def page(classes):
    out = ["# API reference", "",
           "Written by `tools/gen_api_docs.py` from the docstrings of the type stubs",
           "(`python/sarfan-stubs/__init__.pyi`); edit those, then run `make docs`.", ""]
    for cls, cls_doc, found in classes:
        out += [f"## {cls}", ""]
        if cls_doc:
            out += [" ".join(p.split()) + "\n" for p in cls_doc.split("\n\n")]
        for name, kind, call, returns, doc in found:
            summary, paragraphs, sections = split_docstring(doc)
            out += [f"### {name}", "", "```python", f"{call} -> {returns}", "```", "",
                    f"*{kind}*. {summary}", ""]
            out += [p + "\n" for p in paragraphs]
            arguments = entries(sections.get("Args", []))
            if arguments:
                out += ["**Arguments**", ""] + [f"- `{n}`: {t}" for n, t in arguments] + [""]
            if sections.get("Returns"):
                out += ["**Returns** " + " ".join(l.strip() for l in sections["Returns"]), ""]
            raises = entries(sections.get("Raises", []))
            if raises:
                out += ["**Raises**", ""] + [f"- `{n}`: {t}" for n, t in raises] + [""]
            if sections.get("Example"):
                out += ["```python", *sections["Example"], "```", ""]
    return "\n".join(out).rstrip("\n") + "\n"


def _cell(text):
    return text.replace("|", "\\|")


def table(classes):
    rows = ["| member | what it does | example |", "| --- | --- | --- |"]
    for cls, _, found in classes:
        for name, kind, call, returns, doc in found:
            summary, _, sections = split_docstring(doc)
            member = f"`{call}`" if cls == classes[0][0] else f"`{cls}.{call}`"
            example = sections.get("Example", [])
            shown = f"`{example[0]}`" if len(example) == 1 else ""
            rows.append(f"| {_cell(member)} | {_cell(summary)} | {_cell(shown)} |")
    return "\n".join(rows) + "\n"


def with_table(readme, new_table):
    pattern = re.compile(re.escape(TABLE_START) + r"\n.*?" + re.escape(TABLE_END), re.S)
    if len(pattern.findall(readme)) != 1:
        raise StubError(f"README.md needs one {TABLE_START} ... {TABLE_END} pair")
    return pattern.sub(lambda _: f"{TABLE_START}\n{new_table}{TABLE_END}", readme)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--check", action="store_true",
                        help="change nothing; fail when a written file is out of date")
    check = parser.parse_args().check
    try:
        classes = read_api(STUB.read_text(encoding="utf-8"))
        wanted = {API_PAGE: page(classes),
                  README: with_table(README.read_text(encoding="utf-8"), table(classes))}
    except StubError as error:
        sys.exit(f"gen_api_docs: {error}")
    stale = [path for path, text in wanted.items()
             if not path.exists() or path.read_text(encoding="utf-8") != text]
    if check:
        if stale:
            names = ", ".join(str(p.relative_to(ROOT)) for p in stale)
            sys.exit(f"gen_api_docs: {names} differ from the stubs' docstrings: run make docs")
        return
    for path in stale:
        path.write_text(wanted[path], encoding="utf-8")
        print(f"gen_api_docs: wrote {path.relative_to(ROOT)}")


if __name__ == "__main__":
    main()
