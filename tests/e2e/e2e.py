#!/usr/bin/python3
"""End to end: the real plug-in library in a host, reading its port. Under Wine the port is a
COM port of a private prefix (the e2e prefix), natively $HOME/.lamdex/comN.

usage: e2e.py native BUILD_DIR CASE
       e2e.py wine   BUILD_DIR CASE NATIVE_BUILD_DIR   (lc1sim comes from the native build)
CASE: sequence   the simulator sends every status, garbage between packets, packets split at
                 random points, at the device's pace; the reference host records every
                 answer: each packet delivered exactly once, in order, with its exact value
      chain      as sequence, but the simulator is a chain of an LC-1 whose groups all arrive
                 broken, an auxiliary input and two more LC-1s, and the plug-in's configuration
                 chooses the third: each packet yields that LC-1's answer, and "not connected"
                 where that LC-1 sends no group
      line-rate  2000 readings at the full line rate, polled fast: every answer one that
                 was sent, exact, in order, none twice, and the last one sent comes out (a
                 host more than two packets behind skips the older ones; how many, is printed)
      unload     unloading the library closes the port even when the host never called Close
      missing-port  no device behind the configured port: the host is told which port failed
                 and why
The device starts sending once the host polls: a real port receives nothing before it is
opened, and of the backlog a pseudo-terminal would keep the host gets only the newest two.
"""
import difflib
import re
import subprocess
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "support"))
import harness  # noqa: E402
from harness import fail  # noqa: E402

# The simulator's options, the readings it sends, whether every one must come out, and the LC-1
# of the chain the plug-in reads.
DELIVERIES = {
    # Three rounds of the fixed sequence and its first packet again, so the last answer is a reading.
    "sequence": (["--scenario", "sequence", "--rate", "device", "--count", "67", "--garbage", "0.4", "--split",
                  "--seed", "20261208"], 43, True, 1),
    # The broken LC-1 ahead keeps its place; the auxiliary word holds 00 42, which looks like
    # the start of an LC-1 group.
    "chain": (["--chain", "lc1:broken,aux,lc1:sweep:150,lc1:sequence", "--rate", "device", "--count", "23",
               "--garbage", "0.4", "--split", "--seed", "20261209"], 15, True, 3),
    "line-rate": (["--scenario", "sweep", "--rate", "line", "--count", "2000"], 2000, False, 1),
}
# The 2000 packets take 6.25 s; the host stops once readings have stopped this long, or at the
# bound, which only a machine far too loaded to poll would reach.
QUIET_SECONDS = 5
BOUND_SECONDS = 120


def delivery(run, case):
    options, readings, every_one, sensor = DELIVERIES[case]
    link, sent, answers = run.work / "lc1", run.work / "sent.log", run.work / "answers.csv"
    line = harness.PortLine(run.work)
    run.callback(line.close)
    run.wire_line(7, line.path, sensor)
    line.pass_on()
    until = ["--readings", str(readings)] if every_one else ["--quiet", str(QUIET_SECONDS)]
    until += ["--seconds", str(BOUND_SECONDS)]
    print(f"The host polls until every reading came or readings stopped for {QUIET_SECONDS} s, within a bound "
          f"of {BOUND_SECONDS} s (a loaded machine only takes longer)")
    host = run.start([*run.host_command("tools/zbhost/zbhost"), "--interval-ms", "1", *until, "--answers", answers],
                     stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, errors="replace")
    output, simulator = [], None
    for text in host.stdout:
        output.append(text)
        if text.startswith("Polling every"):
            simulator = run.start_simulator(*options, "--log", sent, link=link)
            line.follow(link)
            break
    output += host.stdout.readlines()
    if host.wait() != 0 or simulator is None:
        fail(f"the host ended with code {host.returncode}\n" + "".join(output[-20:]))
    simulator.wait()

    expected = [f"{answer},{value}" for answer, value in harness.expected_answers(sent, sensor)]
    sent_readings = sum(answer.startswith("ok,") for answer in expected)
    if sent_readings != readings:
        fail(f"the simulator sent {sent_readings} readings, the test expects {readings}")
    received = [row.rstrip("\r").split(",", 1)[-1] for row in answers.read_text().splitlines()[1:]]
    if every_one and expected != received:
        diff = difflib.unified_diff(expected, received, "expected", "received", lineterm="")
        fail("what the host received differs from what the simulator sent:\n" + "\n".join(list(diff)[:40]))
    remaining = iter(expected)  # each answer must come after the previous one's among those sent
    if not all(answer in remaining for answer in received) or received[-1:] != expected[-1:]:
        fail(f"answers not as sent, out of order, twice, or without the last one sent; the last: {received[-10:]}")
    got = sum(answer.startswith("ok,") for answer in received)
    print(f"{case} ({run.mode}): {len(received)} answers, {got} of {readings} readings, "
          f"{'all delivered once' if got == readings else 'the others skipped as old'}, in order, exact")


def unload(run):
    """While the component is open some process holds the line's terminal, after the unload
    none. A bare pseudo-terminal stands for the device, so no other program holds its far end."""
    line = run.enter_context(harness.BareLine())
    if run.mode == "wine":
        # Wine's server goes before the line: a hang-up of a terminal it holds makes it dump its state.
        run.callback(run.stop_wine_server)
    run.wire_line(8, line.terminal)
    host = run.start_steered_host()  # opens, then unloads without Close and stays alive
    host.expect("open", "open 0x00000000")
    while_open = harness.holders(line.terminal)
    host.expect("unload", "unloaded")
    after_unload = harness.holders(line.terminal)
    if while_open < 1:
        fail(f"nobody held {line.terminal} while the component was open: the port was never opened")
    if after_unload != 0:
        fail(f"{after_unload} descriptor(s) still hold {line.terminal} after the library was unloaded")
    print(f"unload ({run.mode}): {while_open} holder(s) of the port while open, none after unloading")


def missing_port(run):
    """Open still answers ok and Read not ready; the plug-in's debug text, which zbhost shows,
    names the port and the platform's reason."""
    run.wire_line(7, run.work / "absent")  # never made
    host = subprocess.run(run.host_command("tools/zbhost/zbhost") + ["--seconds", "0.3"],
                          env=run.env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, errors="replace")
    if host.returncode != 0:
        fail(f"the host ended with code {host.returncode}\n" + "\n".join(host.stdout.splitlines()[-20:]))
    diagnosis = re.search(r"^LC1Driver::Open COM7 failed: error \d+ \(.+\)", host.stdout, re.MULTILINE)
    if diagnosis is None:
        fail("no debug text names COM7 and the reason:\n" + host.stdout)
    print(f"missing-port ({run.mode}): {diagnosis.group(0)}")


def e2e(mode, build, case, native_build=None):
    if case not in (*DELIVERIES, "unload", "missing-port"):
        harness.die(f"unknown case {case}")
    with harness.Run(mode, build, native_build, prefix=Path(build) / "wineprefix-e2e", name="lamdex-e2e") as run:
        if case == "unload":
            unload(run)
        elif case == "missing-port":
            missing_port(run)
        else:
            delivery(run, case)


if __name__ == "__main__":
    if len(sys.argv) not in (4, 5):
        harness.die(__doc__.split("\n\n")[1])
    harness.main(e2e, *sys.argv[1:])
