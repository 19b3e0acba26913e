#!/usr/bin/env python3
"""First installs as a player meets them, through link_relay (a round trip, one bandwidth
shared by every connection) to nginx: many small files, then a few large ones, each installed
by veldra-cli natively and by veldra-cli.exe under Wine, and fetched by curl over 8
connections, beside the link's floor.

  bench/link_bench.py [--files 200] [--file-kib 64] [--large-files 2] [--large-mib 24]
                      [--size-mib 0] [--rtt-ms 100] [--rate-mbit 50] [--runs 3]
                      [--cli NAME=PATH ...] [--transfers N ...] [--native-only]
                      [--tool-dir DIR] [--win-bin DIR] [--keep]

The releases: --files files of --file-kib KiB, --large-files of --large-mib MiB, and with
--size-mib N one of --files files, N MiB in all, sizes spread as e2e_bench.py spreads them
(0 files or MiB: no such release). Their files are half random bytes, half text, the first
one the skin's picture; each is published by veldra-publish from --tool-dir to a server
folder of its own. One table per release, a row for each of:
  - each --cli NAME=PATH (without one, the build's veldra-cli), and veldra-cli.exe from
    --win-bin under Wine (unless --native-only): first runs, each in a game folder made afresh
    holding patch.sys, local.ver and the release's veldra.exe, not the skin picture, so that
    each first run relaunches itself once, as a player's without the skin would;
  - curl --parallel-max 8: the packages of every listed file, with the credentials up front
    (it knows them beforehand, so it saves the control files' round trip over the floor);
  - the link's floor: the bytes a first run must fetch (every served file but veldra.exe and
    its package) at the link's rate, plus 3 round trips: one to connect, one for the control
    files, one for the first package, every later request overlapping the bytes in flight;
  - Wine's start alone (wine veldra-cli.exe --help), timed once for all tables: subtract it
    from the Wine row.
Wall seconds are hyperfine's medians of --runs runs; requests and the 401s among them are per
run, from nginx's access log; connections are the relay's: the most open at once in any run,
and those opened, per run. Every game folder and curl's downloads are checked against the
release. Exit status 1 when a program failed or left a wrong file; the figures are only
printed.
"""
import os
import random
import shlex
import shutil
import sys
from typing import Callable, NamedTuple

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
from testbed import bench_harness as harness, link_relay, nginx_server  # noqa: E402
from testbed import patch_runs, patcher_window, releases  # noqa: E402

SEED = 20261209
CONNECTIONS = 8  # of curl
FLOOR_ROUND_TRIPS = 3
WINE_VARIABLES = ("WINEPREFIX", "WINEDEBUG", "WINEDLLOVERRIDES")
WINE_ROW = "veldra-cli.exe, Wine"


class Release(NamedTuple):
    folder: str  # on the server
    what: str
    make: Callable  # make(folder) writes the release; returns {path: MD5 hex}


class Row(NamedTuple):
    client: str
    seconds: float
    requests: list  # nginx's (name, status, bytes) of all runs; None: no server asked
    connections: link_relay.Connections = None  # through the relay in all runs


def wanted_releases(options):
    files, kib, large, mib = options.files, options.file_kib, options.large_files, options.large_mib
    wanted = []
    if files and kib:
        wanted.append(Release("small", f"{files} files of {kib} KiB", lambda folder: (
            releases.make_even_release(folder, files, kib << 10, random.Random(SEED)))))
    if large and mib:
        wanted.append(Release("large", f"{large} files of {mib} MiB", lambda folder: (
            releases.make_even_release(folder, large, mib << 20, random.Random(SEED + 1)))))
    if files and options.size_mib:
        wanted.append(Release("mixed", f"{files} files, {options.size_mib} MiB in all",
                              lambda folder: releases.make_big_release(
                                  folder, files, options.size_mib << 20, random.Random(SEED))))
    return wanted


def wine_words(options, scratch):
    """The words that start a copy of veldra-cli.exe under Wine (a rebuild meanwhile must not
    mix two builds in one table), or (None, why not)."""
    env, skipped = patcher_window.wine_environment()
    program = os.path.join(options.win_bin, "veldra-cli.exe")
    if skipped is None and not os.path.isfile(program):
        skipped = f"{program} is missing: Wine skipped"
    if skipped is not None:
        return None, skipped
    snapshot = os.path.join(scratch, "win-bin")
    os.makedirs(snapshot)
    program = shutil.copy2(program, snapshot)
    return ["env"] + [f"{name}={env[name]}" for name in WINE_VARIABLES] + ["wine", program], None


def floor(server, options):
    """(seconds, bytes) the link alone costs a first run from the server folder."""
    unfetched = ("veldra.exe", releases.package_name("veldra.exe"))
    size = sum(os.path.getsize(os.path.join(server, name)) for name in os.listdir(server)
               if name not in unfetched)
    rtt = options.rtt_ms / 1000
    return size * 8 / (options.rate_mbit * 1e6) + FLOOR_ROUND_TRIPS * rtt, size


def time_curl(options, scratch, served, relay, folder, log):
    server = os.path.join(served.www, folder)
    packages = list(patch_runs.first_run_packages(server).values())
    downloads = os.path.join(scratch, "curl-" + folder)
    config = downloads + ".config"
    patch_runs.curl_list(config, relay.port, folder, packages, downloads)
    name = f"curl, {CONNECTIONS} connections"
    log.skip()
    relay.count_afresh()
    medians = harness.hyperfine(
        scratch, [(name, shlex.join(patch_runs.curl_command(config, CONNECTIONS)))],
        options.runs, prepare={name: f"rm -rf {shlex.quote(downloads)} && "
                                     f"mkdir {shlex.quote(downloads)}"})
    requests = log.new_requests()
    patch_runs.check_downloads(downloads, server, packages, "curl")
    return Row(name, medians[name], requests, relay.connections())


def bench_release(options, scratch, served, relay, release, clis):
    """The release's rows, the floor's last; and the bytes of the floor."""
    folder = os.path.join(scratch, "release-" + release.folder)
    print(f"writing {release.what}", flush=True)
    expected = release.make(folder)
    patch_sys, _ = patch_runs.publish_to(options, scratch, served.www, release.folder, folder,
                                         relay.port)
    log = nginx_server.AccessLog(served.access_log, release.folder)
    rows = []
    for name, words in clis.items():
        print(f"timing first runs of {name} (hyperfine)", flush=True)
        log.skip()
        relay.count_afresh()
        medians, _ = patch_runs.time_first_runs(
            scratch, {name: (words, patch_sys)}, expected, options.runs,
            patcher=os.path.join(folder, "veldra.exe"))
        rows.append(Row(name, medians[name], log.new_requests(), relay.connections()))
    print("timing curl (hyperfine)", flush=True)
    rows.append(time_curl(options, scratch, served, relay, release.folder, log))
    seconds, size = floor(os.path.join(served.www, release.folder), options)
    rows.append(Row("the link's floor", seconds, None))
    return rows, size


def per_run(count, runs):
    return f"{count / runs:.1f}" if count % runs else str(count // runs)


def print_release(options, release, rows, size, wine_start):
    floor_seconds = rows[-1].seconds
    cells = []
    for row in rows:
        requests = [""] * 2 if row.requests is None else [
            per_run(len(row.requests), options.runs),
            per_run(sum(status == 401 for _, status, _ in row.requests), options.runs)]
        connections = "" if row.connections is None else (
            f"{row.connections.most} / {per_run(row.connections.opened, options.runs)}")
        cells.append([row.client, f"{row.seconds:.2f}", f"{row.seconds / floor_seconds:.2f}"]
                     + requests + [connections])
    if wine_start is not None:
        cells.append(["Wine's start (--help)", f"{wine_start:.2f}", "", "", "", ""])
    harness.print_table(
        f"{release.what}, {size / 1e6:.1f} MB to fetch, through {options.rtt_ms:g} ms and "
        f"{options.rate_mbit:g} Mbit/s; medians of {options.runs} runs, requests per run; "
        "connections: most at once / opened per run",
        [("client", "<36"), ("wall s", ">8"), ("x floor", ">8"), ("requests", ">9"),
         ("401s", ">5"), ("connections", ">12")], cells)


def run_benchmarks(options, scratch):
    wanted = wanted_releases(options)
    harness.snapshot_tools(options, scratch,
                           ("veldra-publish",) + (() if options.cli else ("veldra-cli",)))
    clis = {"veldra-cli": [os.path.join(options.tool_dir, "veldra-cli")]}
    if options.cli:
        clis = {}
        for index, (name, path) in enumerate(entry.split("=", 1) for entry in options.cli):
            # A copy, as of the build's own: a rebuild meanwhile must not change a row.
            copy = os.path.join(scratch, f"cli-{index}")
            os.makedirs(copy)
            clis[name] = [shutil.copy2(path, copy)]
    wine, skipped = (None, None) if options.native_only else wine_words(options, scratch)
    wine_start = None
    if wine is not None:
        clis[WINE_ROW] = wine
        print("timing Wine's start (hyperfine)", flush=True)
        wine_start = harness.hyperfine(scratch, [("wine", shlex.join(wine + ["--help"]))],
                                       options.runs)["wine"]
    for count in options.transfers:
        clis.update({f"{name} --transfers {count}": words + ["--transfers", str(count)]
                     for name, words in list(clis.items()) if "--transfers" not in name})
    tables = []
    with harness.nginx(scratch) as served:
        relay = link_relay.Relay(served.port, options.rtt_ms / 1000,
                                 options.rate_mbit * 1e6 / 8)
        relay.start()
        try:
            for release in wanted:
                tables.append((release, *bench_release(options, scratch, served, relay, release,
                                                       clis)))
        finally:
            relay.stop()
    for release, rows, size in tables:
        print_release(options, release, rows, size, wine_start)
    if skipped:
        print(skipped)


def main():
    parser = harness.arguments(__doc__, "where veldra-publish and veldra-cli are",
                               win_bin="where veldra-cli.exe is", files=200, runs=3, level=9)
    parser.add_argument("--file-kib", type=int, default=64, help="size of each of --files")
    parser.add_argument("--large-files", type=int, default=2, help="files of the large release")
    parser.add_argument("--large-mib", type=int, default=24, help="size of each large file")
    parser.add_argument("--size-mib", type=int, default=0,
                        help="MiB of a mixed release of --files files (0: none)")
    parser.add_argument("--rtt-ms", type=float, default=100, help="round trip the link adds")
    parser.add_argument("--rate-mbit", type=float, default=50,
                        help="bandwidth towards the player, shared by all connections")
    parser.add_argument("--cli", action="append", default=[], metavar="NAME=PATH",
                        help="a veldra-cli to time, as NAME (once for each build)")
    parser.add_argument("--transfers", type=int, action="append", default=[], metavar="N",
                        help="rows of each veldra-cli fetching N files at once too")
    parser.add_argument("--native-only", action="store_true", help="no Wine row")
    options = harness.parse(parser, files=0, file_kib=0, large_files=0, large_mib=0,
                            size_mib=0, runs=1, rtt_ms=0)
    if any("=" not in entry for entry in options.cli):
        parser.error("--cli takes NAME=PATH")
    names = [entry.split("=", 1)[0] for entry in options.cli]
    if len(set(names)) < len(names) or WINE_ROW in names:
        parser.error(f"--cli names must differ from one another and from {WINE_ROW!r}")
    if options.rate_mbit <= 0:
        parser.error("--rate-mbit must be more than 0")
    if not wanted_releases(options):
        parser.error("no release left: give --files and --file-kib, or --large-files and "
                     "--large-mib, more than 0")
    return harness.run("link_bench", run_benchmarks, options)


if __name__ == "__main__":
    sys.exit(main())
