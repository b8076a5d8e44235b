#!/bin/sh
# Wires COM ports of a Wine prefix to pseudo-terminals, for tests and demos.
#
# usage:
#   wine-com-ports.sh run PREFIX WIRING... -- COMMAND [ARGS...]
#       Wires the ports, runs COMMAND, then undoes everything (also when COMMAND fails or
#       the script is interrupted). Exits with COMMAND's status.
#   wine-com-ports.sh start STATE_DIR PREFIX WIRING...
#       Wires the ports and leaves them wired; what it started is noted in STATE_DIR.
#   wine-com-ports.sh stop STATE_DIR
#       Undoes start: stops the processes it started, removes its links and registry values.
#
# WIRING is one of:
#   COMa:COMb       a null-modem pair: what a program writes on COMa arrives on COMb and back.
#   COMa=pty:PATH   COMa and a pseudo-terminal made available at PATH form a pair: a native
#                   program (lc1sim, say) writes the device's bytes at PATH, Windows reads COMa.
#   COMa=PATH       COMa is the device at PATH as it is; PATH need not exist (a missing device).
# Port names are case-insensitive (COM11, com11). COM1 is usually /dev/ttyS0; pick others.
#
# How: each port gets a value in HKLM\Software\Wine\Ports (which wins over Wine's own choice
# whenever its mount manager starts) and a dosdevices/comN link (which takes effect at once,
# while a wineserver is already running). Pairs are socat processes.
# Ports are shared by every program in the prefix: a CTest test that wires COMn must hold
# the resource lock "wine-comn" (tests/support/WineComPorts.cmake does this).
# Needs socat. The prefix is created if needed (through cmake/wine-run.sh). Where this
# machine cannot run the Wine of WINEARCH, start and run say why and exit 77 (skipped).
set -eu

here=$(cd "$(dirname "$0")" && pwd)
wine_run=$here/../../cmake/wine-run.sh
. "$here/../../cmake/wine-arch.sh"

die() {
  echo "wine-com-ports.sh: $*" >&2
  exit 2
}

# Lower-case port name (com11) of a COMn word, or failure.
port_name() {
  name=$(printf '%s' "$1" | tr '[:upper:]' '[:lower:]')
  case $name in
    com[1-9] | com[1-9][0-9] | com[1-2][0-9][0-9]) printf '%s' "$name" ;;
    *) return 1 ;;
  esac
}

# Starts a socat pair whose ends appear as links at $1 and $2; notes its pid.
start_pair() {
  socat pty,rawer,link="$1" pty,rawer,link="$2" </dev/null >>"$state/socat.log" 2>&1 &
  echo $! >>"$state/pids"
  waited=0
  until [ -e "$1" ] && [ -e "$2" ]; do
    waited=$((waited + 1))
    [ $waited -le 100 ] || die "socat did not make $1 and $2 (see $state/socat.log)"
    sleep 0.05
  done
}

# Notes COM port $1 (e.g. com11) as the device at $2.
add_port() {
  printf '%s %s\n' "$1" "$2" >>"$state/ports"
}

# Writes one value per noted port under HKLM\Software\Wine\Ports; $1 is the printf format
# of a value line, given the port (COM11) and its device ("%s"=- deletes the value).
set_registry_ports() {
  {
    printf 'REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Wine\\Ports]\n'
    while read -r port device; do
      # shellcheck disable=SC2059 # the format is the caller's
      printf "$1\n" "$(printf '%s' "$port" | tr '[:lower:]' '[:upper:]')" "$device"
    done <"$state/ports"
  } >"$state/ports.reg"
  "$wine_run" "$prefix" reg import "Z:$(printf '%s' "$state/ports.reg" | sed 's|/|\\|g')" \
    </dev/null >>"$state/wine.log" 2>&1
}

start() {
  state=$1
  prefix=$2
  shift 2
  [ $# -gt 0 ] || die "no ports given"
  if reason=$(wine_arch_unavailable); then
    echo "SKIPPED: $reason" >&2
    exit "$wine_skip_code"
  fi
  command -v socat >/dev/null || die "socat is needed (apt-get install socat)"
  mkdir -p "$state"
  state=$(cd "$state" && pwd)
  case $prefix in
    /*) ;;
    *) prefix=$(pwd)/$prefix ;;
  esac
  : >"$state/ports"
  : >"$state/pids"
  printf '%s\n' "$prefix" >"$state/prefix"

  for wiring in "$@"; do
    case $wiring in
      *:*=* | *=*:*:*) die "bad port wiring: $wiring" ;;
      *=pty:*)
        port=$(port_name "${wiring%%=*}") || die "bad port name in $wiring"
        start_pair "$state/$port" "${wiring#*=pty:}"
        add_port "$port" "$state/$port"
        ;;
      *=*)
        port=$(port_name "${wiring%%=*}") || die "bad port name in $wiring"
        add_port "$port" "${wiring#*=}"
        ;;
      *:*)
        first=$(port_name "${wiring%%:*}") || die "bad port name in $wiring"
        second=$(port_name "${wiring#*:}") || die "bad port name in $wiring"
        start_pair "$state/$first" "$state/$second"
        add_port "$first" "$state/$first"
        add_port "$second" "$state/$second"
        ;;
      *) die "bad port wiring: $wiring" ;;
    esac
  done

  # Registry first: a mount manager starting now then writes the same links as below.
  set_registry_ports '"%s"="%s"' || die "could not write the ports to the registry (see $state/wine.log)"
  while read -r port device; do
    ln -sfn "$device" "$prefix/dosdevices/$port"
  done <"$state/ports"
}

stop() {
  state=$1
  [ -f "$state/ports" ] || return 0
  if [ -f "$state/pids" ]; then
    while read -r pid; do
      kill "$pid" 2>/dev/null || true
    done <"$state/pids"
    rm -f "$state/pids"
  fi
  prefix=$(cat "$state/prefix")
  set_registry_ports '"%s"=-%.0s' || true
  # Only links still pointing where this run put them: another run may own the port now.
  while read -r port device; do
    link=$prefix/dosdevices/$port
    if [ -L "$link" ] && [ "$(readlink "$link")" = "$device" ]; then rm -f "$link"; fi
  done <"$state/ports"
  rm -f "$state/ports" "$state/ports.reg" "$state/prefix"
}

run() {
  prefix=$1
  shift
  wirings=""
  while [ $# -gt 0 ] && [ "$1" != "--" ]; do
    wirings="$wirings $1"
    shift
  done
  [ $# -gt 1 ] || die "usage: run PREFIX WIRING... -- COMMAND [ARGS...]"
  shift
  run_state=$(mktemp -d "${TMPDIR:-/tmp}/wine-com-ports.XXXXXX")
  child=""
  trap 'stop "$run_state"; rm -rf "$run_state"' EXIT
  # A signal ends the command too, then the ports are unwired.
  trap 'stop_child; exit 129' HUP
  trap 'stop_child; exit 130' INT
  trap 'stop_child; exit 143' TERM
  # shellcheck disable=SC2086 # one word per wiring
  start "$run_state" "$prefix" $wirings
  # In the background so a signal is handled at once; it keeps this script's input.
  exec 3<&0
  "$@" <&3 3<&- &
  child=$!
  status=0
  wait "$child" || status=$?
  child=""
  exit $status
}

stop_child() {
  if [ -n "$child" ]; then kill -TERM "$child" 2>/dev/null || true; fi
}

[ $# -ge 1 ] || die "usage: run PREFIX WIRING... -- COMMAND | start STATE_DIR PREFIX WIRING... | stop STATE_DIR"
action=$1
shift
case $action in
  run) [ $# -ge 3 ] || die "usage: run PREFIX WIRING... -- COMMAND [ARGS...]"; run "$@" ;;
  start)
    [ $# -ge 3 ] || die "usage: start STATE_DIR PREFIX WIRING..."
    # Half a wiring is undone, not left behind.
    start_state=$1
    trap 'stop "$start_state"' EXIT
    start "$@"
    trap - EXIT
    ;;
  stop) [ $# -eq 1 ] || die "usage: stop STATE_DIR"; stop "$1" ;;
  *) die "unknown action: $action" ;;
esac
