#!/usr/bin/env python3
"""First runs as a player meets them: veldra-cli through link_relay (a round trip and one
shared bandwidth) to nginx, timed by hyperfine beside the link's floor.

  bench/link_bench.py [--cli NAME=PATH ...] [--size-mib 40] [--files 200] [--rtt-ms 100]
                      [--rate-mbit 20] [--runs 3] [--tool-dir DIR]
                      [--keep]

Each --cli is a veldra-cli to time (for example the build before a change against the one
after it); without one, the build's own. The release (mixed random bytes and text, as
e2e_bench.py makes it) is published by veldra-publish from --tool-dir; each run starts in a
fresh game folder holding patch.sys, local.ver and the release's veldra.exe, so no run
relaunches itself. The floor is what the link alone costs: the bytes the run fetched at the
link's rate, plus one round trip. Every game folder is checked against the release.
"""
import os
import random
import sys

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
from testbed import bench_harness as harness, link_relay, patch_runs, releases  # noqa: E402

SERVER = "link"
SEED = 20261209


def served_bytes(server):
    """What a first run fetches: every file of the server folder but veldra.exe."""
    return sum(os.path.getsize(os.path.join(server, name)) for name in os.listdir(server)
               if name != "veldra.exe")


def run_benchmarks(options, scratch):
    harness.require_programs("hyperfine")
    clis = dict(entry.split("=", 1) for entry in options.cli) or {
        "veldra-cli": os.path.join(options.tool_dir, "veldra-cli")}
    release = os.path.join(scratch, "release")
    print(f"writing a release of {options.files} files, {options.size_mib} MiB", flush=True)
    expected = releases.make_big_release(release, options.files, options.size_mib << 20,
                                         random.Random(SEED))
    with harness.nginx(scratch) as served:
        relay = link_relay.Relay(served.port, options.rtt_ms / 1000,
                                 options.rate_mbit * 1e6 / 8)
        try:
            relay_port = relay.start()
            patch_sys, _ = patch_runs.publish_to(options, scratch, served.www, SERVER, release,
                                                 relay_port)
            print(f"timing first runs through {options.rtt_ms:g} ms and {options.rate_mbit:g} "
                  "Mbit/s (hyperfine)", flush=True)
            medians, _ = patch_runs.time_first_runs(
                scratch, {name: (cli, patch_sys) for name, cli in clis.items()}, expected,
                options.runs, patcher=os.path.join(release, "veldra.exe"))
            fetched = served_bytes(os.path.join(served.www, SERVER))
        finally:
            relay.stop()
    floor = fetched * 8 / (options.rate_mbit * 1e6) + options.rtt_ms / 1000
    print(f"medians of {options.runs} first runs, {fetched / 1e6:.1f} MB fetched in "
          f"{options.files} files")
    print(f"  the link's floor  {floor:7.2f} s")
    for name, median in medians.items():
        print(f"  {name:16} {median:7.2f} s   {median / floor:.2f} times the floor")


def main():
    parser = harness.arguments(__doc__, size_mib=40, files=200, runs=3, level=9)
    parser.add_argument("--cli", action="append", default=[], help="NAME=PATH of a veldra-cli")
    parser.add_argument("--rtt-ms", type=float, default=100)
    parser.add_argument("--rate-mbit", type=float, default=20)
    options = harness.parse(parser, size_mib=1, files=1, runs=1)
    if any("=" not in entry for entry in options.cli):
        parser.error("--cli takes NAME=PATH")
    return harness.run("link_bench", run_benchmarks, options)


if __name__ == "__main__":
    sys.exit(main())
