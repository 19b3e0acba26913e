#!/usr/bin/env python3
"""Download throughput: curl against veldra-bench (libcurl natively, WinINet under Wine).

Serves one file of random bytes from nginx with the patch server's Basic authentication and
fetches it with each tool, best of three; every fetched copy must match the original. The
goal is the native veldra-bench at no less than 0.8 of curl's rate. MB are 10^6 bytes.

  bench/download_bench.py [--size-mib N] [--native-only] [--tool-dir DIR] [--win-bin DIR]
                          [--keep]

Exit status 1 when a tool failed or fetched a wrong file; the goal's result is only printed.
"""
import hashlib
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
from testbed import bench_harness as harness, nginx_server, patcher_window  # noqa: E402
from testbed.bench_harness import BenchError  # noqa: E402
from testbed.processes import clean_environment, run_tool  # noqa: E402

FOLDER = "patch"
NAME = "bench.bin"
RUNS = 3
GOAL = 0.8
CHUNK = 1 << 20


def write_random_file(path, size):
    """Writes `size` random bytes; returns their SHA-256."""
    digest = hashlib.sha256()
    with open(path, "wb") as f:
        left = size
        while left > 0:
            chunk = os.urandom(min(CHUNK, left))
            digest.update(chunk)
            f.write(chunk)
            left -= len(chunk)
    return digest.hexdigest()


def verify(path, size, expected, tool):
    if not os.path.isfile(path):
        raise BenchError(f"{tool}: {path} was not written")
    if os.path.getsize(path) != size:
        raise BenchError(f"{tool}: {path} has {os.path.getsize(path)} bytes, not {size}")
    with open(path, "rb") as f:
        if hashlib.file_digest(f, "sha256").hexdigest() != expected:
            raise BenchError(f"{tool}: {path} differs from the served file")


def reported_seconds(stdout, tool):
    """The seconds of the "total" row that veldra-bench prints."""
    for line in stdout.splitlines():
        words = line.split()
        if len(words) >= 3 and words[0] == "total":
            return float(words[2])
    raise BenchError(f"{tool} printed no total:\n{stdout}")


def measure(tool, command, cwd, output, size, expected, env, own_seconds):
    """Best of RUNS: (seconds, wall seconds), each the best of its kind."""
    best_seconds = best_wall = None
    for _ in range(RUNS):
        if os.path.exists(output):
            os.remove(output)
        wall, stdout, _ = run_tool(command, tool, cwd=cwd, env=env)
        verify(output, size, expected, tool)
        seconds = reported_seconds(stdout, tool) if own_seconds else wall
        best_seconds = seconds if best_seconds is None else min(best_seconds, seconds)
        best_wall = wall if best_wall is None else min(best_wall, wall)
    return best_seconds, best_wall


def run_benchmarks(options, scratch):
    (native,) = harness.tool_paths(options.tool_dir, ["veldra-bench"])
    size = options.size_mib * (1 << 20)
    with harness.nginx(scratch) as served:
        os.makedirs(os.path.join(served.www, FOLDER))
        print(f"writing {options.size_mib} MiB of random bytes", flush=True)
        expected = write_random_file(os.path.join(served.www, FOLDER, NAME), size)
        env = clean_environment()
        url = f"http://127.0.0.1:{served.port}/{FOLDER}/{NAME}"
        results = []  # (tool, seconds, wall seconds)
        notes = []

        curl_dir = os.path.join(scratch, "curl")
        os.makedirs(curl_dir)
        curl_output = os.path.join(curl_dir, NAME)
        curl = ["curl", "-s", "-u", f"{nginx_server.USER}:{nginx_server.PASSWORD}", "-o",
                curl_output, url]
        print("measuring curl", flush=True)
        seconds, wall = measure("curl", curl, curl_dir, curl_output, size, expected, env, False)
        results.append(("curl", seconds, wall))

        args = ["download", "127.0.0.1", str(served.port), FOLDER, NAME]
        native_dir = os.path.join(scratch, "native")
        os.makedirs(native_dir)
        print("measuring veldra-bench (libcurl)", flush=True)
        seconds, wall = measure("veldra-bench", [native] + args, native_dir,
                                os.path.join(native_dir, "temp", NAME), size, expected, env, True)
        results.append(("veldra libcurl", seconds, wall))

        if not options.native_only:
            windows = os.path.join(options.win_bin, "veldra-bench.exe")
            wine_env, skipped = patcher_window.wine_environment()
            if skipped is None and not os.path.isfile(windows):
                skipped = f"{windows} is missing: Wine skipped"
            if skipped is not None:
                notes.append(skipped)
            else:
                wine_dir = os.path.join(scratch, "wine")
                os.makedirs(wine_dir)
                print("measuring veldra-bench.exe (WinINet under Wine)", flush=True)
                seconds, wall = measure("veldra-bench.exe", ["wine", windows] + args, wine_dir,
                                        os.path.join(wine_dir, "temp", NAME), size, expected,
                                        wine_env, True)
                results.append(("veldra WinINet (Wine)", seconds, wall))

    print_table(size, results, notes)


def print_table(size, results, notes):
    rate = harness.rate
    harness.print_table(
        f"{size} bytes, best of {RUNS}, MB = 10^6 bytes; veldra seconds are the program's own, "
        "wall includes its start",
        [("tool", "<24"), ("seconds", ">9"), ("MB/s", ">9"), ("wall s", ">9"),
         ("wall MB/s", ">10")],
        [(tool, f"{seconds:.3f}", f"{rate(size, seconds):.1f}", f"{wall:.3f}",
          f"{rate(size, wall):.1f}") for tool, seconds, wall in results])
    # Like for like: curl is timed from outside, so the native program is too.
    curl_wall = results[0][2]
    native_wall = results[1][2]
    ratio = curl_wall / native_wall
    verdict = "PASS" if ratio >= GOAL else "FAIL"
    print(f"veldra libcurl / curl (wall rates): {ratio:.2f}, goal at least {GOAL}: {verdict}")
    for note in notes:
        print(note)


def main():
    parser = harness.arguments(__doc__, "where veldra-bench is",
                               win_bin="where veldra-bench.exe is", size_mib=256)
    parser.add_argument("--native-only", action="store_true", help="skip the Wine run")
    options = harness.parse(parser, size_mib=1)
    return harness.run("download_bench", run_benchmarks, options, (ValueError,))


if __name__ == "__main__":
    sys.exit(main())
