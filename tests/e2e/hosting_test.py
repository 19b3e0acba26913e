#!/usr/bin/env python3
"""A publish hosted behind a cache: the origin nginx says what a cache may keep, nginx as a
caching proxy keeps it, and players patch through that cache while releases are published
into the origin, one after another.

  hosting_test.py --cli PATH --publish PATH --keyed-cli PATH --key FILE [--wine]

--keyed-cli is veldra-cli built with the public key of the private key FILE.
"""
import argparse
import base64
import hashlib
import os
import random
import shutil
import subprocess
import sys
import tempfile
import threading
import time
import unittest
import urllib.error
import urllib.request

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__)))))
from testbed import cache_proxy, game_folders, nginx_server, releases  # noqa: E402
from testbed.game_folders import new_game_folder  # noqa: E402
from testbed.processes import clean_environment  # noqa: E402
from testbed.releases import files_below, read, write  # noqa: E402

OPTIONS = None
RUN_TIMEOUT = 120
SLOWEST_ANSWER = 1  # seconds an answer may take to reach the cache
RELEASES = 4  # the first published before the players start, the others while they run
# What a run leaves in the game folder besides the release's files.
PATCHER_FILES = {"filelist.log", "latest.ver", "local.ver", "localRelease.log",
                 "localRelease.sig", "localfileStamps.log", "localfileStatus.log", "patch.sys",
                 "pserv.log", "remote.ver", "veldra.lock"}
IMMUTABLE = "public, max-age=31536000, immutable"


def digests(folder):
    """{path below the folder: MD5 hex} of its files, temp\\ left out."""
    return {name: hashlib.md5(read(path)).hexdigest()
            for name, path in files_below(folder).items() if not name.startswith("temp/")}


def write_release(folder, number):
    """Release `number`: most files change from one release to the next, every third stays,
    each adds a file and drops the one the release before added. Random bytes, so that the
    packages take the time to fetch that the files' sizes say."""
    for i in range(30):
        kept = i % 3 == 0
        content = random.Random(i * 1000 + (1 if kept else number)).randbytes(1000 + i * 1500)
        write(os.path.join(folder, f"level{i % 4}", f"file{i:02}.bin"), content)
    # Over 1 MiB: its package is kept in temp\\ as it arrives, and a cut run resumes it.
    write(os.path.join(folder, "data", "large.bin"), random.Random(number).randbytes(5 << 18))
    write(os.path.join(folder, "added", f"release{number}.dat"), f"only in {number}".encode())
    write(os.path.join(folder, "skin", "bg.bmp"), b"BM picture")
    write(os.path.join(folder, "veldra.exe"), b"MZ the patcher")


def get(port, path):
    """(status, Cache-Control, body) of a GET with the patcher's credentials."""
    request = urllib.request.Request(f"http://127.0.0.1:{port}/{path}")
    credentials = f"{nginx_server.USER}:{nginx_server.PASSWORD}".encode()
    request.add_header("Authorization", "Basic " + base64.b64encode(credentials).decode())
    opener = urllib.request.build_opener(urllib.request.ProxyHandler({}))
    try:
        with opener.open(request, timeout=10) as answer:
            return answer.status, answer.headers["Cache-Control"], answer.read()
    except urllib.error.HTTPError as error:
        return error.code, error.headers["Cache-Control"], b""


class Player:
    """Runs veldra-cli in its own game folder again and again until told to stop, and keeps,
    for each run, when it ran, how it ended and which release the folder then held. A "new"
    player starts each run in an empty folder, as one who installs the game; a "slow" one
    fetches one file at a time, so that its runs ask for packages all through a publish; a
    "cut" one has every other run killed at a random moment, leaving parts in temp\\ for the
    next."""

    def __init__(self, test, game, patch_sys, cli, releases, stop_after, kind):
        self.test, self.game, self.patch_sys, self.cli = test, game, patch_sys, cli
        self.releases, self.stop_after, self.kind = releases, stop_after, kind
        self.runs, self.error = [], None
        self.random = random.Random(game)
        new_game_folder(game, patch_sys)
        self.thread = threading.Thread(target=self.play)
        self.thread.start()

    def play(self):
        try:
            while True:
                if self.kind == "new":
                    new_game_folder(self.game, self.patch_sys)
                stop = self.stop_after[0]
                last = stop is not None and time.monotonic() >= stop
                if self.kind == "cut" and not last:
                    self.run(kill_after=self.random.uniform(0.0, 1.0))
                self.run()
                if last:
                    return
        except Exception as error:  # the test's thread reports it
            self.error = error

    def run(self, kill_after=None):
        """One run, kept unless it was killed before its end."""
        started = time.monotonic()
        words = ["--transfers", "1"] if self.kind == "slow" else []
        process = subprocess.Popen(self.test.command(self.cli) + words, cwd=self.game,
                                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                   stderr=subprocess.PIPE, text=True, errors="replace",
                                   env=clean_environment())
        try:
            _, stderr = process.communicate(timeout=kill_after or RUN_TIMEOUT)
        except subprocess.TimeoutExpired:
            process.kill()
            process.communicate()
            if kill_after:
                return
            raise
        held = self.held() if process.returncode == 0 else None
        self.runs.append((started, time.monotonic(), process.returncode, held, stderr[-1500:]))

    def held(self):
        """The number of the release the folder holds whole, or what differs from the nearest
        one: every file of that release as it has it, and nothing beside but the patcher's
        files and what earlier releases left (unlisted files stay the player's)."""
        present = digests(self.game)
        nearest = None
        for number, expected in enumerate(self.releases, 1):
            earlier = set().union(*self.releases[:number - 1])
            wrong = sorted(n for n, d in expected.items() if present.get(n) != d)
            wrong += sorted(set(present) - set(expected) - PATCHER_FILES - earlier)
            if not wrong:
                return number
            if nearest is None or len(wrong) < len(nearest[1]):
                nearest = (number, wrong)
        return f"a mix, nearest release {nearest[0]} but for {nearest[1][:6]}"


class HostingTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        if OPTIONS.wine:
            from patch_run_test import WineSession
            cls.addClassCleanup(WineSession().close)
        cls.scratch = tempfile.mkdtemp(prefix="veldra-hosting-")
        os.chmod(cls.scratch, 0o755)
        cls.root = os.path.join(cls.scratch, "www")
        os.makedirs(cls.root)
        # Slow enough that runs still fetch packages while the next release is written.
        cls.origin, cls.port = nginx_server.start(cls.root, os.path.join(cls.scratch, "origin"),
                                                  rate="1m")
        cls.key = os.path.join(cls.scratch, "release.key")
        shutil.copy(OPTIONS.key, cls.key)
        os.chmod(cls.key, 0o600)

    @classmethod
    def tearDownClass(cls):
        nginx_server.stop(cls.origin)
        shutil.rmtree(cls.scratch, ignore_errors=True)

    def command(self, cli):
        return ([shutil.which("wine"), cli] if OPTIONS.wine else [cli]) + ["--no"]

    def start_cache(self, name, keep=None):
        process, port = cache_proxy.start(self.port, os.path.join(self.scratch, name), keep)
        self.addCleanup(nginx_server.stop, process)
        return port

    def test_a_cache_keeps_the_chunk_store_and_asks_again_for_every_other_name(self):
        folder = os.path.join(self.root, "headers")
        chunk = "chunks/ab/ab" + "0" * 62
        index = "indexes/" + "0123456789abcdef" * 2
        cache = self.start_cache("headers-cache")
        cases = [  # name, Cache-Control served, content through the cache after a change
            (chunk, IMMUTABLE, b"first"),
            (index, IMMUTABLE, b"first"),
            ("_data_a_dat.ppk", "no-cache", b"second"),
            ("filelist.log", "no-cache", b"second"),
            ("release.sig", "no-cache", b"second"),
            # Not named by its content: a mistyped name in the store is never kept for good.
            ("chunks/ab/cd" + "0" * 62, "no-cache", b"second"),
            ("chunks/ab/AB" + "0" * 62, "no-cache", b"second"),
        ]
        for name, _, _ in cases:
            write(os.path.join(folder, name), b"first")
            self.assertEqual(get(cache, "headers/" + name)[2], b"first")
        for name, cache_control, later in cases:
            with self.subTest(name):
                write(os.path.join(folder, name), b"second")
                self.assertEqual(get(self.port, "headers/" + name)[:2], (200, cache_control))
                self.assertEqual(get(cache, "headers/" + name), (200, cache_control, later))
        with self.subTest("a name not there yet is not kept as missing"):
            missing = "chunks/cd/cd" + "1" * 62
            self.assertEqual(get(cache, "headers/" + missing)[:2], (404, "no-cache"))
            write(os.path.join(folder, missing), b"copied now")
            self.assertEqual(get(cache, "headers/" + missing)[0], 200)

    def test_players_racing_publishes_through_a_cache_end_done_only_with_whole_releases(self):
        cases = [  # what, seconds a cache keeps every answer whatever the origin says, signed
            ("a cache that does as the origin says", None, False),
            ("the same, signed releases", None, True),
            ("a cache that keeps every answer 2 s, signed releases", 2, True),
        ]
        for number, (what, keep, signed) in enumerate(cases):
            with self.subTest(what):
                self.race(f"race{number}", keep, signed)

    def race(self, name, keep, signed):
        cache = self.start_cache(name + "-cache", keep)
        work = os.path.join(self.scratch, name)
        patch_sys = os.path.join(work, "patch.sys")
        expected, published = [], []
        for number in range(1, RELEASES + 1):
            release = os.path.join(work, f"release{number}")
            write_release(release, number)
            # Each release says so in its patch.sys too: only a signed release binds it to
            # the lists, so only there must it match the files.
            write(patch_sys, game_folders.patch_sys(cache, name, skin_picture="skin\\bg.bmp") +
                  f"[Release]\r\nNumber={number}\r\n".encode())
            served = {"patch.sys": hashlib.md5(read(patch_sys)).hexdigest()} if signed else {}
            expected.append(digests(release) | served)
            published.append((release, read(patch_sys)))

        def publish(number):
            release, patch_sys_bytes = published[number - 1]
            write(patch_sys, patch_sys_bytes)
            started = time.monotonic()
            releases.publish(OPTIONS.publish, release, os.path.join(self.root, name),
                             [f"Live=127.0.0.1:{cache}"], patch_sys,
                             key=self.key if signed else None)
            return started, time.monotonic()

        publish(1)
        cli = OPTIONS.keyed_cli if signed else OPTIONS.cli
        stop_after = [None]
        # Under Wine a kill would end the starter, not the patcher.
        kinds = ["new", "kept", "slow"] + ([] if OPTIONS.wine else ["cut"])
        players = [Player(self, os.path.join(work, f"game-{p}-{kind}"), patch_sys, cli,
                          expected, stop_after, kind) for p, kind in enumerate(kinds)]
        publishes = []
        for number in range(2, RELEASES + 1):
            time.sleep(0.8)
            publishes.append(publish(number))
        # From here on every run must end done with the last release; a cache that keeps
        # answers whatever the origin says may hand out the one before until they expire,
        # counted from when an answer the origin began before reached the cache.
        stop_after[0] = time.monotonic() + (keep + SLOWEST_ANSWER if keep else 0)
        for player in players:
            player.thread.join()
            if player.error:
                raise player.error

        runs = [run for player in players for run in player.runs]
        raced = [run for run in runs
                 if any(run[0] < end and begin < run[1] for begin, end in publishes)]
        self.assertGreater(len(raced), len(players), "runs overlapped the publishes")
        for player in players:
            held = [run[3] for run in player.runs if run[2] == 0]
            self.assertEqual([h for h in held if not isinstance(h, int)], [],
                             f"{player.game}: a run ended done with a folder of no release")
            if player.kind != "new":
                self.assertEqual(held, sorted(held), f"{player.game}: a done run went back")
            last = [run for run in player.runs if run[0] >= stop_after[0]]
            self.assertEqual({(code, release) for _, _, code, release, _ in last}, {(0, RELEASES)},
                             [run[4] for run in last])
        failed = sum(1 for run in runs if run[2] != 0)
        print(f"\n{len(runs)} runs, {len(raced)} during a publish, {failed} failed",
              file=sys.stderr)


def main():
    global OPTIONS
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--cli", required=True)
    parser.add_argument("--keyed-cli", required=True)
    parser.add_argument("--key", required=True)
    parser.add_argument("--publish", required=True)
    parser.add_argument("--wine", action="store_true")
    OPTIONS = parser.parse_args()
    for name in ("cli", "keyed_cli", "publish"):
        setattr(OPTIONS, name, os.path.abspath(getattr(OPTIONS, name)))
    suite = unittest.defaultTestLoader.loadTestsFromTestCase(HostingTest)
    result = unittest.TextTestRunner(verbosity=2).run(suite)
    return 0 if result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main())
