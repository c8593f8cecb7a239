#!/usr/bin/env bash
# `make wheels-check`: builds the wheels (tools/build_wheels.sh, same arguments and
# PYTHONS), then installs each into a clean venv of its own interpreter with the pinned
# test requirements and runs the pytest suite there, against the installed module, from an
# empty folder. The slow stress tests are deselected (SARFAN_WHEEL_PYTEST_ARGS to change).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
out=build/wheels
pytest_args=${SARFAN_WHEEL_PYTEST_ARGS:--m "not slow"}
tools/build_wheels.sh "$@"
mapfile -t pythons < <(tools/find_pythons.sh "$@" 2>/dev/null)

summary=()
status=0
for python in "${pythons[@]}"; do
  tag=$("$python" -c 'import sys; print("cp%d%d" % sys.version_info[:2])')
  wheel=$(ls "$out"/sarfan-*-"$tag"-*.whl)
  venv="$root/$out/venv-$tag"
  rm -rf "$venv"
  "$python" -m venv "$venv"
  "$venv/bin/python" -m pip install -q --disable-pip-version-check -r requirements-test.txt "$wheel"
  empty=$(mktemp -d)
  # Never the build tree: the module must come from the venv's site-packages.
  module=$(cd "$empty" && env -u PYTHONPATH "$venv/bin/python" -c 'import sarfan; print(sarfan.__file__)')
  case $module in
    "$venv"/lib/python3*/site-packages/sarfan.*.so) ;;
    *) echo "wheels-check: $tag imports sarfan from $module, not from its venv" >&2; exit 1 ;;
  esac
  log="$root/$out/pytest-$tag.log"
  set +e
  (cd "$empty" && env -u PYTHONPATH "$venv/bin/python" -m pytest "$root/tests" -q -rs \
     -p no:cacheprovider $pytest_args) > "$log" 2>&1
  code=$?
  set -e
  rm -rf "$empty"
  result=$(tail -n 1 "$log")
  echo "wheels-check: $tag ($("$python" -c 'import platform; print(platform.python_version())')): $result"
  grep '^SKIPPED' "$log" | sed 's/^/  /' || true
  summary+=("$tag: $result")
  if [ $code -ne 0 ] && [ $code -ne 5 ]; then status=1; tail -n 40 "$log" >&2; fi
done
printf 'wheels-check: %s\n' "${summary[@]}"
exit $status
