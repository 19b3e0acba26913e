#!/usr/bin/env python3
"""The local check's goals: a second run over many tiny files, and --verify against md5sum.

In one scratch folder under /tmp, removed at the end, with e2e_bench.py's releases, each
release published to nginx and patched once by veldra-cli into a game folder:
  1. the many-file release (default 100,000 files of 10 to 100 bytes): a second run,
     veldra-cli --no with nothing to fetch, whose light check stamps every listed file
     (goal: under 0.5 s), beside its floor, `veldra-bench stamp`: a process that reads
     filelist.log and stamps every file it lists, and does nothing else.
  2. the big release (default 2,000 files, 1 GiB): veldra-cli --verify against md5sum of
     the same files, those filelist.log lists, in one process (xargs), the page cache warm
     (goal: within 10 %). Then one file is changed, and --verify must say so (exit 6).
Each timing is hyperfine's (--warmup 1, --runs N, no shell), figures are medians; the game
folders are checked against the releases, and the second runs against nginx's log (nothing
fetched). MB are 10^6 bytes.

  bench/check_bench.py [--size-mib N] [--files N] [--many N] [--runs N] [--level N]
                       [--tool-dir DIR] [--keep]

Exit status 1 when a tool failed; the goals are only printed.
"""
import os
import random
import sys

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
from testbed import bench_harness as harness, patch_runs, releases  # noqa: E402
from testbed.bench_harness import BenchError  # noqa: E402
from testbed.processes import run_tool  # noqa: E402

TOOLS = ("veldra-cli", "veldra-publish", "veldra-bench")
SEED = 20261209
SECOND_RUN_GOAL = 0.5  # seconds
VERIFY_GOAL = 1.10  # times md5sum's


def release_in_game(options, scratch, served, folder, what, make_release):
    """Writes and publishes a release, patches a new game folder with it; returns the game
    folder and the nginx log of the release's server folder."""
    staged = patch_runs.stage(options, scratch, served, folder, what, make_release)
    print("patching a game folder with it", flush=True)
    game = os.path.join(scratch, "game-" + folder)
    patch_runs.first_run(os.path.join(options.tool_dir, "veldra-cli"), game, staged)
    return game, staged.log


def game_paths(game):
    """The files the game folder's filelist.log lists, as paths relative to the folder."""
    keys = patch_runs.listed_keys(os.path.join(game, "filelist.log"))
    return [key.lstrip("\\").replace("\\", "/") for key in keys]


def figure_lines(stdout):
    """{name: value} of veldra-bench's "name: value" lines."""
    return dict(line.split(": ", 1) for line in stdout.splitlines() if ": " in line)


def bench_many(options, scratch, served):
    game, log = release_in_game(
        options, scratch, served, "many", "the many release",
        lambda release: releases.make_many_release(release, options.many,
                                                   random.Random(SEED + 1)))
    listed = len(game_paths(game))
    cli = os.path.join(options.tool_dir, "veldra-cli")
    bench = os.path.join(options.tool_dir, "veldra-bench")
    _, stdout, _ = run_tool([bench, "stamp", "."], "veldra-bench stamp", cwd=game)
    lines = figure_lines(stdout)
    if lines.get("listed") != str(listed) or lines.get("found") != str(listed):
        raise BenchError(f"veldra-bench stamp found {lines.get('found')} of "
                         f"{lines.get('listed')} files; filelist.log lists {listed}")
    if "stamp seconds" not in lines:
        raise BenchError(f"veldra-bench stamp printed no stamp seconds:\n{stdout}")
    patch_runs.patch_until_done(cli, game, "second run", 1)

    print(f"timing the second run and the stamps of {listed} files", flush=True)
    log.skip()
    medians = harness.hyperfine(scratch, [("second run", cli + " --no"),
                                          ("stamp", bench + " stamp .")],
                                options.runs, warmup=1, shell=False, cwd=game)
    patch_runs.check_nothing_fetched(log.new_requests(), "veldra-cli (second run)")
    return dict(files=listed, second=medians["second run"], stamp=medians["stamp"],
                stampLoop=float(lines["stamp seconds"]))


def check_verify_sees(options, game, path):
    """Changes one byte of the file, runs --verify, which must name it, and puts it back."""
    with open(os.path.join(game, path), "r+b") as f:
        first = f.read(1)
        f.seek(0)
        f.write(bytes([first[0] ^ 0xFF]))
    try:
        _, stdout, stderr = run_tool([os.path.join(options.tool_dir, "veldra-cli"), "--verify"],
                                     "veldra-cli --verify (one file changed)", cwd=game,
                                     allowed=(6,))
    finally:
        with open(os.path.join(game, path), "r+b") as f:
            f.write(first)
    if os.path.basename(path) not in stdout + stderr:
        raise BenchError(f"veldra-cli --verify exited 6 without naming {path}:\n"
                         f"{(stdout + stderr)[-2000:]}")


def bench_verify(options, scratch, served):
    total = options.size_mib * (1 << 20)
    game, _ = release_in_game(
        options, scratch, served, "big", "the big release",
        lambda release: releases.make_big_release(release, options.files, total,
                                                  random.Random(SEED)))
    paths = game_paths(game)
    size = sum(os.path.getsize(os.path.join(game, path)) for path in paths)
    names = os.path.join(scratch, "md5sum.list")
    with open(names, "wb") as f:
        f.write(b"".join(path.encode("latin-1") + b"\0" for path in paths))
    # -n with -x: one md5sum over every file, or xargs fails rather than split the list.
    line_size = len("md5sum") + 1 + os.path.getsize(names) + 1024
    md5sum = f"xargs -0 -a {names} -x -n {len(paths)} -s {line_size} md5sum"
    _, stdout, _ = run_tool(md5sum.split(), "md5sum", cwd=game)
    if len(stdout.splitlines()) != len(paths):
        raise BenchError(f"md5sum gave {len(stdout.splitlines())} lines for {len(paths)} files")

    print(f"timing veldra-cli --verify and md5sum over {len(paths)} files", flush=True)
    harness.read_into_cache(game)
    medians = harness.hyperfine(
        scratch, [("verify", os.path.join(options.tool_dir, "veldra-cli") + " --verify"),
                  ("md5sum", md5sum)], options.runs, warmup=1, shell=False, cwd=game)
    check_verify_sees(options, game, paths[len(paths) // 2])
    return dict(files=len(paths), bytes=size, verify=medians["verify"], md5sum=medians["md5sum"])


def print_table(options, many, big):
    rows = []
    if many:
        rows += [
            (f"second run, {many['files']} tiny files", f"{many['second']:.3f} s",
             f"< {SECOND_RUN_GOAL} s", "yes" if many["second"] < SECOND_RUN_GOAL else "NO"),
            (f"stamp {many['files']} files (process)", f"{many['stamp']:.3f} s", "floor", ""),
            ("  of it, the stamp loop", f"{many['stampLoop']:.3f} s", "once, in process", ""),
            ("second run / stamp process", f"{many['second'] / many['stamp']:.2f}", "", ""),
        ]
    ratio = big["verify"] / big["md5sum"]
    rate = harness.rate
    rows += [
        (f"veldra-cli --verify, {big['files']} files", f"{big['verify']:.3f} s "
         f"{rate(big['bytes'], big['verify']):6.0f} MB/s", "", ""),
        ("md5sum, one process",
         f"{big['md5sum']:.3f} s {rate(big['bytes'], big['md5sum']):6.0f} MB/s", "", ""),
        ("verify / md5sum", f"{ratio:.3f}", f"<= {VERIFY_GOAL:.2f}",
         "yes" if ratio <= VERIFY_GOAL else "NO"),
    ]
    harness.print_table(f"medians of {options.runs} runs (hyperfine, after 1 warm-up); "
                        f"{big['bytes']} bytes verified; MB = 10^6 bytes",
                        [("measure", "<36"), ("figure", "<22"), ("goal", "<18"), ("met?", "")],
                        rows)


def run_benchmarks(options, scratch):
    harness.require_programs("hyperfine")
    harness.snapshot_tools(options, scratch, TOOLS)
    with harness.nginx(scratch) as served:
        many = bench_many(options, scratch, served) if options.many else None
        big = bench_verify(options, scratch, served)
    print_table(options, many, big)


def main():
    parser = harness.arguments(__doc__, "where veldra-cli, veldra-publish and veldra-bench are",
                               size_mib=1024, files=2000, runs=5, level=1)
    parser.add_argument("--many", type=int, default=100000,
                        help="files of the tiny-file release (0: none)")
    options = harness.parse(parser, size_mib=1, files=1, many=0, runs=2)
    return harness.run("check_bench", run_benchmarks, options, (ValueError, KeyError))


if __name__ == "__main__":
    sys.exit(main())
