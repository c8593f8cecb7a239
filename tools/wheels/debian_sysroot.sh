#!/usr/bin/env bash
# Unpacks Debian packages of ARCH and SUITE, with everything they depend on, into a folder
# under ~/.cache/sarfan/sysroot/ and prints it: a CPython of another architecture (run by
# qemu-user) or of another Debian release (run in a chroot), with nothing of the system
# changed. apt works on its own state there (lists, cache and an empty dpkg status).
# Kept: a later call with the same packages reuses it.
#   tools/wheels/debian_sysroot.sh ARCH SUITE PACKAGE...
set -euo pipefail
arch=$1
suite=$2
shift 2
base="${SARFAN_CACHE:-$HOME/.cache/sarfan}/sysroot"
sysroot="$base/$arch-$suite"
stamp="$sysroot/.packages"
# Debian's merged /usr comes from a maintainer script, which unpacking does not run: the
# links the loader's and the interpreter's paths go through.
merge_usr() {
  local dir
  for dir in bin sbin lib lib64; do
    if [ -d "$sysroot/usr/$dir" ] && [ ! -e "$sysroot/$dir" ]; then ln -s "usr/$dir" "$sysroot/$dir"; fi
  done
}
if [ "$(cat "$stamp" 2>/dev/null)" = "$*" ]; then merge_usr; echo "$sysroot"; exit 0; fi

apt_dir="$base/apt-$arch-$suite"
rm -rf "$sysroot" "$apt_dir"
mkdir -p "$apt_dir/lists/partial" "$apt_dir/archives/partial" "$apt_dir/etc" "$sysroot"
touch "$apt_dir/status"
echo "deb [arch=$arch signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] http://deb.debian.org/debian $suite main" \
  > "$apt_dir/etc/sources.list"
apt_opts=(
  -o "APT::Architecture=$arch" -o "APT::Architectures::=$arch"
  -o "Dir::Etc::SourceList=$apt_dir/etc/sources.list" -o "Dir::Etc::SourceParts=/dev/null"
  -o "Dir::Etc::Preferences=/dev/null" -o "Dir::Etc::PreferencesParts=/dev/null"
  -o "Dir::State=$apt_dir" -o "Dir::State::Lists=$apt_dir/lists" -o "Dir::State::status=$apt_dir/status"
  -o "Dir::Cache=$apt_dir" -o "Dir::Cache::Archives=$apt_dir/archives"
  -o "APT::Sandbox::User=root" -o "Debug::NoLocking=1" -o "APT::Install-Recommends=false" -qq
)
echo "sysroot: fetching $* ($arch, $suite)" >&2
apt-get "${apt_opts[@]}" update >&2
apt-get "${apt_opts[@]}" install -y --download-only "$@" >&2
for deb in "$apt_dir"/archives/*.deb; do dpkg-deb -x "$deb" "$sysroot"; done
rm -rf "$apt_dir"
merge_usr
echo "$*" > "$stamp"
echo "$sysroot"
