#!/usr/bin/env bash
# Builds the wheel of one CPython from a source tree or an sdist with zig for glibc 2.17
# (tools/wheels/zig_env.sh), oneTBB and utf8proc linked in statically, repairs it with
# auditwheel to manylinux2014 and checks that the extension needs nothing but glibc and
# exports PyInit_sarfan only. Prints the repaired wheel's path.
#   tools/build_wheel.sh PYTHON SOURCE OUT_DIR [ARCH]
# PYTHON is an interpreter of this machine of the wheel's CPython version: it runs the
# build (scikit-build-core takes the wheel's tags from it). ARCH is x86_64 (the default) or
# aarch64, cross-built against the headers of Debian's arm64 CPython of that version.
set -euo pipefail
python=$1
source=$2
out=$3
arch=${4:-x86_64}
here=$(cd "$(dirname "$0")" && pwd)
source "$here/wheels/zig_env.sh"
source "$here/wheels/debian_pythons.sh"
work=$(mktemp -d)
trap '[ -n "${KEEP_WORK:-}" ] || rm -rf "$work"' EXIT
mkdir -p "$out"
out=$(cd "$out" && pwd)

version=$("$python" -c 'import sys; print("%d.%d" % sys.version_info[:2])')
case $arch in
  x86_64) target=$x86_64_target triplet=x86_64-linux-gnu ;;
  aarch64) target=$aarch64_target triplet=aarch64-linux-gnu ;;
  *) echo "wheel: no target for $arch" >&2; exit 1 ;;
esac
deps=$("$here/wheels/build_deps.sh" "$target")

if [ -d "$source" ]; then
  tree=$(cd "$source" && pwd)
else
  tar -xzf "$source" -C "$work"
  tree=$(ls -d "$work"/sarfan-*/)
fi

# The build backend, for PYTHON's version, in a folder of its own rather than a venv (an
# interpreter unpacked from Debian has neither venv nor pip: .venv's pip installs for it,
# though it then judges the requirements' markers by its own version, 3.11).
backend="$root/build/zig/backend-$version"
backend_pin=$("$root/.venv/bin/python" -c 'import scikit_build_core; print(scikit_build_core.__version__)')
if [ "$(cat "$backend/.pin" 2>/dev/null)" != "$backend_pin" ]; then
  rm -rf "$backend"
  pip=("$python" -m pip)
  if ! "$python" -m pip --version > /dev/null 2>&1; then
    pip=("$root/.venv/bin/python" -m pip)
  fi
  "${pip[@]}" install -q --disable-pip-version-check --root-user-action=ignore --target "$backend" \
    --python-version "$version" --only-binary=:all: "scikit-build-core==$backend_pin" >&2
  echo "$backend_pin" > "$backend/.pin"
fi

# scikit-build-core's hints would name PYTHON's own headers, also in a cross build: this
# script names the interpreter and the target's headers instead.
defines="SARFAN_UTF8PROC_ROOT=$deps;TBB_DIR=$deps/lib/cmake/TBB;Python3_EXECUTABLE=$python"
build_env=(SKBUILD_CMAKE_PYTHON_HINTS=false)
# Debian's pyconfig.h only includes the one of its architecture, from a folder that must
# not be on a cross compiler's path (its glibc headers would come along): a copy of the
# headers with that pyconfig.h in place.
if [ "$arch" = x86_64 ]; then
  include=$("$python" -c 'import sysconfig; print(sysconfig.get_paths()["include"])')
  multiarch_root=$(dirname "$include")
else
  sysroot=$(debian_python_sysroot arm64 "$version")
  include="$sysroot/usr/include/python$version"
  multiarch_root="$sysroot/usr/include"
fi
if grep -q -E "^# *include <$triplet/python$version/pyconfig.h>" "$include/pyconfig.h"; then
  cp -r "$include" "$work/python-include"
  cp "$multiarch_root/$triplet/python$version/pyconfig.h" "$work/python-include/"
  include="$work/python-include"
fi
defines+=";Python3_INCLUDE_DIR=$include"

if [ "$arch" != x86_64 ]; then
  # The programs the build runs are built for this machine.
  defines+=";$("$here/wheels/host_tools.sh" "$tree" "$work/host")"
  soabi="cpython-${version/./}-$triplet"
  build_env+=(_PYTHON_HOST_PLATFORM="linux-$arch" SETUPTOOLS_EXT_SUFFIX=".$soabi.so")
fi

(cd "$tree" && env "${build_env[@]}" \
   SARFAN_ZIG_BIN="$(zig_wrappers "$target")" SARFAN_ZIG_TARGET="$target" \
   CMAKE_TOOLCHAIN_FILE="$root/cmake/ZigToolchain.cmake" CMAKE_BUILD_PARALLEL_LEVEL="${JOBS:-2}" \
   SKBUILD_CMAKE_DEFINE="$defines" PYTHONPATH="$backend" \
   "$python" -c 'import sys; from scikit_build_core.build import build_wheel; build_wheel(sys.argv[1])' \
   "$work/raw") > "$work/build.log" 2>&1 || { tail -n 60 "$work/build.log" >&2; exit 1; }

# auditwheel names only this machine's architecture in --plat: "auto" (the oldest glibc
# the wheel allows), then the tag is checked.
if ! PATH="$root/.venv/bin:$PATH" auditwheel repair --plat auto -w "$work/repaired" \
  "$work"/raw/*.whl > "$work/repair.log" 2>&1; then
  cat "$work/repair.log" >&2
  exit 1
fi
wheel=$(ls "$work"/repaired/*.whl)
case $(basename "$wheel") in
  *-manylinux2014_"$arch".manylinux_2_17_"$arch".whl) ;;
  *) echo "wheel: $(basename "$wheel") is not tagged manylinux2014" >&2; exit 1 ;;
esac

# The libraries the extension names: glibc's own, nothing else (auditwheel would have
# copied anything more into the wheel).
"$root/.venv/bin/python" -m zipfile -e "$wheel" "$work/unpacked"
module=$(ls "$work"/unpacked/sarfan.cpython-*-"$triplet".so)
outside=$(readelf -d "$module" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' \
  | grep -v -E '^(libc|libm|libpthread|libdl|librt)\.so\.[0-9]+$|^ld-linux-(x86-64|aarch64)\.so\.[0-9]+$' || true)
if [ -n "$outside" ]; then
  echo "wheel: the extension needs libraries outside glibc: $outside" >&2
  exit 1
fi
exported=$(readelf --dyn-syms -W "$module" | awk '$5 == "GLOBAL" && $7 != "UND" {print $8}')
if [ "$exported" != PyInit_sarfan ]; then
  echo "wheel: the extension exports more than PyInit_sarfan:" $exported >&2
  exit 1
fi
mv -f "$wheel" "$out/"
echo "$out/$(basename "$wheel")"
