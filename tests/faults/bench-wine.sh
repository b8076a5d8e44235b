#!/usr/bin/env bash
# Figures of the real plug-in on a pseudo-terminal COM port: the cost of one Read with
# nothing waiting, of the Read that meets a full 514-byte backlog, and delivery with the
# simulator at the full line rate and the host polling as fast as it can. Prints figures;
# asserts nothing about time.
#
# usage: bench-wine.sh wine   WINDOWS_BUILD_DIR NATIVE_BUILD_DIR
#        bench-wine.sh native NATIVE_BUILD_DIR
set -euo pipefail

mode=$1
build=$(cd "$2" && pwd)
native_build=$(cd "${3:-$build}" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(cd "$here/../.." && pwd)
lc1sim=$native_build/tools/lc1sim/lc1sim
port=9
idle_reads=${IDLE_READS:-20000}
backlog_rounds=${BACKLOG_ROUNDS:-30}
line_packets=${LINE_PACKETS:-3200} # ten seconds at the line rate

work=$(mktemp -d "${TMPDIR:-/tmp}/lamdex-bench.XXXXXX")
line_pid=""
cleanup() {
  exec 5>&- 2>/dev/null || true
  if [ -n "$line_pid" ]; then
    kill "$line_pid" 2>/dev/null || true
    wait "$line_pid" 2>/dev/null || true
  fi
  session_cleanup
  rm -rf "$work"
}
trap cleanup EXIT
# shellcheck source=host-session.sh
source "$here/host-session.sh"

wait_for_link() {
  for _ in $(seq 100); do [ -L "$link" ] && return; sleep 0.05; done
  fail "no line appeared at $link"
}

echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')"
if [ "$mode" = wine ]; then
  WINEARCH=$(cat "$build/wine-arch")
  # shellcheck source=../../cmake/wine-arch.sh
  source "$source_dir/cmake/wine-arch.sh"
  echo "wine: $("$wine_loader" --version 2>/dev/null) ($WINEARCH)"
fi

# A line whose bytes come from this script: what is written to fd 5 arrives on the port.
mkfifo "$work/feed"
socat -u PIPE:"$work/feed" PTY,rawer,link="$link" 2>"$work/socat.err" &
line_pid=$!
exec 5>"$work/feed"
wait_for_link
start_host
ask open

ask idle-reads "$idle_reads"
echo "Read, nothing waiting ($(field n) calls): median $(field medianus) us, 99th percentile $(field p99us) us, min $(field minus) us, max $(field maxus) us"

# 514 bytes: four stray bytes, then 85 packets of 6 (0x11 and 0x13 among the data).
packets=""
for _ in $(seq 85); do packets+='\xB2\x82\x42\x11\x00\x13'; done
backlog='\x01\x02\x03\x04'$packets
junk=""
for _ in $(seq 514); do junk+='\x55'; done

first_times=()
drain_times=()
junk_times=()
for _ in $(seq "$backlog_rounds"); do
  printf "$backlog" >&5
  sleep 0.1 # the bytes reach the line
  ask time-read
  [ "$(field transferred)" = 4 ] || fail "the Read over the backlog delivered nothing: $reply"
  first_times+=("$(field us)")
  ask drain
  [ "$(field readings)" = 84 ] || fail "draining the backlog: $reply"
  drain_times+=("$(field totalus)")

  printf "$junk" >&5
  sleep 0.1
  ask time-read
  junk_times+=("$(field us)")
done
median() { printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
range() { printf '%s\n' "$@" | sort -n | awk 'NR == 1 { lo = $1 } { hi = $1 } END { print lo "-" hi }'; }
echo "Read meeting a 514-byte backlog (4 stray bytes, 85 packets), $backlog_rounds rounds: median $(median "${first_times[@]}") us (range $(range "${first_times[@]}") us); the 84 Reads that deliver the rest from the buffer: median $(median "${drain_times[@]}") us in all"
echo "Read meeting 514 bytes without a header: median $(median "${junk_times[@]}") us (range $(range "${junk_times[@]}") us)"

ask close
exec 5>&-
kill "$line_pid" 2>/dev/null || true
wait "$line_pid" 2>/dev/null || true
line_pid=""

# The simulator at the full line rate, the host reading without pause.
"$lc1sim" --scenario sweep --rate line --count "$line_packets" --link "$link" --log "$work/sent.log" >"$work/sim.out" 2>&1 &
line_pid=$!
wait_for_link
ask open
ask poll 60000 "$line_packets" 0
wait "$line_pid" || true
line_pid=""
sent=$(grep -vc '^#' "$work/sent.log")
readings=$(field readings)
awk '!/^#/ { print $5 }' "$work/sent.log" >"$work/expected"
tr ',' '\n' <<<"$(field answers)" >"$work/received"
exact=no
cmp -s "$work/expected" "$work/received" && exact=yes
span_ms=$(awk -v a="$(field firstms)" -v b="$(field lastms)" 'BEGIN { printf "%.0f", b - a }')
rate=$(awk -v n="$readings" -v ms="$span_ms" 'BEGIN { if (ms > 0) printf "%.1f", (n - 1) * 1000 / ms; else print "-" }')
calls_per_s=$(awk -v c="$(field calls)" -v ms="$(field lastms)" 'BEGIN { if (ms > 0) printf "%.0f", c * 1000 / ms; else print "-" }')
echo "line rate: $sent packets sent (320/s), $readings readings delivered in $span_ms ms = $rate/s, lost $((sent - readings)), values exact and in order: $exact; $(field calls) Reads ($calls_per_s/s), longest $(field maxus) us"
