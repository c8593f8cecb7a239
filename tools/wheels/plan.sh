#!/usr/bin/env bash
# Prints the wheels to build and test, one a line: ARCH VERSION PYTHON ORIGIN, oldest first
# for each architecture. PYTHON runs the build: an interpreter of this machine of that
# version (ORIGIN "here"; tools/find_pythons.sh, PYTHONS=... to choose the x86-64 ones),
# else Debian's, unpacked (ORIGIN "debian"; tools/wheels/debian_python.sh), which the tests
# then run in a chroot.
#   x86_64    CPython 3.9 to 3.14
#   aarch64   the versions Debian has an arm64 CPython of to test with: 3.11, 3.13, 3.14
# With --ends: the oldest and the newest x86-64 wheels and the oldest aarch64 one.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
ends=${1:-}
aarch64_versions=(3.11 3.13 3.14)

native=$("$here/../find_pythons.sh" 2>/dev/null || true)
version_of() { "$1" -c 'import sys; print("%d.%d" % sys.version_info[:2])'; }
# PYTHON for a version: this machine's, else Debian's where it has one.
build_python() {
  local python
  for python in $native; do
    if [ "$(version_of "$python")" = "$1" ]; then echo "$python here"; return; fi
  done
  echo "$("$here/debian_python.sh" "$1") debian"
}

x86=()
for python in $native; do x86+=("$(version_of "$python")"); done
if [ -z "${PYTHONS:-}" ] && [[ " ${x86[*]} " != *" 3.14 "* ]]; then x86+=(3.14); fi
if [ "$ends" = --ends ] && [ ${#x86[@]} -gt 2 ]; then x86=("${x86[0]}" "${x86[-1]}"); fi
if [ "$ends" = --ends ]; then aarch64_versions=("${aarch64_versions[0]}"); fi

for version in "${x86[@]}"; do echo "x86_64 $version $(build_python "$version")"; done
for version in "${aarch64_versions[@]}"; do echo "aarch64 $version $(build_python "$version")"; done
