#!/usr/bin/env bash
# Unloading the library closes the port even when the host never called Close: while
# the component is open some process holds the line's terminal, after the unload none.
# A bare pseudo-terminal stands for the device, so no other program holds its far end.
#
# usage: unload-closes-port.sh native BUILD_DIR
#        unload-closes-port.sh wine   BUILD_DIR
set -euo pipefail

mode=$1
build=$2
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(cd "$here/../.." && pwd)
# shellcheck source=../support/plugin-line.sh
source "$source_dir/tests/support/plugin-line.sh"
# shellcheck source=../../cmake/wine-arch.sh
source "$source_dir/cmake/wine-arch.sh"
port=8

work=$(mktemp -d "${TMPDIR:-/tmp}/lamdex-unload.XXXXXX")
line_pid=""
cleanup() {
  local status=$?
  exec 3>&- 4<&-
  # Wine's server before the line: a hang-up of a terminal it holds makes it dump its state.
  plugin_line_unwire
  [ "$mode" = wine ] && { WINEPREFIX=$prefix "$wine_server" -k 2>/dev/null || true; }
  [ -n "$line_pid" ] && kill "$line_pid" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$work"
  exit "$status"
}
trap cleanup EXIT

# socat holds only the master side; the slave is opened by the plug-in alone.
socat -u PTY,rawer,wait-slave,link="$work/line" OPEN:/dev/null &
line_pid=$!
for _ in $(seq 100); do [ -L "$work/line" ] && break; sleep 0.05; done
terminal=$(readlink "$work/line")

if [ "$mode" = native ]; then
  plugin_line_wire native "$port" "$terminal" "$work"
  host=("$build/tests/faults/fault_host" "$build/plugin/Lamdex.so")
else
  prefix=$build/wineprefix-e2e
  plugin_line_wire wine "$port" "$terminal" "$work" "$prefix"
  host=("$source_dir/cmake/wine-run.sh" "$prefix" "$build/tests/faults/fault_host.exe" "$build/plugin/Lamdex.dll")
fi

holders() {
  local found=0 fd
  for fd in /proc/[0-9]*/fd/*; do
    [ "$(readlink "$fd" 2>/dev/null)" = "$terminal" ] && found=$((found + 1))
  done
  echo "$found"
}

# The host opens the component, then unloads the library without Close and stays alive.
mkfifo "$work/to-host" "$work/from-host"
"${host[@]}" <"$work/to-host" >"$work/from-host" &
exec 3>"$work/to-host" 4<"$work/from-host"
expect() {
  local reply
  read -r -t 60 reply <&4 || { echo "FAIL: the host did not answer '$1'"; exit 1; }
  reply=${reply%$'\r'}
  [ "$reply" = "$1" ] || { echo "FAIL: the host answered '$reply', not '$1'"; exit 1; }
}

expect loaded
echo open >&3
expect "open 0x00000000"
while_open=$(holders)
echo unload >&3
expect unloaded
after_unload=$(holders)
echo quit >&3

if [ "$while_open" -lt 1 ]; then
  echo "FAIL: nobody held $terminal while the component was open: the port was never opened"
  exit 1
fi
if [ "$after_unload" -ne 0 ]; then
  echo "FAIL: $after_unload descriptor(s) still hold $terminal after the library was unloaded"
  exit 1
fi
echo "unload ($mode): $while_open holder(s) of the port while open, none after unloading"
