"""Releases as an operator publishes them: folders of files, veldra-publish run over them, and
the names of the packages the patcher fetches."""
import hashlib
import os
import re
import string
import struct

from testbed.processes import run_tool

PACKAGE_MAGIC = 0x00B8DF32


def package_name(name):
    """The package the patcher fetches for a file, named as the engine names it: the file's
    key ('\\data\\a.dat', or its path in the release, 'data/a.dat') with every '\\' and '.'
    made '_', then '.ppk'."""
    key = name.replace("/", "\\")
    if not key.startswith("\\"):
        key = "\\" + key
    return re.sub(r"[\\.]", "_", key) + ".ppk"


def publish(publisher, release, server, servers, patch_sys, required="1.0", latest="1.0",
            level=None, key=None, exe=None):
    """veldra-publish of `release` into the server folder `server`; `servers` are the
    NAME=ADDRESS entries of pserv.log, `key` a private key to sign with. Returns (wall seconds,
    what it printed)."""
    command = [publisher, "--exe", exe or os.path.join(release, "veldra.exe")]
    for entry in servers:
        command += ["--server", entry]
    command += ["--required", required, "--latest", latest, "--patch-sys", patch_sys]
    if level is not None:
        command += ["--level", str(level)]
    if key:
        command += ["--sign", key]
    wall, stdout, _ = run_tool(command + [release, server], "veldra-publish")
    return wall, stdout


def package_trailer(target):
    """What follows a package's gzip member: the file's key ('data\\a.dat') between NULs,
    the trailer's length and the magic (the layout is engine/package.h's)."""
    named = b"\0" + target.encode() + b"\0"
    return named + struct.pack("<II", len(named) + 8, PACKAGE_MAGIC)


def read(path):
    with open(path, "rb") as f:
        return f.read()


def write(path, content):
    """Writes `content` to the file `path`, making its folders."""
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(content)


def write_file(root, name, content):
    """Writes `content` to root/name ('/' between folders); returns its MD5 (hex)."""
    write(os.path.join(root, *name.split("/")), content)
    return hashlib.md5(content).hexdigest()


def files_below(root):
    """{path relative to root, '/' between folders: full path} of every file below root."""
    found = {}
    for parent, _, names in os.walk(root):
        for name in names:
            path = os.path.join(parent, name)
            found[os.path.relpath(path, root).replace(os.sep, "/")] = path
    return found


def text_pool(rng, size, vocabulary=4000):
    """`size` bytes of text of made-up words, common words first as in real text: it
    compresses as a game's text files do."""
    words = ["".join(rng.choices(string.ascii_lowercase, k=rng.randint(2, 10)))
             for _ in range(vocabulary)]
    words += [",", ".", "=", "\r\n"]
    weights = [1.0 / (rank + 1) for rank in range(len(words))]
    return " ".join(rng.choices(words, weights, k=size // 5 + 1)).encode()[:size]


# Bench releases

SIZE_SPREAD = 2000  # a big release's largest file to its smallest, on a log scale
BIG_FOLDERS = ["data", "maps", "sound", "textures", "ui", "scripts", "zone1", "zone2", "zone3",
               "effects", "models", "music", "fonts", "lang"]
BIG_KINDS = ["dat", "bin", "pak", "tex", "snd", "txt", "xml", "lua"]
PATCHER_SIZE = 512 * 1024  # of the veldra.exe stand-in
MANY_FOLDERS = 1000


def write_mixed_file(path, size, pool, rng, block=16 * 1024, random_bytes=8 * 1024):
    """`size` bytes in blocks of `random_bytes` random bytes, then text from the pool; returns
    their MD5 (hex). The share of random bytes sets how well the file compresses."""
    os.makedirs(os.path.dirname(path), exist_ok=True)
    digest = hashlib.md5()
    text = block - random_bytes
    with open(path, "wb") as f:
        left = size
        while left > 0:
            start = rng.randrange(len(pool) - text)
            piece = (os.urandom(random_bytes) + pool[start:start + text])[:left]
            digest.update(piece)
            f.write(piece)
            left -= len(piece)
    return digest.hexdigest()


def patcher_stand_in(release):
    """A veldra.exe of the release that is no program: the size of one, for the timing."""
    return write_file(release, "veldra.exe", b"MZ" + os.urandom(PATCHER_SIZE))


def game_names(files, rng):
    """The paths of a game's files: the skin picture patch.sys names, then the others 1 to 3
    folders deep."""
    names = ["skin/bg.bmp"]
    for index in range(1, files):
        folders = rng.sample(BIG_FOLDERS, rng.randint(1, 3))
        names.append("/".join(folders + [f"file{index:05}.{rng.choice(BIG_KINDS)}"]))
    return names


def write_game(release, names, sizes, pool, rng):
    """The files, each half random bytes and half text, and a veldra.exe stand-in. Returns
    {path in the release: MD5 hex}."""
    expected = {name: write_mixed_file(os.path.join(release, name), size, pool, rng)
                for name, size in zip(names, sizes)}
    expected["veldra.exe"] = patcher_stand_in(release)
    return expected


def make_big_release(release, files, total, rng):
    """A game's files, `total` bytes in all, sizes spread evenly on a log scale, and a
    veldra.exe stand-in. Returns {path in the release: MD5 hex}."""
    pool = text_pool(rng, 4 << 20)
    names = game_names(files, rng)
    weights = [SIZE_SPREAD ** rng.random() for _ in range(files)]
    sizes = [int(total * w / sum(weights)) for w in weights]
    sizes[sizes.index(max(sizes))] += total - sum(sizes)
    return write_game(release, names, sizes, pool, rng)


def make_even_release(release, files, size, rng):
    """A game's files of `size` bytes each, and a veldra.exe stand-in. Returns {path in the
    release: MD5 hex}."""
    pool = text_pool(rng, 4 << 20)
    return write_game(release, game_names(files, rng), [size] * files, pool, rng)


def make_many_release(release, files, rng):
    """`files` tiny files (10 to 100 bytes, text and random bytes by turns) in up to 1,000
    folders, and a veldra.exe stand-in. Returns {path in the release: MD5 hex}."""
    words = [w.encode() for w in ("patch", "zone", "level", "quest", "item", "the", "=", "\r\n")]
    expected = {}
    for index in range(files):
        name = f"d{index % MANY_FOLDERS:03}/f{index:06}.{'txt' if index % 2 else 'bin'}"
        size = rng.randint(10, 100)
        if index % 2:
            content = b" ".join(rng.choices(words, k=size))[:size]
        else:
            content = rng.randbytes(size)
        expected[name] = write_file(release, name, content)
    expected["veldra.exe"] = patcher_stand_in(release)
    return expected
