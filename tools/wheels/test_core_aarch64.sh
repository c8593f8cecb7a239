#!/usr/bin/env bash
# The C++ tests (the core's, with the differential and reference tests, and the batch
# pool's) cross-built with zig for aarch64 and run by ctest under qemu-user, against
# Debian 12's arm64 glibc: on aarch64 the plain fallbacks of the SSE2 paths are the code.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/zig_env.sh"
source "$here/debian_pythons.sh"
build="$root/build/aarch64"
deps=$("$here/build_deps.sh" "$aarch64_target" utf8proc onetbb gtest)
sysroot=$(debian_python_sysroot arm64 3.11)
defines=$("$here/host_tools.sh" "$root" "$build/host")
export SARFAN_ZIG_BIN=$(zig_wrappers "$aarch64_target") SARFAN_ZIG_TARGET=$aarch64_target
export QEMU_CPU=cortex-a72
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/ZigToolchain.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DSARFAN_BUILD_BENCH=OFF -DSARFAN_BUILD_PYTHON=OFF \
  -DPython3_EXECUTABLE="$root/.venv/bin/python" -DSARFAN_UTF8PROC_ROOT="$deps" \
  -DTBB_DIR="$deps/lib/cmake/TBB" -DGTest_DIR="$deps/lib/cmake/GTest" \
  -DCMAKE_CROSSCOMPILING_EMULATOR="qemu-aarch64-static;-L;$sysroot" \
  $(tr ';' '\n' <<< "$defines" | sed 's/^/-D/') > "$build.configure.log" 2>&1 \
  || { tail -n 40 "$build.configure.log" >&2; exit 1; }
cmake --build "$build" -j "${JOBS:-2}"
ctest --test-dir "$build" --output-on-failure -j "${JOBS:-2}"
