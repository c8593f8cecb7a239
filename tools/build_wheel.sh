#!/usr/bin/env bash
# Builds the wheel of one interpreter from a source tree or an sdist, bundles oneTBB into it
# (auditwheel) and checks that the extension needs nothing outside the wheel but libc,
# libm and libstdc++. Prints the repaired wheel's path.
#   tools/build_wheel.sh PYTHON SOURCE OUT_DIR
set -euo pipefail
python=$1
source=$2
out=$3
root=$(cd "$(dirname "$0")/.." && pwd)
tools="$root/.venv/bin"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$out"

# A venv gives every interpreter a pip (Debian's own python3 has none without python3-pip).
"$python" -m venv "$work/venv"
# utf8proc 2.10+ is the one built by `make setup` under .deps/, also for an unpacked sdist.
SKBUILD_CMAKE_DEFINE="SARFAN_UTF8PROC_ROOT=$root/.deps/utf8proc/usr" \
  "$work/venv/bin/python" -m pip wheel -q --no-deps --disable-pip-version-check -w "$work/raw" "$source" >&2
if ! PATH="$tools:$PATH" "$tools/auditwheel" repair -w "$work/repaired" "$work"/raw/*.whl \
  > "$work/repair.log" 2>&1; then
  cat "$work/repair.log" >&2
  exit 1
fi
wheel=$(ls "$work"/repaired/*.whl)

# The libraries the extension itself names (ldd would add libstdc++'s own needs).
"$tools/python" -m zipfile -e "$wheel" "$work/unpacked"
module=$(ls "$work"/unpacked/sarfan.*.so)
outside=$(readelf -d "$module" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' \
  | grep -v -E '^(libc|libm|libstdc\+\+)\.so|^libtbb-[0-9a-f]+\.so' || true)
if [ -n "$outside" ]; then
  echo "wheel: the extension needs libraries outside the wheel: $outside" >&2
  exit 1
fi
mv -f "$wheel" "$out/"
echo "$out/$(basename "$wheel")"
