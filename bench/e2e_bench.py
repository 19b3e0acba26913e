#!/usr/bin/env python3
"""Whole patch runs: veldra-cli against curl and gzip -dc fetching and unpacking the same bytes.

All in one scratch folder under /tmp, removed at the end, in the same run:
  a. a release of N files (default 2,000, 1 GiB in all, sizes from a few KiB to a few MiB,
     each half random bytes and half text), a veldra.exe stand-in, published by
     veldra-publish to nginx with the patch server's Basic authentication.
  b. the files the patcher fetches, by curl (one process, a -K list of url/output pairs, so
     one connection as the patcher's) into a folder, then gzip -dcq of each package into its
     target, one process per package: the wall time of both together.
  c. the first run of veldra-cli --no in a game folder holding only patch.sys and local.ver
     (1.0), wall time against b: it fetches veldra.exe and patches again as the relaunched
     patcher would, so the time holds both runs.
  d. the second run in that game folder, with nothing to fetch (the status log path).
  e. a release of many tiny files (default 100,000 of 10 to 100 bytes in 1,000 folders): its
     first run once, then the second run timed.
Second runs are the best of 3. The served files are read into the page cache before each
first run; every game folder and the gzip output are checked against the release. Nothing
is removed before the end: on this machine's /tmp (ext4 without a journal) creating files
costs more for minutes after many were deleted, so neither side pays for the other's
deletions; curl and gzip go first, before the patcher removes its packages. MB are 10^6
bytes.

  bench/e2e_bench.py [--size-mib N] [--files N] [--many N] [--level N] [--tool-dir DIR]

Exit status 1 when a tool failed or left a wrong file; the figures are only printed.
"""
import argparse
import hashlib
import math
import os
import random
import shutil
import signal
import string
import subprocess
import sys
import tempfile
import time

REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, REPO)
from testbed import nginx_server  # noqa: E402

DEFAULT_TOOL_DIR = os.path.join(REPO, "build", "native", "bin")
ZONE = "Live"
BIG = "big"  # the server folders below nginx's root
MANY = "many"
RUNS = 3  # of each second run
TIMEOUT = 1800  # seconds for one tool run
SEED = 20261209
CHUNK = 1 << 20
BLOCK = 16 * 1024  # each block of a big file: half random bytes, then half text
TEXT_POOL = 4 << 20
SIZE_SPREAD = 2000  # largest file to smallest, sizes spread evenly on a log scale
PATCHER_SIZE = 512 * 1024
MANY_FOLDERS = 1000
FOLDERS = ["data", "maps", "sound", "textures", "ui", "scripts", "zone1", "zone2", "zone3",
           "effects", "models", "music", "fonts", "lang"]
KINDS = ["dat", "bin", "pak", "tex", "snd", "txt", "xml", "lua"]


class BenchError(Exception):
    pass


# The releases -----------------------------------------------------------------------------

def text_pool(rng):
    words = ["".join(rng.choices(string.ascii_lowercase, k=rng.randint(2, 10)))
             for _ in range(4000)]
    words += [",", ".", "=", "\r\n"]
    weights = [1.0 / (rank + 1) for rank in range(len(words))]  # common words first, as text
    return " ".join(rng.choices(words, weights, k=TEXT_POOL // 5)).encode()[:TEXT_POOL]


def write_bytes(root, name, content):
    """Writes one file; returns the MD5 (hex) of its content."""
    path = os.path.join(root, name)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(content)
    return hashlib.md5(content).hexdigest()


def write_mixed_file(path, size, pool, rng):
    """Blocks of random bytes and of text from the pool; returns the MD5 (hex)."""
    os.makedirs(os.path.dirname(path), exist_ok=True)
    digest = hashlib.md5()
    half = BLOCK // 2
    with open(path, "wb") as f:
        left = size
        while left > 0:
            start = rng.randrange(len(pool) - half)
            block = (os.urandom(half) + pool[start:start + half])[:left]
            digest.update(block)
            f.write(block)
            left -= len(block)
    return digest.hexdigest()


def file_sizes(rng, files, total):
    weights = [math.exp(rng.uniform(0.0, math.log(SIZE_SPREAD))) for _ in range(files)]
    whole = sum(weights)
    sizes = [int(total * w / whole) for w in weights]
    sizes[sizes.index(max(sizes))] += total - sum(sizes)
    return sizes


def big_names(rng, files):
    """The skin picture that patch.sys names, then the others 1 to 3 folders deep."""
    names = ["skin/bg.bmp"]
    for index in range(1, files):
        folders = rng.sample(FOLDERS, rng.randint(1, 3))
        names.append("/".join(folders + [f"file{index:05}.{rng.choice(KINDS)}"]))
    return names


def make_big_release(release, files, total):
    """{relative path: MD5 hex} of the release's files, veldra.exe among them."""
    rng = random.Random(SEED)
    pool = text_pool(rng)
    expected = {}
    for name, size in zip(big_names(rng, files), file_sizes(rng, files, total)):
        expected[name] = write_mixed_file(os.path.join(release, name), size, pool, rng)
    expected["veldra.exe"] = write_bytes(release, "veldra.exe", b"MZ" + os.urandom(PATCHER_SIZE))
    return expected


def make_many_release(release, files):
    rng = random.Random(SEED + 1)
    words = [w.encode() for w in ("patch", "zone", "level", "quest", "item", "the", "=", "\r\n")]
    expected = {}
    for index in range(files):
        name = f"d{index % MANY_FOLDERS:03}/f{index:06}.{'txt' if index % 2 else 'bin'}"
        size = rng.randint(10, 100)
        if index % 2:
            content = b" ".join(rng.choices(words, k=size))[:size]
        else:
            content = rng.randbytes(size)
        expected[name] = write_bytes(release, name, content)
    expected["veldra.exe"] = write_bytes(release, "veldra.exe", b"MZ" + os.urandom(PATCHER_SIZE))
    return expected


def patch_sys_bytes(port, folder):
    return ("[Combo]\r\nZone0=" + ZONE + "\r\n"
            f"[{ZONE}]\r\nServer1=127.0.0.1:{port}\r\nFolder={folder}\r\n"
            "[layout]\r\nimage=skin\\bg.bmp\r\n[Button3]\r\nExe=\r\n").encode()


# The programs -----------------------------------------------------------------------------

def clean_environment():
    # Everything here is local; a proxy of the machine's must not stand between.
    return {k: v for k, v in os.environ.items()
            if k.lower() not in ("http_proxy", "https_proxy", "all_proxy", "no_proxy")}


def run_tool(command, tool, cwd=None, stdout=subprocess.PIPE, allowed=(0,)):
    """Runs one program; returns (wall seconds, its stdout, its stderr)."""
    start = time.perf_counter()
    try:
        done = subprocess.run(command, cwd=cwd, stdin=subprocess.DEVNULL, stdout=stdout,
                              stderr=subprocess.PIPE, text=True, errors="replace",
                              env=clean_environment(), timeout=TIMEOUT)
    except subprocess.TimeoutExpired:
        raise BenchError(f"{tool} took more than {TIMEOUT} seconds") from None
    wall = time.perf_counter() - start
    if done.returncode not in allowed:
        raise BenchError(f"{tool} exited with {done.returncode}:\n{(done.stdout or '')[-2000:]}"
                         f"{done.stderr[-2000:]}")
    return wall, done.stdout, done.stderr


def publish(options, release, server, patch_sys, port):
    tool = os.path.join(options.tool_dir, "veldra-publish")
    command = [tool, "--exe", os.path.join(release, "veldra.exe"), "--server",
               f"{ZONE}=127.0.0.1:{port}", "--required", "1.0", "--latest", "1.0",
               "--patch-sys", patch_sys, "--level", str(options.level), release, server]
    wall, stdout, _ = run_tool(command, "veldra-publish")
    print(f"veldra-publish: {stdout.strip()}", flush=True)
    return wall


def new_game_folder(game, patch_sys):
    os.makedirs(game)
    shutil.copy(patch_sys, os.path.join(game, "patch.sys"))
    with open(os.path.join(game, "local.ver"), "wb") as f:
        f.write(b"1.0")


def patch(options, game, what):
    """One veldra-cli --no in the game folder; returns (wall seconds, its stderr)."""
    tool = os.path.join(options.tool_dir, "veldra-cli")
    wall, _, stderr = run_tool([tool, "--no"], f"veldra-cli ({what})", cwd=game)
    return wall, stderr


def read_into_cache(folder):
    """Reads the files whole. Done again before each timed first run: this machine's memory
    reclaimer pages out a file left unread for about a minute."""
    for parent, _, names in os.walk(folder):
        for name in names:
            with open(os.path.join(parent, name), "rb") as f:
                while f.read(CHUNK * 8):
                    pass


def fetched(requests):
    """(count, bytes) of the files received whole: status 200."""
    whole = [size for _, status, size in requests if status == 200]
    return len(whole), sum(whole)


# The checks -------------------------------------------------------------------------------

def file_md5(path):
    with open(path, "rb") as f:
        return hashlib.file_digest(f, "md5").hexdigest()


def check_folder(folder, expected, tool):
    for name, digest in expected.items():
        path = os.path.join(folder, name)
        if not os.path.isfile(path):
            raise BenchError(f"{tool}: {name} is missing")
        if file_md5(path) != digest:
            raise BenchError(f"{tool}: {name} differs from the release's")


def check_nothing_fetched(requests, tool):
    names = [n for n, status, _ in requests if status == 200 and
             (n.endswith(".ppk") or n == "veldra.exe" or n == "filelist.log")]
    if names:
        raise BenchError(f"{tool} fetched {len(names)} files, e.g. {names[:4]}")


def listed_keys(filelist):
    """The keys of filelist.log: a count line, then MD5 (16 bytes), key, CR LF for each."""
    with open(filelist, "rb") as f:
        data = f.read()
    header = b"filelist\r\n"
    if not data.startswith(header):
        raise BenchError(f"{filelist} does not begin with a filelist line")
    at = data.index(b"\r\n", len(header)) + 2
    count = int(data[len(header):at - 2])
    keys = []
    while at < len(data):
        end = data.index(b"\r\n", at + 16)
        keys.append(data[at + 16:end].decode("latin-1"))
        at = end + 2
    if len(keys) != count:
        raise BenchError(f"{filelist} says {count} files and lists {len(keys)}")
    return keys


def package_name(key):
    """As the engine names a package: the key with '\\' and '.' made '_', then .ppk."""
    return key.replace("\\", "_").replace(".", "_") + ".ppk"


# The measures -----------------------------------------------------------------------------

def first_run(options, game, patch_sys, server, log, expected):
    """The timed first run of veldra-cli in an empty game folder."""
    new_game_folder(game, patch_sys)
    os.sync()
    read_into_cache(server)
    log.skip()
    wall, stderr = patch(options, game, "first run")
    if "run 2 of at most 3: done" not in stderr:
        raise BenchError(f"veldra-cli's first run did not end done after one relaunch:\n"
                         f"{stderr[-2000:]}")
    requests = log.new_requests()
    check_folder(game, expected, "veldra-cli")
    return wall, fetched(requests)


def curl_and_gzip(port, server, scratch, expected):
    """What the patcher fetches: veldra.exe whole (the self-update) and the package of every
    other listed file, by curl; then gzip -dc of each package into its target.
    Returns (curl seconds, gzip seconds, (files, bytes) fetched)."""
    downloads = os.path.join(scratch, "curl")
    unpacked = os.path.join(scratch, "gzip")
    os.makedirs(downloads)
    os.makedirs(unpacked)
    keys = [k for k in listed_keys(os.path.join(server, "filelist.log")) if k != "\\veldra.exe"]
    names = [package_name(key) for key in keys] + ["veldra.exe"]
    config = os.path.join(scratch, "curl.config")
    with open(config, "w") as f:
        for name in names:
            f.write(f'url = "http://127.0.0.1:{port}/{BIG}/{name}"\n'
                    f'output = "{os.path.join(downloads, name)}"\n')
    targets = [(package_name(key), os.path.join(unpacked, *key.lstrip("\\").split("\\")))
               for key in keys]

    os.sync()
    read_into_cache(server)
    start = time.perf_counter()
    run_tool(["curl", "-s", "-u", f"{nginx_server.USER}:{nginx_server.PASSWORD}", "-K", config],
             "curl")
    curl_seconds = time.perf_counter() - start
    start = time.perf_counter()
    for package, target in targets:
        os.makedirs(os.path.dirname(target), exist_ok=True)
        with open(target, "wb") as out:
            # 2 is gzip's "trailing garbage ignored": the package trailer, as expected.
            run_tool(["gzip", "-dcq", os.path.join(downloads, package)], "gzip -dc",
                     stdout=out, allowed=(0, 2))
    gzip_seconds = time.perf_counter() - start

    received = 0
    for name in names:
        path = os.path.join(downloads, name)
        if not os.path.isfile(path) or os.path.getsize(path) != \
                os.path.getsize(os.path.join(server, name)):
            raise BenchError(f"curl: {name} is missing or not the size served")
        received += os.path.getsize(path)
    check_folder(unpacked, {k: v for k, v in expected.items() if k != "veldra.exe"}, "gzip -dc")
    return curl_seconds, gzip_seconds, (len(names), received)


def second_runs(options, game, log, what):
    """Best wall seconds of RUNS runs that must fetch nothing."""
    walls = []
    for _ in range(RUNS):
        os.sync()
        log.skip()
        wall, stderr = patch(options, game, what)
        if "run 1 of at most 3: done" not in stderr:
            raise BenchError(f"veldra-cli ({what}) did not end done at once:\n{stderr[-2000:]}")
        check_nothing_fetched(log.new_requests(), f"veldra-cli ({what})")
        walls.append(wall)
    return min(walls)


def bench_big(options, scratch, www, port, access_log):
    release = os.path.join(scratch, "release-big")
    server = os.path.join(www, BIG)
    game = os.path.join(scratch, "game-big")
    patch_sys = os.path.join(scratch, "patch-big.sys")
    total = options.size_mib * (1 << 20)
    print(f"writing {options.files} files, {total} bytes, and a veldra.exe stand-in", flush=True)
    expected = make_big_release(release, options.files, total)
    with open(patch_sys, "wb") as f:
        f.write(patch_sys_bytes(port, BIG))
    print(f"publishing them (gzip level {options.level})", flush=True)
    publish_seconds = publish(options, release, server, patch_sys, port)
    log = nginx_server.AccessLog(access_log, BIG)

    print("timing curl and gzip -dc", flush=True)
    curl_seconds, gzip_seconds, curl_fetched = curl_and_gzip(port, server, scratch, expected)
    print("timing veldra-cli's first run", flush=True)
    first, veldra_fetched = first_run(options, game, patch_sys, server, log, expected)
    print("timing veldra-cli's second run", flush=True)
    second = second_runs(options, game, log, "second run")
    return dict(total=total, publish=publish_seconds, first=first, veldra_fetched=veldra_fetched,
                curl=curl_seconds, gzip=gzip_seconds, curl_fetched=curl_fetched, second=second)


def bench_many(options, scratch, www, port, access_log):
    release = os.path.join(scratch, "release-many")
    server = os.path.join(www, MANY)
    game = os.path.join(scratch, "game-many")
    patch_sys = os.path.join(scratch, "patch-many.sys")
    print(f"writing {options.many} tiny files in {MANY_FOLDERS} folders", flush=True)
    expected = make_many_release(release, options.many)
    with open(patch_sys, "wb") as f:
        f.write(patch_sys_bytes(port, MANY))
    print(f"publishing them (gzip level {options.level})", flush=True)
    publish_seconds = publish(options, release, server, patch_sys, port)
    log = nginx_server.AccessLog(access_log, MANY)

    print("veldra-cli's first run (not timed closely)", flush=True)
    new_game_folder(game, patch_sys)
    log.skip()
    first, _ = patch(options, game, "many files, first run")
    log.skip()
    check_folder(game, expected, "veldra-cli (many files)")
    print("timing veldra-cli's second run", flush=True)
    second = second_runs(options, game, log, "many files, second run")
    return dict(publish=publish_seconds, first=first, second=second)


def rate(size, seconds):
    return size / 1e6 / seconds if seconds > 0 else float("inf")


def print_table(options, big, many):
    total = big["total"]
    both = big["curl"] + big["gzip"]
    rows = [
        (f"veldra-publish, level {options.level}", f"{big['publish']:.2f} s", ""),
        ("veldra-cli --no, first run (wall)",
         f"{big['first']:.2f} s {rate(total, big['first']):7.1f} MB/s",
         "with its relaunched run"),
        ("curl -K list, one process (wall)", f"{big['curl']:.2f} s", ""),
        ("gzip -dcq, one per package (wall)", f"{big['gzip']:.2f} s", ""),
        ("curl + gzip (wall)", f"{both:.2f} s {rate(total, both):7.1f} MB/s", ""),
        ("veldra / (curl + gzip)", f"{big['first'] / both:.2f}", "times as long"),
        ("  fetched by veldra-cli", "{} files, {} bytes".format(*big["veldra_fetched"]),
         "nginx's log, status 200"),
        ("  fetched by curl", "{} files, {} bytes".format(*big["curl_fetched"]),
         "packages and veldra.exe"),
        (f"second run, {options.files} files", f"{big['second']:.3f} s", f"best of {RUNS}"),
    ]
    if many is not None:
        rows += [
            (f"veldra-publish, {options.many} files", f"{many['publish']:.2f} s", ""),
            (f"first run, {options.many} files", f"{many['first']:.2f} s", "once, for scale"),
            (f"second run, {options.many} files", f"{many['second']:.3f} s", f"best of {RUNS}"),
        ]
    print()
    print(f"{options.files} files, {total} bytes (and a veldra.exe stand-in); wall times; "
          "MB = 10^6 bytes of game files")
    print(f"{'measure':<36} {'figure':<32} note")
    for measure, value, note in rows:
        print(f"{measure:<36} {value:<32} {note}".rstrip())


def snapshot_tools(options, scratch, tools):
    """Copies the tools into scratch and points options.tool_dir at the copies, so that a
    rebuild meanwhile does not mix two builds in one table."""
    for tool in tools:
        if not os.access(os.path.join(options.tool_dir, tool), os.X_OK):
            raise BenchError(f"{os.path.join(options.tool_dir, tool)} is missing: cmake --build "
                             f"build/native --target {' '.join(tools)}")
    snapshot = os.path.join(scratch, "bin")
    os.makedirs(snapshot)
    for tool in tools:
        shutil.copy2(os.path.join(options.tool_dir, tool), snapshot)
    options.tool_dir = snapshot


def run_in_scratch(name, run, errors=(BenchError, RuntimeError, OSError)):
    """run(scratch) in a fresh folder under /tmp that is removed afterwards; the exit status,
    1 with the reason on stderr when it was interrupted or raised one of `errors`."""
    # A terminal's SIGTERM or SIGHUP ends the run as Ctrl-C does, through the cleanup.
    for signum in (signal.SIGTERM, signal.SIGHUP):
        signal.signal(signum, signal.default_int_handler)
    scratch = tempfile.mkdtemp(prefix=f"veldra-{name.replace('_', '-')}-", dir="/tmp")
    try:
        os.chmod(scratch, 0o755)  # nginx's workers read the root
        run(scratch)
    except KeyboardInterrupt:
        print(f"{name}: interrupted", file=sys.stderr)
        return 1
    except errors as error:
        print(f"{name}: {error}", file=sys.stderr)
        return 1
    finally:
        shutil.rmtree(scratch, ignore_errors=True)
    return 0


def run_benchmarks(options, scratch):
    snapshot_tools(options, scratch, ("veldra-cli", "veldra-publish"))
    www = os.path.join(scratch, "www")
    os.makedirs(www)
    work = os.path.join(scratch, "nginx")
    nginx, port = nginx_server.start(www, work)
    try:
        access_log = os.path.join(work, "access.log")
        big = bench_big(options, scratch, www, port, access_log)
        many = bench_many(options, scratch, www, port, access_log) if options.many else None
    finally:
        nginx_server.stop(nginx)
    print_table(options, big, many)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--size-mib", type=int, default=1024, help="size of the release (MiB)")
    parser.add_argument("--files", type=int, default=2000, help="files of the release")
    parser.add_argument("--many", type=int, default=100000,
                        help="files of the tiny-file release (0: none)")
    parser.add_argument("--level", type=int, default=9, help="veldra-publish's gzip level")
    parser.add_argument("--tool-dir", default=DEFAULT_TOOL_DIR,
                        help="where veldra-cli and veldra-publish are")
    options = parser.parse_args()
    if options.size_mib < 1 or options.files < 1 or options.many < 0:
        parser.error("--size-mib and --files must be at least 1, --many at least 0")
    if not 1 <= options.level <= 9:
        parser.error("--level must be 1 to 9")
    options.tool_dir = os.path.abspath(options.tool_dir)
    return run_in_scratch("e2e_bench", lambda scratch: run_benchmarks(options, scratch))


if __name__ == "__main__":
    sys.exit(main())
