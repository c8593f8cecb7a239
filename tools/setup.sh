#!/usr/bin/env bash
# Installs what building and testing sarfan needs, and only what is missing:
#   1. Debian packages (apt), on Debian 12 or 13, as root;
#   2. utf8proc >= 2.10 and the matching Unicode data, taken from Debian's testing suite
#      and unpacked under .deps/ (the stable suites ship older utf8proc releases; nothing
#      of the system is upgraded);
#   3. the Python packages of requirements-dev.txt, into .venv (zig, the wheels' compiler,
#      among them; dpkg-dev and qemu-user-static above build and test the wheels).
# With --fuzz it also installs clang and its libFuzzer runtime (for `make fuzz`).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
deps="$root/.deps"

apt_packages=(
  g++ make cmake ninja-build pkg-config bzip2
  libtbb-dev libgtest-dev libbenchmark-dev
  clang-format python3-dev python3-venv
  dpkg-dev qemu-user-static
)
# clang 19 is packaged for both Debian 12 and 13.
if [ "${1:-}" = "--fuzz" ]; then apt_packages+=(clang-19 libclang-rt-19-dev); fi

sudo_if_needed() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }

missing=()
for pkg in "${apt_packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null || true)
  [ "$status" = "install ok installed" ] || missing+=("$pkg")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  sudo_if_needed apt-get update -qq
  sudo_if_needed env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# --- utf8proc and Unicode data from Debian testing, unpacked into .deps/ ---
utf8proc_ok() {
  local header="$deps/utf8proc/usr/include/utf8proc.h"
  [ -f "$header" ] && [ -f "$deps/unicode/NormalizationTest.txt" ] || return 1
  local major minor
  major=$(awk '/#define UTF8PROC_VERSION_MAJOR/ {print $3}' "$header")
  minor=$(awk '/#define UTF8PROC_VERSION_MINOR/ {print $3}' "$header")
  [ "$major" -gt 2 ] || { [ "$major" -eq 2 ] && [ "$minor" -ge 10 ]; }
}
if ! utf8proc_ok; then
  echo "setup: fetching libutf8proc-dev and unicode-data from Debian testing into .deps/"
  apt_dir="$deps/apt"
  rm -rf "$apt_dir" "$deps/utf8proc" "$deps/unicode"
  mkdir -p "$apt_dir/lists/partial" "$apt_dir/archives/partial" "$deps/utf8proc" "$deps/unicode"
  echo "deb [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] http://deb.debian.org/debian testing main" \
    > "$apt_dir/sources.list"
  apt_opts=(
    -o "Dir::Etc::SourceList=$apt_dir/sources.list" -o "Dir::Etc::SourceParts=/dev/null"
    -o "Dir::State::Lists=$apt_dir/lists" -o "Dir::Cache::Archives=$apt_dir/archives"
    -o "APT::Sandbox::User=root" -o "Debug::NoLocking=1"
  )
  apt-get "${apt_opts[@]}" update -qq
  (cd "$apt_dir" && apt-get "${apt_opts[@]}" download libutf8proc-dev unicode-data >/dev/null)
  dpkg -x "$apt_dir"/libutf8proc-dev_*.deb "$deps/utf8proc"
  dpkg -x "$apt_dir"/unicode-data_*.deb "$apt_dir/unicode-data"
  for f in NormalizationTest DerivedNormalizationProps; do
    src="$apt_dir/unicode-data/usr/share/unicode/$f.txt"
    if [ -f "$src" ]; then cp "$src" "$deps/unicode/"; else bzip2 -dc "$src.bz2" > "$deps/unicode/$f.txt"; fi
  done
  rm -rf "$apt_dir/unicode-data" "$apt_dir/lists"
  utf8proc_ok || { echo "setup: utf8proc from Debian testing is older than 2.10" >&2; exit 1; }
fi

# --- Python packages, pinned, into .venv ---
requirements="$root/requirements-dev.txt"
stamp="$root/.venv/.requirements.sha256"
want=$(sha256sum "$requirements" | cut -d' ' -f1)
if [ ! -x "$root/.venv/bin/python" ]; then
  python3 -m venv "$root/.venv"
fi
if [ "$(cat "$stamp" 2>/dev/null)" != "$want" ]; then
  echo "setup: installing Python packages into .venv"
  "$root/.venv/bin/python" -m pip install -q --disable-pip-version-check -r "$requirements"
  echo "$want" > "$stamp"
fi

# --- transformers' own common tokenizer tests, from the sdist of the installed version ---
# (tests/test_tokenization_common.py and the two backend mixins it imports; the wheel has no
# tests). Unpacked as the package `tests` under .deps/transformers-tests/V/. The sdist lacks
# the fixture text the mixin reads; lines of our evaluation text stand in for it.
tf_version=$("$root/.venv/bin/python" -c "import importlib.metadata as m; print(m.version('transformers'))")
tf_tests="$deps/transformers-tests/$tf_version/tests"
if [ ! -f "$tf_tests/test_tokenization_common.py" ]; then
  echo "setup: fetching transformers $tf_version's common tokenizer tests (its sdist) into .deps/"
  download=$(mktemp -d)
  "$root/.venv/bin/python" -m pip download -q --disable-pip-version-check --no-binary :all: \
    --no-deps "transformers==$tf_version" -d "$download"
  prefix="transformers-$tf_version/tests"
  tar -xzf "$download/transformers-$tf_version.tar.gz" -C "$download" "$prefix/test_tokenization_common.py" \
    "$prefix/test_sentencepiece_backend_mixin.py" "$prefix/test_tokenizers_backend_mixin.py"
  mkdir -p "$download/$prefix/fixtures"
  head -n 40 "$root/bench/eval/msa-eval.txt" > "$download/$prefix/fixtures/sample_text.txt"
  touch "$download/$prefix/__init__.py"
  rm -rf "$tf_tests" && mkdir -p "$(dirname "$tf_tests")"
  mv "$download/$prefix" "$tf_tests"
  rm -rf "$download"
fi
