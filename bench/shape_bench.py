#!/usr/bin/env python3
"""The window shape of a full-HD skin, under Wine in a virtual display.

Runs veldra-shape-bench.exe (./dev build makes it), which times UpdateWindowShape against the
pixel-by-pixel construction on a 1920 x 1080 background with a ragged outline and checks that
both give the same region. Goal: under 30 ms, and at least 20 times faster.

  bench/shape_bench.py

Exit status 1 when the program failed or the regions differ; the goal's result is only printed.
"""
import os
import re
import subprocess
import sys

REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
PROGRAM = os.path.join(REPO, "build", "win64", "bin", "veldra-shape-bench.exe")
GOAL_MS = 30
GOAL_SPEEDUP = 20


def main():
    if not os.path.isfile(PROGRAM):
        sys.exit(f"shape_bench: {PROGRAM} is missing; run ./dev build first")
    env = dict(os.environ, WINEPREFIX=os.path.join(REPO, "build", "wine-prefix"),
               WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=")
    run = subprocess.run(["xvfb-run", "-a", "-s", "-screen 0 1920x1080x24", "wine", PROGRAM],
                         env=env, capture_output=True, text=True, timeout=600)
    print(run.stdout, end="")
    if run.returncode != 0:
        print(run.stderr, end="", file=sys.stderr)
        return 1
    fast = float(re.search(r"UpdateWindowShape.*: ([\d.]+) ms", run.stdout).group(1))
    speedup = float(re.search(r"speed-up: ([\d.]+) x", run.stdout).group(1))
    met = fast < GOAL_MS and speedup >= GOAL_SPEEDUP
    print(f"goal (under {GOAL_MS} ms, at least {GOAL_SPEEDUP} x): {'met' if met else 'NOT met'}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
