#!/usr/bin/env bash
# Prints a program that runs Debian's x86-64 CPython VERSION (tools/wheels/debian_pythons.sh)
# on this machine through the loader and libraries of its sysroot, for a version this
# machine has no interpreter of: it runs the build of that version's wheels.
#   tools/wheels/debian_python.sh VERSION
set -euo pipefail
version=$1
here=$(cd "$(dirname "$0")" && pwd)
source "$here/debian_pythons.sh"
sysroot=$(debian_python_sysroot amd64 "$version")
# Beside the real one, so that the interpreter finds its library from its own path
# (PYTHONHOME would leak into the programs it starts).
wrapper="$sysroot/usr/bin/python$version-here"
cat > "$wrapper" <<WRAPPER
#!/bin/sh
exec "$sysroot/usr/lib64/ld-linux-x86-64.so.2" --library-path "$sysroot/usr/lib/x86_64-linux-gnu" \\
  --argv0 "\$0" "$sysroot/usr/bin/python$version" "\$@"
WRAPPER
chmod +x "$wrapper"
echo "$wrapper"
