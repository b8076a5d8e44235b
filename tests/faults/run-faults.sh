#!/usr/bin/env bash
# Line faults end to end: the simulator on a pseudo-terminal wired as a COM port, the real
# plug-in library in fault_host, which this script steers call by call.
#
# usage: run-faults.sh native BUILD_DIR CASE
#        run-faults.sh wine   BUILD_DIR CASE NATIVE_BUILD_DIR
# CASE: hangup  the device hangs up in the middle of a packet and its port disappears, then a
#               new device appears at the same place: no Read hangs, nothing but not ready
#               while there is nothing to read, readings again after Close and Open
#       reopen  the host closes and reopens over and over while packets flow, split at random
#               points, and what is sent while it is closed is lost: every opening delivers,
#               and every answer is one the device sent, in order (a packet broken by a
#               close never comes out as a reading)
set -euo pipefail

mode=$1
build=$(cd "$2" && pwd)
case_name=$3
native_build=$(cd "${4:-$build}" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(cd "$here/../.." && pwd)
lc1sim=$native_build/tools/lc1sim/lc1sim
port=9
# A Read that takes this long is hanging, not slow.
hang_us=1000000

work=$(mktemp -d "${TMPDIR:-/tmp}/lamdex-faults.XXXXXX")
sim_pid=""
cleanup() {
  stop_sim
  session_cleanup
  rm -rf "$work"
}
stop_sim() {
  if [ -n "$sim_pid" ]; then
    kill "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
    sim_pid=""
  fi
}
trap cleanup EXIT
# shellcheck source=host-session.sh
source "$here/host-session.sh"

# Starts the simulator with the given options at $link; waits until the link is there.
start_sim() {
  "$lc1sim" "$@" --link "$link" >"$work/sim.out" 2>&1 &
  sim_pid=$!
  for _ in $(seq 100); do [ -L "$link" ] && return; sleep 0.05; done
  cat "$work/sim.out"
  fail "the simulator did not start"
}

# The answers a host must see for a simulator log, in fault_host's tokens.
expected_answers() {
  awk -f "$source_dir/tests/e2e/expected-answers.awk" "$1" |
    awk -F, '$1 == "ok" { print $2; next } $1 == "device error" { print "E"; next } { print "N" }'
}

# Fails unless the comma-separated answers $2 appear, in order, among the lines of file $1.
check_subsequence() {
  tr ',' '\n' <<<"$2" | sed '/^$/d' >"$work/got"
  awk 'NR == FNR { sent[++n] = $0; next }
       { found = 0; while (i < n) if (sent[++i] == $0) { found = 1; break }
         if (!found) { print "answer " FNR " (" $0 ") was never sent there"; bad = 1; exit } }
       END { exit bad }' "$1" "$work/got" || fail "$3"
}

# After a poll: no Read hung, every count was right, and nothing but the listed answers came.
check_poll() {
  local what=$1 allowed=$2
  [ "$(field maxus)" -lt "$hang_us" ] || fail "$what: a Read took $(field maxus) us"
  [ "$(field badcount)" -eq 0 ] || fail "$what: $(field badcount) answers with a wrong transferred count"
  [ "$(field other)" -eq 0 ] || fail "$what: unexpected answers: $(field answers)"
  case $allowed in
    notready) [ "$(field calls)" -eq "$(field notready)" ] || fail "$what: answers other than not ready: $reply" ;;
    any) ;;
  esac
}

hangup() {
  # Ten readings, 0x11 and 0x13 among the data, then half a packet; then the device goes.
  printf '%s\n' 'B2 82 43 13 03 74  B2 82 43 13 00 1E  B2 82 42 11 00 11  B2 82 42 13 00 13  B2 82 43 13 11 13' \
    'B2 82 43 13 03 74  B2 82 43 13 00 1E  B2 82 42 11 00 11  B2 82 42 13 00 13  B2 82 43 13 11 13' \
    'B2 82 43' >"$work/half.hex"
  local first="963379,510591,57599,64625,2596307"
  start_sim --replay "$work/half.hex" --rate line
  start_host
  ask open
  ask poll 10000 10
  check_poll "before the hang-up" any
  [ "$(field answers)" = "$first,$first" ] || fail "before the hang-up: answers $(field answers)"

  # The simulator leaves once its bytes are taken, in the middle of the last packet.
  wait "$sim_pid" || true
  sim_pid=""
  [ ! -e "$link" ] || fail "the device's link is still there after it hung up"
  ask poll 1000
  check_poll "after the hang-up" notready
  echo "hang-up in a packet: $(field calls) Reads in 1 s, all not ready, longest $(field maxus) us"

  # Closing and opening while the port is gone: the open fails quietly, Reads say not ready.
  ask close
  ask open
  [ "$reply" = "open 0x00000000" ] || fail "Open while the port is gone answered: $reply"
  ask poll 300
  check_poll "opened while the port is gone" notready

  # A new device appears at the same place.
  start_sim --scenario sequence --rate line --count 44 --log "$work/sent.log"
  ask poll 300
  check_poll "new device, before reopening" any
  echo "new device, old handle: $(field readings) readings in 300 ms (the handle belongs to the old line)"
  check_subsequence <(expected_answers "$work/sent.log") "$(field answers)" "the old handle delivered something never sent"
  ask close
  ask open
  ask poll 5000 28
  check_poll "after reopening on the new device" any
  [ "$(field readings)" -ge 1 ] || fail "no reading after reopening on the new device: $reply"
  local after=$(field answers)
  wait "$sim_pid" || true
  sim_pid=""
  check_subsequence <(expected_answers "$work/sent.log") "$after" "after reopening, an answer the new device never sent"
  echo "new device after Close and Open: $(field readings) readings, all as sent"
}

reopen() {
  local cycles=15
  start_sim --scenario sequence --rate line --split --seed 20261208 --duration 30 --log "$work/sent.log"
  start_host
  local all="" cycle readings
  for cycle in $(seq "$cycles"); do
    ask open
    [ "$reply" = "open 0x00000000" ] || fail "cycle $cycle: Open answered $reply"
    # The open time varies, so the close lands at a different point of a packet each time.
    ask poll $((150 + cycle * 17))
    check_poll "cycle $cycle, open" any
    readings=$(field readings)
    [ "$readings" -ge 1 ] || fail "cycle $cycle: no reading while open: $reply"
    all+="${all:+,}$(field answers)"
    ask close
    ask poll 20
    check_poll "cycle $cycle, closed" notready
    # What arrives while the port is closed is lost, as on a real port: the packet the
    # close cut in two never completes, and the next opening starts somewhere in a packet.
    timeout 0.0$((cycle % 9 + 1)) cat "$link" >/dev/null 2>&1 || true
  done
  stop_sim
  check_subsequence <(expected_answers "$work/sent.log") "$all" "an answer the device never sent (a broken packet?)"
  echo "reopen: $cycles cycles, $(tr ',' '\n' <<<"$all" | grep -c '^[0-9]') readings, every opening delivered, all as sent, in order"
}

case $case_name in
  hangup) hangup ;;
  reopen) reopen ;;
  *)
    echo "unknown case $case_name" >&2
    exit 2
    ;;
esac
