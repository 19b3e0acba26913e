#!/usr/bin/env python3
"""Publishing time: veldra-publish against gzip -9 of the same files, in the same run.

Makes (once, then reuses) a release of text-like files under /tmp: words of a fixed random
vocabulary in random order, so they compress as text does and no two files are alike. Both
tools read the files from the page cache: the files are read once before either is timed.
veldra-publish writes a fresh server folder (every package, MD5s, the lists); gzip -9 -c of
each file goes to /dev/null, one process per file. MB are 10^6 bytes.

  bench/publish_bench.py [--size-mib N] [--files N] [--tool-dir DIR] [--data FOLDER]

Exit status 1 when a tool fails; the times are only printed.
"""
import os
import random
import shutil
import sys

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
from testbed import bench_harness as harness, releases  # noqa: E402
from testbed.processes import run_tool  # noqa: E402

DEFAULT_DATA = "/tmp/veldra-publish-bench"
CHUNK = 1 << 20
SEED = 20261209


def text_release(release, files, file_size):
    """The release folder's files, made again only when they are not all of the right size."""
    names = [os.path.join(release, f"part{index // 16}", f"file{index:02}.txt")
             for index in range(files)]
    if all(os.path.isfile(n) and os.path.getsize(n) == file_size for n in names) and \
            sum(len(f) for _, _, f in os.walk(release)) == files:
        return names
    shutil.rmtree(release, ignore_errors=True)
    rng = random.Random(SEED)
    for name in names:
        os.makedirs(os.path.dirname(name), exist_ok=True)
        with open(name, "wb") as f:
            for start in range(0, file_size, CHUNK):
                f.write(releases.text_pool(rng, min(CHUNK, file_size - start)))
    return names


def time_gzip(names):
    wall = 0.0
    with open(os.devnull, "wb") as null:
        for name in names:
            wall += run_tool(["gzip", "-9", "-c", name], "gzip -9", stdout=null)[0]
    return wall


def run_bench(options, data):
    release = os.path.join(data, "release")
    server = os.path.join(data, "server")
    file_size = options.size_mib * (1 << 20) // options.files
    total = file_size * options.files
    print(f"release: {options.files} files of {file_size} bytes in {release}", flush=True)
    names = text_release(release, options.files, file_size)
    harness.read_into_cache(names)
    (tool,) = harness.tool_paths(options.tool_dir, ["veldra-publish"])

    try:
        gzip_seconds = time_gzip(names)
        shutil.rmtree(server, ignore_errors=True)
        publish_seconds, summary, _ = run_tool([tool, release, server], "veldra-publish")
    finally:
        shutil.rmtree(server, ignore_errors=True)

    print(f"veldra-publish: {summary.strip()}")
    for tool, seconds in (("gzip -9", gzip_seconds), ("veldra-publish", publish_seconds)):
        print(f"{tool:>15}: {seconds:8.2f} s  {harness.rate(total, seconds):7.1f} MB/s  "
              f"({len(names)} files)")
    print(f"veldra-publish takes {publish_seconds / gzip_seconds:.2f} times as long as gzip -9")


def main():
    parser = harness.arguments(__doc__, "where veldra-publish is", scratch=False,
                               size_mib=1024, files=64)
    parser.add_argument("--data", default=DEFAULT_DATA, help="folder for release and server")
    options = harness.parse(parser, size_mib=1, files=1)
    return harness.run("publish_bench", run_bench, options, scratch=options.data)


if __name__ == "__main__":
    sys.exit(main())
