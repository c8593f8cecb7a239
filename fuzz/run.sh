#!/usr/bin/env bash
# Runs every fuzz target for a bounded time, two at a time (one a core), starting from the
# committed seeds plus whatever earlier runs found (kept under the build folder), and
# writes a table of executions and crashes. Exits non-zero when a target crashed; the
# input that did it is kept under <work>/artifacts/.
#   fuzz/run.sh BUILD_DIR SECONDS_PER_TARGET [WORK_DIR (default BUILD_DIR)]
set -euo pipefail
build=$1
seconds=$2
work=${3:-$build}
here=$(cd "$(dirname "$0")" && pwd)
targets=(fuzz_vocab_loader fuzz_plugin_loader fuzz_normalize fuzz_encode fuzz_decode)
mkdir -p "$work/artifacts" "$work/logs"

run_one() {
  local target=$1 max_len=4096
  case $target in fuzz_vocab_loader | fuzz_plugin_loader) max_len=20000 ;; esac
  local corpus="$work/corpus/$target"
  mkdir -p "$corpus"
  cp -n "$here/corpus/$target"/* "$corpus/" 2>/dev/null || true
  "$build/fuzz/$target" "$corpus" -max_total_time="$seconds" -max_len="$max_len" \
    -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$work/artifacts/$target-" >"$work/logs/$target.log" 2>&1
}
export -f run_one
export build work seconds here

status=0
printf '%s\n' "${targets[@]}" | xargs -P 2 -I{} bash -c 'run_one {}' || status=$?

report="$work/report.md"
{
  echo "| target | seconds | executions | corpus | crashes |"
  echo "|---|---:|---:|---:|---:|"
  for target in "${targets[@]}"; do
    log="$work/logs/$target.log"
    runs=$(awk '/stat::number_of_executed_units/ {print $2}' "$log")
    crashes=$(find "$work/artifacts" -name "$target-*" | wc -l)
    inputs=$(find "$work/corpus/$target" -type f | wc -l)
    echo "| \`$target\` | $seconds | ${runs:-?} | $inputs | $crashes |"
  done
} >"$report"
cat "$report"
if [ "$status" -ne 0 ]; then
  echo "fuzz: a target failed; see $work/logs and $work/artifacts" >&2
  grep -h -A3 "invariant broken\|ERROR: " "$work"/logs/*.log >&2 || true
  exit 1
fi
