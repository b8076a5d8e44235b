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
  if [ "$mode" = wine ]; then
    WINEPREFIX=$prefix wine reg delete 'HKLM\Software\Wine\Ports' /v "COM$port" /f >/dev/null 2>&1 || true
    rm -f "$prefix/dosdevices/com$port"
    WINEPREFIX=$prefix wineserver -k 2>/dev/null || true
  fi
}

link=$work/lc1
if [ "$mode" = native ]; then
  export HOME=$work/home
  mkdir -p "$HOME/.lamdex"
  ln -s "$link" "$HOME/.lamdex/com$port"
  config_dir="$HOME/My Documents/Zelbar Files/Plugins"
  host_command=("$build/tests/faults/fault_host" "$build/plugin/Lamdex.so")
  line_end='\n'
else
  run=("$source_dir/cmake/wine-run.sh" "$prefix")
  "${run[@]}" cmd /c exit >/dev/null 2>&1 # creates the prefix on first use
  WINEPREFIX=$prefix wine reg add 'HKLM\Software\Wine\Ports' /v "COM$port" /d "$link" /f >/dev/null 2>&1
  # The mount manager wires COM ports from the registry when the prefix starts again.
  WINEPREFIX=$prefix wineserver -k 2>/dev/null || true
  WINEPREFIX=$prefix wineserver -w 2>/dev/null || true
  profile=$(find "$prefix/drive_c/users" -mindepth 1 -maxdepth 1 -type d ! -name Public | head -n 1)
  config_dir="$profile/My Documents/Zelbar Files/Plugins"
  host_command=("${run[@]}" "$build/tests/faults/fault_host.exe" "$build/plugin/Lamdex.dll")
  line_end='\r\n'
fi
config_file=$config_dir/Lamdex.cfg
mkdir -p "$config_dir"
# shellcheck disable=SC2059
printf "COMPORT %s$line_end" "$port" >"$config_file"

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
