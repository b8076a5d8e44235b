# Sourced by the scripts that start Wine: picks the binaries for WINEARCH (win32 unless
# set; win64 for the 64-bit build) and tells whether this machine can run them.
# The wine and wineserver wrappers would pick the 32-bit binaries whenever wine32 is
# installed, so the loader and server are called by their own names.
#
#   wine_loader, wine_server  the binaries for WINEARCH (also exported as WINELOADER and
#                             WINESERVER, so Wine starts its own processes with them)
#   wine_arch_unavailable     prints why WINEARCH cannot run on this kind of machine (it
#                             does not execute 32-bit programs, 32-bit Wine is not
#                             installed, or runs are switched off) and succeeds, or fails
#                             silently
#   wine_arch_broken          prints why the installed 32-bit Wine does not start and
#                             succeeds, or fails silently: a failure, never a kind of machine
#   wine64_missing            prints why 64-bit Wine is missing and succeeds, or fails
#                             silently (always for win32)
#   wine_skip_code            the exit status that tells CTest a test was skipped
WINEARCH=${WINEARCH:-win32}
export WINEARCH
wine_skip_code=77
case $WINEARCH in
  win32) wine_loader=/usr/lib/wine/wine wine_server=/usr/lib/wine/wineserver32 ;;
  win64) wine_loader=/usr/lib/wine/wine64 wine_server=/usr/lib/wine/wineserver64 ;;
  *)
    echo "WINEARCH must be win32 or win64, not $WINEARCH" >&2
    exit 2
    ;;
esac
WINELOADER=$wine_loader
WINESERVER=$wine_server
export WINELOADER WINESERVER

# Some machines cannot execute 32-bit x86 programs at all, and on some days 32-bit Wine cannot
# be installed; LAMDEX_WIN32_RUNS=off makes a machine that can run it behave as one that
# cannot, to try the fallback. Only a 32-bit Wine that really starts counts: the 32-bit C
# library's loader alone (libc6-i386 brings it) says nothing about Wine. A 32-bit Wine that
# is there and executable but does not start is broken, and says why.
# Prints "runs", "unavailable WHY" or "broken WHY".
wine_arch_probe() {
  if [ "$WINEARCH" != win32 ]; then
    echo runs
  elif [ "${LAMDEX_WIN32_RUNS:-on}" = off ]; then
    echo "unavailable 32-bit Windows runs switched off (LAMDEX_WIN32_RUNS=off)"
  elif [ ! -e "$wine_loader" ]; then
    echo "unavailable 32-bit Wine is not installed ($wine_loader is missing; as root, make deps installs wine32:i386 when the package archive can give it)"
  else
    wine_arch_probe_status=0
    wine_arch_probe_output=$("$wine_loader" --version 2>&1 </dev/null) || wine_arch_probe_status=$?
    case $wine_arch_probe_status:$wine_arch_probe_output in
      0:*) echo runs ;;
      126:*"Exec format error"*)
        echo "unavailable this machine cannot execute 32-bit x86 programs ($wine_loader: Exec format error), so 32-bit Wine cannot start"
        ;;
      *)
        echo "broken 32-bit Wine is installed but does not start: $wine_loader --version failed with exit status $wine_arch_probe_status ($(echo "$wine_arch_probe_output" | head -n 1 | cut -c 1-200)); repair it (apt-get install --reinstall wine32:i386), or set LAMDEX_WIN32_RUNS=off to test as a machine without it"
        ;;
    esac
  fi
}
# Prints why and succeeds when the probe finds WINEARCH in state $1; fails silently otherwise.
wine_arch_is() {
  wine_arch_state=$(wine_arch_probe)
  [ "${wine_arch_state#"$1" }" != "$wine_arch_state" ] || return 1
  echo "${wine_arch_state#"$1" }"
}
wine_arch_unavailable() { wine_arch_is unavailable; }
wine_arch_broken() { wine_arch_is broken; }

# Why the 64-bit Wine a win64 test needs cannot run, or fails silently when it can: it runs on
# every x86_64 machine, so its absence is a missing install step, not a kind of machine.
wine64_missing() {
  [ "$WINEARCH" = win64 ] && [ ! -x "$wine_loader" ] || return 1
  echo "64-bit Wine is not installed ($wine_loader is missing): run make deps, or apt-get install wine wine64"
}
