#!/usr/bin/env bash
# `make sdist-check`: pip install of the sdist into a clean venv (the interpreter of .venv)
# builds the module from source with what `make setup` installed, and it then works. Where
# utf8proc or oneTBB is missing, the first error line of pip's output names the library and
# its package.
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

# LIBRARY PACKAGE DEFINES: with DEFINES hiding LIBRARY, the install fails and the first
# error line after pip's own names LIBRARY and PACKAGE.
expect_missing() {
  local log="$out/missing-$1.log"
  if SKBUILD_CMAKE_DEFINE="$3" "$out/venv/bin/pip" install -q --disable-pip-version-check \
    --force-reinstall --no-deps "$sdist" > "$log" 2>&1; then
    echo "sdist: built without $1" >&2
    exit 1
  fi
  local first
  first=$(grep -v "subprocess-exited-with-error" "$log" | grep -m 1 -i "error" || true)
  if [[ $first != *"error: sarfan needs $1"*"$2"* ]]; then
    echo "sdist: without $1 the first error line is: $first" >&2
    exit 1
  fi
}
expect_missing utf8proc libutf8proc-dev "SARFAN_UTF8PROC_ROOT=$out/nothing"
expect_missing oneTBB libtbb-dev \
  "SARFAN_UTF8PROC_ROOT=$root/.deps/utf8proc/usr;CMAKE_DISABLE_FIND_PACKAGE_TBB=ON"
echo "sdist: $sdist builds with pip install and runs; without utf8proc or oneTBB, pip says which"
