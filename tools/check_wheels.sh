#!/usr/bin/env bash
# `make wheels-check`: builds the wheels (tools/build_wheels.sh, same arguments and
# PYTHONS), then tests each installed in a clean venv of its own interpreter
# (tools/test_wheel.sh). Fails if any suite fails; the summary lists every interpreter.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/build_wheels.sh "$@"
mapfile -t pythons < <(tools/find_pythons.sh "$@" 2>/dev/null)
summary=()
status=0
for python in "${pythons[@]}"; do
  tag=$("$python" -c 'import sys; print("cp%d%d" % sys.version_info[:2])')
  if result=$(tools/test_wheel.sh "$python" "$(ls build/wheels/sarfan-*-"$tag"-*.whl)"); then :; else status=1; fi
  echo "$result"
  summary+=("$(tail -n 1 <<< "$result")")
done
printf 'wheels-check: %s\n' "${summary[@]}"
exit $status
