"""veldra-cli's runs in game folders as the benches of whole runs time them: a release
published to a server folder below nginx's root, game folders made for it, and each run
checked against the release and against nginx's log."""
import hashlib
import os
import shlex
from typing import NamedTuple

from testbed import game_folders, nginx_server, releases
from testbed.bench_harness import BenchError, hyperfine, sync_and_read_into_cache
from testbed.processes import run_tool, run_tool_with_peak

TIMEOUT = 1800  # seconds for one run over a large release


def publish_to(options, scratch, www, folder, release, port, level=None, key=None):
    """veldra-publish of the release into www/folder, its patch.sys (scratch/patch-FOLDER.sys)
    naming 127.0.0.1:port; prints what the publisher said. Returns (patch.sys, seconds)."""
    patch_sys = os.path.join(scratch, f"patch-{folder}.sys")
    with open(patch_sys, "wb") as f:
        f.write(game_folders.patch_sys(port, folder, skin_picture="skin\\bg.bmp"))
    wall, stdout = releases.publish(os.path.join(options.tool_dir, "veldra-publish"), release,
                                    os.path.join(www, folder),
                                    [f"{game_folders.ZONE}=127.0.0.1:{port}"],
                                    patch_sys, level=options.level if level is None else level,
                                    key=key)
    print(f"veldra-publish: {stdout.strip()}", flush=True)
    return patch_sys, wall


class Staged(NamedTuple):
    expected: dict  # {path in the release: MD5 hex}
    server: str  # the server folder
    patch_sys: str
    publish_seconds: float
    log: nginx_server.AccessLog  # of the server folder's requests


def stage(options, scratch, served, folder, what, make_release):
    """Writes scratch/release-FOLDER by make_release(release) -> expected, which `what` names,
    and publishes it to the folder below nginx's root (a bench_harness.Served)."""
    release = os.path.join(scratch, "release-" + folder)
    print(f"writing {what}", flush=True)
    expected = make_release(release)
    print(f"publishing them (gzip level {options.level})", flush=True)
    patch_sys, seconds = publish_to(options, scratch, served.www, folder, release, served.port)
    return Staged(expected, os.path.join(served.www, folder), patch_sys, seconds,
                  nginx_server.AccessLog(served.access_log, folder))


def time_first_runs(scratch, clis, expected, runs, warmup=0, patcher=None):
    """hyperfine's medians of first runs of each {name: (words, patch.sys)}, `words` starting
    a veldra-cli (its absolute path, after `wine` and the like), each run in a game folder
    made afresh, holding `patcher` as its veldra.exe when given (so that no run relaunches
    itself for the patcher; one still does for a skin picture the folder lacks); each game folder is checked against `expected` after the last. Returns ({name:
    median seconds}, {name: game})."""
    games, commands, prepare = {}, [], {}
    for name, (words, patch_sys) in clis.items():
        game = games[name] = os.path.join(scratch, "game-" + name)
        folder = shlex.quote(game)
        prepare[name] = (f"rm -rf {folder} && mkdir {folder} && "
                         f"cp {shlex.quote(patch_sys)} {folder}/patch.sys && "
                         f"printf 1.0 > {folder}/local.ver" +
                         (f" && cp {shlex.quote(patcher)} {folder}/veldra.exe" if patcher else ""))
        commands.append((name, f"cd {folder} && {shlex.join(words)} --no"))
    medians = hyperfine(scratch, commands, runs, warmup=warmup, prepare=prepare)
    for name, game in games.items():
        check_folder(game, expected, f"veldra-cli ({name})")
    return medians, games


def patch(cli, game, what, *words):
    """One veldra-cli --no in the game folder; returns (wall seconds, its stderr)."""
    wall, _, stderr = run_tool([cli, "--no", *words], f"veldra-cli ({what})", cwd=game,
                               timeout=TIMEOUT)
    return wall, stderr


def patch_until_done(cli, game, what, runs, words=()):
    """One veldra-cli --no (and `words`) in the game folder, which must end done after `runs`
    runs (2: after one relaunch). Returns (wall seconds, peak resident KiB)."""
    wall, _, stderr, peak = run_tool_with_peak([cli, "--no", *words], f"veldra-cli ({what})",
                                               cwd=game, timeout=TIMEOUT)
    if f"run {runs} of at most 3: done" not in stderr:
        raise BenchError(f"veldra-cli ({what}) did not end done in run {runs}:\n"
                         f"{stderr[-2000:]}")
    return wall, peak


def first_run(cli, game, staged, words=()):
    """The timed first run (veldra-cli --no and `words`) in a new game folder, the served
    files read into the page cache first; it must relaunch once and leave the release.
    Returns (wall seconds, (files, bytes) fetched whole, peak resident KiB)."""
    game_folders.new_game_folder(game, staged.patch_sys)
    sync_and_read_into_cache(staged.server)
    staged.log.skip()
    wall, peak = patch_until_done(cli, game, "first run", 2, words)
    requests = staged.log.new_requests()
    check_folder(game, staged.expected, "veldra-cli")
    return wall, fetched(requests), peak


def fetched(requests):
    """(count, bytes) of the files received whole: status 200."""
    whole = [size for _, status, size in requests if status == 200]
    return len(whole), sum(whole)


def first_run_packages(server):
    """{key: package} of what a first run fetches from the server folder: every listed file
    but veldra.exe, which the self-update fetches whole."""
    keys = listed_keys(os.path.join(server, "filelist.log"))
    return {key: releases.package_name(key) for key in keys if key != "\\veldra.exe"}


def curl_list(path, port, folder, names, downloads):
    """Writes a curl -K list that fetches each name of the server folder into `downloads`."""
    with open(path, "w") as f:
        for name in names:
            f.write(f'url = "http://127.0.0.1:{port}/{folder}/{name}"\n'
                    f'output = "{os.path.join(downloads, name)}"\n')


def curl_command(config, connections=1):
    """curl over a -K list with the patch server's credentials, failing on an error status;
    on several connections at once when `connections` > 1."""
    command = ["curl", "-s", "--fail", "-u", f"{nginx_server.USER}:{nginx_server.PASSWORD}"]
    if connections > 1:
        command += ["--parallel", "--parallel-max", str(connections)]
    return command + ["-K", config]


def check_downloads(downloads, server, names, tool):
    """Every name fetched whole into `downloads`; returns the bytes fetched."""
    received = 0
    for name in names:
        path = os.path.join(downloads, name)
        if not os.path.isfile(path) or os.path.getsize(path) != \
                os.path.getsize(os.path.join(server, name)):
            raise BenchError(f"{tool}: {name} is missing or not the size served")
        received += os.path.getsize(path)
    return received


def check_folder(folder, expected, tool):
    """Every file of `expected` ({path: MD5 hex}) in the folder, with that content."""
    for name, digest in expected.items():
        path = os.path.join(folder, name)
        if not os.path.isfile(path):
            raise BenchError(f"{tool}: {name} is missing")
        with open(path, "rb") as f:
            if hashlib.file_digest(f, "md5").hexdigest() != digest:
                raise BenchError(f"{tool}: {name} differs from the release's")


def check_nothing_fetched(requests, tool):
    names = [n for n, status, _ in requests if status == 200 and
             (n.endswith(".ppk") or n == "veldra.exe" or n == "filelist.log")]
    if names:
        raise BenchError(f"{tool} fetched {len(names)} files, e.g. {names[:4]}")


def listed_keys(filelist):
    """The keys of filelist.log: a count line, then MD5 (16 bytes), key, CR LF for each."""
    with open(filelist, "rb") as f:
        data = f.read()
    header = b"filelist\r\n"
    if not data.startswith(header):
        raise BenchError(f"{filelist} does not begin with a filelist line")
    try:
        at = data.index(b"\r\n", len(header)) + 2
        count = int(data[len(header):at - 2])
        keys = []
        while at < len(data):
            end = data.index(b"\r\n", at + 16)
            keys.append(data[at + 16:end].decode("latin-1"))
            at = end + 2
    except ValueError:
        raise BenchError(f"{filelist} is cut short or its count is no number") from None
    if len(keys) != count:
        raise BenchError(f"{filelist} says {count} files and lists {len(keys)}")
    return keys
