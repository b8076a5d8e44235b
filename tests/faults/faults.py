#!/usr/bin/python3
"""Line faults end to end: the simulator on a pseudo-terminal wired as the plug-in's port, the
real plug-in library in fault_host, which this script steers call by call.

usage: faults.py native BUILD_DIR CASE
       faults.py wine   BUILD_DIR CASE NATIVE_BUILD_DIR   (lc1sim comes from the native build)
CASE: hangup  the device hangs up in the middle of a packet and its port disappears, then a
              new device appears at the same place: the newest readings before it went, no
              Read hangs, nothing but not ready while there is nothing to read, readings
              again after Close and Open
      reopen  the host closes and reopens over and over while packets flow, split at random
              points, and what is sent while it is closed is lost: every opening delivers,
              and every answer is one the device sent, in order (a packet broken by a close
              never comes out as a reading)
"""
import os
import select
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "support"))
import harness  # noqa: E402
from harness import fail  # noqa: E402

PORT = 9
# A Read that takes this long is hanging, not slow.
HANG_US = 1000000


def check_poll(reply, what, only_not_ready=False):
    """After a poll: no Read hung, every count was right, nothing but the allowed answers came."""
    if reply.count("maxus") >= HANG_US:
        fail(f"{what}: a Read took {reply['maxus']} us")
    if reply.count("badcount") != 0:
        fail(f"{what}: {reply['badcount']} answers with a wrong transferred count")
    if reply.count("other") != 0:
        fail(f"{what}: unexpected answers: {reply['answers']}")
    if only_not_ready and reply.count("calls") != reply.count("notready"):
        fail(f"{what}: answers other than not ready: {reply}")


def check_sent(log, answers, message):
    """Fails unless the answers, in fault_host's tokens, appear in order among those sent."""
    tokens = {"ok": None, "device error": "E", "not connected": "N"}
    sent = iter(tokens[answer] or value for answer, value in harness.expected_answers(log))
    for number, answer in enumerate(answers, 1):
        if answer not in sent:  # consumes the sent answers up to the match
            fail(f"{message}: answer {number} ({answer}) was never sent there")


def hangup(run, link):
    # Ten readings, 0x11 and 0x13 among the data, then half a packet; then the device goes.
    readings = "B2 82 43 13 03 74  B2 82 43 13 00 1E  B2 82 42 11 00 11  B2 82 42 13 00 13  B2 82 43 13 11 13\n"
    (run.work / "half.hex").write_text(readings * 2 + "B2 82 43\n")
    first = ["963379", "510591", "57599", "64625", "2596307"]
    simulator = run.start_simulator("--replay", run.work / "half.hex", "--rate", "line", link=link)
    host = run.start_steered_host()
    host.ask("open")
    reply = host.ask("poll", 1000)
    check_poll(reply, "before the hang-up")
    # Sent faster than the host opens, they wait as a backlog, which yields its newest two
    # readings; any that came out earlier did so in the order sent.
    sent = iter(first * 2)
    if reply.answers()[-2:] != first[-2:] or not all(answer in sent for answer in reply.answers()):
        fail(f"before the hang-up: answers {reply['answers']}")

    # The simulator leaves once its bytes are taken, in the middle of the last packet.
    simulator.wait()
    if os.path.lexists(link):
        fail("the device's link is still there after it hung up")
    reply = host.ask("poll", 1000)
    check_poll(reply, "after the hang-up", only_not_ready=True)
    print(f"hang-up in a packet: {reply['calls']} Reads in 1 s, all not ready, longest {reply['maxus']} us")

    # Closing and opening while the port is gone: the open fails quietly, Reads say not ready.
    host.ask("close")
    host.expect("open", "open 0x00000000")
    check_poll(host.ask("poll", 300), "opened while the port is gone", only_not_ready=True)

    # A new device appears at the same place.
    sent = run.work / "sent.log"
    simulator = run.start_simulator("--scenario", "sequence", "--rate", "line", "--count", "44", "--log", sent,
                                    link=link)
    reply = host.ask("poll", 300)
    check_poll(reply, "new device, before reopening")
    print(f"new device, old handle: {reply['readings']} readings in 300 ms (the handle belongs to the old line)")
    check_sent(sent, reply.answers(), "the old handle delivered something never sent")
    host.ask("close")
    host.ask("open")
    reply = host.ask("poll", 5000, 28)
    check_poll(reply, "after reopening on the new device")
    if reply.count("readings") < 1:
        fail(f"no reading after reopening on the new device: {reply}")
    simulator.wait()
    check_sent(sent, reply.answers(), "after reopening, an answer the new device never sent")
    print(f"new device after Close and Open: {reply['readings']} readings, all as sent")


def discard_line(link, seconds):
    """Takes what the device sends for a while, as a port that nobody has open loses it."""
    line = os.open(link, os.O_RDONLY | os.O_NOCTTY | os.O_NONBLOCK)
    try:
        deadline = time.monotonic() + seconds
        while (left := deadline - time.monotonic()) > 0:
            if select.select([line], [], [], left)[0]:
                os.read(line, 4096)
    finally:
        os.close(line)


def reopen(run, link):
    cycles = 15
    sent = run.work / "sent.log"
    simulator = run.start_simulator("--scenario", "sequence", "--rate", "line", "--split", "--seed", "20261208",
                                    "--duration", "30", "--log", sent, link=link)
    host = run.start_steered_host()
    answers = []
    for cycle in range(1, cycles + 1):
        host.expect("open", "open 0x00000000")
        # The open time varies, so the close lands at a different point of a packet each time.
        reply = host.ask("poll", 150 + cycle * 17)
        check_poll(reply, f"cycle {cycle}, open")
        if reply.count("readings") < 1:
            fail(f"cycle {cycle}: no reading while open: {reply}")
        answers += reply.answers()
        host.ask("close")
        check_poll(host.ask("poll", 20), f"cycle {cycle}, closed", only_not_ready=True)
        # What arrives while the port is closed is lost, as on a real port: the packet the
        # close cut in two never completes, and the next opening starts somewhere in a packet.
        discard_line(link, (cycle % 9 + 1) / 100)
    harness.stop(simulator)
    check_sent(sent, answers, "an answer the device never sent (a broken packet?)")
    readings = sum(answer.isdigit() for answer in answers)
    print(f"reopen: {cycles} cycles, {readings} readings, every opening delivered, all as sent, in order")


def faults(mode, build, case, native_build=None):
    cases = {"hangup": hangup, "reopen": reopen}
    if case not in cases:
        harness.die(f"unknown case {case}")
    with harness.Run(mode, build, native_build, prefix=Path(build) / "wineprefix-faults", name="lamdex-faults") as run:
        link = run.work / "lc1"
        run.wire_line(PORT, link)
        cases[case](run, link)


if __name__ == "__main__":
    if len(sys.argv) not in (4, 5):
        harness.die(__doc__.split("\n\n")[1])
    harness.main(faults, *sys.argv[1:])
