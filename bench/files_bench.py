#!/usr/bin/env python3
"""Game files: the digest pass and unpacking against md5sum and gzip, memory, the status log.

All in one scratch folder under /tmp, removed at the end, in the same run:
  a. a tree of 64 files (random and text bytes, so they compress as game data do), read into
     the page cache before each timed run; md5sum of the 64 (one process) against
     veldra-bench digest.
  b. a package of each file, published by veldra-publish, in temp/; gzip -dc of each into
     its target against veldra-bench unpack, the packages laid anew before each of its runs.
  c. peak resident memory of veldra-bench unpack on one package of the whole size.
  d. veldra-bench statuslog 200000: saving and loading the status log, and the checks a run
     makes of a list of that many files (colliding keys; every file as listed at the end).
Best of 3 for each. Every digest and every unpacked file is checked against the tree. Goals:
veldra at no less than 0.9 of the other tool's rate (wall times, like for like), unpacking
in less than 32 MiB, the status log saved and loaded in less than 0.5 s each. MB are 10^6
bytes.

  bench/files_bench.py [--size-mib N] [--tool-dir DIR] [--keep]

Exit status 1 when a tool failed or wrote a wrong output; the goals are only printed.
"""
import os
import random
import shutil
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
from testbed import bench_harness as harness, patch_runs, releases  # noqa: E402
from testbed.bench_harness import BenchError, sync_and_read_into_cache  # noqa: E402
from testbed.processes import run_tool  # noqa: E402

FILES = 64
RUNS = 3
RATE_GOAL = 0.9
MEMORY_GOAL_KIB = 32 * 1024
STATUS_LOG_ENTRIES = 200000
STATUS_LOG_GOAL = 0.5  # seconds, each of saving and loading
CHUNK = 1 << 20  # of a tree file: a quarter random bytes, the rest text
LEVEL = 6
SEED = 20261209
ALL = "data/all.bin"  # the memory run's file: all the others, one after the other

# Runs one program and prints its peak resident KiB: alone in this process, only it counts.
# A child's figure includes what its parent held when it forked, so the wrapper runs without
# site (python -I -S) and forks by hand: that floor is about 5 MiB, not the 14 of a wrapper
# using subprocess. The program's stdout goes to stderr, leaving stdout to the figure.
MAXRSS_WRAPPER = """import os, resource, sys
pid = os.fork()
if pid == 0:
    try:
        os.dup2(2, 1)
        os.execv(sys.argv[1], sys.argv[1:])
    finally:
        os._exit(127)
_, status = os.waitpid(pid, 0)
print(resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss)
sys.exit(os.waitstatus_to_exitcode(status))
"""


def make_tree(tree, file_size):
    """{relative path: MD5 hex} of the tree's files, every one file_size bytes."""
    rng = random.Random(SEED)
    pool = releases.text_pool(rng, 4 << 20)
    return {name: releases.write_mixed_file(os.path.join(tree, name), file_size, pool, rng,
                                            block=CHUNK, random_bytes=CHUNK // 4)
            for name in (f"data/f{index:02}.bin" for index in range(FILES))}


def make_packages(options, scratch, tree, names, big_package):
    """Publishes the tree's files, and one of all of them (for the memory run), as an
    operator would; returns the server folder, which holds a package per file. The package of
    all goes to big_package."""
    release = os.path.join(scratch, "release")
    for name in names:
        os.makedirs(os.path.dirname(os.path.join(release, name)), exist_ok=True)
        os.link(os.path.join(tree, name), os.path.join(release, name))
    with open(os.path.join(release, ALL), "wb") as out:
        for name in names:
            with open(os.path.join(tree, name), "rb") as f:
                shutil.copyfileobj(f, out, CHUNK * 8)
    releases.write_file(release, "veldra.exe", b"MZ files bench")
    patch_sys = os.path.join(scratch, "patch.sys")
    releases.write_file(scratch, "patch.sys", b"[Combo]\r\n")
    server = os.path.join(scratch, "server")
    releases.publish(os.path.join(options.tool_dir, "veldra-publish"), release, server, [],
                     patch_sys, level=LEVEL)
    shutil.rmtree(release)
    os.makedirs(os.path.dirname(big_package))
    os.replace(os.path.join(server, releases.package_name(ALL)), big_package)
    return server


def figure(stdout, name, tool):
    """The value of a "name: value" line that veldra-bench prints."""
    for line in stdout.splitlines():
        label, colon, value = line.partition(": ")
        if colon and label == name:
            return float(value)
    raise BenchError(f"{tool} printed no \"{name}\":\n{stdout}")


def md5sum_lines(stdout):
    digests = {}
    for line in stdout.splitlines():
        digest, separator, name = line.partition("  ")
        if separator and len(digest) == 32:
            digests[name] = digest
    return digests


def check_digests(found, expected, tool):
    if found != expected:
        wrong = sorted(set(found.items()) ^ set(expected.items()))[:4]
        raise BenchError(f"{tool}: digests differ from the tree's, e.g. {wrong}")


def check_outputs(folder, expected, file_size, tool, whole):
    """Sizes always; the content too when `whole`."""
    for name in expected:
        path = os.path.join(folder, name)
        if not os.path.isfile(path) or os.path.getsize(path) != file_size:
            raise BenchError(f"{tool}: {path} is missing or not {file_size} bytes")
    if whole:
        patch_runs.check_folder(folder, expected, tool)


def bench_digest(tool, tree, names, expected):
    paths = [os.path.join(tree, name) for name in names]
    md5sum_walls, walls, own = [], [], []
    for _ in range(RUNS):
        sync_and_read_into_cache(paths)
        wall, stdout, _ = run_tool(["md5sum"] + names, "md5sum", cwd=tree)
        check_digests(md5sum_lines(stdout), expected, "md5sum")
        md5sum_walls.append(wall)

        sync_and_read_into_cache(paths)
        wall, stdout, _ = run_tool([tool, "digest", "--list", tree], "veldra-bench digest")
        check_digests(md5sum_lines(stdout), expected, "veldra-bench digest")
        if figure(stdout, "files", "veldra-bench digest") != len(names):
            raise BenchError(f"veldra-bench digest did not find the {len(names)} files")
        walls.append(wall)
        own.append((figure(stdout, "digest seconds", "veldra-bench digest"),
                    figure(stdout, "walk seconds", "veldra-bench digest")))
    if sorted(os.listdir(tree)) != ["data"] or len(os.listdir(os.path.join(tree, "data"))) != \
            len(names):
        raise BenchError("veldra-bench digest left the tree changed")
    return min(md5sum_walls), min(walls), min(own)


def lay_packages(packages, temp):
    """The packages in temp/, as a download leaves them."""
    os.makedirs(temp, exist_ok=True)
    for package in packages:
        shutil.copy(package, temp)
    sync_and_read_into_cache(temp)


def bench_unpack(tool, server, names, expected, file_size, scratch):
    gzip_folder = os.path.join(scratch, "gzip")
    os.makedirs(os.path.join(gzip_folder, "data"))
    game = os.path.join(scratch, "game")
    packages = [os.path.join(server, releases.package_name(name)) for name in names]
    gzip_walls, walls, own = [], [], []
    for run in range(RUNS):
        last = run == RUNS - 1
        sync_and_read_into_cache(packages)
        start = time.perf_counter()
        for name, package in zip(names, packages):
            with open(os.path.join(gzip_folder, name), "wb") as out:
                # 2 is gzip's "trailing garbage ignored": the package trailer, as expected.
                run_tool(["gzip", "-dcq", package], "gzip -dc", stdout=out, allowed=(0, 2))
        gzip_walls.append(time.perf_counter() - start)
        check_outputs(gzip_folder, expected, file_size, "gzip -dc", last)

        lay_packages(packages, os.path.join(game, "temp"))
        wall, stdout, _ = run_tool([tool, "unpack", game], "veldra-bench unpack")
        if figure(stdout, "bytes written", "veldra-bench unpack") != file_size * len(names):
            raise BenchError(f"veldra-bench unpack wrote no {file_size * len(names)} bytes")
        check_outputs(game, expected, file_size, "veldra-bench unpack", last)
        walls.append(wall)
        own.append(figure(stdout, "unpack seconds", "veldra-bench unpack"))
    shutil.rmtree(gzip_folder)
    shutil.rmtree(game)
    return min(gzip_walls), min(walls), min(own)


def peak_kib(command, tool):
    _, stdout, _ = run_tool([sys.executable, "-I", "-S", "-c", MAXRSS_WRAPPER] + command, tool)
    return int(stdout.strip().splitlines()[-1])


def bench_memory(tool, big_package, size):
    """(peak KiB of the unpacking, the wrapper's floor: the peak it gives /bin/true)."""
    game = os.path.dirname(os.path.dirname(big_package))
    sync_and_read_into_cache([big_package])
    peak = peak_kib([tool, "unpack", game], "veldra-bench unpack (memory)")
    output = os.path.join(game, "data", "all.bin")
    if not os.path.isfile(output) or os.path.getsize(output) != size:
        raise BenchError(f"veldra-bench unpack (memory): {output} is not {size} bytes")
    shutil.rmtree(game)
    return peak, peak_kib(["/bin/true"], "/bin/true (memory floor)")


def bench_status_log(tool, scratch):
    folder = os.path.join(scratch, "statuslog")
    os.makedirs(folder)
    saves, loads, checks = [], [], []
    for _ in range(RUNS):
        _, stdout, _ = run_tool([tool, "statuslog", str(STATUS_LOG_ENTRIES)],
                                "veldra-bench statuslog", cwd=folder)
        saves.append(figure(stdout, "save seconds", "veldra-bench statuslog"))
        loads.append(figure(stdout, "load seconds", "veldra-bench statuslog"))
        checks.append(figure(stdout, "check seconds", "veldra-bench statuslog"))
    if os.listdir(folder):
        raise BenchError("veldra-bench statuslog left files behind")
    return min(saves), min(loads), min(checks)


def verdict(passed):
    return "PASS" if passed else "FAIL"


def print_table(size, digest, unpack, memory, status_log):
    md5sum_wall, digest_wall, (digest_own, walk_own) = digest
    gzip_wall, unpack_wall, unpack_own = unpack
    save, load, check = status_log
    memory_kib, floor_kib = memory
    rate = harness.rate
    digest_ratio = rate(size, digest_wall) / rate(size, md5sum_wall)
    unpack_ratio = rate(size, unpack_wall) / rate(size, gzip_wall)
    rows = [
        ("md5sum, one process (wall)", f"{md5sum_wall:.3f} s {rate(size, md5sum_wall):7.1f} MB/s",
         "", ""),
        ("veldra-bench digest (wall)", f"{digest_wall:.3f} s {rate(size, digest_wall):7.1f} MB/s",
         "", ""),
        ("  its digest pass (own)", f"{digest_own:.3f} s {rate(size, digest_own):7.1f} MB/s", "",
         ""),
        ("  its walk (own)", f"{walk_own:.3f} s", "", ""),
        ("digest: veldra / md5sum", f"{digest_ratio:.2f}", f">= {RATE_GOAL}",
         verdict(digest_ratio >= RATE_GOAL)),
        ("gzip -dc, one per package (wall)",
         f"{gzip_wall:.3f} s {rate(size, gzip_wall):7.1f} MB/s", "", ""),
        ("veldra-bench unpack (wall)", f"{unpack_wall:.3f} s {rate(size, unpack_wall):7.1f} MB/s",
         "", ""),
        ("  its unpacking (own)", f"{unpack_own:.3f} s {rate(size, unpack_own):7.1f} MB/s", "", ""),
        ("unpack: veldra / gzip", f"{unpack_ratio:.2f}", f">= {RATE_GOAL}",
         verdict(unpack_ratio >= RATE_GOAL)),
        ("unpack, one package: peak RSS", f"{memory_kib / 1024:.1f} MiB",
         f"< {MEMORY_GOAL_KIB // 1024} MiB", verdict(memory_kib < MEMORY_GOAL_KIB)),
        ("  floor: /bin/true, same wrapper", f"{floor_kib / 1024:.1f} MiB", "", ""),
        (f"status log, {STATUS_LOG_ENTRIES}: save", f"{save:.3f} s", f"< {STATUS_LOG_GOAL} s",
         verdict(save < STATUS_LOG_GOAL)),
        (f"status log, {STATUS_LOG_ENTRIES}: load", f"{load:.3f} s", f"< {STATUS_LOG_GOAL} s",
         verdict(load < STATUS_LOG_GOAL)),
        (f"list checks, {STATUS_LOG_ENTRIES}", f"{check:.3f} s", f"< {STATUS_LOG_GOAL} s",
         verdict(check < STATUS_LOG_GOAL)),
    ]
    harness.print_table(f"{FILES} files, {size} bytes, best of {RUNS}, MB = 10^6 bytes; "
                        "ratios of wall rates",
                        [("measure", "<32"), ("figure", "<24"), ("goal", "<10"), ("result", "")],
                        rows)


def run_benchmarks(options, scratch):
    harness.snapshot_tools(options, scratch, ("veldra-bench", "veldra-publish"))
    tool = os.path.join(options.tool_dir, "veldra-bench")
    file_size = options.size_mib * (1 << 20) // FILES
    size = file_size * FILES
    tree = os.path.join(scratch, "tree")
    print(f"writing {FILES} files of {file_size} bytes", flush=True)
    expected = make_tree(tree, file_size)
    names = sorted(expected)
    harness.read_into_cache(os.path.join(tree, name) for name in names)

    print("measuring md5sum and veldra-bench digest", flush=True)
    digest = bench_digest(tool, tree, names, expected)

    print(f"making the packages (gzip level {LEVEL})", flush=True)
    big_package = os.path.join(scratch, "memory", "temp", releases.package_name(ALL))
    server = make_packages(options, scratch, tree, names, big_package)

    print("measuring gzip -dc and veldra-bench unpack", flush=True)
    unpack = bench_unpack(tool, server, names, expected, file_size, scratch)

    print("measuring the peak memory of veldra-bench unpack", flush=True)
    memory = bench_memory(tool, big_package, size)

    print(f"measuring veldra-bench statuslog {STATUS_LOG_ENTRIES}", flush=True)
    status_log = bench_status_log(tool, scratch)

    print_table(size, digest, unpack, memory, status_log)


def main():
    parser = harness.arguments(__doc__, "where veldra-bench and veldra-publish are",
                               size_mib=1024)
    return harness.run("files_bench", run_benchmarks, harness.parse(parser, size_mib=1))


if __name__ == "__main__":
    sys.exit(main())
