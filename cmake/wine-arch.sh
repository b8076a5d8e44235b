# Sourced by the scripts that start Wine: picks the binaries for WINEARCH (win32 unless
# set; win64 for the 64-bit build) and tells whether this machine can run them.
# The wine and wineserver wrappers would pick the 32-bit binaries whenever wine32 is
# installed, so the loader and server are called by their own names.
#
#   wine_loader, wine_server  the binaries for WINEARCH (also exported as WINELOADER and
#                             WINESERVER, so Wine starts its own processes with them)
#   wine_arch_unavailable     prints why WINEARCH cannot run on this machine and
#                             succeeds, or fails silently when it can run
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

# Some machines cannot execute 32-bit x86 programs at all; LAMDEX_WIN32_RUNS=off makes a
# machine that can behave as one that cannot, to try the fallback. Only a 32-bit loader that
# really runs counts: one not installed yet says nothing about the machine.
wine_arch_unavailable() {
  [ "$WINEARCH" = win32 ] || return 1
  if [ "${LAMDEX_WIN32_RUNS:-on}" = off ]; then
    echo "32-bit Windows runs switched off (LAMDEX_WIN32_RUNS=off)"
    return 0
  fi
  wine_arch_probe_status=0
  /lib/ld-linux.so.2 --version >/dev/null 2>&1 || wine_arch_probe_status=$?
  case $wine_arch_probe_status in
    0) return 1 ;;
    126) echo "this machine cannot execute 32-bit x86 programs (/lib/ld-linux.so.2: Exec format error), so 32-bit Wine cannot start" ;;
    127) echo "the 32-bit loader /lib/ld-linux.so.2 is not installed (make deps installs it with 32-bit Wine)" ;;
    *) echo "the 32-bit loader /lib/ld-linux.so.2 failed (exit status $wine_arch_probe_status), so 32-bit Wine cannot start" ;;
  esac
  return 0
}
