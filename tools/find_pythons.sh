#!/usr/bin/env bash
# Prints the CPython interpreters to build wheels for, one path a line, oldest first, and
# tells on stderr which were found and which are missing.
#   PYTHONS="3.9 /opt/py/bin/python3.12"   versions (looked up as below) or paths
#   unset                                   every CPython 3.9 to 3.14 found: pyenv's
#                                           versions first, then python3.X on PATH
# With --ends only the oldest and the newest of them are printed.
set -euo pipefail
minors=(9 10 11 12 13 14)
pyenv_root=$(pyenv root 2>/dev/null || echo "${PYENV_ROOT:-$HOME/.pyenv}")

# An interpreter that can build and test a wheel: CPython 3.9+, venv and the C headers.
usable() {
  "$1" - <<'EOF' 2>/dev/null
import os, sys, sysconfig, venv, ensurepip
ok = sys.implementation.name == "cpython" and sys.version_info >= (3, 9)
ok = ok and os.path.exists(os.path.join(sysconfig.get_paths()["include"], "Python.h"))
sys.exit(0 if ok else 1)
EOF
}

# The newest patch release of 3.$1 under pyenv, else python3.$1 on PATH.
lookup() {
  local candidate
  for candidate in $(ls -d "$pyenv_root"/versions/3."$1".* 2>/dev/null | sort -V -r); do
    [[ $(basename "$candidate") =~ ^3\.$1\.[0-9]+$ ]] || continue
    if usable "$candidate/bin/python3"; then echo "$candidate/bin/python3"; return; fi
  done
  candidate=$(command -v "python3.$1" || true)
  if [ -n "$candidate" ] && usable "$candidate"; then echo "$candidate"; fi
}

found=()
missing=()
if [ -n "${PYTHONS:-}" ]; then
  for want in $PYTHONS; do
    if [[ $want =~ ^3\.([0-9]+)$ ]]; then path=$(lookup "${BASH_REMATCH[1]}"); else path=$want; fi
    if [ -n "$path" ] && usable "$path"; then found+=("$path"); else missing+=("$want"); fi
  done
else
  for minor in "${minors[@]}"; do
    path=$(lookup "$minor")
    if [ -n "$path" ]; then found+=("$path"); else missing+=("3.$minor"); fi
  done
fi

# Oldest first, by the interpreters' own version numbers.
sorted=()
while read -r _ path; do sorted+=("$path"); done < <(
  for path in "${found[@]}"; do
    echo "$("$path" -c 'import sys; print("%d.%05d" % sys.version_info[:2])') $path"
  done | sort -n)
for path in "${sorted[@]}"; do
  echo "pythons: found CPython $("$path" -c 'import platform; print(platform.python_version())') ($path)" >&2
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "pythons: not found (no wheel for these): ${missing[*]}" >&2
fi
if [ ${#sorted[@]} -eq 0 ]; then
  echo "pythons: no usable CPython 3.9+ (with venv and headers) found" >&2
  exit 1
fi
if [ "${1:-}" = "--ends" ] && [ ${#sorted[@]} -gt 2 ]; then
  sorted=("${sorted[0]}" "${sorted[-1]}")
fi
printf '%s\n' "${sorted[@]}"
