"""What every bench script shares: its options, a scratch folder made and removed, nginx over
that folder, hyperfine, rates and tables. A bench is a function bench(options, scratch)
that raises BenchError (or ToolError) to fail; run() gives the exit status."""
import argparse
import contextlib
import json
import os
import shutil
import signal
import sys
import tempfile
from typing import NamedTuple

from testbed import nginx_server
from testbed.processes import ToolError, run_tool

REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
NATIVE_BIN = os.path.join(REPO, "build", "native", "bin")
WIN_BIN = os.path.join(REPO, "build", "win64", "bin")
CHUNK = 8 << 20  # read at once when warming the page cache


class BenchError(Exception):
    """A bench that cannot give its figures: a wrong output, a missing tool."""


def arguments(doc, tools="where the native programs are", win_bin=None, scratch=True,
              **defaults):
    """A parser described by the script's docstring, with --tool-dir (`tools` its help;
    None: no such option), --win-bin when `win_bin` is its help, --keep unless the bench
    has no scratch folder, and each of `defaults` (size_mib=1024, files=2000, runs=5,
    level=9) as an option of its own."""
    parser = argparse.ArgumentParser(description=" ".join(doc.split("\n\n")[0].split()))
    helps = {"size_mib": "size of the release (MiB)", "files": "files of the release",
             "runs": "timed runs of each", "level": "veldra-publish's gzip level"}
    for name, default in defaults.items():
        parser.add_argument("--" + name.replace("_", "-"), type=type(default), default=default,
                            help=helps.get(name))
    if tools:
        parser.add_argument("--tool-dir", default=NATIVE_BIN, help=tools)
    if win_bin:
        parser.add_argument("--win-bin", default=WIN_BIN, help=win_bin)
    if scratch:
        parser.add_argument("--keep", action="store_true",
                            help="leave the scratch folder, and say where, instead of removing it")
    return parser


def parse(parser, **minimums):
    """The options, each of `minimums` at least its value (size_mib=1, ...) and a --level
    within gzip's; folders made absolute."""
    options = parser.parse_args()
    for name, minimum in minimums.items():
        if getattr(options, name) < minimum:
            parser.error(f"--{name.replace('_', '-')} must be at least {minimum}")
    if not 1 <= getattr(options, "level", 1) <= 9:
        parser.error("--level must be 1 to 9")
    for folder in ("tool_dir", "win_bin"):
        if hasattr(options, folder):
            setattr(options, folder, os.path.abspath(getattr(options, folder)))
    return options


def run(name, bench, options, errors=(), scratch=None):
    """bench(options, scratch) in a fresh folder under /tmp, removed afterwards unless
    --keep, or in `scratch`, made if missing and always left. The exit status: 1, with the
    reason on stderr, when it was interrupted or raised BenchError, ToolError, OSError or one
    of `errors`."""
    # A terminal's SIGTERM or SIGHUP ends the run as Ctrl-C does, through the cleanup.
    for signum in (signal.SIGTERM, signal.SIGHUP):
        signal.signal(signum, signal.default_int_handler)
    made = scratch is None
    if made:
        scratch = tempfile.mkdtemp(prefix=f"veldra-{name.replace('_', '-')}-", dir="/tmp")
    os.makedirs(scratch, exist_ok=True)
    try:
        os.chmod(scratch, 0o755)  # nginx's workers read the root
        bench(options, scratch)
    except KeyboardInterrupt:
        print(f"{name}: interrupted", file=sys.stderr)
        return 1
    except (BenchError, ToolError, OSError, *errors) as error:
        print(f"{name}: {error}", file=sys.stderr)
        return 1
    finally:
        if getattr(options, "keep", False):
            print(f"{name}: the scratch folder stays: {scratch}", file=sys.stderr)
        elif made:
            shutil.rmtree(scratch, ignore_errors=True)
    return 0


def tool_paths(folder, names):
    """The programs' paths in `folder`; BenchError naming what to build when one is missing."""
    paths = [os.path.join(folder, name) for name in names]
    for path in paths:
        if not os.access(path, os.X_OK):
            raise BenchError(f"{path} is missing: build it first (./dev build, or cmake --build "
                             f"build/native --target {' '.join(names)})")
    return paths


def snapshot_tools(options, scratch, names):
    """Copies the programs into scratch and points options.tool_dir at the copies, so that a
    rebuild meanwhile does not mix two builds in one table."""
    snapshot = os.path.join(scratch, "bin")
    os.makedirs(snapshot)
    for path in tool_paths(options.tool_dir, names):
        shutil.copy2(path, snapshot)
    options.tool_dir = snapshot


def require_programs(*names):
    for name in names:
        if shutil.which(name) is None:
            raise BenchError(f"{name} is missing: apt-get install {name}")


class Served(NamedTuple):
    www: str  # nginx's root: a server folder per release below it
    port: int
    access_log: str


@contextlib.contextmanager
def nginx(scratch, rate=None):
    """nginx over scratch/www with the patch server's Basic authentication, for the block."""
    www, work = os.path.join(scratch, "www"), os.path.join(scratch, "nginx")
    os.makedirs(www)
    process, port = nginx_server.start(www, work, rate=rate)
    try:
        yield Served(www, port, os.path.join(work, "access.log"))
    finally:
        nginx_server.stop(process)


def hyperfine(scratch, commands, runs, warmup=0, prepare=None, shell=True, cwd=None):
    """Times each (name, command line) by hyperfine, alternately; `prepare` maps a name to a
    shell line run before each of its runs. Returns {name: median seconds}."""
    require_programs("hyperfine")
    export = os.path.join(scratch, "hyperfine.json")
    command = ["hyperfine", "--warmup", str(warmup), "--runs", str(runs), "--style", "basic",
               "--export-json", export] + ([] if shell else ["-N"])
    for name, line in commands:
        if prepare and name in prepare:
            command += ["--prepare", prepare[name]]
        command += ["--command-name", name, line]
    try:
        run_tool(command, "hyperfine", cwd=cwd)
    except ToolError:
        # hyperfine keeps a failing command's words to itself: run each once to show them.
        for name, line in commands:
            if prepare and name in prepare:
                run_tool(["sh", "-c", prepare[name]], f"{name} (prepare)", cwd=cwd)
            run_tool(["sh", "-c", line] if shell else line.split(), name, cwd=cwd)
        raise
    with open(export) as f:
        return {result["command"]: result["median"] for result in json.load(f)["results"]}


def rate(size, seconds):
    """MB (10^6 bytes) a second."""
    return size / 1e6 / seconds if seconds > 0 else float("inf")


def read_into_cache(paths):
    """Reads the files whole: a folder's (every file below it), or each of a list. Done again
    before each timed run: this machine's memory reclaimer pages out a file left unread for
    about a minute."""
    if isinstance(paths, str):
        paths = [os.path.join(parent, name) for parent, _, names in os.walk(paths)
                 for name in names]
    for path in paths:
        with open(path, "rb") as f:
            while f.read(CHUNK):
                pass


def sync_and_read_into_cache(paths):
    """What a timed run starts from: nothing waiting to be written, its inputs in memory."""
    os.sync()
    read_into_cache(paths)


def print_table(heading, columns, rows):
    """A blank line, the heading, then the columns' titles and the rows; `columns` are
    (title, alignment and width: "<36", ">9", "" for the last, unpadded), a row's cells
    strings."""
    print()
    print(heading)
    for cells in [[title for title, _ in columns]] + list(rows):
        print(" ".join(format(cell, width) for cell, (_, width) in zip(cells, columns)).rstrip())
