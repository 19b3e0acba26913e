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
