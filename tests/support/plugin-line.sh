# Sourced by the end-to-end, fault and demo scripts: gives the plug-in a line to read.
# Natively the plug-in's port N is $HOME/.lamdex/comN (in a private $HOME); under Wine it
# is COMN of a private prefix, wired by wine-com-ports.sh. Either way the configuration
# file the plug-in reads at load names that port.
#
#   plugin_config_file MODE [PREFIX]   prints where the plug-in keeps its configuration
#   plugin_line_wire MODE PORT DEVICE WORK [PREFIX]
#                                      port N reads DEVICE (which may appear later), and the
#                                      configuration names N; state goes to WORK
#   plugin_line_unwire                 undoes plugin_line_wire (call it from an EXIT trap)

plugin_line_support=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
plugin_line_state=""

plugin_config_file() {
  if [ "$1" = native ]; then
    printf '%s\n' "$HOME/My Documents/Zelbar Files/Plugins/Lamdex.cfg"
    return
  fi
  "$plugin_line_support/../../cmake/wine-run.sh" "$2" cmd /c exit >/dev/null 2>&1 # makes the prefix
  local profile
  profile=$(find "$2/drive_c/users" -mindepth 1 -maxdepth 1 -type d ! -name Public | head -n 1)
  printf '%s\n' "$profile/My Documents/Zelbar Files/Plugins/Lamdex.cfg"
}

plugin_line_wire() {
  local mode=$1 port=$2 device=$3 work=$4 prefix=${5:-} config line_end
  case $device in /*) ;; *) device=$PWD/$device ;; esac # a link is read from elsewhere
  if [ "$mode" = native ]; then
    export HOME=$work/home
    mkdir -p "$HOME/.lamdex"
    ln -sfn "$device" "$HOME/.lamdex/com$port"
    line_end='\n'
  else
    plugin_line_state=$work/wine-ports
    "$plugin_line_support/wine-com-ports.sh" start "$plugin_line_state" "$prefix" "COM$port=$device"
    line_end='\r\n'
  fi
  config=$(plugin_config_file "$mode" "$prefix")
  mkdir -p "$(dirname "$config")"
  # shellcheck disable=SC2059 # the line end is part of the format
  printf "COMPORT %s$line_end" "$port" >"$config"
}

plugin_line_unwire() {
  if [ -n "$plugin_line_state" ]; then
    "$plugin_line_support/wine-com-ports.sh" stop "$plugin_line_state" || true
    plugin_line_state=""
  fi
}
