#!/usr/bin/python3
"""Figures of the real plug-in on a pseudo-terminal port: the cost of one Read while the port is
missing, of one Read with nothing waiting, of the Read that meets a full 514-byte backlog, and delivery with the simulator at the
full line rate and the host polling as fast as it can. Prints figures; asserts nothing about time.

usage: bench_wine.py wine   WINDOWS_BUILD_DIR NATIVE_BUILD_DIR
       bench_wine.py native NATIVE_BUILD_DIR
Environment: IDLE_READS (20000), BACKLOG_ROUNDS (30), LINE_PACKETS (3200: ten seconds of line).
"""
import os
import subprocess
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "support"))
import harness  # noqa: E402
from harness import fail  # noqa: E402

IDLE_READS = int(os.environ.get("IDLE_READS", "20000"))
BACKLOG_ROUNDS = int(os.environ.get("BACKLOG_ROUNDS", "30"))
LINE_PACKETS = int(os.environ.get("LINE_PACKETS", "3200"))
# 514 bytes: four stray bytes, then 85 packets of 6 (0x11 and 0x13 among the data).
BACKLOG = bytes([1, 2, 3, 4]) + bytes.fromhex("B2 82 42 11 00 13") * 85
JUNK = b"\x55" * 514


def median(values):
    return sorted(values)[(len(values) + 1) // 2 - 1]


def spread(values):
    return f"{min(values)}-{max(values)}"


def describe_machine(mode):
    cpus = Path("/proc/cpuinfo").read_text().splitlines()
    model = next((line.split(":", 1)[1].strip() for line in cpus if line.startswith("model name")), "")
    print(f"machine: {os.cpu_count()} cores, {model}")
    if mode == "wine":
        version = subprocess.run([harness.wine()[0], "--version"], capture_output=True, text=True).stdout.strip()
        print(f"wine: {version} ({os.environ['WINEARCH']})")


def read_costs(host, link):
    """Reads on a line whose bytes come from this script."""
    with harness.BareLine(link) as line:
        host.ask("open")
        reply = host.ask("idle-reads", IDLE_READS)
        print(f"Read, nothing waiting ({reply['n']} calls): median {reply['medianus']} us, 99th percentile "
              f"{reply['p99us']} us, min {reply['minus']} us, max {reply['maxus']} us")
        first, drain, junk = [], [], []
        for _ in range(BACKLOG_ROUNDS):
            line.send(BACKLOG)
            time.sleep(0.1)  # the bytes reach the line
            reply = host.ask("time-read")
            if reply["transferred"] != "4":
                fail(f"the Read over the backlog delivered nothing: {reply}")
            first.append(reply.count("us"))
            reply = host.ask("drain")
            if reply["readings"] != "1":  # of the backlog only the newest two packets stay
                fail(f"draining the backlog: {reply}")
            drain.append(reply.count("totalus"))
            line.send(JUNK)
            time.sleep(0.1)
            junk.append(host.ask("time-read").count("us"))
        host.ask("close")
    print(f"Read meeting a 514-byte backlog (4 stray bytes, 85 packets), {BACKLOG_ROUNDS} rounds: median "
          f"{median(first)} us (range {spread(first)} us); the Read that delivers the newest from the buffer: "
          f"median {median(drain)} us")
    print(f"Read meeting 514 bytes without a header: median {median(junk)} us (range {spread(junk)} us)")


def missing_port_costs(host, link):
    """Reads while the port is missing: most find nothing to try, one in half a second tries
    to open the port again."""
    host.ask("open")
    reply = host.ask("poll", 3000)
    print(f"Read, port missing: {reply['calls']} Reads in 3 s, {3e6 / reply.count('calls'):.3f} us each on "
          f"average, the longest {reply['maxus']} us")
    host.ask("close")


def line_rate(run, host, link):
    """The simulator at the full line rate, the host reading without pause."""
    log = run.work / "sent.log"
    simulator = run.start_simulator("--scenario", "sweep", "--rate", "line", "--count", LINE_PACKETS, "--log", log,
                                    link=link)
    host.ask("open")
    # Until every packet came or the line has long gone quiet: a host that falls more than
    # two packets behind skips the older ones, and then the count is never reached.
    reply = host.ask("poll", LINE_PACKETS * 1000 // 320 + 5000, LINE_PACKETS, 0)
    simulator.wait()
    sent = [line.split()[4] for line in log.read_text().splitlines() if not line.startswith("#")]
    readings = reply.count("readings")
    remaining = iter(sent)  # each answer after the previous one among those sent
    exact = "yes" if all(answer in remaining for answer in reply.answers()) else "no"
    first_ms, last_ms = float(reply["firstms"]), float(reply["lastms"])
    span_ms = last_ms - first_ms
    rate = f"{(readings - 1) * 1000 / span_ms:.1f}" if span_ms > 0 else "-"
    calls = f"{reply.count('calls') * 1000 / last_ms:.0f}" if last_ms > 0 else "-"
    print(f"line rate: {len(sent)} packets sent (320/s), {readings} readings delivered in {span_ms:.0f} ms = "
          f"{rate}/s, skipped {len(sent) - readings}, values exact and in order: {exact}; {reply['calls']} Reads "
          f"({calls}/s), longest {reply['maxus']} us")


def bench(mode, build, native_build=None):
    with harness.Run(mode, build, native_build, prefix=Path(build) / "wineprefix-faults", name="lamdex-bench") as run:
        describe_machine(mode)
        link = run.work / "lc1"
        run.wire_line(9, link)
        host = run.start_steered_host()
        missing_port_costs(host, link)
        read_costs(host, link)
        line_rate(run, host, link)


if __name__ == "__main__":
    if len(sys.argv) not in (3, 4):
        harness.die(__doc__.split("\n\n")[1])
    harness.main(bench, *sys.argv[1:])
