#!/usr/bin/env python3
"""Builds the release of one commit twice and compares the results (make check-reproducible).

Two fresh clones of the commit, at paths of different lengths, are each configured and built
with the win32 and win64 presets (only what the release holds) and packed by
tools/make-dist.sh, each with its own umask, time zone and locale, minutes apart; run as
root, the second builds as the user nobody. The zips
and SHA256SUMS must be the same bytes. Where they are not, it names each file that differs,
inside the zips too, and how. It also fails when a file in the zips holds either clone's
path, the user's name or the host's name. Nothing of an existing build folder is used.

usage: check_reproducible.py [--keep] [COMMIT]   (COMMIT: HEAD by default)
"""
import argparse
import getpass
import os
import pwd
import re
import shutil
import socket
import subprocess
import sys
import tempfile
import time
import zipfile

SOURCE_DIR = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
PRESETS = ["win32", "win64"]
# Two builds as unlike as one machine allows: the clone's path, the umask, the time zone
# (one with a quarter-hour offset, far from UTC), the locale and, where root can choose, the
# user.
BUILDS = [
    {"path": ("a", "lamdex"), "umask": 0o022, "TZ": "UTC", "LC_ALL": "C", "user": None},
    {"path": ("second-build", "somewhat-longer-path", "src"), "umask": 0o077, "TZ": "Pacific/Chatham",
     "LC_ALL": "C.UTF-8", "user": "nobody"},
]
# Names this short turn up in any binary by chance; searching for them proves nothing.
SHORTEST_NAME_SEARCHED = 4


def git(*args, cwd=SOURCE_DIR):
    return subprocess.run(["git", "-C", cwd, *args], check=True, capture_output=True, text=True).stdout.strip()


def build_user(build):
    """The account the build runs as, or None for this one."""
    if build["user"] is None or os.geteuid() != 0:
        return None
    try:
        return pwd.getpwnam(build["user"])
    except KeyError:
        return None


def run_logged(command, cwd, env, build, log):
    log.write(f"$ {' '.join(command)}\n")
    log.flush()
    user = build_user(build)
    as_user = {"user": user.pw_uid, "group": user.pw_gid, "extra_groups": []} if user else {}
    done = subprocess.run(command, cwd=cwd, env=env, umask=build["umask"], stdout=log, stderr=subprocess.STDOUT,
                          stdin=subprocess.DEVNULL, **as_user)
    if done.returncode != 0:
        raise RuntimeError(f"{' '.join(command)} failed in {cwd} (exit {done.returncode}); see {log.name}")


def build_release(commit, clone, build):
    """Clones the commit into CLONE and makes its release there; returns the dist folder."""
    started = time.monotonic()
    os.makedirs(os.path.dirname(clone))
    # No hard links into this repository's objects: the clone may change owner.
    subprocess.run(["git", "clone", "--quiet", "--no-checkout", "--no-hardlinks", SOURCE_DIR, clone], check=True)
    git("checkout", "--quiet", "--detach", commit, cwd=clone)
    env = dict(os.environ, TZ=build["TZ"], LC_ALL=build["LC_ALL"])
    user = build_user(build)
    if user:
        subprocess.run(["chown", "-R", f"{user.pw_uid}:{user.pw_gid}", os.path.dirname(clone)], check=True)
        env.update(HOME=os.path.dirname(clone), USER=user.pw_name, LOGNAME=user.pw_name)
    # The commit's own time is what is checked, not a time the caller chose.
    env.pop("SOURCE_DATE_EPOCH", None)
    dist = os.path.join(clone, "build", "dist")
    with open(clone + ".log", "w", encoding="utf-8") as log:
        for preset in PRESETS:
            run_logged(["cmake", "--preset", preset], clone, env, build, log)
            run_logged(["cmake", "--build", "--preset", preset, "--target", "lamdex_release"], clone, env, build, log)
        run_logged(["sh", "tools/make-dist.sh", dist] + [os.path.join("build", p) for p in PRESETS], clone, env,
                   build, log)
    print(f"check-reproducible: built in {clone} as {user.pw_name if user else getpass.getuser()} "
          f"(umask {build['umask']:03o}, TZ={build['TZ']}, LC_ALL={build['LC_ALL']}) "
          f"in {time.monotonic() - started:.0f} s")
    return dist


def first_offsets(a, b, count=8):
    offsets = [i for i in range(min(len(a), len(b))) if a[i] != b[i]]
    shown = ", ".join(f"0x{i:x}" for i in offsets[:count])
    return f"{len(offsets)} bytes differ (at {shown}{', ...' if len(offsets) > count else ''})" + (
        f"; sizes {len(a)} and {len(b)}" if len(a) != len(b) else "")


def zip_differences(name, path_a, path_b):
    with zipfile.ZipFile(path_a) as zip_a, zipfile.ZipFile(path_b) as zip_b:
        entries_a, entries_b = zip_a.infolist(), zip_b.infolist()
        names_a, names_b = [e.filename for e in entries_a], [e.filename for e in entries_b]
        if sorted(names_a) != sorted(names_b):
            return [f"{name}: holds different files: {' '.join(names_a)} / {' '.join(names_b)}"]
        found = []
        if names_a != names_b:
            found.append(f"{name}: entries in a different order: {' '.join(names_a)} / {' '.join(names_b)}")
        for entry_a in entries_a:
            entry_b = zip_b.getinfo(entry_a.filename)
            where = f"{name}: {entry_a.filename}"
            data_a, data_b = zip_a.read(entry_a), zip_b.read(entry_b)
            if data_a != data_b:
                found.append(f"{where}: content, {first_offsets(data_a, data_b)}")
            for field in ("date_time", "external_attr", "extra", "create_system", "compress_type", "comment"):
                if getattr(entry_a, field) != getattr(entry_b, field):
                    found.append(f"{where}: {field} {getattr(entry_a, field)!r} / {getattr(entry_b, field)!r}")
        if not found:
            found.append(f"{name}: the same entries, but the zip's own bytes differ: "
                         f"{first_offsets(open(path_a, 'rb').read(), open(path_b, 'rb').read())}")
        return found


def differences(dist_a, dist_b):
    found = []
    for name in sorted(set(os.listdir(dist_a)) | set(os.listdir(dist_b))):
        path_a, path_b = os.path.join(dist_a, name), os.path.join(dist_b, name)
        if not (os.path.exists(path_a) and os.path.exists(path_b)):
            found.append(f"{name}: made by one build only")
            continue
        with open(path_a, "rb") as file_a, open(path_b, "rb") as file_b:
            bytes_a, bytes_b = file_a.read(), file_b.read()
        if bytes_a == bytes_b:
            continue
        if name.endswith(".zip"):
            found.extend(zip_differences(name, path_a, path_b))
        else:
            found.append(f"{name}: {first_offsets(bytes_a, bytes_b)}")
    return found


def leaks(dist, secrets):
    """Files in the zips of DIST holding any of SECRETS, as text or as Windows UTF-16 text."""
    found = []
    for name in sorted(os.listdir(dist)):
        if not name.endswith(".zip"):
            continue
        with zipfile.ZipFile(os.path.join(dist, name)) as release:
            for entry in release.infolist():
                data = release.read(entry)
                for label, secret in secrets:
                    for encoding in ("utf-8", "utf-16-le"):
                        # Not part of a longer name: "root" in "rooted" is no user name.
                        pattern = re.escape(secret.encode(encoding))
                        if re.search(rb"(?<![A-Za-z0-9_.-])" + pattern + rb"(?![A-Za-z0-9_-])", data):
                            found.append(f"{name}: {entry.filename} holds {label} {secret!r} ({encoding})")
    return found


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("commit", nargs="?", default="HEAD")
    parser.add_argument("--keep", action="store_true", help="keep the clones and their builds")
    options = parser.parse_args()
    started = time.monotonic()
    commit = git("rev-parse", "--verify", f"{options.commit}^{{commit}}")
    if options.commit == "HEAD" and git("status", "--porcelain", "--untracked-files=no"):
        print("check-reproducible: the work tree has uncommitted changes; they are not part of the check")
    work = tempfile.mkdtemp(prefix="lamdex-reproducible.")
    os.chmod(work, 0o755)  # for a build as another user
    clones = [os.path.join(work, *build["path"]) for build in BUILDS]
    print(f"check-reproducible: commit {commit}, built twice under {work}")
    failed = True
    try:
        dists = [build_release(commit, clone, build) for clone, build in zip(clones, BUILDS)]
        problems = differences(*dists)
        names = [("a clone's path", clone) for clone in clones] + [("the work folder", work)]
        users = [getpass.getuser()] + [user.pw_name for user in map(build_user, BUILDS) if user]
        for label, name in [("a user's name", user) for user in users] + [("the host's name", socket.gethostname())]:
            if len(name) >= SHORTEST_NAME_SEARCHED:
                names.append((label, name))
            else:
                print(f"check-reproducible: {label} {name!r} is too short to search for")
        problems += leaks(dists[0], names) + leaks(dists[1], names)
        for problem in problems:
            print(f"check-reproducible: DIFFERS: {problem}")
        if problems:
            return 1
        with open(os.path.join(dists[0], "SHA256SUMS"), encoding="utf-8") as sums:
            print(sums.read(), end="")
        print(f"check-reproducible: the two releases are identical, and hold no build path, user or host "
              f"name ({time.monotonic() - started:.0f} s in all)")
        failed = False
        return 0
    except (RuntimeError, subprocess.CalledProcessError) as error:
        print(f"check-reproducible: {error}")
        return 1
    finally:
        if failed or options.keep:
            print(f"check-reproducible: the clones, builds and logs stay in {work}")
        else:
            shutil.rmtree(work)


if __name__ == "__main__":
    sys.exit(main())
