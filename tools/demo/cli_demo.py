"""./dev demo --cli: a sample release published to a local nginx and patched by veldra-cli,
three times.

Everything lives in build/demo, made afresh on every run:
  release/  the sample release: a few hundred files in deep folders, text and binary, a few
            of several MiB, a veldra.exe stand-in and patch.sys
  server/   the patch server folder veldra-publish writes, nginx's root
  nginx/    nginx's configuration, password file and logs
  game/     the game folder veldra-cli patches: at first only patch.sys and local.ver

The first run patches the empty game folder. Then two files of the release change, one is
added and one grows; after a second publish the second run must fetch those four packages and
nothing else. Then a game file is deleted, as a player or an antivirus would, and the third
run must fetch it alone. After each run the game folder must hold every release file byte
for byte.
"""
import os
import random
import subprocess
import time

# First: it puts the repository's root on sys.path, for testbed.
from sample_release import (ACCEPTED_RELEASE, ACCEPTED_RELEASE_COPY, REPO, RUN_TIMEOUT, SEED,
                            DemoError, change_release, check_fetched, check_folder,
                            check_signed_release, expected_packages, fresh_scratch,
                            make_sample_release, publish_signed, report_downloads, step)
from testbed import game_folders, nginx_server  # noqa: E402
from testbed.processes import clean_environment  # noqa: E402
from testbed.releases import files_below, package_name, write_file  # noqa: E402

ZONE = "Demo"

# What the patcher writes into the game folder besides the game's files.
PATCHER_FILES = {"local.ver", "localfileStatus.log", "localfileStamps.log", "veldra.lock",
                 "filelist.log", "pserv.log", "remote.ver", "latest.ver", ACCEPTED_RELEASE,
                 ACCEPTED_RELEASE_COPY}


def patch(tool, game):
    """One veldra-cli run in the game folder, its output shown; its exit status."""
    command = [tool, "--no"]
    print(f"$ (cd {os.path.relpath(game, REPO)} && {' '.join(command)})")
    started = time.monotonic()
    try:
        # One stream, so the boxes stand where they came among the progress lines.
        done = subprocess.run(command, cwd=game, stdout=subprocess.PIPE,
                              stderr=subprocess.STDOUT, text=True, stdin=subprocess.DEVNULL,
                              env=clean_environment(), timeout=RUN_TIMEOUT)
    except subprocess.TimeoutExpired:
        raise DemoError(f"veldra-cli took more than {RUN_TIMEOUT} seconds") from None
    for line in done.stdout.splitlines():
        print(f"  | {line}")
    print(f"exit status {done.returncode} after {time.monotonic() - started:.1f} s")
    return done.returncode


def check_chunks(requests, size, name, failures):
    """The changed archive cost a small share of its size."""
    fetched = sum(b for n, s, b in requests if s == 200 and n.startswith(("chunks/", "indexes/")))
    share = fetched / size
    print(f"{name}: {fetched} bytes of chunks and index fetched for a file of {size} bytes "
          f"({share:.1%}); the rest was taken from the old copy")
    if not fetched or share > 0.1:
        failures.append(f"the update of {name} fetched {fetched} bytes of chunks, not a small "
                        "share of its size")


def checked_run(which, cli, release, game, log, expected, failures, signed=True):
    """One run and its checks: it ends done, fetches each of the `expected` packages once and
    no other, accepts the signed release (with `signed`) and leaves the game folder equal to
    the release. Returns the requests nginx logged."""
    if patch(cli, game) != 0:
        failures.append(f"the {which} run did not end done")
    requests = log.new_requests()
    check_fetched(which, report_downloads(requests), expected, failures)
    if signed:
        check_signed_release(game, failures)
    if not check_folder(release, game, PATCHER_FILES):
        failures.append(f"after the {which} run the game folder differs from the release")
    return requests


def run_cli_demo(bin_dir):
    """The three runs; the checks that did not hold."""
    cli = os.path.join(bin_dir, "veldra-cli-demo")  # veldra-cli with the demo's key
    publisher = os.path.join(bin_dir, "veldra-publish")
    for tool in (cli, publisher):
        if not os.access(tool, os.X_OK):
            raise DemoError(f"{tool} is missing: cmake --build --preset native --target "
                            "veldra-cli-demo veldra-publish")
    release, server, work, game = fresh_scratch()
    rng = random.Random(SEED)
    failures = []

    step("making the sample release")
    # The largest is served as chunks too, so that changing a little of it costs a little.
    large = make_sample_release(release, rng, large_mib=(2, 3, 16))
    total = sum(os.path.getsize(p) for p in files_below(release).values())
    print(f"{len(files_below(release))} files, {total} bytes in {os.path.relpath(release, REPO)}")

    step("starting nginx")
    nginx, port = nginx_server.start(server, work)
    try:
        print(f"nginx serves {os.path.relpath(server, REPO)} on 127.0.0.1:{port} with Basic auth")
        log = nginx_server.AccessLog(os.path.join(work, "access.log"))
        write_file(release, "patch.sys", game_folders.patch_sys(port, ".", zone=ZONE))

        step("publishing the release")
        publish_signed(publisher, release, server, [f"{ZONE}=127.0.0.1:{port}"])

        step("first run: an empty game folder")
        game_folders.new_game_folder(game, os.path.join(release, "patch.sys"))
        checked_run("first", cli, release, game, log, expected_packages(release, game),
                    failures)

        step("changing the release and publishing again")
        changed = change_release(release, rng, large)
        publish_signed(publisher, release, server, [f"{ZONE}=127.0.0.1:{port}"])

        step("second run: only what changed, and of the large archive only its changed chunks")
        patched = changed[-1]
        expected = expected_packages(release, game)
        if expected == sorted(package_name(n) for n in changed):
            print(f"the game folder lacks the {len(expected)} changed files")
        else:
            print(f"the game folder lacks {len(expected)} files, not only the {len(changed)} "
                  "changed: the first run left it incomplete")
        expected.remove(package_name(patched))
        print(f"{patched} should come as chunks, not as its package")
        requests = checked_run("second", cli, release, game, log, expected, failures)
        check_chunks(requests, os.path.getsize(os.path.join(release, patched)), patched, failures)

        step("third run: a deleted game file comes back")
        in_folders = sorted(name for name in files_below(release) if "/" in name)
        deleted = in_folders[len(in_folders) // 2]
        os.remove(os.path.join(game, deleted))
        print(f"deleted {deleted} from the game folder")
        checked_run("third", cli, release, game, log, [package_name(deleted)], failures,
                    signed=False)
    finally:
        nginx_server.stop(nginx)
        print("\nnginx stopped")
    return failures
