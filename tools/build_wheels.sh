#!/usr/bin/env bash
# `make wheels`: the sdist, then one repaired manylinux2014 wheel per line of
# tools/wheels/plan.sh (x86-64 for CPython 3.9 to 3.14, aarch64 for 3.11, 3.13 and 3.14),
# each built from that sdist, into build/wheels/. Arguments go to plan.sh (--ends: the
# oldest and the newest x86-64 wheels and the oldest aarch64 one).
set -euo pipefail
cd "$(dirname "$0")/.."
out=build/wheels
mapfile -t plan < <(tools/wheels/plan.sh "$@")
sdist=$(tools/make_sdist.sh dist)
rm -f "$out"/sarfan-*.whl
for line in "${plan[@]}"; do
  read -r arch version python _ <<< "$line"
  wheel=$(tools/build_wheel.sh "$python" "$sdist" "$out" "$arch")
  echo "wheels: $wheel"
done
