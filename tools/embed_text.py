#!/usr/bin/env python3
"""Writes a C++ source file that holds a text file as a constant std::string_view.

    embed_text.py INPUT OUTPUT.cc HEADER NAMESPACE NAME

The text goes into raw string literals of at most 32 KiB each, which compile far faster
than an array of numbers. The input must be UTF-8 without NUL or CR bytes.
"""
import sys


def main():
    src, out, header, namespace, name = sys.argv[1:6]
    with open(src, "rb") as f:
        data = f.read()
    if b"\0" in data or b"\r" in data:
        sys.exit(f"{src}: NUL and CR bytes cannot be embedded")
    text = data.decode("utf-8")
    delimiter = "sarfan"
    if f"){delimiter}\"" in text:
        sys.exit(f"{src}: holds the raw string delimiter")
    chunks, start = [], 0
    while start < len(data):
        end = min(start + 32768, len(data))
        while end < len(data) and (data[end] & 0xC0) == 0x80:  # keep characters whole
            end -= 1
        chunks.append(data[start:end].decode("utf-8"))
        start = end
    with open(out, "w", encoding="utf-8", newline="\n") as f:
        f.write(f"// Generated from {src.split('/')[-1]} by tools/embed_text.py. Do not edit.\n")
        f.write(f'#include "{header}"\n\nnamespace {namespace} {{\n\nnamespace {{\n')
        f.write("constexpr char kText[] =\n")
        for chunk in chunks:
            f.write(f'    R"{delimiter}({chunk}){delimiter}"\n')
        if not chunks:
            f.write('    ""\n')
        f.write(";\n}  // namespace\n\n")
        f.write(f"extern const std::string_view {name}(kText, sizeof kText - 1);\n\n")
        f.write(f"}}  // namespace {namespace}\n")


if __name__ == "__main__":
    main()
