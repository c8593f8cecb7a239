#!/usr/bin/env bash
# `make sdist-check`: pip install of the sdist into a clean venv (the interpreter of .venv)
# builds the module from source with what `make setup` installed, and it then works.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
out=build/sdist-check
rm -rf "$out" && mkdir -p "$out"
sdist=$(tools/make_sdist.sh dist)
"$root/.venv/bin/python" -m venv "$out/venv"
# utf8proc 2.10+ is not a system package on Debian 12: `make setup` put it under .deps/.
SKBUILD_CMAKE_DEFINE="SARFAN_UTF8PROC_ROOT=$root/.deps/utf8proc/usr" \
  "$out/venv/bin/pip" install -q --disable-pip-version-check "$sdist"
tools/smoke_test.sh "$out/venv"
echo "sdist: $sdist builds with pip install and runs"
