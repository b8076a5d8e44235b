#!/bin/sh
# Installs the Debian packages the build and tests need, when any is missing.
# As root it installs them; otherwise it prints the commands to run and fails, unless only
# optional ones are missing.
# usage: install-deps.sh [all | demo | dist | vm] [--again]
#   all (the default): everything make test and the checks after it use
#   demo: only what make demo uses: the builds and the Wine that runs one of them
#   dist: only what builds the release (make dist): no Wine
#   vm:   only what runs the emulated machine for the win32 tests (cmake/win32_vm.py)
#   --again: try the optional packages even where they were found uninstallable (make deps)
#
# A package archive caught mid-sync must not stop a set-up that can still work:
#   - a failed index update is said in one line, and apt goes on with every index it has;
#   - 32-bit Wine is optional and installed on its own, last, by cmake/install_optional.py:
#     on a day when apt cannot give its i386 libraries the versions of their amd64 twins, it
#     says so in one line, the win32 tests run in the emulated machine instead
#     (cmake/windows_runs.py), and it is not tried again until the package lists change;
#   - any other package that cannot be had stops here, with apt's reason.
set -eu
here=$(dirname "$0")
again=""
[ "${2:-}" = --again ] && again=--again

# git: the commit the release names and takes its time from (cmake/CommitStamp.cmake).
build="cmake ninja-build g++ make libgtest-dev googletest libbenchmark-dev git python3
  g++-mingw-w64-i686-posix binutils-mingw-w64-i686
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64"
# What runs a Windows build under Wine, on a simulated line, and draws the demo's picture.
# fonts-wine: the Marlett font Wine draws caption buttons with (tools/screenshot-dialog.sh).
run="wine wine64 fonts-wine xvfb xauth x11-utils socat gnuplot-nox"
# strip-nondeterminism: the release zips' entry order and times (tools/make-dist.sh).
release="strip-nondeterminism"
checks="imagemagick clang libclang-rt-14-dev clang-format clang-tidy cppcheck"
wine32="wine32:i386"

case "${1:-all}" in
  all) required="$build $run $release $checks" optional=$wine32 ;;
  demo) required="$build $run" optional=$wine32 ;;
  dist) required="$build $release" optional="" ;;
  vm) required="qemu-system-x86 debootstrap e2fsprogs" optional="" ;;
  *)
    echo "usage: $0 [all | demo | dist | vm] [--again]" >&2
    exit 2
    ;;
esac

missing_of() {
  for package in "$@"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || printf ' %s' "$package"
  done
}
# shellcheck disable=SC2086 # the lists are meant to split into words
missing_required=$(missing_of $required)
# shellcheck disable=SC2086
missing_optional=$(missing_of $optional)
[ -z "$missing_required$missing_optional" ] && exit 0

if [ -n "$missing_required" ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "Missing Debian packages:$missing_required$missing_optional" >&2
    echo "Install them as root with:" >&2
    if [ -n "$missing_optional" ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
      echo "  dpkg --add-architecture i386" >&2
    fi
    echo "  apt-get update" >&2
    echo "  apt-get install -y --no-install-recommends$missing_required" >&2
    [ -n "$missing_optional" ] && echo "  apt-get install -y --no-install-recommends$missing_optional  (32-bit Wine: without it the win32 tests run emulated)" >&2
    exit 1
  fi
  # The i386 lists come with this update, so the optional step needs none of its own.
  if [ -n "$missing_optional" ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
  fi
  log=$(mktemp)
  trap 'rm -f "$log"' EXIT
  if ! apt-get update -q >"$log" 2>&1; then
    # apt names each index it could not fetch, and why, on an "E:" line; one says enough.
    reason=$(grep -m 1 '^E:' "$log" | sed 's/  */ /g' | cut -c 1-300)
    echo "install-deps: apt-get update failed (${reason:-see apt-get update}); going on with the package indexes apt has."
  fi
  echo "Installing missing Debian packages:$missing_required"
  # shellcheck disable=SC2086 # the list is meant to split into words
  if ! DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends $missing_required; then
    echo "install-deps: the packages the build needs could not be installed; apt says why above. Put that right, then run make again." >&2
    exit 1
  fi
  updated=--updated
fi
rm -f "${log:-}"
if [ -n "$missing_optional" ]; then
  # shellcheck disable=SC2086
  python3 "$here/install_optional.py" ${updated:-} $again $missing_optional
fi
