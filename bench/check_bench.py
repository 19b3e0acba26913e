#!/usr/bin/env python3
"""The local check's goals: a second run over many tiny files, and --verify against md5sum.

In one scratch folder under /tmp, removed at the end, with e2e_bench.py's releases and
helpers, each release published to nginx and patched once by veldra-cli into a game folder:
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
                       [--tool-dir DIR]

Exit status 1 when a tool failed; the goals are only printed.
"""
import argparse
import json
import os
import shutil
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import e2e_bench as e2e  # noqa: E402
from e2e_bench import BenchError, nginx_server  # noqa: E402

TOOLS = ("veldra-cli", "veldra-publish", "veldra-bench")
SECOND_RUN_GOAL = 0.5  # seconds
VERIFY_GOAL = 1.10  # times md5sum's


def hyperfine(options, scratch, cwd, commands):
    """Times each (name, command) in cwd; returns {name: median seconds}."""
    export = os.path.join(scratch, "hyperfine.json")
    command = ["hyperfine", "-N", "--warmup", "1", "--runs", str(options.runs),
               "--style", "basic", "--export-json", export]
    for name, line in commands:
        command += ["--command-name", name, line]
    try:
        e2e.run_tool(command, "hyperfine", cwd=cwd)
    except BenchError:
        for name, line in commands:  # hyperfine keeps a failing tool's words to itself
            e2e.run_tool(line.split(), name, cwd=cwd)
        raise
    with open(export) as f:
        results = json.load(f)["results"]
    return {result["command"]: result["median"] for result in results}


def release_in_game(options, scratch, www, port, access_log, folder, make_release):
    """Writes and publishes a release, patches a new game folder with it; returns the game
    folder and the nginx log of the release's server folder."""
    release = os.path.join(scratch, "release-" + folder)
    game = os.path.join(scratch, "game-" + folder)
    patch_sys = os.path.join(scratch, f"patch-{folder}.sys")
    print(f"writing the {folder} release", flush=True)
    expected = make_release(release)
    with open(patch_sys, "wb") as f:
        f.write(e2e.patch_sys_bytes(port, folder))
    e2e.publish(options, release, os.path.join(www, folder), patch_sys, port)
    log = nginx_server.AccessLog(access_log, folder)
    print("patching a game folder with it", flush=True)
    e2e.first_run(options, game, patch_sys, os.path.join(www, folder), log, expected)
    return game, log


def game_paths(game):
    """The files the game folder's filelist.log lists, as paths relative to the folder."""
    keys = e2e.listed_keys(os.path.join(game, "filelist.log"))
    return [key.lstrip("\\").replace("\\", "/") for key in keys]


def bench_many(options, scratch, www, port, access_log):
    game, log = release_in_game(options, scratch, www, port, access_log, e2e.MANY,
                                lambda release: e2e.make_many_release(release, options.many))
    listed = len(game_paths(game))
    bench = os.path.join(options.tool_dir, "veldra-bench")
    _, stdout, _ = e2e.run_tool([bench, "stamp", "."], "veldra-bench stamp", cwd=game)
    lines = dict(line.split(": ", 1) for line in stdout.splitlines() if ": " in line)
    if lines.get("listed") != str(listed) or lines.get("found") != str(listed):
        raise BenchError(f"veldra-bench stamp found {lines.get('found')} of "
                         f"{lines.get('listed')} files; filelist.log lists {listed}")
    _, stderr = e2e.patch(options, game, "second run")
    if "run 1 of at most 3: done" not in stderr:
        raise BenchError(f"veldra-cli's second run did not end done at once:\n{stderr[-2000:]}")

    print(f"timing the second run and the stamps of {listed} files", flush=True)
    log.skip()
    medians = hyperfine(options, scratch, game, [
        ("second run", os.path.join(options.tool_dir, "veldra-cli") + " --no"),
        ("stamp", bench + " stamp .")])
    e2e.check_nothing_fetched(log.new_requests(), "veldra-cli (second run)")
    return dict(files=listed, second=medians["second run"], stamp=medians["stamp"],
                stampLoop=float(lines["stamp seconds"]))


def check_verify_sees(options, game, path):
    """Changes one byte of the file, runs --verify, which must name it, and puts it back."""
    with open(os.path.join(game, path), "r+b") as f:
        first = f.read(1)
        f.seek(0)
        f.write(bytes([first[0] ^ 0xFF]))
    try:
        _, stdout, stderr = e2e.run_tool([os.path.join(options.tool_dir, "veldra-cli"),
                                          "--verify"], "veldra-cli --verify (one file changed)",
                                         cwd=game, allowed=(6,))
    finally:
        with open(os.path.join(game, path), "r+b") as f:
            f.write(first)
    if os.path.basename(path) not in stdout + stderr:
        raise BenchError(f"veldra-cli --verify exited 6 without naming {path}:\n"
                         f"{(stdout + stderr)[-2000:]}")


def bench_verify(options, scratch, www, port, access_log):
    total = options.size_mib * (1 << 20)
    game, _ = release_in_game(options, scratch, www, port, access_log, e2e.BIG,
                              lambda release: e2e.make_big_release(release, options.files,
                                                                   total))
    paths = game_paths(game)
    size = sum(os.path.getsize(os.path.join(game, path)) for path in paths)
    names = os.path.join(scratch, "md5sum.list")
    with open(names, "wb") as f:
        f.write(b"".join(path.encode("latin-1") + b"\0" for path in paths))
    # -n with -x: one md5sum over every file, or xargs fails rather than split the list.
    line_size = len("md5sum") + 1 + os.path.getsize(names) + 1024
    md5sum = f"xargs -0 -a {names} -x -n {len(paths)} -s {line_size} md5sum"
    _, stdout, _ = e2e.run_tool(md5sum.split(), "md5sum", cwd=game)
    if len(stdout.splitlines()) != len(paths):
        raise BenchError(f"md5sum gave {len(stdout.splitlines())} lines for {len(paths)} files")

    print(f"timing veldra-cli --verify and md5sum over {len(paths)} files", flush=True)
    e2e.read_into_cache(game)
    medians = hyperfine(options, scratch, game, [
        ("verify", os.path.join(options.tool_dir, "veldra-cli") + " --verify"),
        ("md5sum", md5sum)])
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
    rate = big["bytes"] / 1e6
    rows += [
        (f"veldra-cli --verify, {big['files']} files", f"{big['verify']:.3f} s "
         f"{rate / big['verify']:6.0f} MB/s", "", ""),
        ("md5sum, one process", f"{big['md5sum']:.3f} s {rate / big['md5sum']:6.0f} MB/s",
         "", ""),
        ("verify / md5sum", f"{ratio:.3f}", f"<= {VERIFY_GOAL:.2f}",
         "yes" if ratio <= VERIFY_GOAL else "NO"),
    ]
    print()
    print(f"medians of {options.runs} runs (hyperfine, after 1 warm-up); {big['bytes']} bytes "
          "verified; MB = 10^6 bytes")
    print(f"{'measure':<36} {'figure':<22} {'goal':<18} met?")
    for measure, figure, goal, met in rows:
        print(f"{measure:<36} {figure:<22} {goal:<18} {met}".rstrip())


def run_benchmarks(options, scratch):
    if shutil.which("hyperfine") is None:
        raise BenchError("hyperfine is missing: apt-get install hyperfine")
    e2e.snapshot_tools(options, scratch, TOOLS)
    www = os.path.join(scratch, "www")
    os.makedirs(www)
    work = os.path.join(scratch, "nginx")
    nginx, port = nginx_server.start(www, work)
    try:
        access_log = os.path.join(work, "access.log")
        many = bench_many(options, scratch, www, port, access_log) if options.many else None
        big = bench_verify(options, scratch, www, port, access_log)
    finally:
        nginx_server.stop(nginx)
    print_table(options, many, big)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--size-mib", type=int, default=1024, help="size of the big release")
    parser.add_argument("--files", type=int, default=2000, help="files of the big release")
    parser.add_argument("--many", type=int, default=100000,
                        help="files of the tiny-file release (0: none)")
    parser.add_argument("--runs", type=int, default=5, help="timed runs of each command")
    parser.add_argument("--level", type=int, default=1,
                        help="veldra-publish's gzip level (no figure depends on it)")
    parser.add_argument("--tool-dir", default=e2e.DEFAULT_TOOL_DIR,
                        help="where veldra-cli, veldra-publish and veldra-bench are")
    options = parser.parse_args()
    if options.size_mib < 1 or options.files < 1 or options.many < 0 or options.runs < 2:
        parser.error("--size-mib and --files must be at least 1, --many 0, --runs 2")
    if not 1 <= options.level <= 9:
        parser.error("--level must be 1 to 9")
    options.tool_dir = os.path.abspath(options.tool_dir)
    return e2e.run_in_scratch("check_bench", lambda scratch: run_benchmarks(options, scratch),
                              (BenchError, RuntimeError, OSError, ValueError, KeyError))


if __name__ == "__main__":
    sys.exit(main())
