#!/usr/bin/env python3
"""How old is the reading a host gets, when it polls at a given interval?

The simulator sends the ramp scenario at the device's cadence (one packet every 81.92 ms,
each value naming its packet, so when it was sent); zbhost polls the real plug-in every
N ms for a while and writes every answer with its time. The plug-in's port is a
pseudo-terminal of this script's, which passes the simulator's bytes on from the moment
the host starts polling: a real port receives nothing before it is opened, whereas the
simulator's own line would queue everything sent while the host was starting. The age of a delivered reading is
the time it was read minus the time its packet was sent (its last byte), both on this
machine's monotonic clock. Prints figures; asserts nothing about time.

usage:
  poll_age.py native [--native-build DIR]
  poll_age.py wine   [--native-build DIR] [--windows-build DIR]
options: --intervals 50,80,100,200,500  --seconds 60  --marks 10,30,60
Exits 77 when this machine cannot run the Windows build's Wine.
"""

import argparse
import csv
import os
import pathlib
import platform
import select
import shutil
import subprocess
import sys
import tempfile
import threading
import time
import tty

SOURCE_DIR = pathlib.Path(__file__).resolve().parents[2]
PACKET_SECONDS = 0.08192
# A packet is complete when its last byte has left: six bytes at 1920 bytes a second.
TRANSFER_SECONDS = 6 / 1920
PORT = 7
SKIPPED = 77


class Skipped(Exception):
    pass


def parse_args():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("mode", choices=["native", "wine"])
    parser.add_argument("--native-build", default=str(SOURCE_DIR / "build" / "native"))
    parser.add_argument("--windows-build", default=str(SOURCE_DIR / "build" / "win64"))
    parser.add_argument("--intervals", default="50,80,100,200,500", help="poll intervals in ms")
    parser.add_argument("--seconds", type=float, default=60.0, help="how long zbhost polls at each interval")
    parser.add_argument("--marks", default="10,30,60", help="seconds at which to report the age")
    return parser.parse_args()


def numbers(text, kind):
    return [kind(part) for part in text.split(",") if part]


class NativeHost:
    """The native plug-in: port n is $HOME/.lamdex/comn, the configuration under $HOME."""

    def __init__(self, native_build, work):
        self.build = native_build
        self.home = work / "home"

    def wire(self, device):
        (self.home / ".lamdex").mkdir(parents=True, exist_ok=True)
        (self.home / ".lamdex" / f"com{PORT}").symlink_to(device)
        config = self.home / "My Documents" / "Zelbar Files" / "Plugins" / "Lamdex.cfg"
        config.parent.mkdir(parents=True, exist_ok=True)
        config.write_text(f"COMPORT {PORT}\n")

    def command(self, options):
        zbhost = self.build / "tools" / "zbhost" / "zbhost"
        return [str(zbhost), str(self.build / "plugin" / "Lamdex.so")] + options

    def environment(self):
        return dict(os.environ, HOME=str(self.home))

    def unwire(self):
        pass

    def describe(self):
        return "native"


class WineHost:
    """The Windows DLL under Wine, in a prefix of its own; COMn reads the simulator's line."""

    def __init__(self, windows_build):
        self.build = windows_build
        self.arch = (windows_build / "wine-arch").read_text().strip()
        self.prefix = windows_build / "wineprefix-polling"
        self.wine_run = SOURCE_DIR / "cmake" / "wine-run.sh"
        self.env = dict(os.environ, WINEARCH=self.arch)

    def run_wine(self, *args):
        result = subprocess.run([str(self.wine_run), str(self.prefix), *args], env=self.env,
                                stdin=subprocess.DEVNULL, capture_output=True, text=True)
        if result.returncode == SKIPPED:
            raise Skipped(result.stderr.strip())
        if result.returncode != 0:
            raise RuntimeError(f"wine {' '.join(args)} failed: {result.stderr.strip()}")

    def wire(self, device):
        self.run_wine("cmd", "/c", "exit")  # makes the prefix
        # The registry value wins whenever Wine's mount manager starts; the link takes
        # effect at once in a running server.
        self.run_wine("reg", "add", r"HKLM\Software\Wine\Ports", "/v", f"COM{PORT}", "/d", str(device), "/f")
        link = self.prefix / "dosdevices" / f"com{PORT}"
        if link.is_symlink() or link.exists():
            link.unlink()
        link.symlink_to(device)
        users = [p for p in (self.prefix / "drive_c" / "users").iterdir() if p.is_dir() and p.name != "Public"]
        config = users[0] / "My Documents" / "Zelbar Files" / "Plugins" / "Lamdex.cfg"
        config.parent.mkdir(parents=True, exist_ok=True)
        config.write_bytes(f"COMPORT {PORT}\r\n".encode())

    def command(self, options):
        zbhost = self.build / "tools" / "zbhost" / "zbhost.exe"
        return [str(self.wine_run), str(self.prefix), str(zbhost), str(self.build / "plugin" / "Lamdex.dll")] + options

    def environment(self):
        return self.env

    def unwire(self):
        self.run_wine("reg", "delete", r"HKLM\Software\Wine\Ports", "/v", f"COM{PORT}", "/f")
        link = self.prefix / "dosdevices" / f"com{PORT}"
        if link.is_symlink():
            link.unlink()

    def describe(self):
        version = subprocess.run([self.loader(), "--version"], capture_output=True, text=True).stdout.strip()
        return f"{version} ({self.arch})"

    def loader(self):
        return "/usr/lib/wine/wine64" if self.arch == "win64" else "/usr/lib/wine/wine"


class PortLine:
    """The pseudo-terminal the plug-in reads as its port. Bytes from the simulator's line
    are dropped until pass_on(), then passed on as they come."""

    def __init__(self, work):
        self.master, self.slave = os.openpty()
        tty.setraw(self.slave)  # 0x11 and 0x13 are data; no echo
        self.path = work / "port"
        self.path.symlink_to(os.ttyname(self.slave))
        self.passing = threading.Event()
        self.stopping = threading.Event()
        self.source = None
        self.thread = None

    def follow(self, simulator_line):
        self.source = os.open(simulator_line, os.O_RDONLY | os.O_NOCTTY | os.O_NONBLOCK)
        self.thread = threading.Thread(target=self._forward, daemon=True)
        self.thread.start()

    def pass_on(self):
        self.passing.set()

    def _forward(self):
        while not self.stopping.is_set():
            ready, _, _ = select.select([self.source], [], [], 0.1)
            if not ready:
                continue
            try:
                data = os.read(self.source, 4096)
            except (BlockingIOError, OSError):
                continue
            while data and self.passing.is_set():
                data = data[os.write(self.master, data):]

    def close(self):
        self.stopping.set()
        if self.thread is not None:
            self.thread.join()
        for fd in (self.source, self.master, self.slave):
            if fd is not None:
                os.close(fd)


def start_simulator(lc1sim, work, seconds):
    """Starts the ramp; answers the process and the monotonic time its timeline began."""
    command = [str(lc1sim), "--scenario", "ramp", "--link", str(work / "lc1"), "--log", str(work / "sent.log"),
               "--duration", str(seconds)]
    simulator = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    first = simulator.stdout.readline()
    started = time.monotonic()  # lc1sim starts its timeline right after naming its line
    if not first.startswith("pty "):
        simulator.kill()
        raise RuntimeError(f"lc1sim did not start: {first!r}")
    while not (work / "lc1").is_symlink():
        time.sleep(0.01)
    return simulator, started


def poll(host, options, on_polling):
    """Runs zbhost; answers the monotonic time its polling began (its answers' zero)."""
    process = subprocess.Popen(host.command(options), env=host.environment(), stdin=subprocess.DEVNULL,
                               stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    began = None
    output = []
    for line in process.stdout:
        if began is None and line.startswith("Polling every"):
            began = time.monotonic()  # zbhost takes its start time just after this line
            on_polling()
        if len(output) < 40:
            output.append(line)
    status = process.wait()
    if status == SKIPPED:
        raise Skipped("".join(output).strip())
    if status != 0 or began is None:
        raise RuntimeError(f"zbhost exited with {status}:\n{''.join(output)}")
    return began


def packet_of_value(log_path):
    packets = {}
    with open(log_path) as log:
        for line in log:
            fields = line.split()
            if len(fields) == 5 and fields[0].isdigit() and fields[4] != "-":
                packets[int(fields[4])] = int(fields[0])
    return packets


def measure(host, lc1sim, interval_ms, seconds, work):
    line = PortLine(work)
    host.wire(line.path)
    # The simulator outlives the host's run; whatever it sends after that is not read.
    simulator, sent_zero = start_simulator(lc1sim, work, seconds + 60)
    try:
        line.follow(work / "lc1")
        options = ["--interval-ms", str(interval_ms), "--seconds", str(seconds), "--answers", str(work / "answers.csv")]
        read_zero = poll(host, options, line.pass_on)
    finally:
        simulator.terminate()
        simulator.wait()
        line.close()
        host.unwire()
    packets = packet_of_value(work / "sent.log")
    readings = []
    with open(work / "answers.csv") as answers:
        for row in csv.DictReader(answers):
            if row["answer"] != "ok":
                continue
            at = float(row["seconds"])
            sent = sent_zero + packets[int(row["raw"])] * PACKET_SECONDS + TRANSFER_SECONDS
            readings.append((at, read_zero + at - sent))
    sent_while_polling = sum(1 for index in packets.values()
                             if read_zero <= sent_zero + index * PACKET_SECONDS <= read_zero + seconds)
    return readings, sent_while_polling


def age_at(readings, mark):
    """The age of the last reading delivered at or before the mark."""
    before = [age for at, age in readings if at <= mark]
    return before[-1] if before else None


def seconds_text(value):
    if value is None:
        return "-"
    return f"{value * 1000:.0f} ms" if value < 1 else f"{value:.1f} s"


def processor_name():
    try:
        with open("/proc/cpuinfo") as info:
            for line in info:
                if line.startswith("model name"):
                    return line.split(":", 1)[1].strip()
    except OSError:
        pass
    return platform.machine()


def main():
    args = parse_args()
    native_build = pathlib.Path(args.native_build).resolve()
    lc1sim = native_build / "tools" / "lc1sim" / "lc1sim"
    intervals = numbers(args.intervals, int)
    marks = numbers(args.marks, float)
    root = pathlib.Path(tempfile.mkdtemp(prefix="lamdex-poll-age."))
    try:
        host_of = (lambda work: NativeHost(native_build, work)) if args.mode == "native" else \
            (lambda work: WineHost(pathlib.Path(args.windows_build).resolve()))
        print(f"machine: {os.cpu_count()} cores, {processor_name()}, "
              f"load average {os.getloadavg()[0]:.1f}; host: {host_of(root).describe()}")
        print(f"lc1sim --scenario ramp at the device's cadence; zbhost polls for {args.seconds:g} s at each interval")
        header = ["poll every", "readings delivered", "packets sent meanwhile"] + [f"age at {m:g} s" for m in marks] + ["oldest"]
        print("| " + " | ".join(header) + " |")
        print("|" + "---|" * len(header))
        for interval in intervals:
            work = root / f"every-{interval}"
            work.mkdir()
            readings, sent = measure(host_of(work), lc1sim, interval, args.seconds, work)
            ages = [seconds_text(age_at(readings, mark)) for mark in marks]
            oldest = seconds_text(max((age for _, age in readings), default=None))
            print(f"| {interval} ms | {len(readings)} | {sent} | " + " | ".join(ages) + f" | {oldest} |", flush=True)
    except Skipped as reason:
        print(f"SKIPPED: {reason}")
        return SKIPPED
    finally:
        shutil.rmtree(root, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
