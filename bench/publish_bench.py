#!/usr/bin/env python3
"""Publishing time: veldra-publish against gzip -9 of the same files, in the same run.

Makes (once, then reuses) a release of text-like files under /tmp: words of a fixed random
vocabulary in random order, so they compress as text does and no two files are alike. Both
tools read the files from the page cache: the files are read once before either is timed.
veldra-publish writes a fresh server folder (every package, MD5s, the lists); gzip -9 -c of
each file goes to /dev/null, one process per file. MB are 10^6 bytes.

  bench/publish_bench.py [--size-mib N] [--files N] [--tool PATH] [--data FOLDER]

Exit status 1 when a tool fails; the times are only printed.
"""
import argparse
import os
import random
import shutil
import string
import subprocess
import sys
import time

REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
DEFAULT_TOOL = os.path.join(REPO, "build", "native", "bin", "veldra-publish")
DEFAULT_DATA = "/tmp/veldra-publish-bench"
CHUNK = 1 << 20
VOCABULARY = 4000
SEED = 20261209


def vocabulary(rng):
    words = ["".join(rng.choices(string.ascii_lowercase, k=rng.randint(2, 10)))
             for _ in range(VOCABULARY)]
    words += [",", ".", "\r\n"]
    weights = [1.0 / (rank + 1) for rank in range(len(words))]  # common words first, as text
    return words, weights


def write_text_file(path, size, rng, words, weights):
    written = 0
    with open(path, "wb") as f:
        while written < size:
            chunk = " ".join(rng.choices(words, weights, k=CHUNK // 6)).encode()
            chunk = chunk[: size - written]
            f.write(chunk)
            written += len(chunk)


def make_release(release, files, file_size):
    """The release folder, made again only when its files are not all of the right size."""
    names = [os.path.join(release, f"part{index // 16}", f"file{index:02}.txt")
             for index in range(files)]
    if all(os.path.isfile(n) and os.path.getsize(n) == file_size for n in names) and \
            sum(len(f) for _, _, f in os.walk(release)) == files:
        return names
    shutil.rmtree(release, ignore_errors=True)
    rng = random.Random(SEED)
    words, weights = vocabulary(rng)
    for name in names:
        os.makedirs(os.path.dirname(name), exist_ok=True)
        write_text_file(name, file_size, rng, words, weights)
    return names


def read_into_cache(names):
    for name in names:
        with open(name, "rb") as f:
            while f.read(CHUNK * 8):
                pass


def time_gzip(names):
    start = time.monotonic()
    for name in names:
        with open(os.devnull, "wb") as null:
            subprocess.run(["gzip", "-9", "-c", name], stdout=null, check=True)
    return time.monotonic() - start


def time_publish(tool, release, server):
    shutil.rmtree(server, ignore_errors=True)
    start = time.monotonic()
    result = subprocess.run([tool, release, server], capture_output=True, text=True)
    seconds = time.monotonic() - start
    if result.returncode != 0:
        raise RuntimeError(f"veldra-publish failed:\n{result.stderr}")
    return seconds, result.stdout.strip()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--size-mib", type=int, default=1024, help="size of the whole release")
    parser.add_argument("--files", type=int, default=64)
    parser.add_argument("--tool", default=DEFAULT_TOOL)
    parser.add_argument("--data", default=DEFAULT_DATA, help="folder for release and server")
    args = parser.parse_args()

    release = os.path.join(args.data, "release")
    server = os.path.join(args.data, "server")
    file_size = args.size_mib * (1 << 20) // args.files
    total = file_size * args.files
    print(f"release: {args.files} files of {file_size} bytes in {release}", flush=True)
    names = make_release(release, args.files, file_size)
    read_into_cache(names)

    try:
        gzip_seconds = time_gzip(names)
        publish_seconds, summary = time_publish(args.tool, release, server)
    except (RuntimeError, subprocess.CalledProcessError) as error:
        print(error, file=sys.stderr)
        return 1
    finally:
        shutil.rmtree(server, ignore_errors=True)

    print(f"veldra-publish: {summary}")
    for tool, seconds in (("gzip -9", gzip_seconds), ("veldra-publish", publish_seconds)):
        print(f"{tool:>15}: {seconds:8.2f} s  {total / seconds / 1e6:7.1f} MB/s  ({len(names)} files)")
    print(f"veldra-publish takes {publish_seconds / gzip_seconds:.2f} times as long as gzip -9")
    return 0


if __name__ == "__main__":
    sys.exit(main())
