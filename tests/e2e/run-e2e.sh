#!/usr/bin/env bash
# End to end: the LC-1 simulator on a pseudo-terminal, that terminal as a COM port,
# the real plug-in library, and the reference host reading it as the host application
# does. Every answer the host records must match what the simulator logged as sent:
# each packet delivered exactly once, in order, with its exact value.
#
# usage: run-e2e.sh native BUILD_DIR CASE
#        run-e2e.sh wine   BUILD_DIR CASE NATIVE_BUILD_DIR
# CASE: sequence  every status, garbage between packets, packets split at random points
#       line-rate 2000 readings at the full line rate, polled fast: none may be lost
set -euo pipefail

mode=$1
build=$2
case_name=$3
native_build=${4:-$build}
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(cd "$here/../.." && pwd)
# shellcheck source=../support/plugin-line.sh
source "$source_dir/tests/support/plugin-line.sh"
lc1sim=$native_build/tools/lc1sim/lc1sim
port=7

work=$(mktemp -d "${TMPDIR:-/tmp}/lamdex-e2e.XXXXXX")
sim_pid=""
cleanup() {
  if [ -n "$sim_pid" ]; then kill "$sim_pid" 2>/dev/null || true; wait "$sim_pid" 2>/dev/null || true; fi
  plugin_line_unwire
  rm -rf "$work"
}
trap cleanup EXIT

case $case_name in
  sequence)
    # Three rounds of the fixed sequence and its first packet again, so the last answer is a reading.
    sim_args=(--scenario sequence --rate line --count 67 --garbage 0.4 --split --seed 20261208)
    ;;
  line-rate)
    sim_args=(--scenario sweep --rate line --count 2000)
    ;;
  *)
    echo "unknown case $case_name" >&2
    exit 2
    ;;
esac

link=$work/lc1
if [ "$mode" = native ]; then
  plugin_line_wire native "$port" "$link" "$work"
  host=("$build/tools/zbhost/zbhost" "$build/plugin/Lamdex.so")
else
  prefix=$build/wineprefix-e2e
  plugin_line_wire wine "$port" "$link" "$work" "$prefix"
  host=("$source_dir/cmake/wine-run.sh" "$prefix" "$build/tools/zbhost/zbhost.exe" "$build/plugin/Lamdex.dll")
fi

expected_readings_of() { awk -f "$here/expected-answers.awk" "$1" | grep -c '^ok,'; }

"$lc1sim" "${sim_args[@]}" --link "$link" --log "$work/sent.log" >"$work/sim.out" &
sim_pid=$!
for _ in $(seq 100); do [ -L "$link" ] && break; sleep 0.05; done
[ -L "$link" ] || { echo "FAIL: the simulator did not start"; exit 1; }

# The simulator's log is written as packets go out; the expected count is known in advance.
case $case_name in
  sequence) readings=43 ;;
  line-rate) readings=2000 ;;
esac

"${host[@]}" --interval-ms 1 --readings "$readings" --seconds 60 --answers "$work/answers.csv" >"$work/host.out" 2>&1 || {
  echo "FAIL: the host ended with code $?"
  tail -n 20 "$work/host.out"
  exit 1
}
wait "$sim_pid" || true
sim_pid=""

awk -f "$here/expected-answers.awk" "$work/sent.log" >"$work/expected"
tail -n +2 "$work/answers.csv" | cut -d, -f2- | tr -d '\r' >"$work/received"
[ "$(expected_readings_of "$work/sent.log")" -eq "$readings" ] || {
  echo "FAIL: the simulator sent $(expected_readings_of "$work/sent.log") readings, the test expects $readings"
  exit 1
}
if ! diff -u "$work/expected" "$work/received" >"$work/diff"; then
  echo "FAIL: what the host received differs from what the simulator sent (expected vs received):"
  head -n 40 "$work/diff"
  exit 1
fi
echo "$case_name ($mode): $(wc -l <"$work/received") answers, $readings readings, all delivered once, in order, exact"
