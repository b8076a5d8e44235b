#!/usr/bin/env python3
"""How old is the reading a host gets, when it polls at a given interval?

The simulator sends the ramp scenario at the device's cadence (one packet every 81.92 ms,
each value naming its packet, so when it was sent); zbhost polls the real plug-in every
N ms for a while and writes every answer with its time. The plug-in's port is a
pseudo-terminal of this script's, which passes the simulator's bytes on from the moment
the host starts polling: a real port receives nothing before it is opened, whereas the
simulator's own line would queue everything sent while the host was starting. The age of a delivered reading is
the time it was read minus the time its packet was sent (its last byte), both on this
machine's monotonic clock. Skipped: packets sent between the first reading delivered and
the last that never came out. Prints figures; asserts nothing about time.

usage:
  poll_age.py native [--native-build DIR]
  poll_age.py wine   [--native-build DIR] [--windows-build DIR]
options: --intervals 50,80,100,200,500,1000  --seconds 60  --marks 10,30,60
Exits 77 when this machine cannot run the Windows build's Wine.
"""

import argparse
import csv
import os
import pathlib
import platform
import subprocess
import sys
import time

SOURCE_DIR = pathlib.Path(__file__).resolve().parents[2]
sys.path.insert(0, str(SOURCE_DIR / "tests" / "support"))
import harness  # noqa: E402
PACKET_SECONDS = 0.08192
# A packet is complete when its last byte has left: six bytes at 1920 bytes a second.
TRANSFER_SECONDS = 6 / 1920
PORT = 7


def parse_args():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("mode", choices=["native", "wine"])
    parser.add_argument("--native-build", default=str(SOURCE_DIR / "build" / "native"))
    parser.add_argument("--windows-build", default=str(SOURCE_DIR / "build" / "win64"))
    parser.add_argument("--intervals", default="50,80,100,200,500,1000", help="poll intervals in ms")
    parser.add_argument("--seconds", type=float, default=60.0, help="how long zbhost polls at each interval")
    parser.add_argument("--marks", default="10,30,60", help="seconds at which to report the age")
    return parser.parse_args()


def numbers(text, kind):
    return [kind(part) for part in text.split(",") if part]


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


def poll(command, env, on_polling):
    """Runs zbhost; answers the monotonic time its polling began (its answers' zero)."""
    process = subprocess.Popen([str(word) for word in command], env=env, stdin=subprocess.DEVNULL,
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
    if status != 0 or began is None:
        harness.fail(f"zbhost exited with {status}:\n{''.join(output)}")
    return began


def packet_of_value(log_path):
    packets = {}
    with open(log_path) as log:
        for line in log:
            fields = line.split()
            if len(fields) == 5 and fields[0].isdigit() and fields[4] != "-":
                packets[int(fields[4])] = int(fields[0])
    return packets


def measure(run_of, lc1sim, interval_ms, seconds):
    """The plug-in's port wired to a line of this script's, through the harness that wires
    the test runs: every reading as (when it was read, its age), and the packets sent."""
    with run_of() as run:
        work = run.work
        line = harness.PortLine(work)
        run.callback(line.close)
        run.wire_line(PORT, line.path)
        # The simulator outlives the host's run; whatever it sends after that is not read.
        simulator, sent_zero = start_simulator(lc1sim, work, seconds + 60)
        run.callback(harness.stop, simulator)
        line.follow(work / "lc1")
        options = ["--interval-ms", str(interval_ms), "--seconds", str(seconds), "--answers", str(work / "answers.csv")]
        read_zero = poll(run.host_command("tools/zbhost/zbhost") + options, run.env, line.pass_on)
        harness.stop(simulator)
        return readings_of(work, sent_zero, read_zero, seconds)


def readings_of(work, sent_zero, read_zero, seconds):
    packets = packet_of_value(work / "sent.log")
    readings = []
    with open(work / "answers.csv") as answers:
        for row in csv.DictReader(answers):
            if row["answer"] != "ok":
                continue
            at, index = float(row["seconds"]), packets[int(row["raw"])]
            sent = sent_zero + index * PACKET_SECONDS + TRANSFER_SECONDS
            readings.append((at, read_zero + at - sent, index))
    sent_while_polling = sum(1 for index in packets.values()
                             if read_zero <= sent_zero + index * PACKET_SECONDS <= read_zero + seconds)
    return readings, sent_while_polling


def age_at(readings, mark):
    """The age of the last reading delivered at or before the mark."""
    before = [age for at, age, _ in readings if at <= mark]
    return before[-1] if before else None


def skipped(readings):
    indices = [index for _, _, index in readings]
    return indices[-1] - indices[0] + 1 - len(indices) if indices else 0


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


def host_description(mode):
    if mode == "native":
        return "native"
    loader = harness.wine()[0]
    version = subprocess.run([loader, "--version"], capture_output=True, text=True).stdout.strip()
    return f"{version} ({os.environ['WINEARCH']})"


def main():
    args = parse_args()
    native_build = pathlib.Path(args.native_build).resolve()
    lc1sim = native_build / "tools" / "lc1sim" / "lc1sim"
    intervals = numbers(args.intervals, int)
    marks = numbers(args.marks, float)
    if args.mode == "native":
        build, prefix = native_build, None
    else:
        build = pathlib.Path(args.windows_build).resolve()
        prefix = build / "wineprefix-polling"

    def run_of():
        return harness.Run(args.mode, build, native_build, prefix, name="lamdex-poll-age")

    with run_of():  # says, before anything is measured, when this machine cannot run the Wine
        pass
    print(f"machine: {os.cpu_count()} cores, {processor_name()}, "
          f"load average {os.getloadavg()[0]:.1f}; host: {host_description(args.mode)}")
    print(f"lc1sim --scenario ramp at the device's cadence; zbhost polls for {args.seconds:g} s at each interval")
    header = (["poll every", "readings delivered", "packets sent meanwhile", "skipped"] +
              [f"age at {m:g} s" for m in marks] + ["oldest"])
    print("| " + " | ".join(header) + " |")
    print("|" + "---|" * len(header))
    for interval in intervals:
        readings, sent = measure(run_of, lc1sim, interval, args.seconds)
        ages = [seconds_text(age_at(readings, mark)) for mark in marks]
        oldest = seconds_text(max((age for _, age, _ in readings), default=None))
        print(f"| {interval} ms | {len(readings)} | {sent} | {skipped(readings)} | " + " | ".join(ages) +
              f" | {oldest} |", flush=True)


if __name__ == "__main__":
    harness.main(main)
