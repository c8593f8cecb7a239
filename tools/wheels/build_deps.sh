#!/usr/bin/env bash
# Builds static libraries for zig TARGET, once per zig version, target and source version,
# and prints their install prefix. LIBRARY is one of (default: the two a wheel links)
#   utf8proc   Debian testing's source package (the release `make setup` unpacks)
#   onetbb     Debian 12's source package (the release the host build uses)
#   gtest      the sources libgtest-dev ships, for the C++ tests of a cross build
#   benchmark  Google Benchmark, Debian 12's source package, for the engine benchmarks
#   tools/wheels/build_deps.sh TARGET [LIBRARY...]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/zig_env.sh"
target=$1
shift
libraries=("$@")
[ ${#libraries[@]} -gt 0 ] || libraries=(utf8proc onetbb)
jobs=${JOBS:-2}

onetbb=$("$here/debian_source.sh" bookworm onetbb)
utf8proc=$("$here/debian_source.sh" testing utf8proc)
benchmark=$("$here/debian_source.sh" bookworm benchmark)
prefix="$zig_cache/deps/$target"
export SARFAN_ZIG_BIN=$(zig_wrappers "$target") SARFAN_ZIG_TARGET=$target

# One CMake project into the prefix, unless its stamp already names this source.
build() {
  local name=$1 source=$2
  shift 2
  local stamp="$prefix/.built-$name" key
  key=$(basename "$source")
  if [ "$(cat "$stamp" 2>/dev/null)" = "$key" ]; then return; fi
  echo "deps: building $name for $target" >&2
  local work="$zig_cache/deps-build/$target/$name"
  rm -rf "$work" && mkdir -p "$work"
  cmake -S "$source" -B "$work" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/ZigToolchain.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_INSTALL_LIBDIR=lib \
    -DBUILD_SHARED_LIBS=OFF -DCMAKE_POSITION_INDEPENDENT_CODE=ON "$@" > "$work.log" 2>&1 \
    || { tail -n 40 "$work.log" >&2; exit 1; }
  { cmake --build "$work" -j "$jobs" && cmake --install "$work"; } >> "$work.log" 2>&1 \
    || { tail -n 40 "$work.log" >&2; exit 1; }
  rm -rf "$work"
  echo "$key" > "$stamp"
}

mkdir -p "$prefix"
for library in "${libraries[@]}"; do
  case $library in
    utf8proc) build utf8proc "$utf8proc" -DUTF8PROC_INSTALL=ON -DUTF8PROC_ENABLE_TESTING=OFF ;;
    # oneTBB 2021.8's CMake files predate CMake 4's minimum policy version.
    onetbb) build onetbb "$onetbb" -DCMAKE_POLICY_VERSION_MINIMUM=3.5 -DTBB_TEST=OFF \
      -DTBB_EXAMPLES=OFF -DTBB_STRICT=OFF -DTBBMALLOC_BUILD=OFF -DTBB_ENABLE_IPO=OFF ;;
    gtest) build gtest /usr/src/googletest -DBUILD_GMOCK=OFF -DINSTALL_GTEST=ON ;;
    # Debian's source has no git history to take the version from; its pedantic errors
    # include clang's warning on __COUNTER__, which its header tests for.
    benchmark) version=${benchmark##*/benchmark-}
      build benchmark "$benchmark" -DGIT_VERSION="${version%-*}" -DBENCHMARK_ENABLE_TESTING=OFF \
        -DBENCHMARK_ENABLE_GTEST_TESTS=OFF -DBENCHMARK_ENABLE_WERROR=OFF \
        -DCMAKE_CXX_FLAGS=-Wno-c2y-extensions ;;
    *) echo "deps: no library $library" >&2; exit 1 ;;
  esac
done
echo "$prefix"
