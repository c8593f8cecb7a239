#!/usr/bin/env bash
# Runs the pytest suite against WHEEL installed for Debian's CPython VERSION of ARCH:
#   arm64   under qemu-user, the interpreter unpacked into a sysroot;
#   amd64   in a chroot of that sysroot (a CPython newer than this machine's glibc).
# The wheel and the test requirements are installed into a folder of their own by this
# machine's pip, for that interpreter's version and platform. The log goes to
# build/wheels/pytest-<arch>-<tag>.log; the last line printed is pytest's summary.
#   tools/wheels/test_wheel_debian.sh ARCH VERSION WHEEL
# The slow stress tests are deselected (SARFAN_WHEEL_MARKERS, "not stress", to change).
set -euo pipefail
arch=$1
version=$2
wheel=$(cd "$(dirname "$3")" && pwd)/$(basename "$3")
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
source "$here/debian_pythons.sh"
sysroot=$(debian_python_sysroot "$arch" "$version")
tag="cp${version/./}"
log="$root/build/wheels/pytest-$arch-$tag.log"
mkdir -p "$root/build/wheels"

case $arch in
  arm64)
    # sid's arm64 builds use pointer authentication, slow to emulate; a Cortex-A72 has none.
    export QEMU_CPU=cortex-a72
    work="$root/build/wheels/qemu-$tag"
    inside=$work
    # The interpreter as a program of this machine: the tests start sys.executable again.
    rm -rf "$work" && mkdir -p "$work"
    printf '#!/bin/sh\nexec qemu-aarch64-static -0 "$0" -L "%s" "%s/usr/bin/python%s" "$@"\n' \
      "$sysroot" "$sysroot" "$version" > "$work/python"
    chmod +x "$work/python"
    run=("$work/python")
    machine=aarch64
    ;;
  amd64)
    # The source tree's files (the suite reads some beside its own) inside the chroot.
    work="$sysroot/sarfan-check"
    inside=/sarfan-check
    rm -rf "$work" && mkdir -p "$work" "$sysroot/tmp" "$sysroot/dev"
    chmod 1777 "$sysroot/tmp"
    (cd "$root" && git ls-files -z --cached --others --exclude-standard | tar -c --null -T - -f -) \
      | tar -x -C "$work"
    for node in "null c 1 3" "zero c 1 5" "urandom c 1 9"; do
      set -- $node
      [ -e "$sysroot/dev/$1" ] || mknod -m 666 "$sysroot/dev/$1" "$2" "$3" "$4"
    done
    run=(chroot "$sysroot" "/usr/bin/python$version")
    machine=x86_64
    ;;
  *) echo "test_wheel_debian: no way to run $arch" >&2; exit 1 ;;
esac

# The manylinux tags that the sysroot's glibc allows (pip takes each one by name).
libc=$(ls "$sysroot"/lib/*-linux-gnu/libc.so.6)
glibc=$(strings "$libc" | sed -n 's/^GLIBC_2\.\([0-9]*\)$/\1/p' | sort -n | tail -n 1)
"$root/.venv/bin/python" -m pip install -q --disable-pip-version-check --target "$work/site" \
  --python-version "$version" --implementation cp --only-binary=:all: \
  $(for minor in $(seq 17 "$glibc"); do echo "--platform manylinux_2_${minor}_$machine"; done) -r "$root/requirements-test.txt" "$wheel"

tests="$root/tests"
if [ "$arch" = amd64 ]; then tests="$inside/tests"; fi
# From an empty folder (chroot starts in /): the module must come from the install folder.
mkdir -p "$work/empty"
in_empty() { (cd "$work/empty" && env PYTHONPATH="$inside/site" HOME=/tmp "${run[@]}" "$@"); }
module=$(in_empty -c 'import sarfan; print(sarfan.__file__)')
case $module in
  "$inside"/site/sarfan.cpython-*.so) ;;
  *) echo "wheels-check: $arch $tag imports sarfan from $module, not from its folder" >&2; exit 1 ;;
esac
set +e
in_empty -m pytest "$tests" -q -rs -p no:cacheprovider -m "${SARFAN_WHEEL_MARKERS-not stress}" > "$log" 2>&1
code=$?
set -e
grep "^SKIPPED" "$log" | sed "s|\(\.\./\)*tests/|tests/|; s|$inside/||; s/^/  /" || true
if [ $code -ne 0 ]; then tail -n 60 "$log" >&2; fi
echo "$arch $tag (Debian $(debian_python_suite "$version")): $(grep -E '(passed|failed|error|no tests ran)' "$log" | tail -n 1)"
exit $code
