#!/usr/bin/env python3
"""What checking a signed release costs: a first run with and without signing, in one run.

In one scratch folder under /tmp, removed at the end: e2e_bench.py's big release (default
2,000 files, 1 GiB) published twice to nginx, once plainly and once with --sign (the tests'
key pair). hyperfine then times, alternately in one invocation, a first run of veldra-cli
into a new game folder against the plain server, and of veldra-cli-test-key (the same
program built with that key, which checks release.sig and hashes every fetched byte with
SHA-256) against the signed one; each game folder is made afresh before each run and checked
against the release after the last. Goal: the signed run within 5 % of the plain one.

  bench/signing_bench.py [--size-mib N] [--files N] [--runs N] [--tool-dir DIR]

Exit status 1 when a tool failed or left a wrong file; the goal is only printed.
"""
import argparse
import json
import os
import shlex
import shutil
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import e2e_bench as e2e  # noqa: E402
from e2e_bench import BenchError, nginx_server  # noqa: E402

TOOLS = ("veldra-cli", "veldra-cli-test-key", "veldra-publish")
TEST_KEY = os.path.join(e2e.REPO, "tests", "support", "release_test.key")
GOAL = 1.05  # the signed run's time, in plain runs


def publish(options, release, server, patch_sys, port, signing):
    command = [os.path.join(options.tool_dir, "veldra-publish"), "--exe",
               os.path.join(release, "veldra.exe"), "--server", f"{e2e.ZONE}=127.0.0.1:{port}",
               "--required", "1.0", "--latest", "1.0", "--patch-sys", patch_sys, "--level", "1",
               *signing, release, server]
    e2e.run_tool(command, "veldra-publish")


def run_benchmarks(options, scratch):
    if shutil.which("hyperfine") is None:
        raise BenchError("hyperfine is missing: apt-get install hyperfine")
    e2e.snapshot_tools(options, scratch, TOOLS)
    key = os.path.join(scratch, "release.key")
    shutil.copy(TEST_KEY, key)
    os.chmod(key, 0o600)
    release = os.path.join(scratch, "release")
    print(f"writing a release of {options.files} files, {options.size_mib} MiB", flush=True)
    expected = e2e.make_big_release(release, options.files, options.size_mib << 20)
    www = os.path.join(scratch, "www")
    os.makedirs(www)
    nginx, port = nginx_server.start(www, os.path.join(scratch, "nginx"))
    try:
        runs = {}
        for name, signing, cli in (("plain", [], "veldra-cli"),
                                   ("signed", ["--sign", key], "veldra-cli-test-key")):
            patch_sys = os.path.join(scratch, f"patch-{name}.sys")
            with open(patch_sys, "wb") as f:
                f.write(e2e.patch_sys_bytes(port, name))
            publish(options, release, os.path.join(www, name), patch_sys, port, signing)
            game = os.path.join(scratch, "game-" + name)
            fresh = (f"rm -rf {game} && mkdir {game} && cp {patch_sys} {game}/patch.sys && "
                     f"printf 1.0 > {game}/local.ver")
            runs[name] = (game, fresh,
                          f"cd {game} && {shlex.quote(os.path.join(options.tool_dir, cli))} --no")
        export = os.path.join(scratch, "hyperfine.json")
        command = ["hyperfine", "--warmup", "1", "--runs", str(options.runs), "--style", "basic",
                   "--export-json", export]
        for name, (_, fresh, line) in runs.items():
            command += ["--prepare", fresh, "--command-name", name, line]
        print("timing first runs (hyperfine)", flush=True)
        e2e.run_tool(command, "hyperfine")
    finally:
        nginx_server.stop(nginx)
    for name, (game, _, _) in runs.items():
        e2e.check_folder(game, expected, f"veldra-cli ({name})")
    if not os.path.isfile(os.path.join(runs["signed"][0], "localRelease.log")):
        raise BenchError("the signed run accepted no release")
    with open(export) as f:
        medians = {r["command"]: r["median"] for r in json.load(f)["results"]}
    ratio = medians["signed"] / medians["plain"]
    print(f"medians of {options.runs} first runs, {options.size_mib} MiB in {options.files} files")
    print(f"  plain   {medians['plain']:.2f} s")
    print(f"  signed  {medians['signed']:.2f} s   {ratio:.3f} times plain "
          f"(goal at most {GOAL:.2f}: {'met' if ratio <= GOAL else 'missed'})")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--size-mib", type=int, default=1024, help="size of the release (MiB)")
    parser.add_argument("--files", type=int, default=2000, help="files of the release")
    parser.add_argument("--runs", type=int, default=5, help="timed runs of each")
    parser.add_argument("--tool-dir", default=e2e.DEFAULT_TOOL_DIR,
                        help="where veldra-cli, veldra-cli-test-key and veldra-publish are")
    options = parser.parse_args()
    if options.size_mib < 1 or options.files < 1 or options.runs < 1:
        parser.error("--size-mib, --files and --runs must be at least 1")
    options.tool_dir = os.path.abspath(options.tool_dir)
    return e2e.run_in_scratch("signing_bench", lambda scratch: run_benchmarks(options, scratch))


if __name__ == "__main__":
    sys.exit(main())
