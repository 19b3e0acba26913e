#!/usr/bin/env python3
"""The chunks' cost: what cutting a large file of random bytes into chunks adds to a publish,
against what its package's gzip costs, in the same run.

Makes (once, then reuses) one file of random bytes under /tmp (1 GiB unless --size-mib) and
publishes it at --level (default 9, veldra-publish's own). Then, from the page cache, times
four publishes of it into the same server folder, each --runs times:

  kept       package, index and chunks all there: only the file's MD5 is read
  chunks     the package there, chunks/ and indexes/ removed: MD5 pass and the chunks
  gzip       the index and chunks there, the package removed: MD5 pass and the package
  one byte   one byte in the middle changed: MD5, the changed chunks, the package

The chunks' extra time is chunks - kept, the package's is gzip - kept (medians). MB are 10^6
bytes.

  bench/chunk_bench.py [--size-mib N] [--runs N] [--level N] [--tool-dir DIR] [--data FOLDER]

Exit status 1 when veldra-publish fails; the times are only printed.
"""
import os
import shutil
import statistics
import sys

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
from testbed import bench_harness as harness  # noqa: E402
from testbed.processes import run_tool  # noqa: E402

DEFAULT_DATA = "/tmp/veldra-chunk-bench"
BLOCK = 8 << 20


def random_file(path, size):
    """The file, made again only when it is not of the right size."""
    if os.path.isfile(path) and os.path.getsize(path) == size:
        return
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        for start in range(0, size, BLOCK):
            f.write(os.urandom(min(BLOCK, size - start)))


def flip_middle(path):
    with open(path, "r+b") as f:
        f.seek(os.path.getsize(path) // 2)
        byte = f.read(1)
        f.seek(-1, os.SEEK_CUR)
        f.write(bytes([byte[0] ^ 1]))


def run_bench(options, data):
    release = os.path.join(data, "release")
    server = os.path.join(data, "server")
    big = os.path.join(release, "data", "archive.pak")
    size = options.size_mib << 20
    print(f"release: one file of {size} random bytes in {release}", flush=True)
    random_file(big, size)
    harness.read_into_cache([big])
    (tool,) = harness.tool_paths(options.tool_dir, ["veldra-publish"])
    command = [tool, "--level", str(options.level), release, server]
    package = os.path.join(server, "_data_archive_pak.ppk")

    def remove_chunks():
        for folder in ("chunks", "indexes"):
            shutil.rmtree(os.path.join(server, folder), ignore_errors=True)

    def remove_package():
        os.remove(package)

    def nothing():
        pass

    shutil.rmtree(server, ignore_errors=True)
    seconds, summary, _ = run_tool(command, "veldra-publish")
    print(f"first publish: {seconds:.2f} s\n{summary.strip()}", flush=True)
    times = {}
    for name, prepare in (("kept", nothing), ("chunks", remove_chunks), ("gzip", remove_package)):
        runs = []
        for _ in range(options.runs):
            prepare()
            runs.append(run_tool(command, "veldra-publish")[0])
        times[name] = statistics.median(runs)
        print(f"{name:>8}: {times[name]:7.2f} s  (runs: "
              f"{', '.join(f'{r:.2f}' for r in runs)})", flush=True)
    flip_middle(big)
    seconds, summary, _ = run_tool(command, "veldra-publish")
    print(f"one byte: {seconds:7.2f} s\n{summary.strip()}")
    shutil.rmtree(server, ignore_errors=True)

    chunks = times["chunks"] - times["kept"]
    gzip = times["gzip"] - times["kept"]
    print(f"the chunks add {chunks:.2f} s ({harness.rate(size, chunks):.1f} MB/s), the package "
          f"at level {options.level} {gzip:.2f} s ({harness.rate(size, gzip):.1f} MB/s): "
          f"{chunks / gzip:.2f} times its gzip time")


def main():
    parser = harness.arguments(__doc__, "where veldra-publish is", scratch=False,
                               size_mib=1024, runs=3, level=9)
    parser.add_argument("--data", default=DEFAULT_DATA, help="folder for release and server")
    options = harness.parse(parser, size_mib=5, runs=1)
    return harness.run("chunk_bench", run_bench, options, scratch=options.data)


if __name__ == "__main__":
    sys.exit(main())
