#!/usr/bin/env bash
# Installs WHEEL into a clean venv of PYTHON with the pinned test requirements and runs the
# pytest suite there, against the installed module, from an empty folder. The log goes to
# build/wheels/pytest-<tag>.log; the last line printed is pytest's summary.
#   tools/test_wheel.sh PYTHON WHEEL
# The slow stress tests are deselected (SARFAN_WHEEL_MARKERS, "not stress", to change).
set -euo pipefail
python=$1
wheel=$2
cd "$(dirname "$0")/.."
root=$PWD
tag=$("$python" -c 'import sys; print("cp%d%d" % sys.version_info[:2])')
venv="$root/build/wheels/venv-$tag"
log="$root/build/wheels/pytest-$tag.log"
rm -rf "$venv"
"$python" -m venv "$venv"
"$venv/bin/python" -m pip install -q --disable-pip-version-check -r requirements-test.txt "$wheel"
empty=$(mktemp -d)
trap 'rm -rf "$empty"' EXIT
# Never the build tree: the module must come from the venv's site-packages.
module=$(cd "$empty" && env -u PYTHONPATH "$venv/bin/python" -c 'import sarfan; print(sarfan.__file__)')
case $module in
  "$venv"/lib/python3*/site-packages/sarfan.*.so) ;;
  *) echo "wheels-check: $tag imports sarfan from $module, not from its venv" >&2; exit 1 ;;
esac
set +e
(cd "$empty" && env -u PYTHONPATH "$venv/bin/python" -m pytest "$root/tests" -q -rs \
   -p no:cacheprovider -m "${SARFAN_WHEEL_MARKERS-not stress}") > "$log" 2>&1
code=$?
set -e
version=$("$python" -c 'import platform; print(platform.python_version())')
grep "^SKIPPED" "$log" | sed "s|[./]*$root/||; s/^/  /" || true
if [ $code -ne 0 ]; then tail -n 60 "$log" >&2; fi
echo "$tag ($version): $(grep -E '(passed|failed|error|no tests ran)' "$log" | tail -n 1)"
exit $code
