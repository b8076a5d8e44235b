# Sourced by the fault and benchmark scripts: a COM port of a private Wine prefix (or, natively,
# $HOME/.lamdex/comN) wired to a path where a simulator will appear, and a fault_host steered
# line by line over a coprocess.
#
# Needs before sourcing: mode (native|wine), build, native_build, port, work, source_dir.
# Gives: link (where the device must appear), config_file, start_host, ask, field, fail,
# session_cleanup (call it from the caller's EXIT trap).

prefix=$build/wineprefix-faults
host_pid=""

fail() {
  echo "FAIL: $*"
  [ -s "$work/host.err" ] && { echo "host stderr:"; tail -n 20 "$work/host.err"; }
  exit 1
}

session_cleanup() {
  if [ -n "$host_pid" ]; then
    echo quit >&"${HOST[1]}" 2>/dev/null || true
    for _ in $(seq 50); do kill -0 "$host_pid" 2>/dev/null || break; sleep 0.1; done
    kill "$host_pid" 2>/dev/null || true
  fi
  plugin_line_unwire
}

# shellcheck source=../support/plugin-line.sh
source "$source_dir/tests/support/plugin-line.sh"
link=$work/lc1
if [ "$mode" = native ]; then
  plugin_line_wire native "$port" "$link" "$work"
  host_command=("$build/tests/faults/fault_host" "$build/plugin/Lamdex.so")
else
  plugin_line_wire wine "$port" "$link" "$work" "$prefix"
  host_command=("$source_dir/cmake/wine-run.sh" "$prefix" "$build/tests/faults/fault_host.exe" "$build/plugin/Lamdex.dll")
fi
config_file=$(plugin_config_file "$mode" "$prefix")

# Starts the host and waits until it has loaded the library.
start_host() {
  coproc HOST { "${host_command[@]}" 2>"$work/host.err"; }
  host_pid=$HOST_PID
  IFS= read -r -t 60 reply <&"${HOST[0]}" || fail "the host did not start"
  reply=${reply%$'\r'}
  [ "$reply" = loaded ] || fail "the host said '$reply' instead of loaded"
}

# Sends one command and leaves the host's one-line answer in $reply.
ask() {
  echo "$*" >&"${HOST[1]}" || fail "the host is gone (asked: $*)"
  IFS= read -r -t 60 reply <&"${HOST[0]}" || fail "no answer to '$*' within 60 s (hung or crashed)"
  reply=${reply%$'\r'}
}

# The value of name=value in $reply ("answers" may be empty).
field() {
  local rest=" ${reply#* } "
  rest=${rest#* "$1"=}
  [ "$rest" = " ${reply#* } " ] && { echo ""; return; }
  echo "${rest%% *}"
}
