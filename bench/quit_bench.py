#!/usr/bin/env python3
"""Quit during a download: how long the patcher's window takes to end after the player
presses Quit in the middle of a large package. Goal: under 1 s.

In one scratch folder under /tmp, removed at the end:
  a release of one package of N MiB (default 1024) of random bytes, the real veldra.exe and
  the sample skin (veldra-sample-skin), published by veldra-publish (gzip level 1) to nginx
  with Basic authentication, optionally throttled (--rate, nginx's limit_rate);
  for each run, a player's fresh folder (veldra.exe, patch.sys, the skin, zone.log) where
  the real window, under Wine in a virtual display, is sent Start; once half the package has
  arrived in temp\\, veldra-remote quit-latency posts Quit (1003) and measures the
  milliseconds until the window's process has ended.
Prints each run's figure and the median; the goal's result is only printed.

  bench/quit_bench.py [--size-mib N] [--runs N] [--rate RATE] [--win-bin DIR] [--tool-dir DIR]
                     [--keep]

Needs the win64 build (veldra.exe, veldra-remote.exe) and the native veldra-publish and
veldra-sample-skin; builds nothing. Exit status 1 when a step failed.
"""
import os
import shutil
import signal
import statistics
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
from testbed import bench_harness as harness, game_folders, patcher_window  # noqa: E402
from testbed import releases  # noqa: E402
from testbed.bench_harness import BenchError  # noqa: E402
from testbed.skins import player_patch_sys  # noqa: E402

GOAL_MS = 1000
QUIT_SECONDS = 60
WINDOW_SECONDS = 60
CHUNK = 1 << 20
SERVER = "big"
FILE = "data/big.bin"
PACKAGE = releases.package_name(FILE)
DISPLAY_MARK = "VELDRA_QUIT_BENCH_DISPLAY"


def make_release(release, size_mib, patcher):
    shutil.copy(patcher, os.path.join(release, "veldra.exe"))
    path = os.path.join(release, *FILE.split("/"))
    os.makedirs(os.path.dirname(path))
    with open(path, "wb") as f:
        for _ in range(size_mib):
            f.write(os.urandom(CHUNK))


def arrived(game):
    """Bytes of the package in temp\\: its body grows as NAME.part and takes the package's
    name once whole."""
    for name in (PACKAGE + ".part", PACKAGE):
        try:
            return os.path.getsize(os.path.join(game, "temp", name))
        except FileNotFoundError:
            pass  # not there, or moved meanwhile
    return 0


def half_way(game, size):
    """Waits until half the package is in temp\\; returns the share that had arrived."""
    deadline = time.monotonic() + WINDOW_SECONDS
    while time.monotonic() < deadline:
        if (have := arrived(game)) >= size // 2:
            return have / size
        time.sleep(0.01)
    raise BenchError(f"{PACKAGE} did not reach half its size within {WINDOW_SECONDS} s")


def one_run(remote, game, size):
    """(milliseconds from Quit to the end of the process, share downloaded at Quit)."""
    launcher = patcher_window.start_patcher(game)
    remote.wait(WINDOW_SECONDS)
    launcher.wait(WINDOW_SECONDS)
    remote.command(patcher_window.START)
    share = half_way(game, size)
    latency = remote.quit_latency(patcher_window.QUIT, QUIT_SECONDS)
    if patcher_window.wait_until_ended(game, QUIT_SECONDS):
        raise BenchError("processes of the game folder still run after the quit")
    return latency, share


def run_bench(options, scratch):
    patcher, remote = harness.tool_paths(options.win_bin, ["veldra.exe", "veldra-remote.exe"])
    publisher, skin_tool = harness.tool_paths(options.tool_dir,
                                              ["veldra-publish", "veldra-sample-skin"])
    with harness.nginx(scratch, rate=options.rate) as served:
        release = os.path.join(scratch, "release")
        os.makedirs(release)
        patch_sys = os.path.join(scratch, "patch.sys")
        print(f"writing {options.size_mib} MiB of random bytes", flush=True)
        make_release(release, options.size_mib, patcher)
        with open(patch_sys, "wb") as f:
            f.write(player_patch_sys(skin_tool, release, served.port, SERVER, "game.exe"))
        print("publishing them (gzip level 1)", flush=True)
        releases.publish(publisher, release, os.path.join(served.www, SERVER),
                         [f"{game_folders.ZONE}=127.0.0.1:{served.port}"], patch_sys, level=1)
        size = os.path.getsize(os.path.join(served.www, SERVER, PACKAGE))
        figures = []
        for run in range(1, options.runs + 1):
            game = os.path.join(scratch, f"game{run}")
            game_folders.player_folder(game, release, patch_sys)
            try:
                latency, share = one_run(patcher_window.Remote(remote), game, size)
            finally:
                for pid, _ in patcher_window.processes_in(game):
                    os.kill(pid, signal.SIGKILL)
            print(f"run {run}: Quit at {share:.0%} of {size} bytes, ended after {latency} ms",
                  flush=True)
            figures.append(latency)
            shutil.rmtree(game)
    median = statistics.median(figures)
    rate = f", nginx limit_rate {options.rate}" if options.rate else ""
    print()
    print(f"quit latency, {options.runs} runs{rate}: median {median:.0f} ms, "
          f"fastest {min(figures)} ms, slowest {max(figures)} ms")
    print(f"goal (under {GOAL_MS} ms): {'met' if median < GOAL_MS else 'NOT met'}")


def main():
    parser = harness.arguments(__doc__, "where veldra-publish and veldra-sample-skin are",
                               win_bin="where veldra.exe and veldra-remote.exe are",
                               size_mib=1024, runs=5)
    parser.add_argument("--rate", help="nginx's limit_rate per connection, e.g. 100m")
    options = harness.parse(parser, size_mib=1, runs=1)
    # Its own full-HD virtual display, so the skin is whole and no one's screen is used.
    if os.environ.get(DISPLAY_MARK) != "1":
        os.environ[DISPLAY_MARK] = "1"
        os.execvp("xvfb-run", ["xvfb-run", "-a", "-s", "-screen 0 1920x1080x24", sys.executable,
                               os.path.abspath(__file__), *sys.argv[1:]])
    return harness.run("quit_bench", run_bench, options,
                       (patcher_window.WindowError, subprocess.SubprocessError, RuntimeError))


if __name__ == "__main__":
    sys.exit(main())
