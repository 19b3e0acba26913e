"""./dev demo: what a player sees. The real veldra.exe under Wine patches a new player's folder
from a local nginx in its skinned window, then starts the sample game.

Everything lives in build/demo, made afresh on every run:
  release/  the sample release: a few hundred files in deep folders, a few of several MiB, the
            real veldra.exe, the sample skin (skin/), sample-game.exe, and patch.sys with the
            skin's sections, the zones and their server
  server/   the patch server folder veldra-publish writes, nginx's root
  nginx/    nginx's configuration, password file and logs
  game/     the new player's folder, as an installer leaves it: veldra.exe, patch.sys, the
            skin's pictures, and zone.log with the zone chosen at install
  *.png     screenshots: the window at start, during the download, and the game at the end

nginx sends at most RATE per connection, so the download lasts long enough to watch. Nobody
can press Start on a virtual display, and a player on a real one may not: after a few seconds
the demo presses it (PLAY, the Start command), with the message a click sends. When the window has closed and the game
has come and gone, the game folder must hold every release file byte for byte and the game
must have been started.
"""
import os
import random
import shutil
import subprocess
import time

# First: it puts the repository's root on sys.path, for testbed.
from sample_release import (ACCEPTED_RELEASE, ACCEPTED_RELEASE_COPY, REPO, SCRATCH, SEED,
                            DemoError, check_fetched, check_folder, check_signed_release,
                            expected_packages, fresh_scratch, make_sample_release,
                            publish_signed, report_downloads, step)
from testbed import nginx_server, patcher_window  # noqa: E402
from testbed.game_folders import player_folder  # noqa: E402
from testbed.patcher_window import Remote, WindowError  # noqa: E402
from testbed.releases import files_below, write_file  # noqa: E402
from testbed.skins import sample_skin  # noqa: E402

RATE = 1 << 20  # bytes per second and connection: nginx's limit_rate
ZONES = ("Frostreach", "Emberfall")
GAME = "sample-game.exe"
TITLE = "Patch Client"
GAME_TITLE = "Veldra Sample Game"
START = 1002
# The window's texts: above the first bar and beside it, above the second and beside it.
TEXTS = (1004, 1006, 1005, 1007)
PLAYER_SECONDS = 10  # for a player on a real display to press Start
WINDOW_SECONDS = 60  # for a window to show
RUN_SECONDS = 180  # for the patch run, from Start to the game
SHOT_EVERY = 4  # seconds between screenshots of the download
DOWNLOAD_SHOTS = 5

# What the install brought and the patcher and the game left in the game folder besides the
# release's files.
LOCAL_FILES = {"zone.log", "_veldra.exe", "localfileStatus.log", "localfileStamps.log",
               "veldra.lock", "filelist.log", "pserv.log", "remote.ver", "latest.ver",
               "common/isp.log", "common/network.log", "game-started.txt", ACCEPTED_RELEASE,
               ACCEPTED_RELEASE_COPY}


def window_texts(remote):
    """The window's four texts; none once the window is gone."""
    found = []
    for control in TEXTS:
        done = remote.run("text", TITLE, control)
        if done.returncode != 0:
            return None
        found.append(done.stdout.strip())
    return found


def save_shot(remote, title, path, shots):
    """A screenshot of the window, kept in `shots`; none when the window has gone meanwhile."""
    try:
        remote.shot(path, title)
    except WindowError:
        return
    shots.append(path)


# The release and the player's folder --------------------------------------------------------

def skin_keys(port):
    """patch.sys besides the skin: the zones, their server, the game, the links."""
    keys = [f"Combo.Zone0={ZONES[0]}"]
    keys += [f"Combo.Zone{n}={zone}" for n, zone in enumerate(ZONES, 1)]
    for zone in ZONES:
        keys += [f"{zone}.Server1=127.0.0.1:{port}", f"{zone}.Folder=."]
    keys += [f"Button3.Exe={GAME}"]
    for section, page in (("Button1", "account"), ("Button2", "top-up"), ("Button6", "")):
        keys.append(f"{section}.lnk=https://example.com/{page}")
    return keys


def install(release, game):
    """What an installer leaves: the patcher, its settings and skin, the zone chosen."""
    player_folder(game, release, os.path.join(release, "patch.sys"), zone=ZONES[0])
    print(f"{len(files_below(game))} files in {os.path.relpath(game, REPO)}: veldra.exe, "
          f"patch.sys, zone.log ({ZONES[0]}) and the skin's pictures")


# The window --------------------------------------------------------------------------------

def press_start(remote, game, watched):
    """PLAY, the Start command: by the player on a real display within a few seconds, else by
    the demo."""
    if watched:
        print(f"the window is on your display: choose a zone and press PLAY, or the demo "
              f"presses it in {PLAYER_SECONDS} s")
        # The start command writes the player's choices before anything else.
        deadline = time.monotonic() + PLAYER_SECONDS
        while time.monotonic() < deadline:
            if os.path.exists(os.path.join(game, "common", "isp.log")):
                print("PLAY pressed by the player")
                return
            time.sleep(0.25)
    if remote.run("command", TITLE, START).returncode != 0:
        raise DemoError("the window closed before PLAY was pressed")
    print("PLAY pressed by the demo (the Start command, as a click sends it)")


def watch_run(remote, shots):
    """Prints the window's texts as they change and takes screenshots, until the window has
    gone. False when it has not gone within RUN_SECONDS."""
    started = time.monotonic()
    next_shot = started + 1
    shown = None
    while time.monotonic() - started < RUN_SECONDS:
        texts = window_texts(remote)
        if texts is None:
            print(f"the window closed after {time.monotonic() - started:.1f} s")
            return True
        if texts != shown:
            item = texts[0] if len(texts[0]) <= 36 else texts[0][:33] + "..."
            print(f"  {time.monotonic() - started:5.1f} s | {item:<36} {texts[1]:<16} | "
                  f"{texts[2]:<24} {texts[3]}")
            shown = texts
        download_shots = [s for s in shots if "download" in s]
        if time.monotonic() >= next_shot and len(download_shots) < DOWNLOAD_SHOTS:
            path = os.path.join(SCRATCH, f"2-download-{len(download_shots) + 1}.png")
            save_shot(remote, TITLE, path, shots)
            next_shot += SHOT_EVERY
    return False


def shoot_what_is_left(remote, shots):
    """After a run that did not end: the window, and any message box in front of it."""
    for title in (TITLE, "Error", "Error Downloading File", "Error Decompress File",
                  "Maintenance"):
        path = os.path.join(SCRATCH, f"9-left-{title.replace(' ', '-').lower()}.png")
        if remote.shown(title):
            save_shot(remote, title, path, shots)


def watch_game(remote, shots, failures):
    try:
        remote.wait(20, GAME_TITLE)
    except WindowError:
        failures.append("the game's window did not show")
        return
    time.sleep(1)  # painted
    save_shot(remote, GAME_TITLE, os.path.join(SCRATCH, "3-game.png"), shots)
    deadline = time.monotonic() + 20
    while remote.shown(GAME_TITLE):
        if time.monotonic() > deadline:
            failures.append("the game did not close itself")
            return
        time.sleep(0.5)
    print("the game showed its window and closed itself")


def end_wine(env):
    """Ends every program of the demo's Wine prefix: the patcher, its copy, the game."""
    subprocess.run(["wineserver", "-k"], env=env, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)


# The demo ----------------------------------------------------------------------------------

def tools(native_bin, win_bin):
    found = {"publish": os.path.join(native_bin, "veldra-publish"),
             "skin": os.path.join(native_bin, "veldra-sample-skin"),
             "veldra": os.path.join(win_bin, "veldra-demo.exe"),  # with the demo's key
             "remote": os.path.join(win_bin, "veldra-remote.exe"),
             "game": os.path.join(win_bin, GAME)}
    missing = [path for path in found.values() if not os.path.exists(path)]
    if missing:
        raise DemoError("missing: " + ", ".join(missing) + " (./dev demo builds them)")
    return found


def run_window_demo(native_bin, win_bin, watched):
    """The run in the window; the checks that did not hold."""
    tool = tools(native_bin, win_bin)
    release, server, work, game = fresh_scratch()
    failures, shots = [], []
    # The demo's own prefix, whose programs it may end without touching a test's.
    os.environ.setdefault("WINEPREFIX", os.path.join(REPO, "build", "wine-demo-prefix"))
    env = patcher_window.environment()
    remote = Remote(tool["remote"])

    step("making the sample release")
    make_sample_release(release, random.Random(SEED))
    # The same veldra.exe as the player's, so that the patcher needs no update of itself.
    shutil.copy(tool["veldra"], os.path.join(release, "veldra.exe"))
    shutil.copy(tool["game"], os.path.join(release, GAME))

    step(f"starting nginx, at most {RATE / (1 << 20):g} MiB/s per connection")
    nginx, port = nginx_server.start(server, work, rate=str(RATE))
    end_wine(env)  # nothing left of an earlier demo
    try:
        print(f"nginx serves {os.path.relpath(server, REPO)} on 127.0.0.1:{port} with Basic auth")
        log = nginx_server.AccessLog(os.path.join(work, "access.log"))
        write_file(release, "patch.sys", sample_skin(tool["skin"], release, skin_keys(port)))
        total = sum(os.path.getsize(p) for p in files_below(release).values())
        print(f"{len(files_below(release))} files, {total} bytes in "
              f"{os.path.relpath(release, REPO)}, the sample skin among them")

        step("publishing the release")
        publish_signed(tool["publish"], release, server, [f"{z}=127.0.0.1:{port}" for z in ZONES])

        step("a new player's folder")
        install(release, game)
        expected = expected_packages(release, game)

        step("the player starts veldra.exe")
        where = "your display" if watched else "a virtual display"
        print(f"$ (cd {os.path.relpath(game, REPO)} && wine veldra.exe)   on {where}")
        launcher = patcher_window.start_patcher(game)
        try:
            remote.wait(WINDOW_SECONDS)
        except WindowError:
            raise DemoError(f"no window titled \"{TITLE}\" within {WINDOW_SECONDS} s") from None
        time.sleep(1)  # painted
        save_shot(remote, TITLE, os.path.join(SCRATCH, "1-window.png"), shots)
        press_start(remote, game, watched)

        step("the patch run, as the window tells it")
        if watch_run(remote, shots):
            watch_game(remote, shots, failures)
        else:
            failures.append(f"the window was still open {RUN_SECONDS} s after PLAY")
            shoot_what_is_left(remote, shots)
        launcher.wait(timeout=WINDOW_SECONDS)

        step("what the run did")
        requests = log.new_requests()
        # WinINet sends the credentials only once challenged: each request comes twice.
        check_fetched("the", report_downloads(requests, count_challenges=True), expected,
                      failures)
        if any(name == "veldra.exe" and status == 200 for name, status, _ in requests):
            print("the patcher fetched a new veldra.exe and started again")
        started = os.path.join(game, "game-started.txt")
        if os.path.exists(started):
            with open(started, encoding="latin-1") as f:
                print(f"the game was started, with the command line {f.read()!r}")
        else:
            failures.append("the game was not started (no game-started.txt)")
        check_signed_release(game, failures)
        if not check_folder(release, game, LOCAL_FILES):
            failures.append("the game folder differs from the release")
    finally:
        end_wine(env)
        nginx_server.stop(nginx)
        print("\nnginx stopped")
        if shots:
            print("screenshots:")
            for path in shots:
                print(f"  {os.path.relpath(path, REPO)}")
    return failures
