#!/usr/bin/env bash
# Instructions and cache misses per input byte of each engine operation, from cachegrind
# on a slice of the corpus: the counts of one pass minus those of loading the vocabulary.
# LL is simulated twice: as the machine's last level (cachegrind's default) and as a
# 512 KiB L2, the level that the index has to fit.
#
#   bench/cachegrind.sh BUILD_DIR CORPUS [BYTES] [MODES...]
set -euo pipefail
build=$1 corpus=$2 bytes=${3:-1000000}
shift $(( $# < 3 ? $# : 3 ))
modes=("${@:-ids ids-raw encode normalize}")
read -r -a modes <<<"${modes[*]}"
slice=$build/bench/sarfan_bench_slice
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Prints "Ir D1mr DLmr" of one run.
counts() {
  local out=$work/cg.$1.$2
  valgrind --tool=cachegrind --cache-sim=yes $3 --cachegrind-out-file="$out" \
    "$slice" "$corpus" "$bytes" "$1" >/dev/null 2>&1
  awk '/^events:/ {for (i = 2; i <= NF; i++) col[$i] = i - 1}
       /^summary:/ {print $(col["Ir"] + 1), $(col["D1mr"] + 1) + $(col["D1mw"] + 1),
                          $(col["DLmr"] + 1) + $(col["DLmw"] + 1)}' "$out"
}

actual=$("$slice" "$corpus" "$bytes" load | awk '{print $1}')
printf '%-10s %10s %10s %12s %14s\n' mode Ir/byte D1miss/byte LLmiss/byte L2miss/byte
for ll in default l2; do
  opt=""
  [ $ll = l2 ] && opt="--LL=524288,8,64"
  read -r base_ir base_d1 base_ll <<<"$(counts load $ll "$opt")"
  for mode in "${modes[@]}"; do
    read -r ir d1 llm <<<"$(counts "$mode" $ll "$opt")"
    echo "$mode $ll $(( ir - base_ir )) $(( d1 - base_d1 )) $(( llm - base_ll ))"
  done
done | awk -v bytes="$actual" '
  {ir[$1] = $3 / bytes; d1[$1] = $4 / bytes; if ($2 == "default") ll[$1] = $5 / bytes; else l2[$1] = $5 / bytes; order[$1] = NR}
  END {for (m in order) printf "%-10s %10.2f %10.4f %12.5f %14.4f\n", m, ir[m], d1[m], ll[m], l2[m]}'
