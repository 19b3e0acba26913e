#!/usr/bin/env python3
"""Whole patch runs: veldra-cli's first install against the longer of fetching its packages
over 8 connections and inflating them, and against tar -x of many tiny files.

All in one scratch folder under /tmp, removed at the end, in the same run:
  a. a release of N files (default 2,000, 1 GiB in all, sizes from a few KiB to a few MiB,
     each half random bytes and half text), a veldra.exe stand-in, published by
     veldra-publish to nginx with the patch server's Basic authentication.
  b. the files the patcher fetches, by curl --parallel-max 8 (one process, a -K list of
     url/output pairs) into a folder's temp/, timed alone; then veldra-bench unpack of those
     packages, the engine's inflating alone, timed alone.
  c. the first run of veldra-cli --no in a game folder holding only patch.sys and local.ver
     (1.0), against the longer of b's two (goal: at most 1.25 times as long): it fetches
     veldra.exe and patches again as the relaunched patcher would, so the time holds both
     runs. Its peak memory (resident, with any child it waited for; goal: under 64 MiB).
  d. the second run in that game folder, with nothing to fetch (the status log path).
  e. a release of many tiny files (default 100,000 of 10 to 100 bytes in 1,000 folders): tar
     -x into an empty folder of a tar of the release made beforehand, then veldra-cli's first
     run against it, with its peak memory; then the second run (goal: under 0.5 s).
First runs and references change their folder, so each is timed once, its inputs read into
the page cache first; second runs are hyperfine's medians of --runs runs after one warm-up.
Every game folder and every reference's output is checked against the release, every second
run against nginx's log (nothing fetched). Nothing is removed before the end: on this
machine's /tmp (ext4 without a journal) creating files costs more for minutes after many were
deleted, so no side pays for another's deletions; the references go first. --transfers N is
passed on to every veldra-cli run. MB are 10^6 bytes, MiB 2^20.

  bench/e2e_bench.py [--size-mib N] [--files N] [--many N] [--runs N] [--level N]
                     [--transfers N] [--tool-dir DIR] [--keep]

Exit status 1 when a tool failed or left a wrong file; the figures are only printed.
"""
import os
import random
import sys

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
from testbed import bench_harness as harness, patch_runs, releases  # noqa: E402
from testbed.processes import run_tool  # noqa: E402

BIG = "big"  # the server folders below nginx's root
MANY = "many"
SEED = 20261209
CONNECTIONS = 8  # of curl
FIRST_RUN_GOAL = 1.25  # times the longer of fetching and inflating
PEAK_GOAL_KIB = 64 << 10
SECOND_RUN_GOAL = 0.5  # seconds, over the many tiny files


def fetch_and_inflate(options, port, staged, scratch):
    """What the patcher fetches: veldra.exe whole (the self-update) and the package of every
    other listed file, by curl over CONNECTIONS connections into scratch/unpack/temp; then
    veldra-bench unpack of those packages into scratch/unpack. Returns (curl seconds, unpack
    seconds, (files, bytes) fetched)."""
    folder = os.path.join(scratch, "unpack")
    downloads = os.path.join(folder, "temp")
    os.makedirs(downloads)
    names = list(patch_runs.first_run_packages(staged.server).values()) + ["veldra.exe"]
    config = os.path.join(scratch, "curl.config")
    patch_runs.curl_list(config, port, BIG, names, downloads)

    harness.sync_and_read_into_cache(staged.server)
    curl_seconds, _, _ = run_tool(patch_runs.curl_command(config, CONNECTIONS), "curl",
                                  timeout=patch_runs.TIMEOUT)
    received = patch_runs.check_downloads(downloads, staged.server, names, "curl")

    # veldra-bench unpack leaves the stand-in, which is no package, where curl put it.
    harness.sync_and_read_into_cache(downloads)
    unpack_seconds, _, _ = run_tool([os.path.join(options.tool_dir, "veldra-bench"), "unpack",
                                     folder], "veldra-bench unpack", timeout=patch_runs.TIMEOUT)
    patch_runs.check_folder(folder, {k: v for k, v in staged.expected.items()
                                     if k != "veldra.exe"}, "veldra-bench unpack")
    return curl_seconds, unpack_seconds, (len(names), received)


def extract_tar(release, scratch):
    """Seconds of tar -x, into an empty folder, of a tar of the release made beforehand."""
    archive = os.path.join(scratch, "many.tar")
    run_tool(["tar", "-C", release, "-cf", archive, "."], "tar -c")
    folder = os.path.join(scratch, "tar-many")
    os.makedirs(folder)
    harness.sync_and_read_into_cache([archive])
    seconds, _, _ = run_tool(["tar", "-C", folder, "-xf", archive], "tar -x",
                             timeout=patch_runs.TIMEOUT)
    return seconds, folder


def second_runs(options, scratch, cli, game, log, what):
    """hyperfine's median of runs that must fetch nothing."""
    print(f"timing veldra-cli's second run, {what} (hyperfine)", flush=True)
    log.skip()
    line = " ".join([cli, "--no"] + transfers(options))
    medians = harness.hyperfine(scratch, [(what, line)], options.runs, warmup=1,
                                prepare={what: "sync"}, shell=False, cwd=game)
    patch_runs.check_nothing_fetched(log.new_requests(), f"veldra-cli (second run, {what})")
    return medians[what]


def transfers(options):
    return [] if options.transfers is None else ["--transfers", str(options.transfers)]


def bench_big(options, scratch, served):
    cli = os.path.join(options.tool_dir, "veldra-cli")
    total = options.size_mib * (1 << 20)
    staged = patch_runs.stage(
        options, scratch, served, BIG,
        f"{options.files} files, {total} bytes, and a veldra.exe stand-in",
        lambda release: releases.make_big_release(release, options.files, total,
                                                  random.Random(SEED)))
    print(f"timing curl over {CONNECTIONS} connections, then veldra-bench unpack", flush=True)
    curl_seconds, unpack_seconds, curl_fetched = fetch_and_inflate(options, served.port,
                                                                   staged, scratch)
    print("timing veldra-cli's first run", flush=True)
    game = os.path.join(scratch, "game-big")
    first, veldra_fetched, peak = patch_runs.first_run(cli, game, staged, transfers(options))
    second = second_runs(options, scratch, cli, game, staged.log, f"{options.files} files")
    return dict(total=total, publish=staged.publish_seconds, first=first, peak=peak,
                veldra_fetched=veldra_fetched, curl=curl_seconds, unpack=unpack_seconds,
                curl_fetched=curl_fetched, second=second)


def bench_many(options, scratch, served):
    cli = os.path.join(options.tool_dir, "veldra-cli")
    staged = patch_runs.stage(
        options, scratch, served, MANY,
        f"{options.many} tiny files in {releases.MANY_FOLDERS} folders",
        lambda release: releases.make_many_release(release, options.many,
                                                   random.Random(SEED + 1)))
    print("timing tar -x of the same files", flush=True)
    tar_seconds, tar_folder = extract_tar(os.path.join(scratch, "release-" + MANY), scratch)
    patch_runs.check_folder(tar_folder, staged.expected, "tar -x")
    print("timing veldra-cli's first run", flush=True)
    game = os.path.join(scratch, "game-many")
    first, _, peak = patch_runs.first_run(cli, game, staged, transfers(options))
    second = second_runs(options, scratch, cli, game, staged.log, f"{options.many} files")
    return dict(publish=staged.publish_seconds, first=first, peak=peak, tar=tar_seconds,
                second=second)


def goal(met, text):
    return f"goal {text}: {'yes' if met else 'NO'}"


def peak_row(peak_kib, files):
    return (f"peak memory, first run, {files} files", f"{peak_kib / 1024:.1f} MiB",
            goal(peak_kib < PEAK_GOAL_KIB, f"< {PEAK_GOAL_KIB >> 10} MiB"))


def print_table(options, big, many):
    total = big["total"]
    longer = max(big["curl"], big["unpack"])
    rate = harness.rate
    cli = " ".join(["veldra-cli --no"] + transfers(options))
    second = f"median of {options.runs}"
    rows = [
        (f"veldra-publish, level {options.level}", f"{big['publish']:.2f} s", ""),
        (f"{cli}, first run",
         f"{big['first']:.2f} s {rate(total, big['first']):7.1f} MB/s",
         "with its relaunched run"),
        (f"curl, {CONNECTIONS} connections", f"{big['curl']:.2f} s "
         f"{rate(total, big['curl']):7.1f} MB/s", "the packages and veldra.exe"),
        ("veldra-bench unpack", f"{big['unpack']:.2f} s {rate(total, big['unpack']):7.1f} MB/s",
         "the same packages, inflated"),
        ("veldra / max(curl, unpack)", f"{big['first'] / longer:.2f}",
         goal(big["first"] <= FIRST_RUN_GOAL * longer, f"<= {FIRST_RUN_GOAL}")),
        peak_row(big["peak"], options.files),
        ("  fetched by veldra-cli", "{} files, {} bytes".format(*big["veldra_fetched"]),
         "nginx's log, status 200"),
        ("  fetched by curl", "{} files, {} bytes".format(*big["curl_fetched"]), ""),
        (f"second run, {options.files} files", f"{big['second']:.3f} s", second),
    ]
    if many is not None:
        rows += [
            (f"veldra-publish, {options.many} files", f"{many['publish']:.2f} s", ""),
            (f"first run, {options.many} files", f"{many['first']:.2f} s", ""),
            (f"tar -x, {options.many} files", f"{many['tar']:.2f} s",
             "into an empty folder"),
            ("veldra / tar -x", f"{many['first'] / many['tar']:.2f}", "times as long"),
            peak_row(many["peak"], options.many),
            (f"second run, {options.many} files", f"{many['second']:.3f} s",
             f"{second}; " + goal(many["second"] < SECOND_RUN_GOAL, f"< {SECOND_RUN_GOAL} s")),
        ]
    harness.print_table(f"{options.files} files, {total} bytes (and a veldra.exe stand-in); "
                        "wall times; MB = 10^6 bytes of game files",
                        [("measure", "<40"), ("figure", "<28"), ("note", "")], rows)


def run_benchmarks(options, scratch):
    harness.require_programs("curl", "tar", "hyperfine")
    harness.snapshot_tools(options, scratch, ("veldra-cli", "veldra-publish", "veldra-bench"))
    with harness.nginx(scratch) as served:
        big = bench_big(options, scratch, served)
        many = bench_many(options, scratch, served) if options.many else None
    print_table(options, big, many)


def main():
    parser = harness.arguments(__doc__, "where veldra-cli, veldra-publish and veldra-bench are",
                               size_mib=1024, files=2000, runs=5, level=9)
    parser.add_argument("--many", type=int, default=100000,
                        help="files of the tiny-file release (0: none)")
    parser.add_argument("--transfers", type=int, help="passed on to veldra-cli")
    options = harness.parse(parser, size_mib=1, files=1, many=0, runs=1)
    if options.transfers is not None and options.transfers < 1:
        parser.error("--transfers must be at least 1")
    return harness.run("e2e_bench", run_benchmarks, options)


if __name__ == "__main__":
    sys.exit(main())
