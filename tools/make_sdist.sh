#!/usr/bin/env bash
# Writes the source distribution into OUT_DIR and prints its path.
#   tools/make_sdist.sh OUT_DIR
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=$(mkdir -p "$1" && cd "$1" && pwd)
name=$(cd "$root" && "$root/.venv/bin/python" -c \
  "import sys; from scikit_build_core.build import build_sdist; print(build_sdist(sys.argv[1]))" \
  "$out" | tail -n 1)
echo "$out/$name"
