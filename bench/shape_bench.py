#!/usr/bin/env python3
"""The window shape of a full-HD skin, under Wine in a virtual display.

Runs veldra-shape-bench.exe (./dev build makes it), which times UpdateWindowShape against the
pixel-by-pixel construction on a 1920 x 1080 background with a ragged outline and checks that
both give the same region. Goal: under 30 ms, and at least 20 times faster.

  bench/shape_bench.py [--win-bin DIR]

Exit status 1 when the program failed or the regions differ; the goal's result is only printed.
"""
import os
import re
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
from testbed import bench_harness as harness, patcher_window  # noqa: E402

GOAL_MS = 30
GOAL_SPEEDUP = 20


def main():
    parser = harness.arguments(__doc__, None, win_bin="where veldra-shape-bench.exe is",
                               scratch=False)
    program = os.path.join(harness.parse(parser).win_bin, "veldra-shape-bench.exe")
    if not os.path.isfile(program):
        sys.exit(f"shape_bench: {program} is missing; run ./dev build first")
    run = subprocess.run(["xvfb-run", "-a", "-s", "-screen 0 1920x1080x24", "wine", program],
                         env=patcher_window.environment(), capture_output=True, text=True,
                         timeout=600)
    print(run.stdout, end="")
    if run.returncode != 0:
        print(run.stderr, end="", file=sys.stderr)
        return 1
    fast = re.search(r"UpdateWindowShape.*: ([\d.]+) ms", run.stdout)
    speedup = re.search(r"speed-up: ([\d.]+) x", run.stdout)
    if not fast or not speedup:
        sys.exit("shape_bench: the program printed no time or no speed-up")
    met = float(fast.group(1)) < GOAL_MS and float(speedup.group(1)) >= GOAL_SPEEDUP
    print(f"goal (under {GOAL_MS} ms, at least {GOAL_SPEEDUP} x): {'met' if met else 'NOT met'}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
