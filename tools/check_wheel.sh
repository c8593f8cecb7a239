#!/usr/bin/env bash
# Builds the wheel, bundles oneTBB into it (auditwheel), installs it into a clean venv and
# checks that the extension needs nothing outside the wheel but libc, libm and libstdc++,
# and that the module and the command work with no file, no network and no variable.
set -euo pipefail
cd "$(dirname "$0")/.."
venv="$PWD/.venv/bin"
out=build/wheel
rm -rf "$out" && mkdir -p "$out/raw"
"$venv/pip" wheel -q --no-deps -w "$out/raw" .
PATH="$venv:$PATH" "$venv/auditwheel" repair -w "$out" "$out"/raw/*.whl > /dev/null
rm -rf "$out/venv"
python3 -m venv "$out/venv"
"$out/venv/bin/pip" install -q --disable-pip-version-check "$out"/sarfan-*.whl
module=$(ls "$out"/venv/lib/python3*/site-packages/sarfan.cpython-*.so)
# The libraries the extension itself names (ldd would add libstdc++'s own needs).
outside=$(readelf -d "$module" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' \
  | grep -v -E '^(libc|libm|libstdc\+\+)\.so|^libtbb-[0-9a-f]+\.so' || true)
if [ -n "$outside" ]; then
  echo "wheel: the extension needs libraries outside the wheel: $outside" >&2
  exit 1
fi
empty=$(mktemp -d)
python="$PWD/$out/venv/bin/python"
smoke='import sarfan
t = sarfan.SarfanMSATokenizer.load_default()
assert t.encode_ids("في الكتاب") == [1, 264, 541, 2]
assert t.encode_batch_ids(["في"] * 3000)[0] == [1, 264, 2]'
(cd "$empty" && env -i PATH=/usr/bin:/bin HOME="$empty" "$python" -c "$smoke")
root=$PWD
(cd "$empty" && env -i PATH=/usr/bin:/bin HOME="$empty" "$root/$out/venv/bin/sarfan" encode --ids-only "في الكتاب") \
  | grep -qx "1 264 541 2"
rm -rf "$empty"
tools/check_typing.sh "$out/venv/bin/python"
echo "wheel: $(ls "$out"/sarfan-*.whl) installs and runs; needs only libc, libm, libstdc++"
