"""The patcher window's skin, drawn by veldra-sample-skin: its pictures in a release's skin\\
folder and patch.sys's sections that place them (a 960 x 584 window with a zone list)."""
import subprocess

from testbed.game_folders import ZONE
from testbed.processes import ToolError

SKIN_SECONDS = 60


def sample_skin(skin_tool, release, keys):
    """Writes the pictures below release/skin; returns the whole patch.sys, the skin's
    sections with each 'SECTION.KEY=VALUE' of `keys` set too."""
    try:
        done = subprocess.run([skin_tool, release, *keys], stdin=subprocess.DEVNULL,
                              capture_output=True, timeout=SKIN_SECONDS)
    except subprocess.TimeoutExpired:
        raise ToolError(f"veldra-sample-skin took more than {SKIN_SECONDS} seconds") from None
    if done.returncode != 0:
        raise ToolError(f"veldra-sample-skin exited with {done.returncode}:\n"
                        f"{done.stderr.decode(errors='replace')}")
    return done.stdout


def player_patch_sys(skin_tool, release, port, folder, game_exe):
    """patch.sys of a window player's release: the sample skin, the zone "Live" (the one
    listed, and the default) served from 127.0.0.1:port/folder, and `game_exe` started at the
    end."""
    return sample_skin(skin_tool, release, [
        f"Combo.Zone0={ZONE}", f"Combo.Zone1={ZONE}", f"{ZONE}.Server1=127.0.0.1:{port}",
        f"{ZONE}.Folder={folder}", f"Button3.Exe={game_exe}"])
