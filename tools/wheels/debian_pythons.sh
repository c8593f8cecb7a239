# Sourced: the Debian release whose CPython of each version the wheels are tested with
# (and cross-built against, for arm64), and the sysroot holding it.
#   debian_python_suite VERSION          bookworm, trixie or sid; fails for other versions
#   debian_python_sysroot ARCH VERSION   tools/wheels/debian_sysroot.sh for that CPython
debian_python_suite() {
  case $1 in
    3.11) echo bookworm ;;
    3.13) echo trixie ;;
    3.14) echo sid ;;
    *) echo "no Debian release ships CPython $1" >&2; return 1 ;;
  esac
}
# binutils: the test of the module's exported symbols runs nm.
debian_python_sysroot() {
  local suite
  suite=$(debian_python_suite "$2")
  "$(dirname "${BASH_SOURCE[0]}")/debian_sysroot.sh" "$1" "$suite" \
    "python$2" "libpython$2-dev" binutils
}
