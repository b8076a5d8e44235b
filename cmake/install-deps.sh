#!/bin/sh
# Installs the Debian packages the build and tests need, when any is missing.
# As root it installs them; otherwise it prints the command to run and fails.
# usage: install-deps.sh [vm]
#   vm: only what runs the emulated machine for the win32 tests (cmake/win32_vm.py)
set -eu

# fonts-wine: the Marlett font Wine draws caption buttons with (tools/screenshot-dialog.sh).
# git: the commit the release names and takes its time from; strip-nondeterminism: the
# release zips' entry order and times (tools/make-dist.sh).
packages="cmake ninja-build g++ make libgtest-dev googletest libbenchmark-dev
  g++-mingw-w64-i686-posix binutils-mingw-w64-i686 wine wine32:i386
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine64 fonts-wine
  xvfb xauth x11-utils imagemagick socat python3
  gnuplot-nox git strip-nondeterminism
  clang libclang-rt-14-dev clang-format clang-tidy cppcheck"
if [ "${1:-}" = vm ]; then
  packages="qemu-system-x86 debootstrap e2fsprogs"
fi

missing=""
for package in $packages; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing="$missing $package"
  fi
done
[ -z "$missing" ] && exit 0

needs_i386=""
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  needs_i386=yes
fi

if [ "$(id -u)" -ne 0 ]; then
  echo "Missing Debian packages:$missing" >&2
  echo "Install them as root with:" >&2
  [ -n "$needs_i386" ] && echo "  dpkg --add-architecture i386" >&2
  echo "  apt-get update && apt-get install -y --no-install-recommends$missing" >&2
  exit 1
fi

echo "Installing missing Debian packages:$missing"
[ -n "$needs_i386" ] && dpkg --add-architecture i386
apt-get update -q
# shellcheck disable=SC2086 # the list is meant to split into words
DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends $missing
