#!/usr/bin/python3
"""Runs a command inside an emulated x86_64 machine whose kernel executes 32-bit programs,
so that 32-bit Wine starts there when it cannot start here. Python 3, standard library only.

usage: win32_vm.py [--copy DIR]... [--exclude PATTERN]... [--cwd DIR] [--timeout SECONDS]
                   -- COMMAND [ARGS...]

The machine is Debian under qemu-system-x86_64 in software emulation (TCG). Its disk image
is made once by cmake/win32_vm_image.sh and kept outside the source tree, in
$LAMDEX_VM_CACHE (default ~/.cache/lamdex/win32-vm), under a key taken from that script, so
a changed recipe makes a new image and a second run reuses the first one's.

Each DIR is copied into the machine's memory at the same path, so a build tree and the
sources are simply there (PATTERN, a shell pattern for absolute paths, leaves matching
files and folders out). The copy comes through a read-only 9p share: Wine does not load
programs reliably straight from 9p, and the command's writes stay in the machine, which
forgets them at power-off. The command runs as root with LAMDEX_EMULATED set, so a test
that needs a slower pace there can know it, and say so; Wine prefixes it makes start as
copies of one made once per run (LAMDEX_WINEPREFIX_TEMPLATES, see cmake/wine-run.sh). The
machine's console is copied to standard output.

Exit status: the command's; 1 when the machine could not run it or did not finish in time;
2 for bad usage.
"""
import argparse
import fcntl
import hashlib
import os
import shlex
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
from pathlib import Path

SOURCE = Path(__file__).resolve().parents[1]
IMAGE_SCRIPT = Path(__file__).resolve().with_name("win32_vm_image.sh")
IMAGE_FILES = ("vmlinuz", "initrd.img", "root.ext4")
MEMORY_MIB = 8192  # the copies, and Wine prefixes of about 600 MB each, live in memory
KERNEL_ARGS = ("root=/dev/vda rw console=ttyS0 init=/sbin/lamdex-guest-init quiet loglevel=3 "
               "fsck.mode=skip panic=-1")
EMULATED = "qemu-system-x86_64 (software emulation)"
TIMEOUT_SECONDS = 3600


def say(message):
    print(f"win32 machine: {message}", flush=True)


def fail(message):
    say(message)
    raise SystemExit(1)


def cache_root():
    default = Path(os.environ.get("XDG_CACHE_HOME") or Path.home() / ".cache") / "lamdex" / "win32-vm"
    return Path(os.environ.get("LAMDEX_VM_CACHE") or default)


def image_key():
    return hashlib.sha256(IMAGE_SCRIPT.read_bytes()).hexdigest()[:16]


def ensure_host_packages():
    result = subprocess.run(["sh", str(SOURCE / "cmake" / "install-deps.sh"), "vm"])
    if result.returncode != 0:
        fail("the packages that run the emulated machine are missing (see above)")


def ensure_image():
    """The image for this recipe: made once, under a lock; images of older recipes go."""
    root = cache_root()
    root.mkdir(parents=True, exist_ok=True)
    image = root / image_key()
    with open(root / "lock", "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        if all((image / name).is_file() for name in IMAGE_FILES):
            return image
        if os.geteuid() != 0:
            fail(f"its image is not made yet, and making it needs root: run as root, or run "
                 f"{IMAGE_SCRIPT} {image} as root once")
        for stale in root.iterdir():
            if stale.is_dir() and stale.name != image.name:
                say(f"removing the image of an older recipe, {stale}")
                shutil.rmtree(stale, ignore_errors=True)
        say(f"making its image in {image} (once per recipe; several minutes)")
        started = time.monotonic()
        if subprocess.run(["sh", str(IMAGE_SCRIPT), str(image)]).returncode != 0:
            fail("making the image failed (see above)")
        say(f"image made in {time.monotonic() - started:.0f} s")
    return image


def tar_excludes(folder, patterns):
    """The patterns under folder, as tar takes them for an archive made there."""
    prefix = str(folder).rstrip("/") + "/"
    return [f"--exclude=./{pattern[len(prefix):]}" for pattern in patterns if pattern.startswith(prefix)]


def job_script(copies, excludes, cwd, command):
    lines = ["set -u", 'echo "== machine up after $(cut -d" " -f1 /proc/uptime) s"']
    for number, folder in enumerate(copies):
        path, host = shlex.quote(str(folder)), f"/host/{number}"
        leave_out = " ".join(shlex.quote(option) for option in tar_excludes(folder, excludes))
        lines.append(f"mkdir -p {host} {path} && mount -t tmpfs -o size=90% copy {path} "
                     f"&& mount -t 9p -o ro,trans=virtio,version=9p2000.L,msize=262144 share{number} {host} "
                     f"&& tar -C {host} {leave_out} -cf - . | tar -C {path} -xf - "
                     f"|| {{ echo 'cannot copy {folder} into the machine'; echo 1 >/job/status; exit; }}")
    lines += [
        'echo "== copies made after $(cut -d" " -f1 /proc/uptime) s"',
        "export HOME=/root TERM=dumb LANG=C.UTF-8 LAMDEX_WINEPREFIX_TEMPLATES=/tmp/lamdex-wineprefix-templates",
        f"export LAMDEX_EMULATED={shlex.quote(EMULATED)}",
        f"cd {shlex.quote(str(cwd))}",
        " ".join(shlex.quote(word) for word in command),
        "echo $? >/job/status",
    ]
    return "\n".join(lines) + "\n"


def qemu_command(image, job, copies):
    command = [
        "qemu-system-x86_64", "-accel", "tcg,thread=multi", "-smp", str(min(os.cpu_count() or 1, 4)),
        "-m", str(MEMORY_MIB), "-nodefaults", "-no-reboot", "-display", "none",
        "-serial", "stdio", "-kernel", str(image / "vmlinuz"), "-initrd", str(image / "initrd.img"),
        "-append", KERNEL_ARGS, "-drive", f"file={image / 'root.ext4'},format=raw,if=virtio,snapshot=on",
        "-virtfs", f"local,path={job},mount_tag=job,security_model=none,id=job",
    ]
    for number, folder in enumerate(copies):
        command += ["-virtfs", f"local,path={folder},mount_tag=share{number},security_model=none,readonly=on,"
                    f"id=share{number}"]
    return command


def run(image, copies, excludes, cwd, command, timeout):
    """Boots the machine, copies its console here and returns the command's exit status."""
    # A stopped run must not leave the machine behind: it runs in a session of its own.
    for signum in (signal.SIGHUP, signal.SIGTERM):
        signal.signal(signum, lambda number, _: sys.exit(128 + number))
    with tempfile.TemporaryDirectory(prefix="lamdex-vm-job-") as job:
        Path(job, "run.sh").write_text(job_script(copies, excludes, cwd, command))
        qemu = subprocess.Popen(qemu_command(image, job, copies), stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                stderr=subprocess.STDOUT, start_new_session=True)
        watchdog = threading.Timer(timeout, qemu.kill)
        watchdog.start()
        try:
            for line in iter(qemu.stdout.readline, b""):
                sys.stdout.write(line.decode(errors="replace").rstrip("\r\n") + "\n")
                sys.stdout.flush()
            qemu.wait()
        finally:
            timed_out = not watchdog.is_alive() and qemu.returncode != 0
            watchdog.cancel()
            if qemu.poll() is None:
                qemu.kill()
                qemu.wait()
        if timed_out:
            fail(f"the command did not finish within {timeout:.0f} s; the machine was stopped")
        status = Path(job, "status")
        if not status.is_file():
            fail(f"the machine stopped (qemu exit status {qemu.returncode}) before the command ended")
        return int(status.read_text().strip() or 1)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--copy", action="append", default=[], help="a folder to copy in, at the same path")
    parser.add_argument("--exclude", action="append", default=[], help="a pattern of paths not to copy")
    parser.add_argument("--cwd", default=os.getcwd(), help="where the command starts (default: here)")
    parser.add_argument("--timeout", type=float, default=TIMEOUT_SECONDS, help="seconds before the machine is stopped")
    parser.add_argument("command", nargs="+")
    args = parser.parse_args()
    copies = [Path(folder).resolve() for folder in args.copy]
    ensure_host_packages()
    image = ensure_image()
    started = time.monotonic()
    status = run(image, copies, args.exclude, Path(args.cwd).resolve(), args.command, args.timeout)
    say(f"the command ran in {EMULATED} and ended with status {status} after "
        f"{time.monotonic() - started:.0f} s, boot included")
    return status


if __name__ == "__main__":
    sys.exit(main())
