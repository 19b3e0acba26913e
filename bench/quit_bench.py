#!/usr/bin/env python3
"""Quit during a download: how long the patcher's window takes to end after the player
presses Quit in the middle of a large package. Goal: under 1 s.

In one scratch folder under /tmp, removed at the end:
  a release of one package of N MiB (default 1024) of random bytes, the real veldra.exe and a
  small skin, published by veldra-publish (gzip level 1) to nginx with Basic authentication,
  optionally throttled (--rate, nginx's limit_rate);
  for each run, a player's fresh folder (veldra.exe, patch.sys, the skin) where the real
  window, under Wine in a virtual display, is sent Start; once half the package has arrived
  in temp\\, veldra-remote quit-latency posts Quit (1003) and measures the milliseconds until
  the window's process has ended.
Prints each run's figure and the median; the goal's result is only printed.

  bench/quit_bench.py [--size-mib N] [--runs N] [--rate RATE] [--win-bin DIR] [--tool-dir DIR]

Needs the win64 build (veldra.exe, veldra-remote.exe) and the native veldra-publish; builds
nothing. Exit status 1 when a step failed.
"""
import argparse
import os
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time

REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, REPO)
from testbed import nginx_server, patcher_window, tiny_skin  # noqa: E402

GOAL_MS = 1000
QUIT_SECONDS = 60
WINDOW_SECONDS = 60
CHUNK = 1 << 20
PACKAGE = "_data_big_bin.ppk"
DISPLAY_MARK = "VELDRA_QUIT_BENCH_DISPLAY"


class BenchError(Exception):
    pass


def write(path, content):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(content)


def make_release(release, size_mib, patcher):
    write(os.path.join(release, "veldra.exe"), patcher)
    tiny_skin.write(release)
    path = os.path.join(release, "data", "big.bin")
    os.makedirs(os.path.dirname(path))
    with open(path, "wb") as f:
        for _ in range(size_mib):
            f.write(os.urandom(CHUNK))


def publish(options, release, server, patch_sys, port):
    subprocess.run([os.path.join(options.tool_dir, "veldra-publish"), "--exe",
                    os.path.join(release, "veldra.exe"), "--server", f"Live=127.0.0.1:{port}",
                    "--required", "1.0", "--latest", "1.0", "--patch-sys", patch_sys,
                    "--level", "1", release, server], check=True, stdout=subprocess.DEVNULL)


def half_way(game, size):
    """Waits until half the package is in temp\\; returns the share that had arrived."""
    staged = os.path.join(game, "temp", PACKAGE)
    deadline = time.monotonic() + WINDOW_SECONDS
    while time.monotonic() < deadline:
        arrived = os.path.getsize(staged) if os.path.exists(staged) else 0
        if arrived >= size // 2:
            return arrived / size
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
    patcher = os.path.join(options.win_bin, "veldra.exe")
    remote = os.path.join(options.win_bin, "veldra-remote.exe")
    publisher = os.path.join(options.tool_dir, "veldra-publish")
    for path in (patcher, remote, publisher):
        if not os.path.isfile(path):
            raise BenchError(f"{path} is missing; run ./dev build first")
    www = os.path.join(scratch, "www")
    os.makedirs(www)
    nginx, port = nginx_server.start(www, os.path.join(scratch, "nginx"), rate=options.rate)
    try:
        release = os.path.join(scratch, "release")
        patch_sys = os.path.join(scratch, "patch.sys")
        print(f"writing {options.size_mib} MiB of random bytes", flush=True)
        with open(patcher, "rb") as f:
            make_release(release, options.size_mib, f.read())
        write(patch_sys, patcher_window.patch_sys(port, "big", "game.exe"))
        print("publishing them (gzip level 1)", flush=True)
        publish(options, release, os.path.join(www, "big"), patch_sys, port)
        size = os.path.getsize(os.path.join(www, "big", PACKAGE))
        figures = []
        for run in range(1, options.runs + 1):
            game = os.path.join(scratch, f"game{run}")
            patcher_window.player_folder(game, release, patch_sys)
            try:
                latency, share = one_run(patcher_window.Remote(remote), game, size)
            finally:
                for pid, _ in patcher_window.processes_in(game):
                    os.kill(pid, signal.SIGKILL)
            print(f"run {run}: Quit at {share:.0%} of {size} bytes, ended after {latency} ms",
                  flush=True)
            figures.append(latency)
            shutil.rmtree(game)
    finally:
        nginx_server.stop(nginx)
    median = statistics.median(figures)
    rate = f", nginx limit_rate {options.rate}" if options.rate else ""
    print()
    print(f"quit latency, {options.runs} runs{rate}: median {median:.0f} ms, "
          f"fastest {min(figures)} ms, slowest {max(figures)} ms")
    print(f"goal (under {GOAL_MS} ms): {'met' if median < GOAL_MS else 'NOT met'}")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--size-mib", type=int, default=1024, help="size of the package's file")
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--rate", help="nginx's limit_rate per connection, e.g. 100m")
    parser.add_argument("--win-bin", default=os.path.join(REPO, "build", "win64", "bin"),
                        help="where veldra.exe and veldra-remote.exe are")
    parser.add_argument("--tool-dir", default=os.path.join(REPO, "build", "native", "bin"),
                        help="where veldra-publish is")
    options = parser.parse_args()
    if options.size_mib < 1 or options.runs < 1:
        parser.error("--size-mib and --runs must be at least 1")
    options.win_bin = os.path.abspath(options.win_bin)
    options.tool_dir = os.path.abspath(options.tool_dir)
    # Its own full-HD virtual display, so the skin is whole and no one's screen is used.
    if os.environ.get(DISPLAY_MARK) != "1":
        os.environ[DISPLAY_MARK] = "1"
        os.execvp("xvfb-run", ["xvfb-run", "-a", "-s", "-screen 0 1920x1080x24", sys.executable,
                               os.path.abspath(__file__), *sys.argv[1:]])
    for signum in (signal.SIGTERM, signal.SIGHUP):
        signal.signal(signum, signal.default_int_handler)
    scratch = tempfile.mkdtemp(prefix="veldra-quit-bench-", dir="/tmp")
    try:
        os.chmod(scratch, 0o755)  # nginx's workers read the root
        run_bench(options, scratch)
    except KeyboardInterrupt:
        print("quit_bench: interrupted", file=sys.stderr)
        return 1
    except (BenchError, patcher_window.WindowError, subprocess.SubprocessError, RuntimeError,
            OSError) as error:
        print(f"quit_bench: {error}", file=sys.stderr)
        return 1
    finally:
        shutil.rmtree(scratch, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
