#!/usr/bin/env bash
# Unpacks the source package PACKAGE of Debian SUITE (its patches applied) under
# ~/.cache/sarfan/sources/, through a private apt state (nothing of the system changes),
# and prints the unpacked folder. Kept: a later call with the same version reuses it.
#   tools/wheels/debian_source.sh SUITE PACKAGE
set -euo pipefail
suite=$1
package=$2
sources="${SARFAN_CACHE:-$HOME/.cache/sarfan}/sources"
apt_dir="$sources/apt-$suite"
mkdir -p "$apt_dir/lists/partial" "$apt_dir/archives/partial"
echo "deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] http://deb.debian.org/debian $suite main" \
  > "$apt_dir/sources.list"
apt_opts=(
  -o "Dir::Etc::SourceList=$apt_dir/sources.list" -o "Dir::Etc::SourceParts=/dev/null"
  -o "Dir::State::Lists=$apt_dir/lists" -o "Dir::Cache::Archives=$apt_dir/archives"
  -o "APT::Sandbox::User=root" -o "Debug::NoLocking=1" -qq
)
version_of() {
  { apt-cache "${apt_opts[@]}" showsrc "$package" 2>/dev/null || true; } | awk '/^Version:/ {print $2; exit}'
}
version=$(version_of)
if [ -z "$version" ]; then
  apt-get "${apt_opts[@]}" update >&2
  version=$(version_of)
fi
[ -n "$version" ] || { echo "debian_source: no source package $package in $suite" >&2; exit 1; }
upstream=${version#*:}
upstream=${upstream%-*}
dir="$sources/$package-$version"
if [ ! -f "$dir/.unpacked" ]; then
  rm -rf "$dir" "$sources/work-$package"
  mkdir -p "$sources/work-$package"
  (cd "$sources/work-$package" && apt-get "${apt_opts[@]}" source --download-only "$package=$version" >&2 \
     && dpkg-source --no-check -x ./*.dsc "$dir" >&2)
  rm -rf "$sources/work-$package"
  touch "$dir/.unpacked"
fi
echo "$dir"
