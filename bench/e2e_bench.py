#!/usr/bin/env python3
"""Whole patch runs: veldra-cli against curl and gzip -dc fetching and unpacking the same bytes.

All in one scratch folder under /tmp, removed at the end, in the same run:
  a. a release of N files (default 2,000, 1 GiB in all, sizes from a few KiB to a few MiB,
     each half random bytes and half text), a veldra.exe stand-in, published by
     veldra-publish to nginx with the patch server's Basic authentication.
  b. the files the patcher fetches, by curl (one process, a -K list of url/output pairs, so
     one connection as the patcher's) into a folder, then gzip -dcq of each package into its
     target, one process per package: the wall time of both together.
  c. the first run of veldra-cli --no in a game folder holding only patch.sys and local.ver
     (1.0), wall time against b: it fetches veldra.exe and patches again as the relaunched
     patcher would, so the time holds both runs.
  d. the second run in that game folder, with nothing to fetch (the status log path).
  e. a release of many tiny files (default 100,000 of 10 to 100 bytes in 1,000 folders): its
     first run once, then the second run timed.
Second runs are the best of 3. The served files are read into the page cache before each
first run; every game folder and the gzip output are checked against the release. Nothing
is removed before the end: on this machine's /tmp (ext4 without a journal) creating files
costs more for minutes after many were deleted, so neither side pays for the other's
deletions; curl and gzip go first, before the patcher removes its packages. MB are 10^6
bytes.

  bench/e2e_bench.py [--size-mib N] [--files N] [--many N] [--level N] [--tool-dir DIR]
                     [--keep]

Exit status 1 when a tool failed or left a wrong file; the figures are only printed.
"""
import os
import random
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
from testbed import bench_harness as harness, game_folders, patch_runs, releases  # noqa: E402
from testbed.processes import run_tool  # noqa: E402

BIG = "big"  # the server folders below nginx's root
MANY = "many"
RUNS = 3  # of each second run
SEED = 20261209


def curl_and_gzip(port, staged, scratch):
    """What the patcher fetches: veldra.exe whole (the self-update) and the package of every
    other listed file, by curl; then gzip -dc of each package into its target.
    Returns (curl seconds, gzip seconds, (files, bytes) fetched)."""
    downloads = os.path.join(scratch, "curl")
    unpacked = os.path.join(scratch, "gzip")
    os.makedirs(downloads)
    os.makedirs(unpacked)
    packages = patch_runs.first_run_packages(staged.server)
    names = list(packages.values()) + ["veldra.exe"]
    config = os.path.join(scratch, "curl.config")
    patch_runs.curl_list(config, port, BIG, names, downloads)
    targets = [(package, os.path.join(unpacked, *key.lstrip("\\").split("\\")))
               for key, package in packages.items()]

    harness.sync_and_read_into_cache(staged.server)
    start = time.perf_counter()
    run_tool(patch_runs.curl_command(config), "curl", timeout=patch_runs.TIMEOUT)
    curl_seconds = time.perf_counter() - start
    start = time.perf_counter()
    for package, target in targets:
        os.makedirs(os.path.dirname(target), exist_ok=True)
        with open(target, "wb") as out:
            # 2 is gzip's "trailing garbage ignored": the package trailer, as expected.
            run_tool(["gzip", "-dcq", os.path.join(downloads, package)], "gzip -dc",
                     stdout=out, allowed=(0, 2))
    gzip_seconds = time.perf_counter() - start

    received = patch_runs.check_downloads(downloads, staged.server, names, "curl")
    patch_runs.check_folder(unpacked, {k: v for k, v in staged.expected.items()
                                       if k != "veldra.exe"}, "gzip -dc")
    return curl_seconds, gzip_seconds, (len(names), received)


def second_runs(cli, game, log, what):
    """Best wall seconds of RUNS runs that must fetch nothing."""
    walls = []
    for _ in range(RUNS):
        os.sync()
        log.skip()
        walls.append(patch_runs.patch_until_done(cli, game, what, 1))
        patch_runs.check_nothing_fetched(log.new_requests(), f"veldra-cli ({what})")
    return min(walls)


def bench_big(options, scratch, served):
    cli = os.path.join(options.tool_dir, "veldra-cli")
    total = options.size_mib * (1 << 20)
    staged = patch_runs.stage(
        options, scratch, served, BIG,
        f"{options.files} files, {total} bytes, and a veldra.exe stand-in",
        lambda release: releases.make_big_release(release, options.files, total,
                                                  random.Random(SEED)))
    print("timing curl and gzip -dc", flush=True)
    curl_seconds, gzip_seconds, curl_fetched = curl_and_gzip(served.port, staged, scratch)
    print("timing veldra-cli's first run", flush=True)
    game = os.path.join(scratch, "game-big")
    first, veldra_fetched = patch_runs.first_run(cli, game, staged)
    print("timing veldra-cli's second run", flush=True)
    second = second_runs(cli, game, staged.log, "second run")
    return dict(total=total, publish=staged.publish_seconds, first=first,
                veldra_fetched=veldra_fetched, curl=curl_seconds, gzip=gzip_seconds,
                curl_fetched=curl_fetched, second=second)


def bench_many(options, scratch, served):
    cli = os.path.join(options.tool_dir, "veldra-cli")
    staged = patch_runs.stage(
        options, scratch, served, MANY,
        f"{options.many} tiny files in {releases.MANY_FOLDERS} folders",
        lambda release: releases.make_many_release(release, options.many,
                                                   random.Random(SEED + 1)))
    print("veldra-cli's first run (not timed closely)", flush=True)
    game = os.path.join(scratch, "game-many")
    game_folders.new_game_folder(game, staged.patch_sys)
    staged.log.skip()
    first, _ = patch_runs.patch(cli, game, "many files, first run")
    staged.log.skip()
    patch_runs.check_folder(game, staged.expected, "veldra-cli (many files)")
    print("timing veldra-cli's second run", flush=True)
    second = second_runs(cli, game, staged.log, "many files, second run")
    return dict(publish=staged.publish_seconds, first=first, second=second)


def print_table(options, big, many):
    total = big["total"]
    both = big["curl"] + big["gzip"]
    rate = harness.rate
    rows = [
        (f"veldra-publish, level {options.level}", f"{big['publish']:.2f} s", ""),
        ("veldra-cli --no, first run (wall)",
         f"{big['first']:.2f} s {rate(total, big['first']):7.1f} MB/s",
         "with its relaunched run"),
        ("curl -K list, one process (wall)", f"{big['curl']:.2f} s", ""),
        ("gzip -dcq, one per package (wall)", f"{big['gzip']:.2f} s", ""),
        ("curl + gzip (wall)", f"{both:.2f} s {rate(total, both):7.1f} MB/s", ""),
        ("veldra / (curl + gzip)", f"{big['first'] / both:.2f}", "times as long"),
        ("  fetched by veldra-cli", "{} files, {} bytes".format(*big["veldra_fetched"]),
         "nginx's log, status 200"),
        ("  fetched by curl", "{} files, {} bytes".format(*big["curl_fetched"]),
         "packages and veldra.exe"),
        (f"second run, {options.files} files", f"{big['second']:.3f} s", f"best of {RUNS}"),
    ]
    if many is not None:
        rows += [
            (f"veldra-publish, {options.many} files", f"{many['publish']:.2f} s", ""),
            (f"first run, {options.many} files", f"{many['first']:.2f} s", "once, for scale"),
            (f"second run, {options.many} files", f"{many['second']:.3f} s", f"best of {RUNS}"),
        ]
    harness.print_table(f"{options.files} files, {total} bytes (and a veldra.exe stand-in); "
                        "wall times; MB = 10^6 bytes of game files",
                        [("measure", "<36"), ("figure", "<32"), ("note", "")], rows)


def run_benchmarks(options, scratch):
    harness.snapshot_tools(options, scratch, ("veldra-cli", "veldra-publish"))
    with harness.nginx(scratch) as served:
        big = bench_big(options, scratch, served)
        many = bench_many(options, scratch, served) if options.many else None
    print_table(options, big, many)


def main():
    parser = harness.arguments(__doc__, "where veldra-cli and veldra-publish are",
                               size_mib=1024, files=2000, level=9)
    parser.add_argument("--many", type=int, default=100000,
                        help="files of the tiny-file release (0: none)")
    options = harness.parse(parser, size_mib=1, files=1, many=0)
    return harness.run("e2e_bench", run_benchmarks, options)


if __name__ == "__main__":
    sys.exit(main())
