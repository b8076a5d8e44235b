#!/usr/bin/env bash
# The demo: a simulated LC-1 read live through the real Lamdex.dll under Wine.
# The simulator runs on a pseudo-terminal; the COM port the plug-in is configured for
# (COM1 without a configuration file) is wired to it in a private Wine prefix; the
# reference host polls the plug-in for about fifteen seconds: warm-up, then a lambda
# sweep from rich to lean. Everything it makes stays in the build tree.
#
# usage: tools/demo.sh [NATIVE_BUILD_DIR] [WIN32_BUILD_DIR] [SECONDS]
set -euo pipefail

source_dir=$(cd "$(dirname "$0")/.." && pwd)
native_build=${1:-$source_dir/build/native}
win32_build=${2:-$source_dir/build/win32}
seconds=${3:-15}

lc1sim=$native_build/tools/lc1sim/lc1sim
zbhost=$win32_build/tools/zbhost/zbhost.exe
dll=$win32_build/plugin/Lamdex.dll
for needed in "$lc1sim" "$zbhost" "$dll"; do
  if [ ! -e "$needed" ]; then
    echo "demo: $needed is missing; build first with 'make' (or run 'make demo')." >&2
    exit 1
  fi
done

prefix=$win32_build/wineprefix-demo
work=$win32_build/demo
export WINEPREFIX=$prefix
run=("$source_dir/cmake/wine-run.sh" "$prefix")
sim_pid=""
port=""

cleanup() {
  if [ -n "$sim_pid" ]; then
    kill "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
  fi
  if [ -n "$port" ]; then
    wine reg delete 'HKLM\Software\Wine\Ports' /v "COM$port" /f >/dev/null 2>&1 || true
  fi
  wineserver -k 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

echo "Preparing the demo's Wine prefix ($prefix)..."
"${run[@]}" cmd /c exit >/dev/null 2>&1
rm -rf "$work"
mkdir -p "$work"

# The port the plug-in will open: the last acceptable COMPORT line of its file, else 1.
profile=$(find "$prefix/drive_c/users" -mindepth 1 -maxdepth 1 -type d ! -name Public | head -n 1)
config="$profile/My Documents/Zelbar Files/Plugins/Lamdex.cfg"
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

# Wine's mount manager wires COM ports from this registry key when the prefix starts.
wine reg add 'HKLM\Software\Wine\Ports' /v "COM$port" /d "$link" /f >/dev/null 2>&1
wineserver -k 2>/dev/null || true
wineserver -w 2>/dev/null || true

echo "Reading through $dll for $seconds seconds:"
echo
"${run[@]}" "$zbhost" "$dll" --seconds "$seconds" --interval-ms 80
