#!/usr/bin/env bash
# Compiles, without linking or running anything, what of sarfan needs no CPython headers
# for platforms this machine cannot run: the core library (with utf8proc built for the
# target) and the batch pool (against oneTBB's headers), for macOS on Apple silicon and
# 64-bit Windows (MinGW), with zig. The extension itself needs the target's pyconfig.h,
# which neither Debian nor PyPI ships for these platforms.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/zig_env.sh"
tbb_headers="$("$here/build_deps.sh" "$x86_64_target")/include"
for target in aarch64-macos x86_64-windows-gnu; do
  build="$root/build/compile-$target"
  deps=$("$here/build_deps.sh" "$target" utf8proc)
  defines=$("$here/host_tools.sh" "$root" "$build/host")
  export SARFAN_ZIG_BIN=$(zig_wrappers "$target") SARFAN_ZIG_TARGET=$target
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/ZigToolchain.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DSARFAN_BUILD_TESTS=OFF -DSARFAN_BUILD_BENCH=OFF \
    -DSARFAN_BUILD_PYTHON=OFF -DPython3_EXECUTABLE="$root/.venv/bin/python" \
    -DSARFAN_UTF8PROC_ROOT="$deps" -DCMAKE_COMPILE_WARNING_AS_ERROR=ON \
    $(tr ';' '\n' <<< "$defines" | sed 's/^/-D/') > "$build.configure.log" 2>&1 \
    || { tail -n 40 "$build.configure.log" >&2; exit 1; }
  cmake --build "$build" -j "${JOBS:-2}" --target sarfan_core
  "$SARFAN_ZIG_BIN/c++" -std=c++20 -O2 -Wall -Wextra -Werror -I"$tbb_headers" \
    -c "$root/python/src/lib/batch_pool.cc" -o "$build/batch_pool.o"
  echo "compile: the core library and the batch pool compile for $target"
done
