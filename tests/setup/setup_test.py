#!/usr/bin/python3
"""The set-up's decisions, without apt or Wine: which apt failures of the optional 32-bit Wine
let the build go on, that a failed attempt is not repeated with the same package lists, and
which states of 32-bit Wine cmake/wine-arch.sh calls a kind of machine and which a failure."""
import contextlib
import io
import os
import shutil
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path
from unittest import mock

SOURCE = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(SOURCE / "cmake"))
import install_optional  # noqa: E402

UNMET = """\
Some packages could not be installed. This may mean that you have
requested an impossible situation or if you are using the unstable
distribution that some required packages have not yet been created
or been moved out of Incoming.
The following information may help to resolve the situation:

The following packages have unmet dependencies:
 libgnutls30 : Breaks: libgnutls30:i386 (!= 3.7.9-2+deb12u4) but 3.7.9-2+deb12u3 is to be installed
 libgnutls30:i386 : Depends: libc6:i386 (>= 2.34) but it is not going to be installed
                    Breaks: libgnutls30 (!= 3.7.9-2+deb12u3) but 3.7.9-2+deb12u4 is to be installed
 wine32:i386 : Depends: libwine:i386 (= 8.0~repack-4)
E: Unable to correct problems, you have held broken packages.
"""
PINNED = """\
Package wine32:i386 is not available, but is referred to by another package.
This may mean that the package is missing, has been obsoleted, or
is only available from another source

E: Package 'wine32:i386' has no installation candidate
"""
LOCKED = """\
E: Could not get lock /var/lib/dpkg/lock-frontend. It is held by process 4242 (python3)
N: Be aware that removing the lock file is not a solution and may break your system.
E: Unable to acquire the dpkg frontend lock (/var/lib/dpkg/lock-frontend), is another process using it?
"""
FIX_BROKEN = """\
You might want to run 'apt --fix-broken install' to correct these.
The following packages have unmet dependencies:
 libwine:i386 : Depends: libgnutls30:i386 (>= 3.7.2) but it is not installed
E: Unmet dependencies. Try 'apt --fix-broken install' with no packages (or specify a solution).
"""
MID_SYNC = """\
E: Failed to fetch http://deb.example/pool/main/w/wine/libwine_8.0~repack-4_i386.deb  File has unexpected size \
(4096 != 30812). Mirror sync in progress? [IP: 192.0.2.1 80]
E: Unable to fetch some archives, maybe run apt-get update or try with --fix-missing?
"""
INTERRUPTED = "E: dpkg was interrupted, you must manually run 'dpkg --configure -a' to correct the problem. \n"
FULL = "E: You don't have enough free space in /var/cache/apt/archives/.\n"


class AptFailures(unittest.TestCase):
    def test_the_archive_that_cannot_give_the_packages_lets_the_build_go_on(self):
        for output, reason in [
            (UNMET, "libgnutls30:i386 : Depends: libc6:i386 (>= 2.34) but it is not going to be installed"),
            (PINNED, "E: Package 'wine32:i386' has no installation candidate"),
            ("E: Unable to locate package wine32:i386\n", "E: Unable to locate package wine32:i386"),
            (MID_SYNC, " ".join(MID_SYNC.splitlines()[0].split())),
        ]:
            with self.subTest(reason):
                self.assertEqual(install_optional.classify(output), (True, reason))

    def test_a_fault_of_this_machine_stops_with_apts_own_words(self):
        for output, expected in [
            (LOCKED, ["E: Could not get lock /var/lib/dpkg/lock-frontend. It is held by process 4242 (python3)",
                      "E: Unable to acquire the dpkg frontend lock (/var/lib/dpkg/lock-frontend), is another "
                      "process using it?"]),
            (FIX_BROKEN, [" libwine:i386 : Depends: libgnutls30:i386 (>= 3.7.2) but it is not installed",
                          "E: Unmet dependencies. Try 'apt --fix-broken install' with no packages (or specify a "
                          "solution)."]),
            (INTERRUPTED, [INTERRUPTED.strip("\n")]),
            (FULL + PINNED, [FULL.strip(), "E: Package 'wine32:i386' has no installation candidate"]),
            ("killed\n", ["killed"]),
        ]:
            with self.subTest(expected[0]):
                self.assertEqual(install_optional.classify(output), (False, expected))


class OncePerLists(unittest.TestCase):
    """install_optional.main as root, with apt and the package lists stood in for."""

    def setUp(self):
        self.folder = Path(tempfile.mkdtemp())
        self.addCleanup(shutil.rmtree, self.folder)
        self.lists = self.folder / "lists"
        self.lists.mkdir()
        (self.lists / "main_InRelease").write_text("1")
        self.calls = []
        self.answer = (100, PINNED)
        state = self.folder / "build" / "deps"
        for name, value in [("LISTS", self.lists), ("STATE", state), ("STAMP", state / "stamp.json"),
                            ("LOG", state / "install.log"), ("UPDATE_LOG", state / "update.log"),
                            ("apt", self.apt), ("architectures_missing", lambda packages: set())]:
            patcher = mock.patch.object(install_optional, name, value)
            patcher.start()
            self.addCleanup(patcher.stop)
        patcher = mock.patch("os.geteuid", return_value=0)
        patcher.start()
        self.addCleanup(patcher.stop)

    def apt(self, arguments, log):
        self.calls.append(arguments[0])
        if self.calls == ["update"]:
            # The first update brings lists; the attempt after it belongs to them.
            (self.lists / "main_i386_Packages").write_text("")
        return self.answer if arguments[0] == "install" else (0, "")

    def run_main(self, *arguments):
        out, err = io.StringIO(), io.StringIO()
        with contextlib.redirect_stdout(out), contextlib.redirect_stderr(err):
            status = install_optional.main([*arguments, "wine32:i386"])
        return status, out.getvalue() + err.getvalue()

    def test_an_uninstallable_package_is_tried_once_per_state_of_the_lists(self):
        status, said = self.run_main()
        self.assertEqual((status, self.calls), (0, ["update", "install"]))
        self.assertIn("cannot be installed today (E: Package 'wine32:i386' has no installation candidate)", said)
        status, said = self.run_main()
        self.assertEqual((status, self.calls), (0, ["update", "install"]))
        self.assertIn("cannot be installed from these package lists", said)
        self.assertEqual(len(said.splitlines()), 1)

        self.run_main("--again")
        self.assertEqual(self.calls[2:], ["update", "install"])
        (self.lists / "security_InRelease").write_text("2")
        self.run_main("--updated")
        self.assertEqual(self.calls[4:], ["install"])
        self.run_main()
        self.assertEqual(len(self.calls), 5)

    def test_a_held_lock_stops_and_is_tried_again_next_time(self):
        self.answer = (100, LOCKED)
        status, said = self.run_main()
        self.assertEqual(status, 1)
        self.assertIn("  E: Could not get lock /var/lib/dpkg/lock-frontend.", said)
        self.assertFalse(install_optional.STAMP.exists())
        self.answer = (0, "")
        self.assertEqual(self.run_main()[0], 0)
        self.assertEqual(self.calls, ["update", "install", "update", "install"])

    def test_not_root_it_prints_the_command_and_goes_on(self):
        with mock.patch("os.geteuid", return_value=1000), \
                mock.patch.object(install_optional, "architectures_missing", lambda packages: {"i386"}):
            status, said = self.run_main()
        self.assertEqual((status, self.calls), (0, []))
        self.assertEqual(said.splitlines()[1], "  dpkg --add-architecture i386 && apt-get update && "
                                               "apt-get install -y --no-install-recommends wine32:i386")


class WineArch(unittest.TestCase):
    def probe(self, loader):
        script = '. "$1" && wine_loader=$2 && wine_arch_probe'
        result = subprocess.run(["sh", "-c", script, "sh", SOURCE / "cmake" / "wine-arch.sh", loader],
                                capture_output=True, text=True, env={**os.environ, "WINEARCH": "win32"}, check=True)
        return result.stdout.strip().split(" ")[0]

    def test_only_a_wine_that_is_there_and_executable_but_fails_is_broken(self):
        folder = Path(tempfile.mkdtemp())
        self.addCleanup(shutil.rmtree, folder)
        # A program for another machine: the ELF header's machine field says one not this.
        foreign = folder / "foreign"
        shutil.copy("/bin/true", foreign)
        with open(foreign, "r+b") as program:
            program.seek(18)
            program.write(b"\xb7\x00" if os.uname().machine != "aarch64" else b"\x3e\x00")
        # The dynamic loader that cannot find a library answers 127, as a missing command would.
        no_library = folder / "no-library"
        no_library.write_text("#!/bin/sh\necho 'error while loading shared libraries' >&2\nexit 127\n")
        no_library.chmod(0o755)
        for loader, state in [("/bin/true", "runs"), (folder / "absent", "unavailable"), (foreign, "unavailable"),
                              (no_library, "broken"), ("/bin/false", "broken")]:
            with self.subTest(loader):
                self.assertEqual(self.probe(loader), state)


if __name__ == "__main__":
    unittest.main()
