#!/usr/bin/env bash
# `make wheels`: the sdist, then one repaired wheel per interpreter that
# tools/find_pythons.sh reports (PYTHONS=... to choose), each built from that sdist, into
# build/wheels/. Arguments go to find_pythons.sh (--ends: the oldest and the newest only).
set -euo pipefail
cd "$(dirname "$0")/.."
out=build/wheels
mapfile -t pythons < <(tools/find_pythons.sh "$@")
sdist=$(tools/make_sdist.sh dist)
rm -f "$out"/sarfan-*.whl
for python in "${pythons[@]}"; do
  wheel=$(tools/build_wheel.sh "$python" "$sdist" "$out")
  echo "wheels: $wheel"
done
