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
                          [--keep]

Exit status 1 when a tool failed or left a wrong file; the goal is only printed.
"""
import os
import random
import shutil
import sys

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
from testbed import bench_harness as harness, patch_runs, releases  # noqa: E402
from testbed.bench_harness import BenchError  # noqa: E402

TOOLS = ("veldra-cli", "veldra-cli-test-key", "veldra-publish")
TEST_KEY = os.path.join(harness.REPO, "testbed", "release_test.key")
SEED = 20261209
GOAL = 1.05  # the signed run's time, in plain runs


def run_benchmarks(options, scratch):
    harness.require_programs("hyperfine")
    harness.snapshot_tools(options, scratch, TOOLS)
    key = os.path.join(scratch, "release.key")
    shutil.copy(TEST_KEY, key)
    os.chmod(key, 0o600)
    release = os.path.join(scratch, "release")
    print(f"writing a release of {options.files} files, {options.size_mib} MiB", flush=True)
    expected = releases.make_big_release(release, options.files, options.size_mib << 20,
                                         random.Random(SEED))
    with harness.nginx(scratch) as served:
        clis = {}
        for name, signing, cli in (("plain", None, "veldra-cli"),
                                   ("signed", key, "veldra-cli-test-key")):
            patch_sys, _ = patch_runs.publish_to(options, scratch, served.www, name, release,
                                                 served.port, level=1, key=signing)
            clis[name] = ([os.path.join(options.tool_dir, cli)], patch_sys)
        print("timing first runs (hyperfine)", flush=True)
        medians, games = patch_runs.time_first_runs(scratch, clis, expected, options.runs,
                                                    warmup=1)
    if not os.path.isfile(os.path.join(games["signed"], "localRelease.log")):
        raise BenchError("the signed run accepted no release")
    ratio = medians["signed"] / medians["plain"]
    print(f"medians of {options.runs} first runs, {options.size_mib} MiB in {options.files} files")
    print(f"  plain   {medians['plain']:.2f} s")
    print(f"  signed  {medians['signed']:.2f} s   {ratio:.3f} times plain "
          f"(goal at most {GOAL:.2f}: {'met' if ratio <= GOAL else 'missed'})")


def main():
    parser = harness.arguments(__doc__,
                               "where veldra-cli, veldra-cli-test-key and veldra-publish are",
                               size_mib=1024, files=2000, runs=5)
    options = harness.parse(parser, size_mib=1, files=1, runs=1)
    return harness.run("signing_bench", run_benchmarks, options)


if __name__ == "__main__":
    sys.exit(main())
