#!/usr/bin/python3
"""Where the Windows builds run on this machine: the one place make test, make demo and the
benchmarks ask, at run time (after make deps has installed Wine), never when make starts.

usage: windows_runs.py build        prints win32 when 32-bit Wine starts here, else win64:
                                    the build the demo and the benchmarks run under Wine
       windows_runs.py test-win32   runs the win32 CTest suite the way this machine allows
       windows_runs.py summary      the last line of make test: which Windows runs ran, how

The win32 suite runs under 32-bit Wine here when that Wine starts here. Where it cannot (the
machine does not execute 32-bit x86 programs, or 32-bit Wine could not be installed), the same
suite runs in an emulated x86_64 machine (cmake/win32_vm.py),
unless LAMDEX_WIN32_VM=off, which keeps the quick run: every win32 test program is reported as
skipped, with the reason. LAMDEX_WIN32_RUNS=off makes this machine count as one that cannot
execute 32-bit programs. A 32-bit Wine that is installed but does not start is neither: the
win32 suite fails, saying why, and so does build.
"""
import os
import subprocess
import sys
import time
from pathlib import Path

import win32_vm

SOURCE = Path(__file__).resolve().parents[1]
WIN32_BUILD = SOURCE / "build" / "win32"
NATIVE_BUILD = SOURCE / "build" / "native"
SUMMARY = WIN32_BUILD / "windows-runs.txt"
SUITE = ["ctest", "--preset", "win32"]


def win32_unavailable():
    """Why 32-bit Wine cannot start on this kind of machine, or "" when it can; exits, saying
    why, when it is installed but broken (cmake/wine-arch.sh decides)."""
    probe = '. "$1" && wine_arch_probe'
    result = subprocess.run(["sh", "-c", probe, "sh", SOURCE / "cmake" / "wine-arch.sh"], capture_output=True,
                            text=True, env={**os.environ, "WINEARCH": "win32"})
    if result.returncode != 0:
        sys.exit(result.stderr.strip() or "cmake/wine-arch.sh failed")
    state, _, why = result.stdout.strip().partition(" ")
    if state == "broken":
        raise Broken(why)
    return why if state == "unavailable" else ""


class Broken(Exception):
    """32-bit Wine is installed here but does not start: a failure to put right, not a kind of
    machine to run elsewhere."""


def test_win32():
    try:
        reason = win32_unavailable()
    except Broken as broken:
        print(f"win32: the test programs cannot run: {broken}", flush=True)
        SUMMARY.write_text(f"win32 NOT tested, a failure: {broken}\n")
        return 1
    if not reason:
        status = subprocess.run(SUITE, cwd=SOURCE).returncode
        summary = "win32 under 32-bit Wine"
    elif os.environ.get("LAMDEX_WIN32_VM", "on") == "off":
        print(f"win32: the test programs will be reported as skipped: {reason}; the emulated machine "
              f"that would run them is switched off (LAMDEX_WIN32_VM=off)", flush=True)
        status = subprocess.run(SUITE, cwd=SOURCE).returncode
        summary = f"the win32 test programs were skipped: {reason} (LAMDEX_WIN32_VM=off)"
    else:
        print(f"win32: {reason}; the win32 test programs run in an emulated x86_64 machine instead "
              f"(LAMDEX_WIN32_VM=off skips them)", flush=True)
        making = time.monotonic()
        win32_vm.ensure_host_packages()
        image = win32_vm.ensure_image()
        making = time.monotonic() - making
        # The sources without their builds and history, the win32 build without Wine prefixes,
        # and the native build the tests take the simulator from.
        started = time.monotonic()
        status = win32_vm.run(image, [SOURCE, WIN32_BUILD, NATIVE_BUILD],
                              [str(SOURCE / "build"), str(SOURCE / ".git"), str(WIN32_BUILD / "wineprefix*")],
                              SOURCE, SUITE, win32_vm.TIMEOUT_SECONDS)
        seconds = time.monotonic() - started
        made = f"; making its image first took {making / 60:.1f} min" if making > 60 else ""
        summary = f"win32 under 32-bit Wine in an emulated x86_64 machine, since {reason} ({seconds / 60:.1f} min{made})"
        print(f"win32: the test programs ran emulated in {seconds:.0f} s, its start included{made}", flush=True)
    SUMMARY.write_text(summary + "\n")
    return status


def main():
    command = sys.argv[1] if len(sys.argv) == 2 else ""
    if command == "build":
        try:
            print("win64" if win32_unavailable() else "win32")
        except Broken as broken:
            print(f"windows_runs.py: {broken}", file=sys.stderr)
            return 1
    elif command == "test-win32":
        return test_win32()
    elif command == "summary":
        win32 = SUMMARY.read_text().strip() if SUMMARY.is_file() else "win32 not tested"
        print(f"Windows configurations tested: win64 under 64-bit Wine; {win32}")
    else:
        print(__doc__.strip().split("\n\n")[1], file=sys.stderr)
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(main())
