#!/usr/bin/env bash
# The demo: a simulated LC-1 read live through the real Lamdex.dll under Wine (32-bit, or
# 64-bit where the given Windows build is the 64-bit one).
# The simulator runs on a pseudo-terminal; the COM port the plug-in is configured for
# (COM1 without a configuration file) is wired to it in a private Wine prefix; the
# reference host polls the plug-in for about fifteen seconds: warm-up, then a lambda
# sweep from rich to lean. Everything it makes stays in the build tree.
#
# usage: tools/demo.sh [NATIVE_BUILD_DIR] [WINDOWS_BUILD_DIR] [SECONDS]
set -euo pipefail

source_dir=$(cd "$(dirname "$0")/.." && pwd)
native_build=${1:-$source_dir/build/native}
windows_build=${2:-$source_dir/build/win32}
seconds=${3:-15}
# Wine takes only absolute prefix paths.
native_build=$(cd "$native_build" 2>/dev/null && pwd || echo "$native_build")
windows_build=$(cd "$windows_build" 2>/dev/null && pwd || echo "$windows_build")

lc1sim=$native_build/tools/lc1sim/lc1sim
zbhost=$windows_build/tools/zbhost/zbhost.exe
dll=$windows_build/plugin/Lamdex.dll
for needed in "$lc1sim" "$zbhost" "$dll" "$windows_build/wine-arch"; do
  if [ ! -e "$needed" ]; then
    echo "demo: $needed is missing; build first with 'make' (or run 'make demo')." >&2
    exit 1
  fi
done

WINEARCH=$(cat "$windows_build/wine-arch")
if [ "$WINEARCH" = win64 ] && why=$(WINEARCH=win32 sh -c '. "$1"; wine_arch_unavailable' - "$source_dir/cmake/wine-arch.sh"); then
  echo "The 64-bit Lamdex.dll under 64-bit Wine: $why."
fi
# shellcheck source=../cmake/wine-arch.sh
source "$source_dir/cmake/wine-arch.sh"
# Wires the plug-in's line (tests/support/harness.py explains how).
harness=$source_dir/tests/support/harness.py
prefix=$windows_build/wineprefix-demo
work=$windows_build/demo
sim_pid=""

cleanup() {
  if [ -n "$sim_pid" ]; then
    kill "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
  fi
  WINEPREFIX=$prefix "$wine_server" -k 2>/dev/null || true
  WINEPREFIX=$prefix "$wine_server" -w 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

echo "Preparing the demo's Wine prefix ($prefix)..."
config=$("$harness" config-file wine "$prefix")
rm -rf "$work"
mkdir -p "$work"

# The port the plug-in will open: the last acceptable COMPORT line of its file, else 1.
port=1
if [ -f "$config" ]; then
  configured=$(tr -d '\r' <"$config" | awk 'toupper($1) == "COMPORT" && $2 + 0 >= 1 && $2 + 0 <= 255 { p = $2 + 0 } END { print p }' FS='[ =\t]+')
  [ -n "$configured" ] && port=$configured
fi

link=$work/lc1
"$lc1sim" --scenario demo --link "$link" >"$work/lc1sim.out" 2>&1 &
sim_pid=$!
for _ in $(seq 100); do [ -L "$link" ] && break; sleep 0.05; done
if [ ! -L "$link" ]; then
  echo "demo: the LC-1 simulator did not start:" >&2
  cat "$work/lc1sim.out" >&2
  exit 1
fi
echo "LC-1 simulator on $(readlink "$link"), wired to COM$port in the demo prefix."

echo "Reading through $dll for $seconds seconds:"
echo
"$harness" line wine "$port" "$link" "$prefix" -- \
  "$source_dir/cmake/wine-run.sh" "$prefix" "$zbhost" "$dll" --seconds "$seconds" --interval-ms 80 \
  --answers "$work/answers.csv"
bash "$source_dir/tools/plot-afr-trace.sh" "$work/answers.csv" "$(dirname "$windows_build")/demo/afr-trace.png" "$seconds"
