# Sourced by the scripts that start Wine: picks the binaries for WINEARCH (win32 unless
# set; win64 for the 64-bit build) and tells whether this machine can run them.
# The wine and wineserver wrappers would pick the 32-bit binaries whenever wine32 is
# installed, so the loader and server are called by their own names.
#
#   wine_loader, wine_server  the binaries for WINEARCH (also exported as WINELOADER and
#                             WINESERVER, so Wine starts its own processes with them)
#   wine_arch_unavailable     prints why WINEARCH cannot run on this machine and
#                             succeeds, or fails silently when it can run
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
# library's loader alone (libc6-i386 brings it) says nothing about Wine.
wine_arch_unavailable() {
  [ "$WINEARCH" = win32 ] || return 1
  if [ "${LAMDEX_WIN32_RUNS:-on}" = off ]; then
    echo "32-bit Windows runs switched off (LAMDEX_WIN32_RUNS=off)"
    return 0
  fi
  wine_arch_probe_status=0
  [ -e "$wine_loader" ] || wine_arch_probe_status=127
  [ $wine_arch_probe_status -ne 0 ] || "$wine_loader" --version >/dev/null 2>&1 || wine_arch_probe_status=$?
  case $wine_arch_probe_status in
    0) return 1 ;;
    126) echo "this machine cannot execute 32-bit x86 programs ($wine_loader: Exec format error), so 32-bit Wine cannot start" ;;
    127) echo "32-bit Wine is not installed ($wine_loader is missing; make deps installs wine32:i386 when the package archive can give it)" ;;
    *) echo "32-bit Wine does not start here ($wine_loader --version failed with exit status $wine_arch_probe_status)" ;;
  esac
  return 0
}

# Why the 64-bit Wine a win64 test needs cannot run, or fails silently when it can: it runs on
# every x86_64 machine, so its absence is a missing install step, not a kind of machine.
wine64_missing() {
  [ "$WINEARCH" = win64 ] && [ ! -x "$wine_loader" ] || return 1
  echo "64-bit Wine is not installed ($wine_loader is missing): run make deps, or apt-get install wine wine64"
}
