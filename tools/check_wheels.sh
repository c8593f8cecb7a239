#!/usr/bin/env bash
# `make wheels-check`: builds the wheels (tools/build_wheels.sh, same arguments), then tests
# each where it runs: an x86-64 wheel in a clean venv of this machine's interpreter
# (tools/test_wheel.sh), or in a chroot of Debian's where this machine has none; an aarch64
# wheel under qemu-user with Debian's arm64 CPython (tools/wheels/test_wheel_debian.sh).
# Then the C++ tests built for aarch64, under qemu. Fails if any suite fails; the summary
# lists every wheel.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/build_wheels.sh "$@"
mapfile -t plan < <(tools/wheels/plan.sh "$@")
summary=()
status=0
for line in "${plan[@]}"; do
  read -r arch version python origin <<< "$line"
  tag="cp${version/./}"
  wheel=$(ls build/wheels/sarfan-*-"$tag"-*_"$arch".whl)
  if [ "$arch" = aarch64 ]; then
    test=(tools/wheels/test_wheel_debian.sh arm64 "$version" "$wheel")
  elif [ "$origin" = debian ]; then
    test=(tools/wheels/test_wheel_debian.sh amd64 "$version" "$wheel")
  else
    test=(tools/test_wheel.sh "$python" "$wheel")
  fi
  if result=$("${test[@]}"); then :; else status=1; fi
  echo "$result"
  summary+=("$(tail -n 1 <<< "$result")")
done
if core=$(tools/wheels/test_core_aarch64.sh 2>&1); then :; else status=1; echo "$core"; fi
summary+=("aarch64 C++ tests under qemu: $(grep -E 'tests passed' <<< "$core" | tail -n 1)")
printf 'wheels-check: %s\n' "${summary[@]}"
exit $status
