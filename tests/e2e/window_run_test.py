#!/usr/bin/env python3
"""The patcher's window end to end, as a player meets it: the real veldra.exe under Wine,
started without words in a player's fresh folder (veldra.exe, patch.sys with a skin, the skin
pictures), patched from nginx with Basic authentication, driven from outside by veldra-remote
with the messages the player's clicks send. The game program is the recorder, which writes
the command line it got to recorded.txt.

  window_run_test.py --bin DIR --publish PATH [--artifacts DIR]

DIR holds the win64 build's veldra.exe, veldra-remote.exe and recorder.exe; PATH is the native
veldra-publish, beside which veldra-sample-skin draws the skin. Screenshots of the window go
to --artifacts. Needs $DISPLAY (xvfb-run) of at least the skin's 960 x 584.
"""
import argparse
import json
import os
import random
import shutil
import signal
import sys
import tempfile
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", ".."))
from testbed import fault_server, nginx_server, patcher_window, releases  # noqa: E402
from testbed.game_folders import ZONE, differences, player_folder  # noqa: E402
from testbed.patcher_window import BOX_TEXT, CLOSE, ITEM_TEXT, OK, QUIT, START, YES  # noqa: E402
from testbed.releases import read, write  # noqa: E402
from testbed.skins import player_patch_sys  # noqa: E402

OPTIONS = None
GAME_EXE = "game.exe"
WINDOW_SECONDS = 30  # for a window to show, or a run to end
STOP_SECONDS = 45  # a quit may wait 30 s for the worker
RATE = "1m"  # nginx's limit_rate (after a first second's worth) for the runs quit in the middle
BIG = 4 << 20  # a package of random bytes that lasts about 3 s at RATE

# What the install and the patcher leave in a game folder besides the release's files.
PATCHER_FILES = {"patch.sys", "zone.log", "pserv.log", "filelist.log", "remote.ver",
                 "latest.ver", "localfileStatus.log", "localfileStamps.log", "veldra.lock",
                 "_veldra.exe", "common/isp.log", "common/network.log", "recorded.txt"}


def arguments_of(command_line):
    """What follows the program's name, quoted or not, in a command line."""
    line = command_line.strip()
    if line.startswith('"'):
        return line[line.index('"', 1) + 1:].strip()
    return line.partition(" ")[2].strip()


class WindowRunTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        if not os.environ.get("DISPLAY"):
            raise unittest.SkipTest("no display: run under xvfb-run")
        cls.scratch = tempfile.mkdtemp(prefix="veldra-window-")
        os.chmod(cls.scratch, 0o755)
        cls.www = os.path.join(cls.scratch, "www")
        os.makedirs(cls.www)
        cls.nginx, cls.port = nginx_server.start(cls.www, os.path.join(cls.scratch, "nginx"))
        cls.slow_nginx, cls.slow_port = nginx_server.start(
            cls.www, os.path.join(cls.scratch, "slow-nginx"), rate=RATE)
        cls.remote = patcher_window.Remote(os.path.join(OPTIONS.bin, "veldra-remote.exe"))
        cls.patcher = read(os.path.join(OPTIONS.bin, "veldra.exe"))

    @classmethod
    def tearDownClass(cls):
        nginx_server.stop(cls.nginx)
        nginx_server.stop(cls.slow_nginx)
        shutil.rmtree(cls.scratch, ignore_errors=True)

    def setUp(self):
        self.access_logs = {}

    def end_what_is_left(self, game):
        """A failed case must not leave its window for the next one to find."""
        for pid, _ in patcher_window.processes_in(game):
            try:
                os.kill(pid, signal.SIGKILL)
            except OSError:
                pass

    # The release, the server and the player's folder --------------------------------------

    def serve_release(self, name, throttled=False, latest="1.0", patcher=None, big=0):
        """A release with the skin, the recorder as the game and a few files, published to
        www/name; returns the release folder."""
        release = os.path.join(self.scratch, name, "release")
        port = self.slow_port if throttled else self.port
        self.access_logs[name] = os.path.join(self.scratch, "slow-nginx" if throttled else "nginx",
                                              "access.log")
        generator = random.Random(name)
        write(os.path.join(release, "veldra.exe"), patcher or self.patcher)
        write(os.path.join(release, GAME_EXE), read(os.path.join(OPTIONS.bin, "recorder.exe")))
        for i in range(12):
            write(os.path.join(release, "data", f"level{i % 3}", f"file{i:02}.bin"),
                  generator.randbytes(generator.randrange(0, 5000)))
        write(os.path.join(release, "data", "empty.dat"), b"")
        if big:
            write(os.path.join(release, "data", "big.bin"), os.urandom(big))
        patch_sys = os.path.join(self.scratch, name, "patch.sys")
        write(patch_sys, player_patch_sys(OPTIONS.skin, release, port, name, GAME_EXE))
        releases.publish(OPTIONS.publish, release, os.path.join(self.www, name),
                         [f"{ZONE}=127.0.0.1:{port}"], patch_sys, latest=latest, level=1)
        return release

    def fresh_folder(self, release, name, patcher=None):
        """A player's new folder: veldra.exe, patch.sys, the skin pictures and zone.log."""
        game = os.path.join(self.scratch, name)
        player_folder(game, release, os.path.join(os.path.dirname(release), "patch.sys"),
                      patcher)
        self.addCleanup(self.end_what_is_left, game)
        return game

    def requests(self, server):
        return nginx_server.AccessLog(self.access_logs[server], server)

    # Driving the window ----------------------------------------------------------------------

    def open_window(self, game, *words):
        self.assertFalse(self.remote.shown(), "a patcher window is already shown")
        launcher = patcher_window.start_patcher(game, *words)
        pid = self.remote.wait(WINDOW_SECONDS)
        self.assertEqual(launcher.wait(WINDOW_SECONDS), 0, "the launcher ends once it started")
        return pid

    def assert_all_ended(self, game):
        running = patcher_window.wait_until_ended(game, STOP_SECONDS)
        self.assertEqual(running, [], "processes of the game folder still run")
        self.assertFalse(self.remote.shown(), "a patcher window is still shown")

    def finish_run(self, game):
        """Waits for the window to close itself with the game started; checks the start."""
        recorded = os.path.join(game, "recorded.txt")
        deadline = time.monotonic() + WINDOW_SECONDS
        while not os.path.exists(recorded) and time.monotonic() < deadline:
            time.sleep(0.2)
        self.assertTrue(os.path.exists(recorded),
                        f"the game was not started; box on the screen: {self.remote.box_text()!r}")
        command_line = read(recorded).decode("latin-1")
        self.assertTrue(command_line.strip().strip('"').lower().endswith(GAME_EXE), command_line)
        self.assertEqual(arguments_of(command_line), "", "the game gets no arguments")
        self.assert_all_ended(game)

    def assert_folder_is_release(self, game, release):
        self.assertEqual(differences(release, game, PATCHER_FILES), [])

    def artifact(self, name):
        os.makedirs(OPTIONS.artifacts, exist_ok=True)
        return os.path.join(OPTIONS.artifacts, name)

    def wait_for_download(self, game, name, moving, size):
        """Waits until a part of the package, not all of it, is in temp\\ and the window names
        one of the files still `moving` (the one taken up last)."""
        staged = os.path.join(game, "temp", name + ".part")
        deadline = time.monotonic() + WINDOW_SECONDS
        seen = []
        while time.monotonic() < deadline:
            part = os.path.getsize(staged) if os.path.exists(staged) else 0
            if 0 < part < size * 3 // 4:
                seen.append(self.remote.text(ITEM_TEXT))
                if seen[-1] in moving:
                    return
            time.sleep(0.05)
        self.fail(f"no download of {name} shown among {moving}: the item read {seen}")

    # The cases -------------------------------------------------------------------------------

    def test_a_fresh_folder_is_patched_and_the_game_started_without_arguments(self):
        release = self.serve_release("fresh")
        game = self.fresh_folder(release, "fresh-game")
        log = self.requests("fresh")
        self.open_window(game)
        self.remote.shot(self.artifact("window-fresh.png"))
        self.assertEqual(read(os.path.join(game, "_veldra.exe")), self.patcher)
        self.remote.command(START)
        self.finish_run(game)
        self.assert_folder_is_release(game, release)
        fetched = [name for name, status, _ in log.new_requests() if status == 200]
        self.assertNotIn("veldra.exe", fetched, "the patcher is current")
        self.assertFalse([n for n in fetched if n.startswith("_skin_")], "the skin is current")
        self.assertIn("_game_exe.ppk", fetched)

    def test_a_new_patcher_relaunches_the_window_which_finishes_the_run(self):
        newer = self.patcher + b"\0second build of the patcher"
        release = self.serve_release("update", patcher=newer)
        game = self.fresh_folder(release, "update-game", patcher=self.patcher)
        log = self.requests("update")
        first = self.open_window(game)
        self.remote.command(START)
        self.remote.new_window(first, WINDOW_SECONDS)
        self.assertEqual(read(os.path.join(game, "veldra.exe")), newer)
        self.assertEqual(read(os.path.join(game, "_veldra.exe")), newer, "the new build runs")
        before_start = log.new_requests()
        self.assertEqual([n for n, s, _ in before_start if s == 200].count("veldra.exe"), 1)
        # With a complete skin the relaunched window waits for the player, as at a first start.
        time.sleep(1.5)
        self.assertEqual([n for n, s, _ in log.new_requests() if s != 401], [],
                         "the relaunched window started by itself")
        self.remote.command(START)
        self.finish_run(game)
        self.assert_folder_is_release(game, release)
        fetched = [name for name, status, _ in log.new_requests() if status == 200]
        self.assertNotIn("veldra.exe", fetched)
        self.assertIn("_game_exe.ppk", fetched)

    def test_a_captive_portal_asks_the_player_to_sign_in_and_changes_nothing(self):
        """A network that answers every request with its sign-in page: the window says so
        beside its boxes and ends without starting the game, patch.sys stays as it was, and
        once signed in the next run completes the folder."""
        release = self.serve_release("portal")
        rules = os.path.join(self.scratch, "portal-rules.json")
        write(rules, json.dumps({"*": {"portal": True}}).encode())
        portal = fault_server.start_for(self, self.www, rules)
        # The player's patch.sys names the portal; the release already has the pictures.
        write(os.path.join(self.scratch, "portal", "patch.sys"),
              player_patch_sys(OPTIONS.skin, os.path.join(self.scratch, "portal-skin"), portal,
                               "portal", GAME_EXE))
        game = self.fresh_folder(release, "portal-game")
        installed = read(os.path.join(game, "patch.sys"))
        self.open_window(game)
        self.remote.command(START)
        self.remote.wait(WINDOW_SECONDS, title="Error Downloading File")
        deadline = time.monotonic() + 5  # the window's poll shows it within 500 ms
        reason = self.remote.text(ITEM_TEXT)
        while "network" not in reason and time.monotonic() < deadline:
            time.sleep(0.2)
            reason = self.remote.text(ITEM_TEXT)
        self.assertIn("patch.sys: the network answered with a web page", reason)
        self.assertIn("sign in to the network and try again", reason)
        self.remote.shot(self.artifact("window-portal.png"))
        self.remote.command(OK, title="Error Downloading File")
        self.remote.wait(WINDOW_SECONDS, title="Error")
        self.assertIn("Error connecting patch server", self.remote.box_text())
        self.remote.command(OK, title="Error")
        # The run's last word, in the running copy's own box.
        self.remote.wait(WINDOW_SECONDS, title="_veldra")
        self.assertIn("Sign in to the network", self.remote.text(BOX_TEXT, title="_veldra"))
        self.remote.shot(self.artifact("window-portal-sign-in.png"), title="_veldra")
        self.remote.command(OK, title="_veldra")
        self.assert_all_ended(game)
        self.assertEqual(read(os.path.join(game, "patch.sys")), installed)
        self.assertFalse(os.path.exists(os.path.join(game, "recorded.txt")), "a game started")

        write(rules, b"{}")  # signed in: the server answers
        self.open_window(game)
        self.remote.command(START)
        self.finish_run(game)
        self.assert_folder_is_release(game, release)

    def test_quit_and_close_end_the_window_before_during_and_after_a_run(self):
        served = {"before": self.serve_release("plain"),
                  "during": self.serve_release("throttled", throttled=True, big=BIG),
                  "after": self.serve_release("offered", latest="2.0")}
        for moment, control in [("before", QUIT), ("before", CLOSE), ("during", QUIT),
                                ("during", CLOSE), ("after", QUIT), ("after", CLOSE)]:
            with self.subTest(moment=moment, control=control):
                release = served[moment]
                game = self.fresh_folder(release, f"{moment}-{control}")
                try:
                    self.quit_at(moment, control, release, game)
                finally:
                    self.end_what_is_left(game)

    def quit_at(self, moment, control, release, game):
        log = self.requests(os.path.basename(os.path.dirname(release)))
        log.skip()
        self.open_window(game)
        getattr(self, f"run_until_{moment}")(game)
        self.remote.quit_latency(control, STOP_SECONDS)
        self.assert_all_ended(game)
        fetched = [n for n, s, _ in log.new_requests() if s == 200]
        if moment == "before":
            self.assertEqual(fetched, [], "nothing is fetched before Start")
        elif moment == "after":
            self.assertFalse([n for n in fetched if n.endswith(".ppk")], fetched)
        else:
            partial = os.path.join(game, "data", "big.bin")
            if os.path.exists(partial):
                self.assertEqual(read(partial), read(os.path.join(release, "data", "big.bin")),
                                 "a download cut by the quit is not installed")
        if moment == "during" and control == QUIT:  # the next run completes what was cut
            part = os.path.join(game, "temp", "_data_big_bin.ppk.part")
            kept = os.path.getsize(part) if os.path.exists(part) else 0
            self.open_window(game)
            self.remote.command(START)
            self.finish_run(game)
            self.assert_folder_is_release(game, release)
            rest = [(n, s, size) for n, s, size in log.new_requests()
                    if n == "_data_big_bin.ppk" and s != 401]
            package = os.path.join(self.www, "throttled", "_data_big_bin.ppk")
            self.assertGreater(kept, 0, "what arrived before the quit is kept")
            self.assertEqual(rest, [("_data_big_bin.ppk", 206, os.path.getsize(package) - kept)],
                             "only the rest is asked for")

    def run_until_before(self, game):
        pass

    def run_until_during(self, game):
        self.remote.command(START)
        self.wait_for_download(game, "_data_big_bin.ppk", ("data\\big.bin", GAME_EXE), BIG)
        self.remote.shot(self.artifact("window-downloading.png"))

    def run_until_after(self, game):
        """The server offers a newer full version; the player takes the download page, which
        ends the worker and leaves the window open."""
        self.remote.command(START)
        self.remote.wait(WINDOW_SECONDS, title="Error")
        self.assertIn("new version", self.remote.box_text())
        self.remote.command(YES, title="Error")
        deadline = time.monotonic() + WINDOW_SECONDS
        while self.remote.shown("Error") and time.monotonic() < deadline:
            time.sleep(0.2)
        self.assertFalse(self.remote.shown("Error"))
        self.assertTrue(self.remote.shown(), "the window stays open after the worker ended")


def main():
    global OPTIONS
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--bin", required=True)
    parser.add_argument("--publish", required=True)
    parser.add_argument("--artifacts", default=os.path.join(HERE, "..", "..", "build", "win64",
                                                            "artifacts"))
    OPTIONS, rest = parser.parse_known_args()
    OPTIONS.bin = os.path.abspath(OPTIONS.bin)
    OPTIONS.publish = os.path.abspath(OPTIONS.publish)
    OPTIONS.skin = os.path.join(os.path.dirname(OPTIONS.publish), "veldra-sample-skin")
    OPTIONS.artifacts = os.path.abspath(OPTIONS.artifacts)
    unittest.main(argv=[sys.argv[0], "-v", *rest])


if __name__ == "__main__":
    main()
