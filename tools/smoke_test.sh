#!/usr/bin/env bash
# Checks that the sarfan installed in VENV works with no file, no network and no variable:
# the module from an empty folder with an empty environment, and the command.
#   tools/smoke_test.sh VENV
set -euo pipefail
venv=$(cd "$1" && pwd)
empty=$(mktemp -d)
trap 'rm -rf "$empty"' EXIT
smoke='import sarfan
t = sarfan.SarfanMSATokenizer.load_default()
assert t.encode_ids("في الكتاب") == [1, 264, 541, 2]
assert t.encode_batch_ids(["في"] * 3000)[0] == [1, 264, 2]'
(cd "$empty" && env -i PATH=/usr/bin:/bin HOME="$empty" "$venv/bin/python" -c "$smoke")
(cd "$empty" && env -i PATH=/usr/bin:/bin HOME="$empty" "$venv/bin/sarfan" encode --ids-only "في الكتاب") \
  | grep -qx "1 264 541 2"
