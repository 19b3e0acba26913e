"""The real patcher window under Wine, driven from outside by veldra-remote with the messages a
player's clicks send: the launcher started in a game folder, its window waited for, commands
posted, texts read back, screenshots; and the Wine processes that still run from a folder.

The Wine prefix is $WINEPREFIX (else build/wine-prefix); the display is $DISPLAY, large enough
for the full-size sample skin (the tests' is 1920 x 1080).
"""
import os
import shutil
import subprocess
import tempfile
import time

from testbed.processes import clean_environment

REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
TITLE = "Patch Client"
START, QUIT, CLOSE = 1002, 1003, 1018
ITEM_TEXT = 1004  # the file being worked on, above the first bar
BOX_TEXT = 0xFFFF  # the text of a message box
OK, YES = 1, 6  # IDOK, IDYES
REMOTE_TIMEOUT = 120


class WindowError(Exception):
    pass


def environment():
    env = clean_environment()
    env.setdefault("WINEPREFIX", os.path.join(REPO, "build", "wine-prefix"))
    env.setdefault("WINEDEBUG", "-all")
    env.setdefault("WINEDLLOVERRIDES", "mscoree,mshtml=")
    return env


def wine_environment():
    """(environment(), None) when Wine can run programs here, else (None, the reason)."""
    env = environment()
    prefix = env["WINEPREFIX"]
    if not os.path.isfile(os.path.join(prefix, "system.reg")):
        return None, f"no Wine prefix at {prefix} (./dev test makes it): Wine skipped"
    if shutil.which("wine") is None:
        return None, "wine is not installed: Wine skipped"
    return env, None


def windows_path(path):
    """A Linux path as Wine's programs name it."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def start_patcher(game, *words):
    """Starts veldra.exe in the game folder, as a player does; returns the launcher's process,
    which ends once it has started its copy."""
    return subprocess.Popen(["wine", "veldra.exe", *words], cwd=game, env=environment(),
                            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL)


class Remote:
    """veldra-remote's sub-commands; each starts one Wine process."""

    def __init__(self, program):
        self.program = program

    def run(self, *args):
        # Files, not pipes: a Wine process that starts the wineserver and its services hands
        # them its output, and they outlive it; a pipe would not end before they do.
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            done = subprocess.run(["wine", self.program, *map(str, args)], env=environment(),
                                  stdin=subprocess.DEVNULL, stdout=out, stderr=err,
                                  timeout=REMOTE_TIMEOUT)
            out.seek(0)
            err.seek(0)
            done.stdout = out.read().decode("latin-1")
            done.stderr = err.read().decode("latin-1")
        return done

    def call(self, *args):
        done = self.run(*args)
        if done.returncode != 0:
            raise WindowError(done.stderr.strip() or f"veldra-remote {args[0]} failed")
        return done.stdout.strip()

    def wait(self, seconds, title=TITLE):
        """The process id of the visible window."""
        return int(self.call("wait", title, seconds))

    def shown(self, title=TITLE):
        return self.run("wait", title, 0).returncode == 0

    def command(self, control, title=TITLE):
        self.call("command", title, control)

    def text(self, control, title=TITLE):
        return self.call("text", title, control)

    def shot(self, path, title=TITLE):
        self.call("shot", title, windows_path(path))

    def quit_latency(self, control, seconds, title=TITLE):
        """Milliseconds from the click to the end of the window's process."""
        return int(self.call("quit-latency", title, control, seconds))

    def box_text(self):
        """The text of a message box titled "Error" on the screen, or None."""
        done = self.run("text", "Error", BOX_TEXT)
        return done.stdout.strip() if done.returncode == 0 else None

    def new_window(self, old_pid, seconds):
        """The process id of a window shown by another process than old_pid."""
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            done = self.run("wait", TITLE, 1)
            if done.returncode == 0 and int(done.stdout) != old_pid:
                return int(done.stdout)
            time.sleep(0.2)
        raise WindowError(f"no new window within {seconds} s; box on the screen: "
                          f"{self.box_text()!r}")


def processes_in(folder):
    """(pid, command line) of each process started from the folder or naming it."""
    folder = os.path.realpath(folder)
    names = (folder.lower(), windows_path(folder).lower())
    found = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open(f"/proc/{entry}/cmdline", "rb") as f:
                command = f.read().replace(b"\0", b" ").decode("latin-1").strip()
            cwd = os.readlink(f"/proc/{entry}/cwd")
        except OSError:
            continue  # ended meanwhile, or not ours to look at
        if (cwd + "/").startswith(folder + "/") or any(n in command.lower() for n in names):
            found.append((int(entry), command))
    return found


def wait_until_ended(folder, seconds):
    """The processes of the folder that still run after `seconds`."""
    deadline = time.monotonic() + seconds
    while True:
        running = processes_in(folder)
        if not running or time.monotonic() >= deadline:
            return running
        time.sleep(0.2)
