#!/usr/bin/python3
"""Line faults end to end: the simulator on a pseudo-terminal wired as the plug-in's port, the
real plug-in library in fault_host, which this script steers call by call.

usage: faults.py native BUILD_DIR CASE
       faults.py wine   BUILD_DIR CASE NATIVE_BUILD_DIR   (lc1sim comes from the native build)
CASE: hangup  the host opens before the device is there; the device appears, hangs up in the
              middle of a packet and its port disappears; new devices appear at the same
              place and go again: readings come and resume with no call from the host but
              Read, no Read hangs, nothing but not ready while there is nothing to read, one
              debug text per loss and return; the port's name comes to lead to another
              device while the old one is silent: its readings come, with no text; after
              Close nothing reopens the port.
              LAMDEX_REPLUGS (2) sets how often; from 10 on it prints the median and worst
              time from the device's return to the first reading
      reopen  the host closes and reopens over and over while packets flow, split at random
              points, and what is sent while it is closed is lost; at random moments the
              device is pulled and a new one plugged in: every opening delivers, and every
              answer is one the devices sent, in order (a packet broken by a close or a pull
              never comes out as a reading). LAMDEX_SOAK_SECONDS keeps it going that long;
              LAMDEX_FAULT_SEED repeats a run's choices.
"""
import os
import random
import re
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
# How long a wait for an event may take before it has failed; far above what it takes.
BOUND_S = 20


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


def check_sent(logs, answers, message):
    """Fails unless the answers, in fault_host's tokens, appear in order among those sent by
    the devices that logged to `logs`, one after the other."""
    tokens = {"ok": None, "device error": "E", "not connected": "N"}
    expected = [answer for log in logs for answer in harness.expected_answers(log)]
    sent = iter(tokens[answer] or value for answer, value in expected)
    for number, answer in enumerate(answers, 1):
        if answer not in sent:  # consumes the sent answers up to the match
            fail(f"{message}: answer {number} ({answer}) was never sent there")


class Texts(list):
    """The plug-in's debug texts of a run, each as the kind of event it reports."""
    # A note may follow when the port misbehaved (failed at once, opened slowly).
    KINDS = {"open failed": r"LC1Driver::Open COM9 failed: error \d+ \([^()]+\)(; .+)?",
             "lost": r"LC1Driver::Read COM9 lost: error \d+ \([^()]+\)(; .+)?",
             "back": r"LC1Driver::Read COM9 back after \d+\.\d s(; .+)?"}

    # What the LC-1 says when that changes: the component's own test holds its texts.
    LC1_STATE = r"LC1Driver::Read COM9 LC-1( #\d+)? .+"

    def take(self, host):
        for text in filter(None, host.ask("texts").text[len("texts "):].split(" | ")):
            if re.fullmatch(self.LC1_STATE, text):
                continue
            kind = next((kind for kind, form in self.KINDS.items() if re.fullmatch(form, text)), None)
            self.append(kind or fail(f"a debug text of no known form: {text}"))


def poll_until(host, texts, what, done, bound=BOUND_S, only_not_ready=False):
    """Polls until done(answers, texts) or the bound passes: a loaded machine only takes
    longer. Returns the answers and the seconds from the start to the first reading."""
    answers, started, first = [], time.monotonic(), None
    while not done(answers, texts):
        if time.monotonic() - started > bound:
            fail(f"{what}: not within the bound of {bound} s; answers: {answers}, debug texts: {texts}")
        polled = time.monotonic()
        reply = host.ask("poll", 200)
        check_poll(reply, what, only_not_ready)
        texts.take(host)
        answers += reply.answers()
        if first is None and reply.count("readings") > 0:
            first = polled - started + float(reply["firstms"]) / 1000
    return answers, first


def readings_in(answers):
    return sum(answer.isdigit() for answer in answers)


# A line lost before it worked (delivered for a second) is retried at growing intervals, a
# working one at once: a device that is to be pulled works longer first, so that its loss
# reads the same (lost, then open failed unless the loss was itself a failed open, back)
# however soon the next device appears.
HELD_S = 1
OUTAGE = r"lost,( open failed,)? back"


def outages(texts):
    """How many losses the texts tell, or None when they do not read as whole outages."""
    whole = re.fullmatch(r"open failed, back(, " + OUTAGE + r")*(, lost(, open failed)?)?", ", ".join(texts))
    return texts.count("lost") if whole else None


def worked_held(answers, _):
    """Readings over more than HELD_S seconds, a packet every 82 ms."""
    return readings_in(answers) > HELD_S / 0.082 + 2


def plug_in(run, link, name, multiplier):
    """A device at the port, sending at its own pace, each with its own values; its log."""
    sent = run.work / f"{name}.log"
    simulator = run.start_simulator("--scenario", "sequence", "--multiplier", multiplier, "--log", sent, link=link)
    return simulator, sent


def others_holding(path, own):
    """Descriptors of processes other than `own` that hold `path` open."""
    return harness.holders(path) - harness.holders(path, pids=[own])


def hangup(run, link):
    replugs = int(os.environ.get("LAMDEX_REPLUGS", "2"))
    print(f"Bound for each wait: {BOUND_S} s (a loaded machine only takes longer)")
    host, texts = run.start_steered_host(), Texts()
    # Opened before the device is there: the open fails quietly, and the device is found
    # when it appears, with no further call from the host.
    host.expect("open", "open 0x00000000")
    check_poll(host.ask("poll", 300), "opened before the device is there", only_not_ready=True)

    # Ten readings, 0x11 and 0x13 among the data, then, two seconds on, half a packet; then
    # the device goes. It has worked for over a second (HELD_S), so the first retry comes at once.
    readings = "B2 82 43 13 03 74  B2 82 43 13 00 1E  B2 82 42 11 00 11  B2 82 42 13 00 13  B2 82 43 13 11 13\n"
    (run.work / "half.hex").write_text("@0 " + readings * 2 + f"@{HELD_S + 1} B2 82 43\n")
    first = ["963379", "510591", "57599", "64625", "2596307"]
    simulator = run.start_simulator("--replay", run.work / "half.hex", "--rate", "line", link=link)
    # Sent faster than the host finds the device, they wait as a backlog, which yields its
    # newest two readings; any that came out earlier did so in the order sent.
    answers, took = poll_until(host, texts, "the device that appeared after Open", lambda a, _: a[-2:] == first[-2:])
    sent = iter(first * 2)
    if not all(answer in sent for answer in answers):
        fail(f"the device that appeared after Open: answers {answers}")
    print(f"device appeared after Open: first reading after {took:.2f} s")

    # The simulator leaves once its bytes are taken, in the middle of the last packet: not
    # ready from then on, and the loss is found by itself, on platforms that show it only
    # as silence too.
    simulator.wait()
    if os.path.lexists(link):
        fail("the device's link is still there after it hung up")
    # The port stays away until the plug-in has said so: a silent line is opened again after
    # a second, and a device plugged in before that would make the outage tell nothing.
    poll_until(host, texts, "the hang-up found", lambda _, t: "lost" in t, only_not_ready=True)

    # Pulled and plugged back in, again and again: readings resume with no call but Read.
    resumed = []
    for replug in range(1, replugs + 1):
        simulator, sent = plug_in(run, link, f"device{replug}", 140 + replug)
        answers, first_reading = poll_until(host, texts, f"plugged in again ({replug})", worked_held)
        resumed.append(first_reading)
        harness.stop(simulator)
        check_sent([sent], answers, f"plugged in again ({replug}): an answer the device never sent")
        poll_until(host, texts, f"pulled ({replug})", lambda _, t: t.count("lost") == replug + 1)
    # The device's first packet leaves 82 ms after it appears, and that time is included.
    print("plugged back in: first reading after " + ", ".join(f"{s:.2f}" for s in resumed) + " s, all as sent")
    if replugs >= 10:
        resumed.sort()
        print(f"device back to first reading: median {resumed[len(resumed) // 2]:.2f} s, worst {resumed[-1]:.2f} s"
              f" ({replugs} cycles)")

    # The name comes to lead to another device while ours stays there, silent: the silent line
    # is opened again, which reaches the new device, and nothing is said.
    (run.work / "quiet.hex").write_text("B2 82 43 13 03 74 @60 B2\n")
    quiet = run.start_simulator("--replay", run.work / "quiet.hex", link=link)
    poll_until(host, texts, "a device that falls silent", lambda a, _: readings_in(a) >= 1)
    moved, sent = plug_in(run, run.work / "lc1-next", "moved", 160)
    (run.work / "lc1-moved").symlink_to(os.readlink(run.work / "lc1-next"))
    os.replace(run.work / "lc1-moved", link)
    answers, _ = poll_until(host, texts, "the name leading to another device", worked_held)
    check_sent([sent], answers, "the name leading to another device: an answer it never sent")
    harness.stop(moved)
    harness.stop(quiet)
    poll_until(host, texts, "the moved device pulled",
               lambda _, t: t.count("lost") == replugs + 2)
    print("the name led to another device: readings came from it")

    # After Close nothing is reopened: the device comes back and the port stays free.
    host.expect("close", "close 0x00000000")
    simulator, _ = plug_in(run, link, "after-close", 150)
    check_poll(host.ask("poll", 1500), "closed, the device back", only_not_ready=True)
    texts.take(host)
    if (holders := others_holding(os.path.realpath(link), simulator.pid)) != 0:
        fail(f"after Close, {holders} descriptors of other programs hold the port")
    print("after Close: the device came back, nothing reopened it, the port is free")

    # One text for each loss and return, and one open failure per outage, not one per retry.
    if outages(texts) != replugs + 2:
        fail(f"debug texts {texts}, not {replugs + 2} outages of lost, open failed (unless the loss was a failed open) "
             "and back")
    print(f"debug texts: {', '.join(texts)}")


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
    soak = float(os.environ.get("LAMDEX_SOAK_SECONDS", "0"))
    seed = int(os.environ.get("LAMDEX_FAULT_SEED", "20261209"))
    print(f"Seed {seed} (LAMDEX_FAULT_SEED repeats a run); bound for each wait: {BOUND_S} s")
    choose, logs = random.Random(seed), []

    def plug_in_device():
        """A new device on the line, each with its own values, split at random points."""
        logs.append(run.work / f"sent{len(logs)}.log")
        return run.start_simulator("--scenario", "sequence", "--rate", "line", "--split", "--multiplier",
                                   100 + len(logs) % 150, "--seed", choose.randrange(1 << 31), "--log", logs[-1],
                                   link=link)

    def delivers(answers, _):
        return readings_in(answers) >= 1

    simulator, host, texts, answers = plug_in_device(), run.start_steered_host(), Texts(), []
    cycles, pulls, started = 0, 0, time.monotonic()
    while cycles < 15 or time.monotonic() - started < soak:
        cycles += 1
        host.expect("open", "open 0x00000000")
        answers += poll_until(host, texts, f"cycle {cycles}, open", delivers)[0]
        # A varying time, so the close or the pull lands at a different point of a packet.
        reply = host.ask("poll", choose.randrange(1, 150))
        check_poll(reply, f"cycle {cycles}, open")
        answers += reply.answers()
        if choose.random() < 0.4:  # pulled while open: readings resume with no call but Read
            harness.stop(simulator)
            pulls += 1
            answers += host.ask("poll", choose.randrange(1, 600)).answers()
            simulator = plug_in_device()
            answers += poll_until(host, texts, f"cycle {cycles}, plugged in again", delivers)[0]
        host.expect("close", "close 0x00000000")
        check_poll(host.ask("poll", 20), f"cycle {cycles}, closed", only_not_ready=True)
        if choose.random() < 0.3:  # pulled while closed: the next Open finds the new device
            harness.stop(simulator)
            pulls += 1
            simulator = plug_in_device()
        else:
            # What arrives while the port is closed is lost, as on a real port: the packet the
            # close cut in two never completes, and the next opening starts in a packet.
            discard_line(link, choose.randrange(1, 10) / 100)
    harness.stop(simulator)
    check_sent(logs, answers, "an answer the devices never sent (a broken packet?)")
    print(f"reopen: {cycles} cycles, {pulls} devices pulled and plugged back in, {readings_in(answers)} readings, "
          f"{time.monotonic() - started:.0f} s; every opening delivered; 0 wrong: all as sent, in order")


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
