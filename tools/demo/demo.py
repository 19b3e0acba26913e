#!/usr/bin/env python3
"""./dev demo: a sample release published to a local nginx and patched by veldra-cli, twice.

Everything lives in build/demo, made afresh on every run:
  release/  the sample release: a few hundred files in deep folders, text and binary, a few
            of several MiB, a veldra.exe stand-in and patch.sys
  server/   the patch server folder veldra-publish writes, nginx's root
  nginx/    nginx's configuration, password file and logs
  game/     the game folder veldra-cli patches: at first only patch.sys and local.ver

The first run patches the empty game folder. Then two files of the release change, one is
added and one grows; after a second publish the second run must fetch those four packages and
nothing else. After each run the game folder must hold every release file byte for byte.

  tools/demo/demo.py [--bin DIR]

Exit status 1 when a step failed or a check did not hold.
"""
import argparse
import collections
import os
import random
import re
import shutil
import signal
import subprocess
import sys
import time

REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(REPO, "tests", "server"))
import nginx_server  # noqa: E402

SCRATCH = os.path.join(REPO, "build", "demo")
ZONE = "Demo"
SEED = 20261209
RUN_TIMEOUT = 60  # seconds for one veldra-cli run
SHOWN_NAMES = 6  # names listed per finding; the rest are counted

# What the patcher writes into the game folder besides the game's files.
PATCHER_FILES = {"local.ver", "localfileStatus.log", "filelist.log", "pserv.log", "remote.ver",
                 "latest.ver"}

FOLDERS = ["data", "maps", "sound", "textures", "ui", "scripts", "zone1", "zone2", "zone3",
           "effects", "models", "music", "fonts", "lang"]
TEXT_KINDS = ["txt", "ini", "xml", "lua", "cfg"]
BINARY_KINDS = ["dat", "bin", "pak", "tex", "snd"]
WORDS = ["patch", "zone", "level", "quest", "monster", "item", "server", "guild", "map", "the",
         "of", "sword", "shield", "potion", "gold", "=", "1", "42", "\r\n", "\r\n"]


class DemoError(Exception):
    pass


def step(text):
    print(f"\n== {text}")


# The sample release -----------------------------------------------------------------------

def text_bytes(rng, size):
    words = rng.choices(WORDS, k=size // 4 + 1)
    return " ".join(words).encode()[:size]


def release_names(rng, count):
    """Paths below the release, 2 to 5 folders deep, each name once."""
    names = []
    for index in range(count):
        depth = rng.randint(2, 5)
        folders = rng.sample(FOLDERS, depth)
        kind = rng.choice(TEXT_KINDS if index % 2 == 0 else BINARY_KINDS)
        names.append("/".join(folders + [f"file{index:03}.{kind}"]))
    return names


def write_file(root, name, content):
    path = os.path.join(root, name)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(content)


def make_release(release, rng):
    """The release without patch.sys (its port is known once nginx runs). Returns the names
    of the large files."""
    for name in release_names(rng, 300):
        if name.rsplit(".", 1)[1] in TEXT_KINDS:
            write_file(release, name, text_bytes(rng, rng.randint(50, 40000)))
        else:
            write_file(release, name, rng.randbytes(rng.randint(1, 64 * 1024)))
    large = []
    for index, mib in enumerate((2, 3, 4)):
        name = f"data/archives/level{index}/bundle{index}.pak"
        write_file(release, name, rng.randbytes(mib << 20))
        large.append(name)
    write_file(release, "veldra.exe", b"MZ" + rng.randbytes(200 * 1024))
    return large


def patch_sys_bytes(port):
    lines = ["[Combo]", f"Zone0={ZONE}", f"[{ZONE}]", f"Server1=127.0.0.1:{port}", "Folder=.",
             "[Button3]", "Exe="]
    return ("\r\n".join(lines) + "\r\n").encode()


def change_release(release, rng, large):
    """Two files modified, one added, one grown; their names, as the release has them."""
    names = sorted(os.path.relpath(os.path.join(folder, f), release).replace(os.sep, "/")
                   for folder, _, files in os.walk(release) for f in files)
    texts = [n for n in names if n.rsplit(".", 1)[1] in TEXT_KINDS]
    binaries = [n for n in names if n.rsplit(".", 1)[1] in BINARY_KINDS and n not in large]
    modified = [texts[len(texts) // 2], binaries[len(binaries) // 3]]
    write_file(release, modified[0], text_bytes(rng, 5000) + b"\r\nchanged\r\n")
    write_file(release, modified[1], rng.randbytes(20000))
    added = "data/quests/new/quest-new.txt"
    write_file(release, added, text_bytes(rng, 3000))
    grown = large[0]
    with open(os.path.join(release, grown), "ab") as f:
        f.write(rng.randbytes(1 << 20))
    print(f"modified {modified[0]}, {modified[1]}; added {added}; grew {grown} by 1 MiB")
    return modified + [added, grown]


def package_name(name):
    """The package the patcher fetches for a release file (as PackageNameOf in the engine)."""
    return re.sub(r"[\\.]", "_", "\\" + name.replace("/", "\\")) + ".ppk"


# The programs -----------------------------------------------------------------------------

def publish(tool, release, server, port):
    command = [tool, "--exe", os.path.join(release, "veldra.exe"), "--server",
               f"{ZONE}=127.0.0.1:{port}", "--required", "1.0", "--latest", "1.0",
               "--patch-sys", os.path.join(release, "patch.sys"), release, server]
    done = subprocess.run(command, capture_output=True, text=True, timeout=RUN_TIMEOUT)
    if done.returncode != 0:
        raise DemoError(f"veldra-publish exited with {done.returncode}:\n{done.stderr}")
    print("veldra-publish: " + done.stdout.strip())


def clean_environment():
    # Everything here is local; a proxy of the machine's must not stand between.
    return {k: v for k, v in os.environ.items()
            if k.lower() not in ("http_proxy", "https_proxy", "all_proxy", "no_proxy")}


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


# The checks -------------------------------------------------------------------------------

def report_downloads(requests):
    """Prints what a run fetched; returns the packages fetched whole."""
    packages = [(n, b) for n, s, b in requests if n.endswith(".ppk") and s == 200]
    total = sum(b for _, b in packages)
    print(f"{len(packages)} packages downloaded, {total} bytes")
    for name, size in packages[:SHOWN_NAMES]:
        print(f"  {name} ({size} bytes)")
    if len(packages) > SHOWN_NAMES:
        print(f"  ... and {len(packages) - SHOWN_NAMES} more")
    others = collections.Counter(f"{n} {s}" for n, s, _ in requests
                                 if not n.endswith(".ppk") or s != 200)
    told = [f"{what}" + (f" x{count}" if count > 1 else "") for what, count in others.items()]
    print("other requests (name status): " + (", ".join(told) if told else "none"))
    return [n for n, _ in packages]


def expected_packages(release, game):
    """The packages of the release files that the game folder does not hold yet. The patcher
    itself comes whole, through the self-update, not as a package."""
    present = files_below(game)
    return sorted(package_name(name) for name, path in files_below(release).items()
                  if name != "veldra.exe" and
                  (name not in present or not same_bytes(path, present[name])))


def check_fetched(run, fetched, expected, failures):
    """Each package the run needed, once, and no other."""
    repeated = sorted({n for n in fetched if fetched.count(n) > 1})
    missing = sorted(set(expected) - set(fetched))
    extra = sorted(set(fetched) - set(expected))
    for what, names in (("fetched more than once", repeated), ("not fetched", missing),
                        ("fetched, not needed", extra)):
        if names:
            shown = ", ".join(names[:SHOWN_NAMES]) + (" ..." if len(names) > SHOWN_NAMES else "")
            failures.append(f"{run} run: {len(names)} packages {what}: {shown}")
    if not (repeated or missing or extra):
        print(f"fetched exactly the {len(expected)} packages needed, each once")


def files_below(root):
    found = {}
    for folder, _, files in os.walk(root):
        for f in files:
            path = os.path.join(folder, f)
            found[os.path.relpath(path, root).replace(os.sep, "/")] = path
    return found


def same_bytes(a, b):
    if os.path.getsize(a) != os.path.getsize(b):
        return False
    with open(a, "rb") as fa, open(b, "rb") as fb:
        while True:
            block_a, block_b = fa.read(1 << 20), fb.read(1 << 20)
            if block_a != block_b:
                return False
            if not block_a:
                return True


def compare_folders(release, game):
    """The differences between the game folder and the release; none when they are equal."""
    wanted, present = files_below(release), files_below(game)
    problems = []
    for name, path in sorted(wanted.items()):
        if name not in present:
            problems.append(f"missing: {name}")
        elif not same_bytes(path, present[name]):
            problems.append(f"differs: {name}")
    for name in sorted(set(present) - set(wanted) - PATCHER_FILES):
        problems.append(f"not in the release: {name}")
    return problems, len(wanted)


def check_folder(release, game):
    problems, count = compare_folders(release, game)
    if not problems:
        print(f"game folder equals the release: OK ({count} files compared byte for byte)")
        return True
    print(f"game folder differs from the release in {len(problems)} ways:")
    for problem in problems[:SHOWN_NAMES]:
        print(f"  {problem}")
    if len(problems) > SHOWN_NAMES:
        print(f"  ... and {len(problems) - SHOWN_NAMES} more")
    return False


# The demo ---------------------------------------------------------------------------------

def run_demo(bin_dir):
    cli = os.path.join(bin_dir, "veldra-cli")
    publisher = os.path.join(bin_dir, "veldra-publish")
    for tool in (cli, publisher):
        if not os.access(tool, os.X_OK):
            raise DemoError(f"{tool} is missing: cmake --build --preset native --target "
                            "veldra-cli veldra-publish")
    shutil.rmtree(SCRATCH, ignore_errors=True)
    release, server, work, game = (os.path.join(SCRATCH, n)
                                   for n in ("release", "server", "nginx", "game"))
    for folder in (release, server, game):
        os.makedirs(folder)
    os.chmod(SCRATCH, 0o755)  # nginx's workers read the root
    rng = random.Random(SEED)
    failures = []

    step("making the sample release")
    large = make_release(release, rng)
    total = sum(os.path.getsize(p) for p in files_below(release).values())
    print(f"{len(files_below(release))} files, {total} bytes in {os.path.relpath(release, REPO)}")

    step("starting nginx")
    nginx, port = nginx_server.start(server, work)
    try:
        print(f"nginx serves {os.path.relpath(server, REPO)} on 127.0.0.1:{port} with Basic auth")
        log = nginx_server.AccessLog(os.path.join(work, "access.log"))
        write_file(release, "patch.sys", patch_sys_bytes(port))

        step("publishing the release")
        publish(publisher, release, server, port)

        step("first run: an empty game folder")
        shutil.copy(os.path.join(release, "patch.sys"), os.path.join(game, "patch.sys"))
        write_file(game, "local.ver", b"1.0")
        expected = expected_packages(release, game)
        if patch(cli, game) != 0:
            failures.append("the first run did not end done")
        requests = log.new_requests()
        check_fetched("first", report_downloads(requests), expected, failures)
        if not check_folder(release, game):
            failures.append("after the first run the game folder differs from the release")

        step("changing the release and publishing again")
        changed = change_release(release, rng, large)
        publish(publisher, release, server, port)

        step("second run: only what changed")
        expected = expected_packages(release, game)
        if expected == sorted(package_name(n) for n in changed):
            print(f"the game folder lacks the {len(expected)} changed files")
        else:
            print(f"the game folder lacks {len(expected)} files, not only the {len(changed)} "
                  "changed: the first run left it incomplete")
        if patch(cli, game) != 0:
            failures.append("the second run did not end done")
        requests = log.new_requests()
        check_fetched("second", report_downloads(requests), expected, failures)
        if not check_folder(release, game):
            failures.append("after the second run the game folder differs from the release")
    finally:
        nginx_server.stop(nginx)
        print("\nnginx stopped")
    return failures


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--bin", default=os.path.join(REPO, "build", "native", "bin"),
                        help="where veldra-cli and veldra-publish are")
    options = parser.parse_args()
    sys.stdout.reconfigure(line_buffering=True)  # in step with the errors on stderr
    # A terminal's SIGTERM or SIGHUP ends the demo as Ctrl-C does, through the cleanup.
    for signum in (signal.SIGTERM, signal.SIGHUP):
        signal.signal(signum, signal.default_int_handler)
    started = time.monotonic()
    try:
        failures = run_demo(options.bin)
    except KeyboardInterrupt:
        print("demo: interrupted", file=sys.stderr)
        return 1
    except (DemoError, RuntimeError, OSError, subprocess.SubprocessError) as error:
        print(f"demo: {error}", file=sys.stderr)
        return 1
    print(f"\ndemo took {time.monotonic() - started:.1f} s")
    if failures:
        print("demo: FAILED", file=sys.stderr)
        for failure in failures:
            print(f"  {failure}", file=sys.stderr)
        return 1
    print("demo: OK")
    return 0


if __name__ == "__main__":
    sys.exit(main())
