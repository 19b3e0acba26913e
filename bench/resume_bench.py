#!/usr/bin/env python3
"""What a download cut short costs the next attempt: bytes the server sends again.

In one scratch folder under /tmp, removed at the end: a release of one file of random bytes
(default 200 MB, so its package is as large) published with veldra-publish and served by
the fault-injecting server, whose rule cuts the package's first answer after 150 MB. One run
of veldra-cli -v patches a new game folder: it resumes the package in the same run. The
server's log gives what each answer was asked for; the second answer's body is the package
less the part the first one delivered. Goal: the second attempt at most the missing bytes
plus 1 % of them.

  bench/resume_bench.py [--size-mb N] [--cut-mb N] [--tool-dir DIR] [--keep]

Exit status 1 when a tool failed or left a wrong file; the goal is only printed.
"""
import json
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
from testbed import bench_harness as harness, fault_server, game_folders, patch_runs  # noqa: E402
from testbed import releases  # noqa: E402
from testbed.bench_harness import BenchError  # noqa: E402

TOOLS = ("veldra-cli", "veldra-publish")
FILE = "data/huge.bin"
PACKAGE = releases.package_name(FILE)
GOAL = 0.01  # of the missing bytes, sent beyond them


def package_answers(log):
    with open(log, encoding="utf-8") as f:
        entries = [json.loads(line) for line in f]
    return [e for e in entries if e["path"].endswith("/" + PACKAGE) and e["status"] != 401]


def run_bench(options, scratch):
    harness.snapshot_tools(options, scratch, TOOLS)
    release = os.path.join(scratch, "release")
    size, cut = options.size_mb * 1000 * 1000, options.cut_mb * 1000 * 1000
    print(f"writing a release of one file of {options.size_mb} MB", flush=True)
    expected = {FILE: releases.write_file(release, FILE, os.urandom(size)),
                "veldra.exe": releases.write_file(release, "veldra.exe", b"MZ resume bench")}
    www, rules, log = (os.path.join(scratch, n) for n in ("www", "rules.json", "log.jsonl"))
    os.makedirs(www)
    with open(rules, "w") as f:
        json.dump({PACKAGE: {"drop_after": cut, "first": 1}}, f)
    server, port = fault_server.start(www, rules, "--log", log)
    try:
        patch_sys, _ = patch_runs.publish_to(options, scratch, www, "live", release, port,
                                             level=1)
        package = os.path.getsize(os.path.join(www, "live", PACKAGE))
        game = os.path.join(scratch, "game")
        game_folders.new_game_folder(game, patch_sys)
        wall, stderr = patch_runs.patch(os.path.join(options.tool_dir, "veldra-cli"), game,
                                        "resumed", "-v")
    finally:
        fault_server.stop(server)
    patch_runs.check_folder(game, expected, "veldra-cli")
    answers = package_answers(log)
    if len(answers) != 2 or answers[1]["status"] != 206:
        raise BenchError(f"expected a cut answer and a 206, the server gave {answers}\n{stderr}")
    resumed_from = int(answers[1]["range"][len("bytes="):-1])
    sent_again = package - resumed_from
    missing = package - min(cut, package)
    beyond = (sent_again - missing) / missing
    print(f"a package of {package:,} bytes, its first answer cut after {cut:,}; "
          f"the run took {wall:.1f} s")
    print(f"  second attempt: {answers[1]['range']}, {sent_again:,} bytes sent "
          f"for {missing:,} missing: {beyond * 100:+.2f} % "
          f"(goal at most +{GOAL * 100:.0f} %: {'met' if beyond <= GOAL else 'missed'})")


def main():
    parser = harness.arguments(__doc__, "where veldra-cli and veldra-publish are")
    parser.add_argument("--size-mb", type=int, default=200, help="size of the file (MB)")
    parser.add_argument("--cut-mb", type=int, default=150, help="where the first answer ends")
    options = harness.parse(parser)
    if not 0 < options.cut_mb < options.size_mb:
        parser.error("--cut-mb must be above 0 and below --size-mb")
    return harness.run("resume_bench", run_bench, options, (ValueError, KeyError))


if __name__ == "__main__":
    sys.exit(main())
