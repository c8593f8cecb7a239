#!/usr/bin/env bash
# Builds the engine benchmark with the wheels' toolchain (zig for glibc 2.17, libc++,
# Google Benchmark from Debian's source package built by the same zig) into build/zig-bench
# and prints its path: `make bench-zig` sets it against the g++ build's.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/zig_env.sh"
deps=$("$here/build_deps.sh" "$x86_64_target" utf8proc onetbb benchmark)
build="$root/build/zig-bench"
export SARFAN_ZIG_BIN=$(zig_wrappers "$x86_64_target") SARFAN_ZIG_TARGET=$x86_64_target
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/ZigToolchain.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DSARFAN_BUILD_PYTHON=OFF -DSARFAN_BUILD_TESTS=OFF \
  -DSARFAN_BUILD_BENCH=ON -DPython3_EXECUTABLE="$root/.venv/bin/python" \
  -DSARFAN_UTF8PROC_ROOT="$deps" -DTBB_DIR="$deps/lib/cmake/TBB" \
  -Dbenchmark_DIR="$deps/lib/cmake/benchmark" > "$build.configure.log" 2>&1 \
  || { tail -n 40 "$build.configure.log" >&2; exit 1; }
cmake --build "$build" -j "${JOBS:-2}" --target sarfan_bench_engine >&2
echo "$build/bench/sarfan_bench_engine"
