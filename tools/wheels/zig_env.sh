# Sourced by the wheel scripts: the pinned zig of .venv (requirements-dev.txt) and the
# caches that outlive a clone, under ~/.cache/sarfan/zig-<version> (SARFAN_CACHE to move):
# zig's own cache (its libc++ builds) and the static dependencies of each target.
#   zig_wrappers TARGET    writes cc, c++, ar and ranlib for TARGET under build/zig/ and
#                          prints their folder (CMake takes one program per tool)
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
zig=$("$root/.venv/bin/python" -c 'import ziglang, os; print(os.path.join(os.path.dirname(ziglang.__file__), "zig"))')
zig_version=$("$zig" version)
sarfan_cache=${SARFAN_CACHE:-$HOME/.cache/sarfan}
zig_cache="$sarfan_cache/zig-$zig_version"
export ZIG_GLOBAL_CACHE_DIR="$zig_cache/zig-cache"
export ZIG_LOCAL_CACHE_DIR="$zig_cache/zig-cache"

# The targets of the wheels: glibc 2.17 is manylinux2014's floor.
x86_64_target=x86_64-linux-gnu.2.17
aarch64_target=aarch64-linux-gnu.2.17

zig_wrappers() {
  local target=$1 dir="$root/build/zig/$1"
  mkdir -p "$dir"
  local tool
  for tool in cc c++ ar ranlib; do
    local command=$tool
    case $tool in cc | c++) command="$tool -target $target" ;; esac
    printf '#!/bin/sh\nexec "%s" %s "$@"\n' "$zig" "$command" > "$dir/$tool"
    chmod +x "$dir/$tool"
  done
  echo "$dir"
}
