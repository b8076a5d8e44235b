#!/usr/bin/env python3
"""The release as a user gets it: makes the zip of this Windows build the way `make dist`
does, checks it against SHA256SUMS, unpacks it in a clean folder and checks what is there:
the expected files and nothing else, a stripped DLL and lamdex-check.exe that import system
DLLs only, VERSION.txt naming the commit, the commit's time (the build's stamp) in every
entry's time and PE timestamp, and, under Wine, a DLL that answers zbhost --info with its identity and a
lamdex-check.exe that starts from the unpacked folder. Where this
machine cannot run the build's Wine, the rest is still checked and the test ends as
skipped (77).

usage: check_release_zip.py BUILD_DIR OBJDUMP VERSION
"""
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE_DIR = os.path.dirname(os.path.dirname(HERE))
SKIPPED = 77
# What Windows itself provides; anything else would have to ship beside the program.
SYSTEM_DLLS = {"KERNEL32.DLL", "USER32.DLL", "SHELL32.DLL", "ADVAPI32.DLL", "MSVCRT.DLL"}


def fail(message):
    print(f"FAIL: {message}")
    sys.exit(1)


def output_of(*command):
    return subprocess.run(command, capture_output=True, text=True).stdout


def check_contents(folder, name, version, objdump):
    files = sorted(os.listdir(folder))
    if files != ["LICENSE.txt", "Lamdex.dll", "USER-GUIDE.txt", "VERSION.txt", "lamdex-check.exe"]:
        fail(f"the zip holds: {' '.join(files)}")

    def text(file):
        with open(os.path.join(folder, file), encoding="utf-8") as opened:
            return opened.read()

    check_version_text(text("VERSION.txt"), version)
    if "MIT License" not in text("LICENSE.txt"):
        fail("LICENSE.txt is not the licence")
    if "Read at least every 80 ms" not in text("USER-GUIDE.txt"):
        fail("the user guide lacks the polling rule")
    dll = os.path.join(folder, "Lamdex.dll")
    if ".debug_" in output_of(objdump, "-h", dll):
        fail("the DLL still has debug sections")
    if "no symbols" not in output_of(objdump, "-t", dll):
        fail("the DLL still has a symbol table")
    if subprocess.run(["sh", os.path.join(HERE, "check-dll-tables.sh"), objdump, dll]).returncode != 0:
        fail("the unpacked DLL's tables")
    check = os.path.join(folder, "lamdex-check.exe")
    imports = {line.split(":", 1)[1].strip().upper() for line in output_of(objdump, "-p", check).splitlines()
               if line.strip().startswith("DLL Name:")}
    if not imports or imports - SYSTEM_DLLS:
        fail(f"lamdex-check.exe imports {' '.join(sorted(imports - SYSTEM_DLLS))}, not only system DLLs")
    if "no symbols" not in output_of(objdump, "-t", check):
        fail("lamdex-check.exe still has a symbol table")
    print(f"{name}.zip: checksum, files and tables right; Lamdex.dll is {os.path.getsize(dll)} bytes, "
          f"lamdex-check.exe {os.path.getsize(check)} bytes")
    return dll, check


def check_version_text(text, version):
    lines = text.splitlines()
    commit = re.fullmatch(r"Commit ([0-9a-f]{40})( dirty \(built with uncommitted changes\))?", lines[-1])
    if len(lines) != 2 or not lines[0].startswith(f"Lamdex {version},") or not (
            commit or lines[-1] == "Commit unknown (not built from a git checkout)"):
        fail(f"VERSION.txt says: {text}")
    # Where the sources are a checkout (not in the emulated machine), the commit is this one:
    # a stamp left from an earlier commit would name the wrong one.
    if shutil.which("git") and os.path.exists(os.path.join(SOURCE_DIR, ".git")):
        head = output_of("git", "-C", SOURCE_DIR, "rev-parse", "HEAD").strip()
        if not commit or commit.group(1) != head:
            fail(f"VERSION.txt names {lines[-1]}, the sources are at {head}")


def check_times(release, folder, epoch, objdump):
    """Every time the release records is the build's stamp: none comes from the clock."""
    # DOS times have no zone (make-dist.sh writes them in UTC) and count in 2-second steps.
    dos_time = time.gmtime(epoch - epoch % 2)[:6]
    for entry in release.infolist():
        if entry.date_time != dos_time:
            fail(f"{entry.filename} is dated {entry.date_time}, not the commit's {dos_time}")
    for program in ("Lamdex.dll", "lamdex-check.exe"):
        with open(os.path.join(folder, program), "rb") as image:
            header = image.read(4096)
        (pe_offset,) = struct.unpack_from("<I", header, 0x3C)
        (stamp,) = struct.unpack_from("<I", header, pe_offset + 8)
        stamps = [stamp] + [int(line.split()[-1], 16) for line in output_of(objdump, "-p", image.name).splitlines()
                            if line.startswith("Time/Date stamp")]
        if stamps != [epoch] * len(stamps):
            fail(f"{program} records the times {stamps}, not the commit's {epoch}")


def run_under_wine(build, *command):
    wine_run = os.path.join(SOURCE_DIR, "cmake", "wine-run.sh")
    return subprocess.run([wine_run, os.path.join(build, "wineprefix"), *command], stdin=subprocess.DEVNULL,
                          capture_output=True, text=True)


def check_identity(build, dll, version):
    zbhost = os.path.join(build, "tools", "zbhost", "zbhost.exe")
    info = run_under_wine(build, zbhost, dll, "--info")
    shown = (info.stdout + info.stderr).replace("\r", "")
    print(shown, end="")
    if info.returncode == SKIPPED:
        sys.exit(SKIPPED)
    if info.returncode != 0:
        fail(f"zbhost --info exited with {info.returncode}")
    lines = shown.splitlines()
    for line in ["Plug-in     Lamdex Reader", "Component   LC1 IO Driver", "  type         100001"]:
        if line not in lines:
            fail(f'zbhost --info did not show "{line}"')
    if lines.count(f"  version      {version}") != 2:
        fail(f"plug-in and component should both be version {version}")


def check_tool_starts(build, check):
    started = run_under_wine(build, check, "--help")
    if started.returncode != 0 or not started.stdout.startswith("usage: lamdex-check"):
        fail(f"the unpacked lamdex-check.exe --help exited with {started.returncode}: {started.stderr}")


def main():
    build, objdump, version = os.path.abspath(sys.argv[1]), sys.argv[2], sys.argv[3]
    with open(os.path.join(build, "wine-arch"), encoding="utf-8") as arch_file:
        name = f"Lamdex-{version}-{arch_file.read().strip()}"
    with tempfile.TemporaryDirectory(prefix="lamdex-release.") as work:
        download = os.path.join(work, "download")
        subprocess.run(["sh", os.path.join(SOURCE_DIR, "tools", "make-dist.sh"), download, build],
                       stdout=subprocess.DEVNULL, check=True)
        if subprocess.run(["sha256sum", "--check", "--strict", "SHA256SUMS"], cwd=download).returncode != 0:
            fail("the zip does not match SHA256SUMS")
        clean = os.path.join(work, "clean")
        with zipfile.ZipFile(os.path.join(download, f"{name}.zip")) as release:
            release.extractall(clean)
            if os.listdir(clean) != [name]:
                fail(f"the zip should hold one folder {name}, not: {' '.join(os.listdir(clean))}")
            dll, check = check_contents(os.path.join(clean, name), name, version, objdump)
            with open(os.path.join(build, "source-date-epoch"), encoding="utf-8") as stamp:
                check_times(release, os.path.join(clean, name), int(stamp.read()), objdump)
        check_identity(build, dll, version)
        check_tool_starts(build, check)


if __name__ == "__main__":
    main()
