#!/bin/sh
# Runs a Windows program under Wine in a private prefix (never ~/.wine).
# usage: wine-run.sh PREFIX PROGRAM [ARGS...]
#
# - WINEARCH picks 32-bit (win32, the default) or 64-bit (win64) Wine; cmake/wine-arch.sh
#   says which binaries. Where this machine cannot run that Wine, it says why and exits 77,
#   which CTest reports as a skipped test; a 32-bit Wine that is installed but does not start
#   is a failure.
# - The prefix is created on first use, with no window or prompt. Programs started at the
#   same time (ctest -j) wait for one another while that happens (lock: PREFIX.lock).
# - A wineserver is kept for 10 s after the last program ends, so a series of tests does
#   not pay for starting Wine each time; it then exits on its own.
# - A program started without DISPLAY gets a virtual display (Xvfb) that lasts as long as
#   that server; one started with DISPLAY (xvfb-run, a desktop) keeps its own.
# - Wine's own background processes are started here with no link to the caller's output:
#   otherwise they would hold a test's output pipe open and ctest would wait for them.
# Environment: WINEDEBUG (default -all), WINEDLLOVERRIDES (default: no Mono, Gecko or menus);
# LAMDEX_WINEPREFIX_TEMPLATES, a folder where one prefix per architecture is made and copied
# for each new prefix (cmake/win32_vm.py sets it).
set -eu
. "$(dirname "$0")/wine-arch.sh"

if [ $# -lt 2 ]; then
  echo "usage: $0 PREFIX PROGRAM [ARGS...]" >&2
  exit 2
fi
prefix=$1
shift
case $prefix in
  /*) ;;
  *) prefix=$(pwd)/$prefix ;;
esac
prefix=${prefix%/}
if [ -z "$prefix" ] || [ "$prefix" = "${HOME:-}/.wine" ]; then
  echo "wine-run.sh: refusing to use $prefix as a test prefix" >&2
  exit 2
fi

if reason=$(wine_arch_broken); then
  echo "wine-run.sh: $reason" >&2
  exit 1
fi
if reason=$(wine_arch_unavailable); then
  echo "SKIPPED: $reason" >&2
  exit "$wine_skip_code"
fi
if reason=$(wine64_missing); then
  echo "wine-run.sh: $reason" >&2
  exit 1
fi

export WINEPREFIX="$prefix"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=;winemenubuilder.exe=d}"
# Persistence is given as -pN: a bare -p would keep the server forever.
server_linger=-p10

mkdir -p "$(dirname "$prefix")"
exec 9>"$prefix.lock"
flock 9
make_prefix() {
  # No display while the prefix is made: no update window can appear.
  WINEPREFIX=$1 env -u DISPLAY "$wine_loader" wineboot --init </dev/null >/dev/null 2>&1 8>&- 9>&- || true
  WINEPREFIX=$1 "$wine_server" -w 8>&- 9>&- || true
  if [ ! -f "$1/system.reg" ]; then
    echo "wine-run.sh: could not create the Wine prefix $1" >&2
    exit 1
  fi
  touch "$1/.lamdex-ready"
}
if [ ! -f "$prefix/.lamdex-ready" ]; then
  if [ -n "${LAMDEX_WINEPREFIX_TEMPLATES:-}" ]; then
    # Where making a prefix takes minutes (an emulated machine), one is made per Wine
    # architecture and the others start as copies of it.
    template=$LAMDEX_WINEPREFIX_TEMPLATES/$WINEARCH
    mkdir -p "$LAMDEX_WINEPREFIX_TEMPLATES"
    exec 8>"$template.lock"
    flock 8
    [ -f "$template/.lamdex-ready" ] || make_prefix "$template"
    exec 8>&-
    mkdir -p "$prefix"
    cp -a "$template/." "$prefix/"
  else
    make_prefix "$prefix"
  fi
fi
# Exits 0 only when it started a server; a running one is kept as it is.
started_server=""
if "$wine_server" "$server_linger" </dev/null >/dev/null 2>&1 9>&-; then
  started_server=yes
fi
if [ -z "${DISPLAY:-}" ]; then
  # Wine's desktop takes the display of the first program that needs it, for the whole
  # server session: a program without one would leave windowed tests running beside it
  # without windows. So every program gets a display; this one ends with the server.
  display_file=$prefix.display
  if [ -n "$started_server" ] || ! xdpyinfo -display "$(cat "$display_file" 2>/dev/null)" >/dev/null 2>&1; then
    rm -f "$display_file.new"
    Xvfb -displayfd 3 -nolisten tcp -screen 0 1280x1024x24 3>"$display_file.new" </dev/null >/dev/null 2>&1 9>&- &
    xvfb=$!
    tries=0
    until [ -s "$display_file.new" ] || [ $tries -ge 100 ]; do
      tries=$((tries + 1))
      sleep 0.05
    done
    echo ":$(cat "$display_file.new")" >"$display_file"
    ("$wine_server" -w; kill "$xvfb") </dev/null >/dev/null 2>&1 9>&- &
  fi
  DISPLAY=$(cat "$display_file")
  export DISPLAY
fi
if [ -n "$started_server" ]; then
  "$wine_loader" cmd.exe /c exit </dev/null >/dev/null 2>&1 9>&- || true
fi
exec 9>&-

exec "$wine_loader" "$@"
