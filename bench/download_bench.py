#!/usr/bin/env python3
"""Download throughput: curl against veldra-bench (libcurl natively, WinINet under Wine).

Serves one file of random bytes from nginx with the patch server's Basic authentication and
fetches it with each tool, best of three; every fetched copy must match the original. The
goal is the native veldra-bench at no less than 0.8 of curl's rate. MB are 10^6 bytes.

  bench/download_bench.py [--size-mib N] [--native-only]

Exit status 1 when a tool failed or fetched a wrong file; the goal's result is only printed.
"""
import argparse
import hashlib
import os
import shutil
import subprocess
import sys
import tempfile
import time

REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, REPO)
from testbed import nginx_server  # noqa: E402

FOLDER = "patch"
NAME = "bench.bin"
RUNS = 3
GOAL = 0.8
CHUNK = 1 << 20
TIMEOUT = 600  # seconds for one fetch


class BenchError(Exception):
    pass


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


def file_digest(path):
    digest = hashlib.sha256()
    with open(path, "rb") as f:
        while chunk := f.read(CHUNK):
            digest.update(chunk)
    return digest.hexdigest()


def verify(path, size, expected, tool):
    if not os.path.isfile(path):
        raise BenchError(f"{tool}: {path} was not written")
    if os.path.getsize(path) != size:
        raise BenchError(f"{tool}: {path} has {os.path.getsize(path)} bytes, not {size}")
    if file_digest(path) != expected:
        raise BenchError(f"{tool}: {path} differs from the served file")


def clean_environment():
    # Everything here is local; a proxy of the machine's must not stand between.
    return {k: v for k, v in os.environ.items()
            if k.lower() not in ("http_proxy", "https_proxy", "all_proxy", "no_proxy")}


def run_timed(command, cwd, env, tool):
    """Runs one fetch; returns (wall seconds, stdout)."""
    start = time.perf_counter()
    try:
        done = subprocess.run(command, cwd=cwd, env=env, capture_output=True, text=True,
                              timeout=TIMEOUT)
    except subprocess.TimeoutExpired:
        raise BenchError(f"{tool} took more than {TIMEOUT} seconds") from None
    wall = time.perf_counter() - start
    if done.returncode != 0:
        raise BenchError(f"{tool} exited with {done.returncode}:\n{done.stdout}{done.stderr}")
    return wall, done.stdout


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
        wall, stdout = run_timed(command, cwd, env, tool)
        verify(output, size, expected, tool)
        seconds = reported_seconds(stdout, tool) if own_seconds else wall
        best_seconds = seconds if best_seconds is None else min(best_seconds, seconds)
        best_wall = wall if best_wall is None else min(best_wall, wall)
    return best_seconds, best_wall


def rate(size, seconds):
    return size / 1e6 / seconds if seconds > 0 else float("inf")


def wine_environment(env):
    prefix = os.path.join(REPO, "build", "wine-prefix")
    if not os.path.isfile(os.path.join(prefix, "system.reg")):
        return None, f"no Wine prefix at {prefix} (./dev test makes it): Wine skipped"
    if shutil.which("wine") is None:
        return None, "wine is not installed: Wine skipped"
    env = dict(env, WINEPREFIX=prefix, WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=")
    return env, None


def run_benchmarks(options, scratch):
    size = options.size_mib * (1 << 20)
    root = os.path.join(scratch, "root")
    os.makedirs(os.path.join(root, FOLDER))
    print(f"writing {options.size_mib} MiB of random bytes", flush=True)
    expected = write_random_file(os.path.join(root, FOLDER, NAME), size)

    nginx, port = nginx_server.start(root, os.path.join(scratch, "nginx"))
    try:
        env = clean_environment()
        url = f"http://127.0.0.1:{port}/{FOLDER}/{NAME}"
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

        args = ["download", "127.0.0.1", str(port), FOLDER, NAME]
        native = os.path.join(REPO, "build", "native", "bin", "veldra-bench")
        if not os.path.isfile(native):
            raise BenchError(f"{native} is missing: cmake --build build/native --target "
                             "veldra-bench")
        native_dir = os.path.join(scratch, "native")
        os.makedirs(native_dir)
        print("measuring veldra-bench (libcurl)", flush=True)
        seconds, wall = measure("veldra-bench", [native] + args, native_dir,
                                os.path.join(native_dir, "temp", NAME), size, expected, env, True)
        results.append(("veldra libcurl", seconds, wall))

        if not options.native_only:
            windows = os.path.join(REPO, "build", "win64", "bin", "veldra-bench.exe")
            wine_env, skipped = wine_environment(env)
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
    finally:
        nginx_server.stop(nginx)

    print_table(size, results, notes)


def print_table(size, results, notes):
    print()
    print(f"{size} bytes, best of {RUNS}, MB = 10^6 bytes; veldra seconds are the program's "
          "own, wall includes its start")
    print(f"{'tool':<24} {'seconds':>9} {'MB/s':>9} {'wall s':>9} {'wall MB/s':>10}")
    for tool, seconds, wall in results:
        print(f"{tool:<24} {seconds:>9.3f} {rate(size, seconds):>9.1f} {wall:>9.3f} "
              f"{rate(size, wall):>10.1f}")
    # Like for like: curl is timed from outside, so the native program is too.
    curl_wall = results[0][2]
    native_wall = results[1][2]
    ratio = curl_wall / native_wall
    verdict = "PASS" if ratio >= GOAL else "FAIL"
    print(f"veldra libcurl / curl (wall rates): {ratio:.2f}, goal at least {GOAL}: {verdict}")
    for note in notes:
        print(note)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--size-mib", type=int, default=256, help="size of the file (MiB)")
    parser.add_argument("--native-only", action="store_true", help="skip the Wine run")
    options = parser.parse_args()
    if options.size_mib < 1:
        parser.error("--size-mib must be at least 1")

    scratch = tempfile.mkdtemp(prefix="veldra-download-bench-")
    try:
        os.chmod(scratch, 0o755)  # nginx's workers read the root
        run_benchmarks(options, scratch)
    except (BenchError, RuntimeError) as error:
        print(f"download_bench: {error}", file=sys.stderr)
        return 1
    finally:
        shutil.rmtree(scratch, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
