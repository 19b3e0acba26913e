#!/usr/bin/env python3
"""What a change to a large file costs a player: the bytes on the network when a 1 GiB file
of random bytes (an already compressed archive) changes by one flipped byte, by 10 MiB
rewritten in the middle and by 1 KiB inserted at its start; the time of the pass that finds
which chunks the old copy holds, against md5sum of the same file; veldra-cli's peak memory.

Makes (once, then reuses) the file under --data, publishes it with a veldra.exe stand-in and
patch.sys to nginx on 127.0.0.1, and installs its first version in a game folder by copying
it there (the first run then fetches nothing). For each change: the release's file is changed
from the first version and published, the game folder's copy is the first version again, and
veldra-cli brings it up to date; nginx's log gives what crossed the network. MB are 10^6
bytes.

  bench/delta_bench.py [--size-mib N] [--runs N] [--level N] [--tool-dir DIR] [--data FOLDER]

Goals: the flipped byte and the insertion at most 1 MB each; the 10 MiB at most 1.15 x 10 MiB;
the matching at most 2 x md5sum's time; peak memory under 64 MiB. Exit status 1 when a run
fails or leaves the game folder other than the release; the goals are only printed.
"""
import hashlib
import os
import shutil
import sys

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
from chunk_bench import random_file  # noqa: E402
from testbed import bench_harness as harness  # noqa: E402
from testbed import game_folders, link_relay, nginx_server  # noqa: E402
from testbed.patch_runs import publish_to  # noqa: E402
from testbed.processes import run_tool_with_peak  # noqa: E402

DEFAULT_DATA = "/tmp/veldra-delta-bench"
LARGE = os.path.join("data", "archive.pak")
MIB = 1 << 20


def md5_of(path):
    digest = hashlib.md5()
    with open(path, "rb") as f:
        while block := f.read(8 * MIB):
            digest.update(block)
    return digest.hexdigest()


def changed(original, target, change):
    """`target` as `original` with `change` made: ("flip", at), ("rewrite", at, size) or
    ("insert", at, size), the new bytes random."""
    kind, at = change[0], change[1]
    with open(original, "rb") as source, open(target, "wb") as out:
        copy_bytes(source, out, at)
        if kind == "flip":
            out.write(bytes([source.read(1)[0] ^ 1]))
        elif kind == "rewrite":
            out.write(os.urandom(change[2]))
            source.seek(change[2], os.SEEK_CUR)
        else:
            out.write(os.urandom(change[2]))
        copy_bytes(source, out, None)


def copy_bytes(source, out, count):
    """`count` bytes from `source` to `out`, all that are left for None, 8 MiB at a time: the
    bench's own memory would count in the peak of the programs it starts."""
    while count is None or count > 0:
        block = source.read(8 * MIB if count is None else min(8 * MIB, count))
        if not block:
            break
        out.write(block)
        count = None if count is None else count - len(block)


def run_bench(options, data):
    size = options.size_mib * MIB
    original = os.path.join(data, "original.pak")
    print(f"the first version: {size} random bytes in {original}", flush=True)
    random_file(original, size)
    (cli, bench) = harness.tool_paths(options.tool_dir, ["veldra-cli", "veldra-bench"])
    release, game = os.path.join(data, "release"), os.path.join(data, "game")
    scratch = os.path.join(data, "run")
    shutil.rmtree(scratch, ignore_errors=True)
    os.makedirs(scratch)
    changes = [("one byte flipped", ("flip", size // 2 + 12345)),
               ("10 MiB rewritten in the middle", ("rewrite", size // 2, 10 * MIB)),
               ("1 KiB inserted at the start", ("insert", 0, 1024))]
    with harness.nginx(scratch) as served:
        relay = link_relay.Relay(served.port, options.rtt_ms / 1000, options.rate_mbit * 1e6 / 8)
        relay.start()
        try:
            rows, index, package = update_through(options, scratch, served, relay, changes,
                                                  original, release, game, cli)
        finally:
            relay.stop()
    harness.print_table(
        f"veldra-cli bringing a {options.size_mib} MiB file up to date, through a link of "
        f"{options.rtt_ms} ms and {options.rate_mbit} Mbit/s",
        [("change", "<32"), ("MB fetched", ">10"), ("package", ">8"), ("seconds", ">8"),
         ("peak MiB", "")], rows)
    floor = package / (options.rate_mbit * 1e6 / 8)
    print(f"its package ({package / 1e6:.1f} MB) would take {floor:.1f} s at the link's rate "
          "alone")

    harness.read_into_cache([original])
    times = harness.hyperfine(data, [("md5sum", f"md5sum {original}"),
                                     ("match", f"{bench} match {original} {index}")],
                              options.runs, warmup=1)
    print(f"\nmatching pass {times['match']:.2f} s, md5sum {times['md5sum']:.2f} s: "
          f"{times['match'] / times['md5sum']:.2f} x md5sum")
    shutil.rmtree(os.path.join(data, "run"), ignore_errors=True)


def update_through(options, scratch, served, relay, changes, original, release, game, cli):
    """Each change published and brought into the game folder through the relay; the table's
    rows, the index of the rewritten file, and the size of the last package."""
    rows, index, package = [], None, 0
    for what, change in changes:
        shutil.rmtree(release, ignore_errors=True)
        os.makedirs(os.path.join(release, "data"))
        with open(os.path.join(release, "veldra.exe"), "wb") as f:
            f.write(b"MZ stand-in")
        print(f"\n{what}: publishing", flush=True)
        changed(original, os.path.join(release, LARGE), change)
        patch_sys, _ = publish_to(options, scratch, served.www, "live", release,
                                  relay.port)
        game_folders.new_game_folder(game, patch_sys)
        os.makedirs(os.path.join(game, "data"))
        shutil.copy(original, os.path.join(game, LARGE))
        shutil.copy(os.path.join(release, "veldra.exe"), game)
        log = nginx_server.AccessLog(served.access_log, "live")
        log.skip()
        harness.sync_and_read_into_cache([os.path.join(game, LARGE)])
        seconds, out, err, peak_kib = run_tool_with_peak([cli, "--no"], "veldra-cli",
                                                         cwd=game)
        fetched = [(name, size) for name, status, size in log.new_requests() if status == 200]
        if md5_of(os.path.join(game, LARGE)) != md5_of(os.path.join(release, LARGE)):
            raise harness.BenchError(f"{what}: the game's file is not the release's")
        cost = [line for line in (out + err).splitlines() if " to fetch, " in line]
        print("\n".join(cost) or "veldra-cli told no cost", flush=True)
        data_bytes = sum(size for name, size in fetched
                         if name.startswith(("chunks/", "indexes/")) or name.endswith(".ppk"))
        packages = [name for name, _ in fetched if name.endswith(".ppk")]
        rows.append([what, f"{data_bytes / 1e6:.3f}", "yes" if packages else "no",
                     f"{seconds:.2f}", f"{peak_kib / 1024:.1f}"])
        if change[0] == "rewrite":
            index = os.path.join(served.www, "live", "indexes",
                                 md5_of(os.path.join(release, LARGE)))
        package = os.path.getsize(os.path.join(served.www, "live", "_data_archive_pak.ppk"))
    return rows, index, package


def main():
    parser = harness.arguments(__doc__, "where veldra-cli and veldra-bench are", scratch=False,
                               size_mib=1024, runs=5, level=9)
    parser.add_argument("--data", default=DEFAULT_DATA, help="folder for the files")
    parser.add_argument("--rtt-ms", type=int, default=100, help="the link's round trip")
    parser.add_argument("--rate-mbit", type=float, default=50, help="the link's bandwidth")
    options = harness.parse(parser, size_mib=8, runs=1)
    return harness.run("delta_bench", run_bench, options, scratch=options.data)


if __name__ == "__main__":
    sys.exit(main())
