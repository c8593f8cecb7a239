#!/usr/bin/env bash
# Builds the wheel of .venv's interpreter as the release wheels are built (zig, glibc 2.17,
# tools/build_wheel.sh checks what it links and exports), installs it into a clean venv and
# checks that the module and the command work with no file, no network and no variable.
set -euo pipefail
cd "$(dirname "$0")/.."
out=build/wheel
rm -rf "$out" && mkdir -p "$out"
wheel=$(tools/build_wheel.sh "$PWD/.venv/bin/python" . "$out")
python3 -m venv "$out/venv"
"$out/venv/bin/pip" install -q --disable-pip-version-check "$wheel"
tools/smoke_test.sh "$out/venv"
tools/check_typing.sh "$out/venv/bin/python"
echo "wheel: $wheel installs and runs; needs only glibc 2.17"
