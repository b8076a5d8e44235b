#!/usr/bin/python3
"""Runs that wire programs together: the LC-1 simulator, pseudo-terminals, COM ports of a
Wine prefix, the real plug-in library and a host. Python 3, standard library only.

The end-to-end, fault and benchmark scripts import it:
  wine_com_ports(prefix, wirings)  COM ports of a prefix wired while a with-block runs
  Run(mode, build, native_build)   a run's work folder, the plug-in's line and the programs
                                   started for it, all undone when its with-block ends
  BareLine(), holders(path)        a terminal whose far end only this process holds
  PortLine(work)                   the plug-in's port, passing on a simulator's bytes only
                                   from the moment the script says, as a real port receives
                                   nothing before it is opened
  expected_answers(log, sensor)    what a host reading LC-1 #sensor must record for an lc1sim --log
  main(body, *args)                runs a script: FAIL and exit 1, or SKIPPED and exit 77

As a command:
  harness.py com-run PREFIX WIRING... -- COMMAND [ARGS...]
      wires COM ports of the Wine prefix, runs COMMAND, unwires (also when COMMAND fails or a
      signal comes); exits with COMMAND's status
  harness.py line MODE PORT DEVICE [PREFIX] -- COMMAND [ARGS...]
      runs COMMAND while the plug-in's port PORT reads DEVICE and its configuration names PORT
  harness.py config-file MODE [PREFIX]
      prints where the plug-in keeps its configuration file

MODE is native (port N is $HOME/.lamdex/comN, in a private $HOME) or wine (port N is COMN of
the Wine prefix PREFIX). WIRING is one of:
  COMa:COMb       a null-modem pair: what a program writes on COMa arrives on COMb and back
  COMa=pty:PATH   COMa and a pseudo-terminal made available at PATH form a pair: a native
                  program writes the device's bytes at PATH, Windows reads COMa
  COMa=PATH       COMa is the device at PATH as it is; PATH need not exist (a missing device)
Port names are case-insensitive. COM1 is usually /dev/ttyS0; pick others. Where this machine
cannot run the Wine of WINEARCH (cmake/wine-arch.sh says), whatever needs Wine says
"SKIPPED: why" and exits 77.
"""
import contextlib
import functools
import os
import re
import select
import signal
import subprocess
import sys
import tempfile
import threading
import time
import tty
from pathlib import Path

SOURCE = Path(__file__).resolve().parents[2]
WINE_RUN = SOURCE / "cmake" / "wine-run.sh"
REPLY_SECONDS = 60
PORT_NAME = re.compile(r"com([1-9]|[1-9][0-9]|[12][0-9][0-9])", re.IGNORECASE)


class Failure(Exception):
    """A check failed: FAIL and exit 1."""


class Skipped(Exception):
    """This machine cannot run the Wine asked for: CTest reports a skipped test."""


def fail(message):
    raise Failure(message)


def die(message):
    print(f"harness: {message}", file=sys.stderr)
    raise SystemExit(2)


def main(body, *args):
    """Runs a script's body; a signal ends it as an exit does, so everything is undone."""
    for signum in (signal.SIGHUP, signal.SIGINT, signal.SIGTERM):
        signal.signal(signum, lambda number, _: sys.exit(128 + number))
    try:
        sys.exit(body(*args) or 0)
    except Failure as failure:
        print(f"FAIL: {failure}", flush=True)
        sys.exit(1)
    except Skipped as skipped:
        print(f"SKIPPED: {skipped}", file=sys.stderr, flush=True)
        sys.exit(77)


def wait_until(condition, tries=100, pause=0.05):
    for _ in range(tries):
        if condition():
            return True
        time.sleep(pause)
    return condition()


def stop(process, grace=5):
    """Ends a program: SIGTERM, then SIGKILL when it lingers."""
    if process.poll() is None:
        process.terminate()
        try:
            process.wait(grace)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()


def tail(path, lines=20):
    with contextlib.suppress(OSError):
        return "\n".join(Path(path).read_text(errors="replace").splitlines()[-lines:])
    return ""


@functools.cache
def wine():
    """(loader, server, why this machine cannot run them or "", why they are missing or broken
    or "") for WINEARCH."""
    script = ('. "$1" && echo "$wine_loader" && echo "$wine_server" && { wine_arch_unavailable || echo; } && '
              '{ wine64_missing || wine_arch_broken || true; }')
    result = subprocess.run(["sh", "-c", script, "sh", SOURCE / "cmake" / "wine-arch.sh"], capture_output=True,
                            text=True)
    if result.returncode != 0:
        die(result.stderr.strip())
    return tuple((result.stdout.splitlines() + ["", ""])[:4])


def require_wine():
    if reason := wine()[2]:
        raise Skipped(reason)
    if reason := wine()[3]:
        die(reason)


def _port_name(name, wiring):
    if not PORT_NAME.fullmatch(name):
        die(f"bad port name in {wiring}")
    return name.lower()


def _parse_wiring(wiring, state):
    """The (port, device) entries of a wiring, and the two links a socat pair must join."""
    name, is_device, target = wiring.partition("=")
    if is_device:
        port = _port_name(name, wiring)
        if target.startswith("pty:"):
            return [(port, state / port)], (state / port, Path(target[4:]).absolute())
        return [(port, target)], None
    first, is_pair, second = wiring.partition(":")
    if not is_pair:
        die(f"bad port wiring: {wiring}")
    first, second = _port_name(first, wiring), _port_name(second, wiring)
    return [(first, state / first), (second, state / second)], (state / first, state / second)


def _start_pair(first, second, log):
    pair = subprocess.Popen(["socat", f"pty,rawer,link={first}", f"pty,rawer,link={second}"],
                            stdin=subprocess.DEVNULL, stdout=log, stderr=log)
    if not wait_until(lambda: first.exists() and second.exists()):
        stop(pair)
        fail(f"socat did not make {first} and {second}: {tail(log.name)}")
    return pair


def _set_registry_ports(prefix, ports, state, remove=False):
    """One value per port under HKLM\\Software\\Wine\\Ports, or its removal."""
    lines = [f'"{port.upper()}"=' + ("-" if remove else f'"{device}"') for port, device in ports]
    reg = state / "ports.reg"
    reg.write_text("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Wine\\Ports]\n" + "\n".join(lines) + "\n")
    return subprocess.run([WINE_RUN, prefix, "reg", "import", "Z:" + str(reg).replace("/", "\\")],
                          stdin=subprocess.DEVNULL, capture_output=True, text=True)


@contextlib.contextmanager
def wine_com_ports(prefix, wirings):
    """COM ports of a Wine prefix wired while the with-block runs, unwired however it ends.

    Each port gets a value under HKLM\\Software\\Wine\\Ports, which wins over Wine's own choice
    whenever its mount manager starts, and a dosdevices/comN link, which takes effect at once
    while a Wine server is already running. Pairs are socat processes. Every program of the
    prefix shares its ports: a CTest test that wires COMn holds the resource lock wine-comn.
    The prefix is made on first use (through cmake/wine-run.sh)."""
    require_wine()
    prefix = Path(prefix).absolute()
    with tempfile.TemporaryDirectory(prefix="wine-com-ports.") as state_name:
        state, ports, pairs = Path(state_name), [], []
        try:
            with open(state / "socat.log", "ab") as log:
                for wiring in wirings:
                    entries, pair = _parse_wiring(wiring, state)
                    ports += entries
                    pairs += [_start_pair(*pair, log)] if pair else []
            # Registry first: a mount manager starting now then writes the same links as below.
            if (wired := _set_registry_ports(prefix, ports, state)).returncode != 0:
                fail(f"could not write the ports to the registry of {prefix}: {wired.stdout}{wired.stderr}")
            for port, device in ports:
                (prefix / "dosdevices" / port).unlink(missing_ok=True)
                (prefix / "dosdevices" / port).symlink_to(device)
            yield
        finally:
            for pair in pairs:
                stop(pair)
            if ports:
                _set_registry_ports(prefix, ports, state, remove=True)
            # Only links still pointing where this run put them: another run may own the port now.
            for port, device in ports:
                link = prefix / "dosdevices" / port
                if link.is_symlink() and os.readlink(link) == str(device):
                    link.unlink()


def config_file(mode, prefix=None, home=None):
    """Where the plug-in keeps its configuration file; under Wine a new prefix is made first."""
    def wine_profile():
        users = sorted((Path(prefix) / "drive_c" / "users").glob("*"))
        return next((user for user in users if user.is_dir() and not user.is_symlink() and user.name != "Public"),
                    None)

    if mode == "native":
        profile = Path(home or os.environ["HOME"])
    elif not (profile := wine_profile()):
        subprocess.run([WINE_RUN, prefix, "cmd", "/c", "exit"], stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        profile = wine_profile() or fail(f"no user profile in the Wine prefix {prefix}")
    return profile / "My Documents" / "Zelbar Files" / "Plugins" / "Lamdex.cfg"


class BareLine:
    """A pseudo-terminal of which this process holds only the master side, so no other program
    holds the far end of the line at `terminal`. What send() writes arrives at the terminal."""

    def __init__(self, link=None):
        self.master, slave = os.openpty()
        tty.setraw(slave)  # no echo: what is sent is never read back
        self.terminal = os.ttyname(slave)
        os.close(slave)
        self.link = link
        if link:
            os.symlink(self.terminal, link)

    def send(self, data):
        while data:
            data = data[os.write(self.master, data):]

    def __enter__(self):
        return self

    def __exit__(self, *_):
        if self.link:
            Path(self.link).unlink(missing_ok=True)
        os.close(self.master)


class PortLine:
    """The pseudo-terminal the plug-in reads as its port, at `work`/port. Bytes from the
    simulator's line are dropped until pass_on(), then passed on as they come."""

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
            except BlockingIOError:
                continue
            except OSError:
                return  # the simulator has gone and its line with it
            while data and self.passing.is_set():
                data = data[os.write(self.master, data):]

    def close(self):
        self.stopping.set()
        if self.thread is not None:
            self.thread.join()
        for fd in (self.source, self.master, self.slave):
            if fd is not None:
                os.close(fd)


def holders(path, pids=None):
    """How many descriptors of all processes (or of `pids`) hold `path` open."""
    count = 0
    for pid in map(str, pids) if pids else filter(str.isdigit, os.listdir("/proc")):
        with contextlib.suppress(OSError):
            for fd in os.listdir(f"/proc/{pid}/fd"):
                with contextlib.suppress(OSError):
                    count += os.readlink(f"/proc/{pid}/fd/{fd}") == path
    return count


class Reply:
    """One answer line of fault_host: a word, then name=value fields."""

    def __init__(self, text):
        self.text = text
        self.fields = dict(word.partition("=")[::2] for word in text.split()[1:])

    def __str__(self):
        return self.text

    def __getitem__(self, name):
        return self.fields.get(name, "")

    def count(self, name):
        return int(self[name])

    def answers(self):
        return [answer for answer in self["answers"].split(",") if answer]


class SteeredHost:
    """fault_host, steered one command line at a time."""

    def __init__(self, command, env, stderr_path):
        with open(stderr_path, "wb") as stderr:
            self.process = subprocess.Popen(command, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                            stderr=stderr, env=env)
        self.pending = b""
        if (reply := self.read_line("the library loaded")) != "loaded":
            fail(f"the host said '{reply}' instead of loaded")

    def ask(self, *words):
        command = " ".join(str(word) for word in words)
        try:
            self.process.stdin.write(command.encode() + b"\n")
            self.process.stdin.flush()
        except BrokenPipeError:
            fail(f"the host is gone (asked: {command})")
        return Reply(self.read_line(f"an answer to '{command}'"))

    def expect(self, command, answer):
        if (reply := self.ask(command).text) != answer:
            fail(f"the host answered '{reply}' to '{command}', not '{answer}'")

    def read_line(self, what):
        deadline = time.monotonic() + REPLY_SECONDS
        out = self.process.stdout.fileno()
        while b"\n" not in self.pending:
            if not select.select([out], [], [], max(0, deadline - time.monotonic()))[0]:
                fail(f"no word of {what} from the host within {REPLY_SECONDS} s (hung or crashed)")
            if not (chunk := os.read(out, 4096)):
                fail(f"the host ended before {what}")
            self.pending += chunk
        line, _, self.pending = self.pending.partition(b"\n")
        return line.decode(errors="replace").rstrip("\r")

    def quit(self):
        with contextlib.suppress(OSError):
            self.process.stdin.write(b"quit\n")
            self.process.stdin.close()
        with contextlib.suppress(subprocess.TimeoutExpired):
            self.process.wait(5)
        stop(self.process)
        self.process.stdout.close()


class Run(contextlib.ExitStack):
    """A run: a private work folder, the plug-in's line and the programs started for it, all
    undone when the with-block ends. A failure carries the host's last words."""

    def __init__(self, mode, build=None, native_build=None, prefix=None, name="lamdex"):
        super().__init__()
        if mode not in ("native", "wine"):
            die(f"mode must be native or wine, not {mode}")
        self.mode, self.name, self.host_errors = mode, name, []
        self.build = Path(build).resolve() if build else None
        self.native_build = Path(native_build).resolve() if native_build else self.build
        self.prefix = Path(prefix).absolute() if prefix else None
        if mode == "wine" and self.build and (self.build / "wine-arch").exists():
            os.environ.setdefault("WINEARCH", (self.build / "wine-arch").read_text().strip())
        self.env = dict(os.environ)

    def __enter__(self):
        super().__enter__()
        if self.mode == "wine":
            require_wine()
        self.work = Path(self.enter_context(tempfile.TemporaryDirectory(prefix=f"{self.name}.")))
        return self

    def __exit__(self, kind, error, trace):
        if isinstance(error, Failure):
            for words in filter(None, map(tail, self.host_errors)):
                error.args = (f"{error}\nhost stderr:\n{words}",)
        return super().__exit__(kind, error, trace)

    def wire_line(self, port, device, sensor=1):
        """The plug-in's port `port` reads `device` (which may appear later), and the
        configuration file the plug-in reads at load names that port (and, unless it is the
        first, the LC-1 of a chain it reads)."""
        device = Path(device).absolute()  # a link is read from elsewhere
        if self.mode == "native":
            self.env["HOME"] = str(self.work / "home")
            (self.work / "home" / ".lamdex").mkdir(parents=True)
            (self.work / "home" / ".lamdex" / f"com{port}").symlink_to(device)
        else:
            self.enter_context(wine_com_ports(self.prefix, [f"COM{port}={device}"]))
        config = config_file(self.mode, self.prefix, self.env["HOME"])
        config.parent.mkdir(parents=True, exist_ok=True)
        lines = [f"COMPORT {port}"] + ([f"SENSOR {sensor}"] if sensor != 1 else [])
        end = "\n" if self.mode == "native" else "\r\n"
        config.write_bytes("".join(line + end for line in lines).encode())

    def host_command(self, program):
        """A host program of the build, given the plug-in library: zbhost, fault_host."""
        if self.mode == "native":
            return [self.build / program, self.build / "plugin" / "Lamdex.so"]
        return [WINE_RUN, self.prefix, self.build / f"{program}.exe", self.build / "plugin" / "Lamdex.dll"]

    def start(self, command, **popen):
        """Starts a program that is stopped, if still running, when the run ends."""
        process = subprocess.Popen([str(word) for word in command], env=self.env, **popen)
        self.callback(stop, process)
        return process

    def start_simulator(self, *options, link):
        """Starts lc1sim with its line at `link` and waits until the link is there."""
        output = self.work / "sim.out"
        with open(output, "ab") as out:
            simulator = self.start([self.native_build / "tools" / "lc1sim" / "lc1sim", *options, "--link", link],
                                   stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.STDOUT)
        if not wait_until(lambda: os.path.islink(link)):
            fail(f"the simulator did not start: {tail(output)}")
        return simulator

    def start_steered_host(self):
        self.host_errors.append(self.work / "host.err")
        host = SteeredHost(self.host_command("tests/faults/fault_host"), self.env, self.host_errors[-1])
        self.callback(host.quit)
        return host

    def stop_wine_server(self):
        subprocess.run([wine()[1], "-k"], env={**self.env, "WINEPREFIX": str(self.prefix)},
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def expected_answers(log, sensor=1):
    """What a host reading LC-1 #sensor must record for an lc1sim --log, in order, as (answer,
    value): a reading for status 0, "device error" for 3, 6 and 7, "not connected" for a packet
    without that LC-1 or with its place broken (a chain logs each LC-1's four fields in turn).
    Other statuses answer not ready, which the host does not record."""
    answers = []
    for fields in (line.split() for line in Path(log).read_text().splitlines() if not line.startswith("#")):
        if len(fields) < 5:
            continue
        group = fields[4 * sensor - 3:4 * sensor + 1]  # status multiplier lambda value
        if len(group) < 4 or group[0] in ("-", "broken"):
            answers.append(("not connected", "0"))
        elif group[0] == "0":
            answers.append(("ok", group[3]))
        elif group[0] in ("3", "6", "7"):
            answers.append(("device error", "0"))
    return answers


def run_command(command, env=None):
    """Runs a command that keeps this process's input; a signal ends it too."""
    process = subprocess.Popen(command, env=env)
    try:
        status = process.wait()
        return 128 - status if status < 0 else status
    finally:
        stop(process)


def command_line(argv):
    split = argv.index("--") if "--" in argv else len(argv)
    action, arguments, command = (argv[:1] or [""])[0], argv[1:split], argv[split + 1:]
    if action == "com-run" and arguments and command:
        with wine_com_ports(arguments[0], arguments[1:]):
            return run_command(command)
    if action == "line" and len(arguments) in (3, 4) and command:
        mode, port, device, *prefix = arguments
        with Run(mode, prefix=(prefix or [None])[0], name="lamdex-line") as run:
            run.wire_line(int(port), device)
            return run_command(command, run.env)
    if action == "config-file" and len(arguments) in (1, 2) and split == len(argv):
        if arguments[0] == "wine":
            require_wine()
        print(config_file(arguments[0], (arguments[1:] or [None])[0]))
        return 0
    die("usage: harness.py com-run PREFIX WIRING... -- COMMAND | line MODE PORT DEVICE [PREFIX] -- COMMAND"
        " | config-file MODE [PREFIX]")


if __name__ == "__main__":
    main(command_line, sys.argv[1:])
