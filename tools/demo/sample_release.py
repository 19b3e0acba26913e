"""The demos' sample release: a few hundred files in deep folders, text and binary, a few of
several MiB; its signed publishing; and the checks of what a run fetched and left in the game
folder.
"""
import collections
import os
import shutil
import sys

REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, REPO)
from testbed import game_folders, releases  # noqa: E402
from testbed.releases import files_below, package_name, write_file  # noqa: E402

SCRATCH = os.path.join(REPO, "build", "demo")
SEED = 20261209
RUN_TIMEOUT = 60  # seconds for one program run
# The demo's own signing key, which ./dev demo makes once; the demo's patchers carry its
# public key.
DEMO_KEY = os.path.join(REPO, "build", "demo-key", "release.key")
ACCEPTED_RELEASE = "localRelease.log"
# The signed copy of the accepted release.sig, which proves its number.
ACCEPTED_RELEASE_COPY = "localRelease.sig"
SHOWN_NAMES = 6  # names listed per finding; the rest are counted

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


def fresh_scratch():
    """build/demo made afresh; its folders release/, server/, nginx/ (made by nginx) and
    game/."""
    shutil.rmtree(SCRATCH, ignore_errors=True)
    release, server, work, game = (os.path.join(SCRATCH, n)
                                   for n in ("release", "server", "nginx", "game"))
    for folder in (release, server, game):
        os.makedirs(folder)
    os.chmod(SCRATCH, 0o755)  # nginx's workers read the root
    return release, server, work, game


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


def make_sample_release(release, rng, large_mib=(2, 3, 4)):
    """The release without patch.sys (its port is known once nginx runs), with large files of
    `large_mib` MiB. Returns the names of the large files."""
    for name in release_names(rng, 300):
        if name.rsplit(".", 1)[1] in TEXT_KINDS:
            write_file(release, name, text_bytes(rng, rng.randint(50, 40000)))
        else:
            write_file(release, name, rng.randbytes(rng.randint(1, 64 * 1024)))
    large = []
    for index, mib in enumerate(large_mib):
        name = f"data/archives/level{index}/bundle{index}.pak"
        write_file(release, name, rng.randbytes(mib << 20))
        large.append(name)
    write_file(release, "veldra.exe", b"MZ" + rng.randbytes(200 * 1024))
    return large


def change_release(release, rng, large):
    """Two files modified, one added, one grown, and 64 KiB rewritten in the middle of the
    largest; their names, as the release has them, the largest last."""
    names = sorted(files_below(release))
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
    patched = large[-1]
    with open(os.path.join(release, patched), "r+b") as f:
        f.seek(os.path.getsize(os.path.join(release, patched)) // 2)
        f.write(rng.randbytes(64 << 10))
    print(f"modified {modified[0]}, {modified[1]}; added {added}; grew {grown} by 1 MiB; "
          f"rewrote 64 KiB in the middle of {patched}")
    return modified + [added, grown, patched]


# The programs -----------------------------------------------------------------------------

def publish_signed(tool, release, server, servers):
    """The release, with its patch.sys, signed with the demo's key to the server folder;
    `servers` the NAME=ADDRESS lines of pserv.log."""
    _, said = releases.publish(tool, release, server, servers,
                               os.path.join(release, "patch.sys"), key=DEMO_KEY)
    print("veldra-publish: " + said.strip())
    print(f"signed with {os.path.relpath(DEMO_KEY, REPO)}: release.sig lists the SHA-256 of "
          "every file served")


def check_signed_release(game, failures):
    """Tells which signed release the patcher accepted, as its game folder records it."""
    try:
        with open(os.path.join(game, ACCEPTED_RELEASE), encoding="latin-1") as f:
            number = f.read().strip()
    except FileNotFoundError:
        failures.append(f"the patcher accepted no signed release (no {ACCEPTED_RELEASE})")
        return
    print(f"the patcher checked release.sig against the demo's key and accepted release {number}; "
          "each file it fetched matched its SHA-256 there")


# The checks -------------------------------------------------------------------------------

def report_downloads(requests, count_challenges=False):
    """Prints what a run fetched; returns the packages fetched whole. With count_challenges,
    the 401 answers are counted on a line of their own instead of listed by name."""
    packages = [(n, b) for n, s, b in requests if n.endswith(".ppk") and s == 200]
    chunks = [b for n, s, b in requests if n.startswith("chunks/") and s == 200]
    total = sum(b for _, b in packages)
    print(f"{len(packages)} package{'s' if len(packages) != 1 else ''} downloaded, {total} bytes")
    for name, size in packages[:SHOWN_NAMES]:
        print(f"  {name} ({size} bytes)")
    if len(packages) > SHOWN_NAMES:
        print(f"  ... and {len(packages) - SHOWN_NAMES} more")
    if chunks:
        print(f"{len(chunks)} chunk{'s' if len(chunks) != 1 else ''} downloaded, "
              f"{sum(chunks)} bytes")
    challenged = sum(1 for _, s, _ in requests if s == 401) if count_challenges else 0
    if challenged:
        print(f"{challenged} requests answered 401 first, then repeated with the credentials")
    others = collections.Counter(f"{n} {s}" for n, s, _ in requests
                                 if (not n.endswith(".ppk") or s != 200) and
                                 not (n.startswith("chunks/") and s == 200) and
                                 not (count_challenges and s == 401))
    told = [f"{what}" + (f" x{count}" if count > 1 else "") for what, count in others.items()]
    print("other requests (name status): " + (", ".join(told) if told else "none"))
    return [n for n, _ in packages]


def expected_packages(release, game):
    """The packages of the release files that the game folder does not hold yet. The patcher
    itself comes whole, through the self-update, not as a package."""
    present = files_below(game)
    return sorted(package_name(name) for name, path in files_below(release).items()
                  if name != "veldra.exe" and
                  (name not in present or not game_folders.same_bytes(path, present[name])))


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
        print(f"fetched exactly the {len(expected)} package{'s' if len(expected) != 1 else ''} "
              "needed, each once")


def check_folder(release, game, patcher_files):
    problems = game_folders.differences(release, game, patcher_files)
    if not problems:
        print(f"game folder equals the release: OK ({len(files_below(release))} files compared "
              "byte for byte)")
        return True
    print(f"game folder differs from the release in {len(problems)} ways:")
    for problem in problems[:SHOWN_NAMES]:
        print(f"  {problem}")
    if len(problems) > SHOWN_NAMES:
        print(f"  ... and {len(problems) - SHOWN_NAMES} more")
    return False
