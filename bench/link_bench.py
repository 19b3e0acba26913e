#!/usr/bin/env python3
"""First runs as a player meets them: veldra-cli through link_relay (a round trip and one
shared bandwidth) to nginx, timed by hyperfine beside the link's floor.

  bench/link_bench.py [--cli NAME=PATH ...] [--size-mib 40] [--files 200] [--rtt-ms 100]
                      [--rate-mbit 20] [--runs 3] [--tool-dir DIR]

Each --cli is a veldra-cli to time (for example the build before a change against the one
after it); without one, the build's own. The release (mixed random bytes and text, as
e2e_bench.py makes it) is published by veldra-publish from --tool-dir; each run starts in a
fresh game folder holding patch.sys, local.ver and the release's veldra.exe, so no run
relaunches itself. The floor is what the link alone costs: the bytes the run fetched at the
link's rate, plus one round trip. Every game folder is checked against the release.
"""
import argparse
import json
import os
import shlex
import shutil
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.dirname(HERE))
import e2e_bench as e2e  # noqa: E402
from testbed import link_relay  # noqa: E402
from e2e_bench import BenchError, nginx_server  # noqa: E402

SERVER = "link"


def served_bytes(server):
    """What a first run fetches: every file of the server folder but veldra.exe."""
    return sum(os.path.getsize(os.path.join(server, name)) for name in os.listdir(server)
               if name != "veldra.exe")


def run_benchmarks(options, scratch):
    if shutil.which("hyperfine") is None:
        raise BenchError("hyperfine is missing: apt-get install hyperfine")
    clis = dict(entry.split("=", 1) for entry in options.cli) or {
        "veldra-cli": os.path.join(options.tool_dir, "veldra-cli")}
    release = os.path.join(scratch, "release")
    print(f"writing a release of {options.files} files, {options.size_mib} MiB", flush=True)
    expected = e2e.make_big_release(release, options.files, options.size_mib << 20)
    www = os.path.join(scratch, "www")
    os.makedirs(www)
    nginx, port = nginx_server.start(www, os.path.join(scratch, "nginx"))
    relay = link_relay.Relay(port, options.rtt_ms / 1000, options.rate_mbit * 1e6 / 8)
    try:
        relay_port = relay.start()
        patch_sys = os.path.join(scratch, "patch.sys")
        with open(patch_sys, "wb") as f:
            f.write(e2e.patch_sys_bytes(relay_port, SERVER))
        server = os.path.join(www, SERVER)
        e2e.publish(options, release, server, patch_sys, relay_port)
        games, command = {}, ["hyperfine", "--runs", str(options.runs), "--style", "basic",
                              "--export-json", os.path.join(scratch, "hyperfine.json")]
        for name, cli in clis.items():
            game = os.path.join(scratch, "game-" + name)
            games[name] = game
            fresh = (f"rm -rf {game} && mkdir {game} && cp {patch_sys} {game}/patch.sys && "
                     f"cp {release}/veldra.exe {game}/ && printf 1.0 > {game}/local.ver")
            command += ["--prepare", fresh, "--command-name", name,
                        f"cd {game} && {shlex.quote(os.path.abspath(cli))} --no"]
        print(f"timing first runs through {options.rtt_ms:g} ms and {options.rate_mbit:g} "
              "Mbit/s (hyperfine)", flush=True)
        e2e.run_tool(command, "hyperfine")
        fetched = served_bytes(server)
    finally:
        relay.stop()
        nginx_server.stop(nginx)
    for name, game in games.items():
        e2e.check_folder(game, expected, name)
    with open(os.path.join(scratch, "hyperfine.json")) as f:
        medians = {r["command"]: r["median"] for r in json.load(f)["results"]}
    floor = fetched * 8 / (options.rate_mbit * 1e6) + options.rtt_ms / 1000
    print(f"medians of {options.runs} first runs, {fetched / 1e6:.1f} MB fetched in "
          f"{options.files} files")
    print(f"  the link's floor  {floor:7.2f} s")
    for name, median in medians.items():
        print(f"  {name:16} {median:7.2f} s   {median / floor:.2f} times the floor")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--cli", action="append", default=[], help="NAME=PATH of a veldra-cli")
    parser.add_argument("--size-mib", type=int, default=40)
    parser.add_argument("--files", type=int, default=200)
    parser.add_argument("--rtt-ms", type=float, default=100)
    parser.add_argument("--rate-mbit", type=float, default=20)
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--level", type=int, default=9, help="veldra-publish's gzip level")
    parser.add_argument("--tool-dir", default=e2e.DEFAULT_TOOL_DIR)
    options = parser.parse_args()
    return e2e.run_in_scratch("link_bench", lambda scratch: run_benchmarks(options, scratch))


if __name__ == "__main__":
    sys.exit(main())
