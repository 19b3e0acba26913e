#!/usr/bin/env python3
"""./dev demo: a sample release published to a local nginx and patched from it.

  tools/demo/demo.py [--bin DIR] [--win-bin DIR]   the window: the real veldra.exe under Wine
  tools/demo/demo.py --cli [--bin DIR]             the console: veldra-cli, twice

The window demo (window_demo.py) runs on $DISPLAY, or without one on a virtual display of its
own (xvfb-run); it leaves screenshots in build/demo. The console demo is cli_demo.py. Exit
status 1 when a step failed or a check did not hold.
"""
import argparse
import os
import signal
import subprocess
import sys
import time

import cli_demo
import window_demo
from sample_release import DemoError

REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
# Set in the demo's own virtual display, where no player can see the window.
VIRTUAL_DISPLAY = "VELDRA_DEMO_VIRTUAL_DISPLAY"


def on_virtual_display():
    """Runs this demo again in a full-HD virtual display of its own; does not return."""
    command = ["xvfb-run", "-a", "-s", "-screen 0 1920x1080x24", sys.executable,
               os.path.abspath(__file__), *sys.argv[1:]]
    os.environ[VIRTUAL_DISPLAY] = "1"
    os.execvp(command[0], command)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--cli", action="store_true", help="the console demo with veldra-cli")
    parser.add_argument("--bin", default=os.path.join(REPO, "build", "native", "bin"),
                        help="where the native veldra-publish, veldra-sample-skin and "
                             "veldra-cli-demo are")
    parser.add_argument("--win-bin", default=os.path.join(REPO, "build", "win64", "bin"),
                        help="where veldra-demo.exe, veldra-remote.exe and sample-game.exe are")
    options = parser.parse_args()
    sys.stdout.reconfigure(line_buffering=True)  # in step with the errors on stderr
    # A terminal's SIGTERM or SIGHUP ends the demo as Ctrl-C does, through the cleanup.
    for signum in (signal.SIGTERM, signal.SIGHUP):
        signal.signal(signum, signal.default_int_handler)
    started = time.monotonic()
    try:
        if not options.cli and not os.environ.get("DISPLAY") and VIRTUAL_DISPLAY not in os.environ:
            on_virtual_display()
        if options.cli:
            failures = cli_demo.run_cli_demo(options.bin)
        else:
            watched = os.environ.get(VIRTUAL_DISPLAY) != "1"
            failures = window_demo.run_window_demo(options.bin, options.win_bin, watched)
    except KeyboardInterrupt:
        print("demo: interrupted", file=sys.stderr)
        return 1
    except (DemoError, RuntimeError, OSError, subprocess.SubprocessError) as error:
        print(f"demo: {error}", file=sys.stderr)
        return 1
    print(f"\ndemo took {time.monotonic() - started:.1f} s")
    if failures:
        print("demo: FAILED", file=sys.stderr)
        for failure in failures:
            print(f"  {failure}", file=sys.stderr)
        return 1
    print("demo: OK")
    return 0


if __name__ == "__main__":
    sys.exit(main())
