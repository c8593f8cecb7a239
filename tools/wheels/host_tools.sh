#!/usr/bin/env bash
# Builds into DIR what a cross build of the source TREE runs on this machine, from the same
# utf8proc release as the target's: the NFC table generator and the probe of utf8proc's
# Unicode version. Prints the CMake definitions that hand them to the cross build
# (try_run's answers are cache entries there), separated by semicolons.
#   tools/wheels/host_tools.sh TREE DIR
set -euo pipefail
tree=$1
dir=$2
here=$(cd "$(dirname "$0")" && pwd)
source "$here/zig_env.sh"
deps=$("$here/build_deps.sh" "$x86_64_target")
mkdir -p "$dir"
flags=(-target "$x86_64_target" -O2 -DUTF8PROC_STATIC -I"$deps/include")
"$zig" c++ "${flags[@]}" -std=c++20 "$tree/core/gen/gen_nfc_table.cc" "$deps/lib/libutf8proc.a" \
  -o "$dir/sarfan_gen_nfc_table"
printf '#include <stdio.h>\n#include <utf8proc.h>\nint main(void) { printf("%%s", utf8proc_unicode_version()); return 0; }\n' \
  > "$dir/unicode_version.c"
"$zig" cc "${flags[@]}" "$dir/unicode_version.c" "$deps/lib/libutf8proc.a" -o "$dir/unicode_version"
echo "SARFAN_HOST_GEN_NFC_TABLE=$dir/sarfan_gen_nfc_table;SARFAN_UNICODE_RUN=0;SARFAN_UNICODE_RUN__TRYRUN_OUTPUT=$("$dir/unicode_version")"
