#!/usr/bin/python3
"""lamdex-check as a user runs it, on ports wired to pseudo-terminals: natively
$HOME/.lamdex/comN, under Wine COM ports of a private prefix (the check prefix).

usage: check.py native BUILD_DIR CASE
       check.py wine   BUILD_DIR CASE NATIVE_BUILD_DIR   (lc1sim comes from the native build)
CASE: scenario  an LC-1 on one port, garbage on a second, silence on a third, a port another
                program holds on a fourth (natively only: Wine lets a second open through),
                a port whose device is missing on a fifth: the report names each and ends
                with exit code 0; --port follows the LC-1 and counts what it saw; --save makes
                the Plugins folder and the file, and the plug-in then reads that port; bad
                arguments end with exit code 1 and a message; the recorded line's warm-up
                and free air read in tenths of a percent; --port --record follows the LC-1
                while the simulator goes and comes back, and lc1sim replays the record as
                it was recorded; a chain of an auxiliary input and two LC-1s on a sixth port:
                the report names both LC-1s and the auxiliary input, --save --sensor 2 writes
                the SENSOR line and the plug-in then reads the second LC-1, and a sensor the
                chain does not have is said plainly, with the command that mends it
"""
import contextlib
import fcntl
import itertools
import os
import queue
import random
import re
import shutil
import signal
import subprocess
import sys
import threading
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "support"))
import harness  # noqa: E402
from harness import fail  # noqa: E402

LC1, GARBAGE, SILENT, HELD, MISSING, CHAIN = 3, 4, 5, 6, 7, 8


def check_command(run, *args):
    if run.mode == "native":
        command = [run.build / "tools" / "lamdex-check" / "lamdex-check"]
    else:
        command = [harness.WINE_RUN, run.prefix, run.build / "tools" / "lamdex-check" / "lamdex-check.exe"]
    return [str(word) for word in command + list(args)]


def check(run, *args):
    done = subprocess.run(check_command(run, *args), env=run.env, stdin=subprocess.DEVNULL, capture_output=True,
                          text=True, errors="replace", timeout=60)
    return done.returncode, done.stdout.replace("\r", ""), done.stderr.replace("\r", "")


class Output:
    """A program's output lines as they come, waited for one pattern at a time."""

    def __init__(self, stream):
        self.lines, self.queue = [], queue.Queue()
        threading.Thread(target=lambda: [*map(self.queue.put, stream), self.queue.put(None)], daemon=True).start()

    def wait_for(self, pattern, what, seconds=60):
        deadline = time.monotonic() + seconds
        with contextlib.suppress(queue.Empty):
            while (line := self.queue.get(timeout=max(0, deadline - time.monotonic()))) is not None:
                self.lines.append(line.replace("\r", ""))
                if found := re.search(pattern, self.lines[-1]):
                    return found
        fail(f"no sign of {what} within {seconds} s:\n{''.join(self.lines)}")


def expect(text, pattern, what):
    if not re.search(pattern, text, re.MULTILINE):
        fail(f"{what}: no line matches {pattern!r} in:\n{text}")


def keep_sending(line, stop, next_bytes):
    """What next_bytes() gives, every 20 ms until stopped."""
    os.set_blocking(line.master, False)
    while not stop.wait(0.02):
        try:
            line.send(next_bytes())
        except BlockingIOError:  # nobody reads the line yet and its queue is full
            pass


def sending(run, line, next_bytes):
    stop = threading.Event()
    sender = threading.Thread(target=keep_sending, args=(line, stop, next_bytes))
    sender.start()
    run.callback(sender.join)
    run.callback(stop.set)


def wire(run, ports):
    if run.mode == "native":
        run.env["HOME"] = str(run.work / "home")
        (run.work / "home" / ".lamdex").mkdir(parents=True)
        for port, device in ports.items():
            (run.work / "home" / ".lamdex" / f"com{port}").symlink_to(device)
        return
    run.enter_context(harness.wine_com_ports(run.prefix, [f"COM{port}={device}" for port, device in ports.items()]))
    # Windows lists the ports its mount manager knows, which reads the wiring when it starts: a
    # fresh Wine server starts it. It also goes before the lines: a terminal it holds must not hang up.
    run.stop_wine_server()
    run.callback(run.stop_wine_server)


def report_names_each_port(run, ports):
    code, report, errors = check(run)
    if code != 0:
        fail(f"the report ended with exit code {code}, not 0:\n{report}{errors}")
    expect(report, rf"^  COM{LC1} +LC-1 found: reading AFR \d+\.\d\d$", "the LC-1's port")
    expect(report, rf"^  COM{GARBAGE} +data, but no LC-1 packets", "the port with garbage")
    expect(report, rf"^  COM{SILENT} +nothing received$", "the silent port")
    expect(report, rf"^  COM{MISSING} +cannot be opened: error \d+ \(.+\)$", "the port without a device")
    if HELD in ports:
        expect(report, rf"^  COM{HELD} +in use by another program$", "the port another program holds")
    expect(report, r"^  The Plugins folder does not exist", "the missing Plugins folder")
    expect(report, rf"^The LC-1 is on COM{LC1}\. Run: lamdex-check --save {LC1}$", "what to do")
    print(report)


def follow_counts(run):
    code, output, errors = check(run, "--port", LC1, "--seconds", 1.5)
    lines = re.findall(r"^ +\d+\.\d\d s  (.+)$", output, re.MULTILINE)
    counts = re.search(r"(\d+) packets: (\d+) readings, .*\n(\d+) bytes belonged to no packet", output)
    if code != 0 or not counts:
        fail(f"--port {LC1} ended with exit code {code}:\n{output}{errors}")
    packets, readings, stray = map(int, counts.groups())
    if packets != len(lines) or readings != sum(line.startswith("reading AFR ") for line in lines) or readings == 0:
        fail(f"--port {LC1}: the counts disagree with the {len(lines)} lines shown:\n{output}")
    if stray == 0:
        fail(f"--port {LC1}: the simulator's garbage was not counted as bytes outside packets:\n{output}")


def save_then_plugin_reads(run):
    config = harness.config_file(run.mode, run.prefix, run.env["HOME"])
    code, output, errors = check(run, "--save", LC1)
    if code != 0 or config.read_text().split() != ["COMPORT", str(LC1)]:
        fail(f"--save {LC1} ended with exit code {code} and no file naming COM{LC1}:\n{output}{errors}")
    host = subprocess.run(run.host_command("tools/zbhost/zbhost") + ["--readings", "1", "--seconds", "30"],
                          env=run.env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, errors="replace")
    if host.returncode != 0:
        fail(f"the plug-in did not read COM{LC1} after --save (zbhost code {host.returncode}):\n{host.stdout}")
    code, report, _ = check(run)
    expect(report, rf"^The LC-1 is on COM{LC1}, the port the plug-in is set to use\.$", "the report after --save")


def bad_arguments(run):
    for args in (["--port", "0"], ["--save", "256"], ["--port", "five"], ["--frobnicate"], ["--seconds", "2"],
                 ["--port", "3", "--seconds", "2", "--seconds", "3"], ["--record", "x.txt"], ["--port", "00256"],
                 ["--sensor", "2"], ["--save", "3", "--sensor", "128"], ["--save", "3", "--sensor", "0"]):
        code, output, errors = check(run, *args)
        if code != 1 or not errors.startswith("lamdex-check: "):
            fail(f"lamdex-check {' '.join(args)}: exit code {code}, message {errors!r}{output}")
    for port in ("0005", "COM0005"):  # leading zeros name the same port
        code, output, errors = check(run, "--port", port, "--seconds", "0.1")
        if code != 2 or f"Following COM{SILENT} for 0.1 s" not in output:
            fail(f"lamdex-check --port {port}: exit code {code}:\n{output}{errors}")


def scenario(run):
    garbage, silent = run.enter_context(harness.BareLine()), run.enter_context(harness.BareLine())
    ports = {LC1: run.work / "lc1", GARBAGE: garbage.terminal, SILENT: silent.terminal, MISSING: run.work / "absent",
             CHAIN: run.work / "chain"}
    if run.mode == "native":
        held = run.enter_context(harness.BareLine())
        holder = os.open(held.terminal, os.O_RDWR | os.O_NOCTTY)
        run.callback(os.close, holder)
        fcntl.flock(holder, fcntl.LOCK_EX | fcntl.LOCK_NB)
        ports[HELD] = held.terminal
    noise = random.Random(18)  # bit 7 clear: never a packet header
    sending(run, garbage, lambda: bytes(noise.randrange(0x80) for _ in range(32)))
    wire(run, ports)
    simulator = run.start_simulator("--scenario", "sweep", "--garbage", "0.5", "--seed", "18", link=ports[LC1])
    # As on a new machine: no configuration yet, and no folder for it (only ever inside this run's
    # prefix or home, wherever Wine's links lead).
    zelbar_files = harness.config_file(run.mode, run.prefix, run.env["HOME"]).parents[1]
    if zelbar_files.resolve().is_relative_to(run.prefix or run.work):
        shutil.rmtree(zelbar_files, ignore_errors=True)

    report_names_each_port(run, ports)
    follow_counts(run)
    save_then_plugin_reads(run)
    bad_arguments(run)
    follow_recorded_line(run, silent)
    replay_as_recorded(run, follow_through_unplug(run, simulator, ports[LC1]))
    chain_on_the_line(run, ports[CHAIN])


def chain_on_the_line(run, link):
    """An auxiliary input and two LC-1s on one line, the first only warming up: a reading
    through the real plug-in shows it reads the second once --sensor 2 is saved."""
    run.start_simulator("--chain", "aux,lc1:warmup,lc1:sweep", link=link)
    config = harness.config_file(run.mode, run.prefix, run.env["HOME"])
    code, output, errors = check(run, "--save", CHAIN, "--sensor", 2)
    if code != 0 or config.read_text().split() != ["COMPORT", str(CHAIN), "SENSOR", "2"]:
        fail(f"--save {CHAIN} --sensor 2 ended with exit code {code} and no file naming both:\n{output}{errors}")
    host = subprocess.run(run.host_command("tools/zbhost/zbhost") + ["--readings", "1", "--seconds", "30"],
                          env=run.env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, errors="replace")
    if host.returncode != 0:
        fail(f"the plug-in did not read the chain's second LC-1 (zbhost code {host.returncode}):\n{host.stdout}")
    code, report, _ = check(run)
    expect(report, rf"^  COM{CHAIN} +LC-1 #1 warming up \(\d+\.\d %\), LC-1 #2 reading AFR \d+\.\d\d, 1 auxiliary input; "
           r"the plug-in reads LC-1 #2$", "the chain")
    expect(report, rf"^  COM{LC1} +LC-1 #1 reading AFR \d+\.\d\d; the plug-in reads LC-1 #2, not in the chain: COM{LC1} carries 1 LC-1$",
           "the lone LC-1")
    expect(report, rf"^The LC-1 is on COM{CHAIN}, the port the plug-in is set to use\.$", "the chosen port")
    print(report)
    check(run, "--save", CHAIN, "--sensor", 3)
    code, report, _ = check(run)
    expect(report, rf"^  COM{CHAIN} +.*; the plug-in reads LC-1 #3, not in the chain: COM{CHAIN} carries 2 LC-1s$", "the chain")
    expect(report, rf"^The LC-1 is on COM{CHAIN}, but the plug-in reads LC-1 #3 and COM{CHAIN} carries 2 LC-1s: .*\n"
           rf".*\bRun: lamdex-check --save {CHAIN} --sensor 1$", "what to do about a sensor the chain does not have")


def follow_recorded_line(run, line):
    """Slices of the recorded line, warm-up then free air, sent over and over: the words must
    read its fields in tenths of a percent, as the device sends them, for both its LC-1s."""
    corpus = Path(__file__).resolve().parents[1] / "fuzz" / "corpus" / "packet_reader"
    recorded = (corpus / "recorded-3000.bin").read_bytes() + (corpus / "recorded-12408.bin").read_bytes()
    pieces = itertools.cycle(recorded[start:start + 40] for start in range(0, len(recorded), 40))  # ~line rate
    sending(run, line, lambda: next(pieces))
    code, output, errors = check(run, "--port", SILENT, "--seconds", 1)
    warmup = [float(percent) for percent in re.findall(r"LC-1 #[12] warming up \((\d+\.\d) %\)", output)]
    if code != 0 or not warmup or max(warmup) > 100:
        fail(f"--port {SILENT} on the recorded warm-up, exit code {code}:\n{output}{errors}")
    expect(output, r"  LC-1 #1 free air: oxygen 20\.9 % \(no AFR\), LC-1 #2 free air: oxygen 20\.9 %",
           "the recorded free-air reading")


def follow_through_unplug(run, simulator, link):
    """--port --record until Ctrl-C while the simulator goes and comes back at the same link: the
    output says lost and back, the counts cover both halves, the record marks both."""
    record = run.work / "lc1-line.txt"
    path = str(record) if run.mode == "native" else "Z:" + str(record).replace("/", "\\")
    follow = run.start(check_command(run, "--port", LC1, "--record", path), stdin=subprocess.DEVNULL,
                       stdout=subprocess.PIPE, text=True, errors="replace")
    output = Output(follow.stdout)
    readings_until = lambda seconds: float(output.wait_for(r"^ +(\d+\.\d\d) s  reading AFR ", "readings")[1]) >= seconds
    while not readings_until(1):  # more than the backlog, so the record holds timing
        pass
    harness.stop(simulator)
    output.wait_for(rf"s  COM{LC1} lost: error \d+ \(.+\)$", "the port lost")
    run.start_simulator("--scenario", "sweep", link=link)
    back = output.wait_for(rf"^ +(\d+\.\d\d) s  COM{LC1} back after \d+\.\d s$", "the port back")
    while not readings_until(float(back[1]) + 1):
        pass
    follow.send_signal(signal.SIGINT)
    output.wait_for(rf"^COM{LC1} was lost once; the counts cover the whole time", "the counts")
    text = "".join(output.lines)
    shown = [line for line in re.findall(r"^ +\d+\.\d\d s  (.+)$", text, re.MULTILINE) if not line.startswith("COM")]
    counts = re.search(r"(\d+) packets: (\d+) readings", text)
    if follow.wait(60) != 0 or not counts or int(counts[1]) != len(shown):
        fail(f"--port {LC1} --record through an unplug: exit code {follow.returncode}, {len(shown)} packets "
             f"shown:\n{text}")
    if not re.search(r"^@[\d.]+ lost .*\n(# .*\n)*@[\d.]+ back ", record.read_text().replace("\r", ""), re.MULTILINE):
        fail(f"the record does not mark the port lost, then back:\n{record.read_text()}")
    return record


def replay_as_recorded(run, record):
    """lc1sim replays the record: the same bytes, none before its recorded time nor much after,
    and its line hung up where the record lost it."""
    chunks, at = [], 0.0
    for token in re.sub(r"#.*", "", record.read_text()).split():
        if token.startswith("@"):
            at = float(token[1:])
            chunks.append((at, b""))
        elif token not in ("lost", "back"):
            chunks[-1] = (at, chunks[-1][1] + bytes.fromhex(token))
    started, received, arrivals, hangups, line = time.monotonic(), b"", [], 0, None
    simulator = run.start_simulator("--replay", record, link=run.work / "replay")
    while line is not None or simulator.poll() is None:
        if line is None:
            with contextlib.suppress(OSError):
                line = os.open(run.work / "replay", os.O_RDONLY | os.O_NOCTTY)
            time.sleep(0.001)
            continue
        with contextlib.suppress(OSError):
            if data := os.read(line, 4096):
                received += data
                arrivals += [time.monotonic() - started] * len(data)
                continue
        os.close(line)
        line, hangups = None, hangups + 1  # also at the end
    offsets = itertools.accumulate((len(data) for _, data in chunks), initial=0)
    lateness = [arrivals[offset] - at for (at, data), offset in zip(chunks, offsets) if data]
    lost = len(re.findall(r"^@\S+ lost", record.read_text(), re.MULTILINE))
    on_time = all(0 <= late < 2 for late in lateness)  # never early; late only as a loaded machine is
    if received != b"".join(data for _, data in chunks) or hangups != lost + 1 or not on_time:
        fail(f"the replay sent {len(received)} bytes, hung up {hangups} times, late by {min(lateness, default=0):.3f} "
             f"to {max(lateness, default=0):.3f} s; the record:\n{record.read_text()}")


def main(mode, build, case, native_build=None):
    if case != "scenario":
        harness.die(f"unknown case {case}")
    with harness.Run(mode, build, native_build, prefix=Path(build) / "wineprefix-check", name="lamdex-check") as run:
        scenario(run)


if __name__ == "__main__":
    if len(sys.argv) not in (4, 5):
        harness.die(__doc__.split("\n\n")[1])
    harness.main(main, *sys.argv[1:])
