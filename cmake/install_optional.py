#!/usr/bin/python3
"""Installs the optional Debian packages, 32-bit Wine (wine32:i386): cmake/install-deps.sh runs
this once the required packages are in place. Without them the build goes on: the win32 tests
run in the emulated machine and the demo uses the 64-bit build (cmake/windows_runs.py).

usage: install_optional.py [--updated] [--again] PACKAGE...
  --updated  apt-get update has just run (install-deps.sh ran it for the required packages)
  --again    try even if an attempt with the same package lists found them uninstallable
             (make deps)

Not as root, it prints the command that installs them, and succeeds.
As root it tries to install them, at most once per state of apt's package lists: when apt
finds them uninstallable (unmet dependencies, no candidate, downloads that fail), it says so in one line and
remembers it in build/deps/, so that later runs need neither apt-get update nor a doomed
install until apt-get update brings new lists. Any other failure of apt (the dpkg lock held, a
full disk, an interrupted dpkg) stops the build, with apt's own words.
"""
import json
import os
import re
import subprocess
import sys
from pathlib import Path

SOURCE = Path(__file__).resolve().parents[1]
STATE = SOURCE / "build" / "deps"
STAMP = STATE / "optional-unavailable.json"
LOG = STATE / "optional-install.log"
UPDATE_LOG = STATE / "optional-update.log"
LISTS = Path("/var/lib/apt/lists")
WITHOUT = ("the win32 tests run in the emulated machine (LAMDEX_WIN32_VM=off skips them) and the demo runs the "
           "64-bit build")

# apt's errors that mean the archive cannot give these packages today, the machine being fine:
# no consistent set of them, or an archive caught mid-sync or out of reach, whose downloads
# fail. Any other error is the machine's, and stops the build.
UNAVAILABLE = [
    re.compile(r"E: Unable to correct problems, you have held broken packages\."),
    re.compile(r"E: Package '[^']+' has no installation candidate"),
    re.compile(r"E: Unable to locate package \S+"),
    re.compile(r"E: Failed to fetch .*"),
    re.compile(r"E: Unable to fetch some archives.*"),
]
DEPENDS = re.compile(r"^ *(\S+) : Depends: ")


def shown(path):
    """The path as the user, working in the checkout, would write it."""
    try:
        return str(path.relative_to(Path.cwd()))
    except ValueError:
        return str(path)


def say(message, stream=None):
    print(f"install-deps: {message}", file=stream or sys.stdout, flush=True)


def classify(output):
    """(True, reason) when apt's output says the packages cannot be installed today, else
    (False, the lines worth showing)."""
    lines = output.splitlines()
    errors = [line for line in lines if line.startswith("E:")]
    if errors and all(any(pattern.fullmatch(line.strip()) for pattern in UNAVAILABLE) for line in errors):
        # Of the unmet dependencies, an i386 package's names the cause; others come along.
        depends = [line for line in lines if DEPENDS.match(line)]
        foreign = [line for line in depends if DEPENDS.match(line).group(1).endswith(":i386")]
        reason = (foreign or depends or [error for error in errors if "held broken" not in error] or errors)[0]
        return True, " ".join(reason.split())
    useful = [line for line in lines if line.startswith(("E:", "dpkg:")) or DEPENDS.match(line)]
    return False, useful or lines[-5:]


def lists_time():
    """When apt's package lists last changed: their folder changes when apt-get update adds,
    replaces or removes a list; apt leaves it alone when nothing new came."""
    times = [LISTS.stat().st_mtime_ns]
    times += [entry.stat().st_mtime_ns for entry in LISTS.iterdir() if entry.name not in ("lock", "partial")]
    return max(times)


def own_like_source(path):
    """What root makes under build/ belongs to the checkout's owner, whose builds go there."""
    owner = SOURCE.stat()
    if os.geteuid() == 0 and (owner.st_uid, owner.st_gid) != (0, 0):
        os.chown(path, owner.st_uid, owner.st_gid)


def write(path, text):
    for folder in (STATE.parent, STATE):
        if not folder.exists():
            folder.mkdir()
            own_like_source(folder)
    path.write_text(text)
    own_like_source(path)


def remember(lists, packages, reason):
    write(STAMP, json.dumps({"lists": lists, "packages": packages, "reason": reason}) + "\n")


def remembered(lists, packages):
    """Why an attempt with these package lists found the packages uninstallable, or None."""
    try:
        stamp = json.loads(STAMP.read_text())
    except (OSError, ValueError):
        return None
    return stamp.get("reason") if stamp.get("lists") == lists and stamp.get("packages") == packages else None


def apt(arguments, log):
    """Runs apt-get quietly; (its exit status, its output), which also goes to the file log."""
    result = subprocess.run(["apt-get", "-q", *arguments], stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                            text=True, env={**os.environ, "DEBIAN_FRONTEND": "noninteractive"})
    write(log, result.stdout)
    return result.returncode, result.stdout


def architectures_missing(packages):
    architectures = {package.partition(":")[2] for package in packages} - {""}
    if not architectures:
        return set()
    native = subprocess.run(["dpkg", "--print-architecture"], capture_output=True, text=True).stdout.split()
    foreign = subprocess.run(["dpkg", "--print-foreign-architectures"], capture_output=True, text=True).stdout.split()
    return architectures - set(native) - set(foreign)


def main(arguments):
    updated = "--updated" in arguments
    again = "--again" in arguments
    packages = [argument for argument in arguments if not argument.startswith("--")]
    if not packages:
        print(__doc__.strip().split("\n\n")[1], file=sys.stderr)
        return 2
    names = " ".join(packages)
    missing_architectures = architectures_missing(packages)

    if os.geteuid() != 0:
        commands = [f"dpkg --add-architecture {architecture}" for architecture in sorted(missing_architectures)]
        commands += ["apt-get update", f"apt-get install -y --no-install-recommends {names}"]
        say(f"32-bit Wine ({names}) is not installed, so {WITHOUT}. To install it, as root:")
        print("  " + " && ".join(commands), flush=True)
        return 0

    if not again and (reason := remembered(lists_time(), packages)):
        say(f"32-bit Wine ({names}) cannot be installed from these package lists ({reason}), so {WITHOUT}; "
            f"make deps, or new lists from apt-get update, try again.")
        return 0

    for architecture in sorted(missing_architectures):
        subprocess.run(["dpkg", "--add-architecture", architecture], check=True)
        updated = False
    if not updated:
        status, output = apt(["update"], UPDATE_LOG)
        if status != 0:
            errors = [line for line in output.splitlines() if line.startswith("E:")]
            say(f"apt-get update failed ({' '.join((errors or ['see ' + shown(UPDATE_LOG)])[0].split())[:300]}); "
                f"going on with the package indexes apt has.")
    lists = lists_time()
    # One line tells how the attempt went, however it went.
    print(f"install-deps: 32-bit Wine ({names}): installing... ", end="", flush=True)
    status, output = apt(["install", "-y", "--no-install-recommends", *packages], LOG)
    if status == 0:
        STAMP.unlink(missing_ok=True)
        print("installed.", flush=True)
        return 0
    unavailable, detail = classify(output)
    if unavailable:
        remember(lists, packages, detail[:300])
        print(f"cannot be installed today ({detail[:300]}), so {WITHOUT}; not tried again until apt-get update "
              f"brings new lists, or make deps (apt's output: {shown(LOG)}).", flush=True)
        return 0
    print("failed, and not for want of packages:", flush=True)
    for line in detail:
        print(f"  {line}", file=sys.stderr)
    say(f"apt's whole output is in {shown(LOG)}. Put right what apt names, then run make deps again.", sys.stderr)
    return 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
