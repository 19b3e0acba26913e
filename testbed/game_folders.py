"""Game folders as the patcher first meets them: a console player's (patch.sys and local.ver)
and a window player's, as an installer leaves it (veldra.exe, patch.sys, the skin, zone.log)."""
import os
import shutil

from testbed.releases import files_below

ZONE = "Live"


def patch_sys(port, folder, zone=ZONE, skin_picture=None):
    """patch.sys of a console run: one zone served from 127.0.0.1:port/folder, no game to
    start; `skin_picture` ('skin\\bg.bmp') makes that release file part of the skin."""
    lines = ["[Combo]", f"Zone0={zone}", f"[{zone}]", f"Server1=127.0.0.1:{port}",
             f"Folder={folder}"]
    if skin_picture:
        lines += ["[layout]", f"image={skin_picture}"]
    lines += ["[Button3]", "Exe="]
    return ("\r\n".join(lines) + "\r\n").encode()


def new_game_folder(game, patch_sys_path, version=b"1.0"):
    """The folder afresh, holding only a copy of patch.sys and local.ver."""
    shutil.rmtree(game, ignore_errors=True)
    os.makedirs(game)
    shutil.copy(patch_sys_path, os.path.join(game, "patch.sys"))
    with open(os.path.join(game, "local.ver"), "wb") as f:
        f.write(version)


def player_folder(game, release, patch_sys_path, patcher=None, zone=ZONE):
    """What an installer leaves: veldra.exe (the release's, or the bytes `patcher`), patch.sys,
    the release's skin pictures, and zone.log naming the zone chosen, which a skin with a zone
    list needs before Start."""
    os.makedirs(game, exist_ok=True)
    if patcher is None:
        shutil.copy(os.path.join(release, "veldra.exe"), os.path.join(game, "veldra.exe"))
    else:
        with open(os.path.join(game, "veldra.exe"), "wb") as f:
            f.write(patcher)
    shutil.copy(patch_sys_path, os.path.join(game, "patch.sys"))
    shutil.copytree(os.path.join(release, "skin"), os.path.join(game, "skin"))
    with open(os.path.join(game, "zone.log"), "wb") as f:
        f.write(zone.encode())


def same_bytes(a, b):
    """Whether the two files hold the same bytes, read a MiB at a time."""
    if os.path.getsize(a) != os.path.getsize(b):
        return False
    with open(a, "rb") as fa, open(b, "rb") as fb:
        while True:
            block_a, block_b = fa.read(1 << 20), fb.read(1 << 20)
            if block_a != block_b:
                return False
            if not block_a:
                return True


def differences(release, game, others):
    """How the game folder differs from the release, a line each ("missing: NAME", "differs:
    NAME", "not in the release: NAME"); none when it holds every file of the release byte for
    byte. `others` are the names the folder may hold besides (the patcher's own files), or None
    for any."""
    wanted, present = files_below(release), files_below(game)
    found = []
    for name, path in sorted(wanted.items()):
        if name not in present:
            found.append(f"missing: {name}")
        elif not same_bytes(path, present[name]):
            found.append(f"differs: {name}")
    if others is not None:
        found += [f"not in the release: {name}"
                  for name in sorted(set(present) - set(wanted) - set(others))]
    return found
