#!/usr/bin/env python3
"""Whole patch runs as an operator would see them: a release published with veldra-publish,
served by nginx with Basic authentication on 127.0.0.1, patched into scratch game folders
by veldra-cli (natively with libcurl, or the Windows build under Wine with WinINet).

  patch_run_test.py --cli PATH --publish PATH --keyed-cli PATH --key FILE [--wine] [--crashes N]

--keyed-cli is veldra-cli built with the public key of the private key FILE.
"""
import argparse
import hashlib
import json
import os
import random
import select
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time
import threading
import unittest
import zlib

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__)))))
from testbed import fault_server, game_folders, nginx_server, releases  # noqa: E402
from testbed.game_folders import differences, new_game_folder  # noqa: E402
from testbed.processes import run_tool  # noqa: E402
from testbed.releases import files_below, read, write  # noqa: E402

OPTIONS = None
RUN_TIMEOUT = 300


def sample_release(folder, files=40, seed=1):
    generator = random.Random(seed)
    for i in range(files):
        depth = i % 4
        parts = [f"level{d}" for d in range(depth)] + [f"file{i:03}.{'bin' if i % 3 else 'txt'}"]
        if i % 3:
            content = bytes(generator.getrandbits(8) for _ in range(generator.randrange(0, 4000)))
        else:
            content = (f"line {i}\r\n" * generator.randrange(1, 300)).encode()
        write(os.path.join(folder, *parts), content)
    write(os.path.join(folder, "data", "large.bin"), os.urandom(1 << 20))
    write(os.path.join(folder, "data", "empty.dat"), b"")
    write(os.path.join(folder, "skin", "bg.bmp"), b"BM picture one")
    write(os.path.join(folder, "veldra.exe"), b"MZ the patcher, first build")


def snapshot(folder):
    return {relative: read(path) for relative, path in files_below(folder).items()}


def put_back(folder, files):
    shutil.rmtree(folder)
    for relative, content in files.items():
        write(os.path.join(folder, relative), content)


def status_log(path):
    """The entries of localfileStatus.log, checking that it is whole."""
    data = read(path)
    assert data[:24] == bytes(24), "header"
    entries, at = {}, 24
    while at < len(data):
        end = data.index(b"\r\n", at + 36)
        entries[data[at + 36:end].decode("latin-1")] = (data[at + 4:at + 20], data[at + 20:at + 36])
        at = end + 2
    assert at == len(data), "a record is cut"
    return entries


def zero_bomb(target, inflated):
    """A package whose content is `inflated` zero bytes, a few hundred KiB as sent."""
    packer = zlib.compressobj(9, zlib.DEFLATED, 31)
    block = bytes(1 << 20)
    member = b"".join(packer.compress(block) for _ in range(inflated >> 20)) + packer.flush()
    return member + releases.package_trailer(target)


class FreeSpaceWatch:
    """The least free space a disk had while the watch ran, looked at every millisecond."""

    def __init__(self, disk):
        self.disk, self.running = disk, True
        self.least = self.free()
        self.thread = threading.Thread(target=self.watch)
        self.thread.start()

    def free(self):
        space = os.statvfs(self.disk)
        return space.f_bavail * space.f_frsize

    def watch(self):
        while self.running:
            self.least = min(self.least, self.free())
            time.sleep(0.001)

    def stop(self):
        self.running = False
        self.thread.join()
        return self.least


class WineSession:
    """Keeps one Wine session up while the runs go on.

    The wineserver here ends its session as soon as no Wine program is left (Debian's wrapper
    starts it with -p0), and the first program of a session starts wineboot, whose services
    take over that program's standard error. So every run booted a session of its own, its
    pipes stayed open until that session had gone down, and the next run started just as the
    wineserver was exiting: a start that Wine can fail before the program runs (exit status
    66, the low byte of 0xC0000142, a DLL that could not initialise; nothing on stderr under
    WINEDEBUG=-all)."""

    def __init__(self):
        # Its standard error goes nowhere: the session's services inherit it.
        self.holder = subprocess.Popen([shutil.which("wine"), "cmd", "/k", "echo up"],
                                       stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                       stderr=subprocess.DEVNULL)
        ready, _, _ = select.select([self.holder.stdout], [], [], RUN_TIMEOUT)
        if not ready or not self.holder.stdout.readline().startswith(b"up"):
            self.close()
            raise RuntimeError("no Wine session came up")

    def close(self):
        self.holder.stdin.close()  # cmd ends with its input
        try:
            self.holder.wait(timeout=60)
        except subprocess.TimeoutExpired:
            self.holder.kill()
            self.holder.wait()
        self.holder.stdout.close()


class PatchRunTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        if OPTIONS.wine:
            cls.addClassCleanup(WineSession().close)
        cls.scratch = tempfile.mkdtemp(prefix="veldra-e2e-")
        os.chmod(cls.scratch, 0o755)
        cls.root = os.path.join(cls.scratch, "www")
        os.makedirs(cls.root)
        cls.nginx, cls.port = nginx_server.start(cls.root, os.path.join(cls.scratch, "nginx"))
        cls.access_log = os.path.join(cls.scratch, "nginx", "access.log")

    @classmethod
    def tearDownClass(cls):
        nginx_server.stop(cls.nginx)
        shutil.rmtree(cls.scratch, ignore_errors=True)

    def setUp(self):
        self.name = self.id().rsplit(".", 1)[-1]
        self.release = os.path.join(self.scratch, self.name, "release")
        self.game = os.path.join(self.scratch, self.name, "game")
        self.server = os.path.join(self.root, self.name)
        self.patch_sys = os.path.join(self.scratch, self.name, "patch.sys")
        write(self.patch_sys, self.patch_sys_for(self.port))
        new_game_folder(self.game, self.patch_sys)
        sample_release(self.release)

    def patch_sys_for(self, port, folder=None):
        """This test's patch.sys, naming the server at `port` and its `folder`."""
        return game_folders.patch_sys(port, folder or self.name, skin_picture="skin\\bg.bmp")

    def publish_release(self, port=None, key=None, patch_sys=None, folder=None):
        """The release to the folder of www (this test's, or `folder`), with its patch.sys."""
        server = os.path.join(self.root, folder) if folder else self.server
        releases.publish(OPTIONS.publish, self.release, server,
                         [f"Live=127.0.0.1:{port or self.port}"], patch_sys or self.patch_sys,
                         key=key)

    def private_key(self, name, source=None):
        """A private key only its owner may read, as veldra-publish wants it."""
        key = os.path.join(self.scratch, self.name, name)
        if source:
            shutil.copy(source, key)
        else:
            run_tool([OPTIONS.publish, "keygen", key], "veldra-publish keygen")
        os.chmod(key, 0o600)
        return key

    def command(self, *args, cli=None):
        cli = cli or OPTIONS.cli
        return ([shutil.which("wine"), cli] if OPTIONS.wine else [cli]) + ["--no", *args]

    def patch(self, *args, expect=0, cli=None):
        """Runs the front end in the game folder; returns the files it was given, and keeps
        what it printed in self.out and self.err."""
        log = nginx_server.AccessLog(self.access_log, self.name)
        log.skip()
        for _ in range(2):
            done = subprocess.run(self.command(*args, cli=cli), cwd=self.game,
                                  capture_output=True, text=True, errors="replace",
                                  timeout=RUN_TIMEOUT)
            # A run of the front end always says something; Wine, busy with other test
            # programs, now and then fails a start without a word (seen as exit status 1).
            if not OPTIONS.wine or done.returncode == expect or done.stdout or done.stderr:
                break
        self.out, self.err = done.stdout, done.stderr
        self.assertEqual(done.returncode, expect, done.stdout[-1000:] + done.stderr[-3000:])
        return [name for name, status, _ in log.new_requests() if status != 401]

    def packages(self, *args, expect=0, cli=None):
        return sorted(name for name in self.patch(*args, expect=expect, cli=cli)
                      if name.endswith(".ppk"))

    def assert_game_is_release(self):
        self.assertEqual(differences(self.release, self.game, None), [])

    def test_an_empty_folder_becomes_the_release_and_a_second_run_fetches_nothing(self):
        self.publish_release()
        first = self.patch()
        self.assert_game_is_release()
        packages = [name for name in first if name.endswith(".ppk")]
        self.assertEqual(len(packages), len(set(packages)), "no package twice")
        self.assertEqual(first.count("veldra.exe"), 1)
        self.assertNotIn("_veldra_exe.ppk", first)
        again = self.patch()
        self.assertFalse([n for n in again if n.endswith(".ppk") or n == "veldra.exe"], again)
        self.assertNotIn("filelist.log", again)

    def test_only_changed_files_are_fetched_and_unlisted_files_are_left_alone(self):
        self.publish_release()
        self.patch()
        write(os.path.join(self.game, "user.cfg"), b"the player's own settings")
        write(os.path.join(self.release, "level0", "file000.txt"), b"changed")
        write(os.path.join(self.release, "level0", "level1", "file005.bin"), b"changed too")
        write(os.path.join(self.release, "added", "new.dat"), b"added")
        with open(os.path.join(self.release, "data", "large.bin"), "ab") as f:
            f.write(b"grown")
        self.publish_release()
        fetched = sorted(n for n in self.patch() if n.endswith(".ppk"))
        self.assertEqual(fetched, sorted(["_level0_file000_txt.ppk",
                                          "_level0_level1_file005_bin.ppk",
                                          "_added_new_dat.ppk", "_data_large_bin.ppk"]))
        self.assert_game_is_release()
        self.assertEqual(read(os.path.join(self.game, "user.cfg")), b"the player's own settings")

    def test_a_new_patcher_ends_one_run_in_a_relaunch(self):
        self.publish_release()
        self.patch()
        write(os.path.join(self.release, "veldra.exe"), b"MZ the patcher, second build")
        self.publish_release()
        requested = self.patch()
        self.assertEqual(requested.count("veldra.exe"), 1)
        self.assertNotIn("_veldra_exe.ppk", requested, "fetched whole, not again as a package")
        self.assertEqual(requested.count("pserv.log"), 2, "the relaunched run finds it current")
        self.assert_game_is_release()

    def test_a_changed_skin_picture_costs_exactly_one_relaunch(self):
        self.publish_release()
        self.patch()
        write(os.path.join(self.release, "skin", "bg.bmp"), b"BM picture two")
        self.publish_release()
        requested = self.patch()
        self.assertEqual(requested.count("_skin_bg_bmp.ppk"), 1)
        self.assertEqual(requested.count("pserv.log"), 2)
        self.assertEqual(read(os.path.join(self.game, "skin", "bg.bmp")), b"BM picture two")

    def test_a_missing_package_fails_and_what_arrived_meanwhile_stays_installed(self):
        self.publish_release()
        self.patch()
        write(os.path.join(self.release, "added", "a.dat"), b"first")
        write(os.path.join(self.release, "added", "b.dat"), b"second")
        self.publish_release()
        missing = os.path.join(self.server, "_added_b_dat.ppk")
        kept = missing + ".kept"
        os.rename(missing, kept)
        self.patch(expect=4)
        self.assertEqual(read(os.path.join(self.game, "added", "a.dat")), b"first")
        fetched, installed = status_log(os.path.join(self.game, "localfileStatus.log"))["\\added\\a.dat"]
        self.assertEqual(installed, hashlib.md5(b"first").digest())
        self.assertEqual(fetched, installed)

        os.rename(kept, missing)
        requested = self.patch()
        self.assertNotIn("_added_a_dat.ppk", requested, "what is installed is not fetched again")
        self.assertIn("_added_b_dat.ppk", requested)
        self.assert_game_is_release()


    def test_a_damaged_folder_is_mended_by_the_next_run_and_only_the_damage_is_fetched(self):
        self.publish_release()
        self.patch()
        game = lambda *parts: os.path.join(self.game, *parts)

        def rewrite_same_size(path):
            content = read(path)
            before = os.stat(path)
            write(path, bytes(b ^ 0x5A for b in content))
            os.utime(path, ns=(before.st_atime_ns, before.st_mtime_ns + 3_000_000_000))

        damages = [
            ("deleted", lambda: os.remove(game("file004.bin")), ["_file004_bin.ppk"]),
            ("truncated", lambda: os.truncate(game("data", "large.bin"), 1000),
             ["_data_large_bin.ppk"]),
            ("grown by a byte", lambda: open(game("file000.txt"), "ab").write(b"x"),
             ["_file000_txt.ppk"]),
            ("same size, new time", lambda: rewrite_same_size(game("file008.bin")),
             ["_file008_bin.ppk"]),
            ("listed folder removed", lambda: shutil.rmtree(game("level0", "level1", "level2")),
             sorted(f"_level0_level1_level2_file{i:03}_{'bin' if i % 3 else 'txt'}.ppk"
                    for i in range(3, 40, 4))),
        ]
        for what, damage, expected in damages:
            with self.subTest(what):
                damage()
                self.assertEqual(self.packages(), expected)
                self.assert_game_is_release()

    def test_bytes_changed_behind_size_and_time_are_found_by_verify_and_mended_by_repair(self):
        self.publish_release()
        self.patch()
        self.patch("--verify")
        self.assertIn("all 44 listed files are as filelist.log lists them", self.out)
        path = os.path.join(self.game, "level0", "level1", "file002.bin")
        before = os.stat(path)
        write(path, bytes(b ^ 0xFF for b in read(path)))
        os.utime(path, ns=(before.st_atime_ns, before.st_mtime_ns))
        os.remove(os.path.join(self.game, "file000.txt"))

        self.assertEqual(self.packages(), ["_file000_txt.ppk"], "the plain run sees the deletion only")
        self.assertEqual(self.patch("--verify", expect=6), [], "a verify asks no server")
        self.assertIn("differs: \\level0\\level1\\file002.bin\n", self.out)
        self.assertIn("1 of 44 listed files are not as filelist.log lists them (0 missing)", self.out)
        self.assertEqual(self.packages("--repair"), ["_level0_level1_file002_bin.ppk"])
        self.assert_game_is_release()
        self.patch("--verify")

    def test_verify_reads_nothing_but_the_folder_files_and_a_ctrl_c_ends_it_at_once(self):
        if OPTIONS.wine:
            self.skipTest("pipes and links are made on the Linux side")
        self.publish_release()
        self.patch()
        pipe = os.path.join(self.game, "file000.txt")
        os.remove(pipe)
        os.mkfifo(pipe)
        large = os.path.join(self.game, "data", "large.bin")
        outside = os.path.join(self.scratch, self.name, "outside.bin")
        shutil.move(large, outside)
        os.symlink(outside, large)
        self.assertEqual(self.patch("--verify", expect=6), [])
        self.assertIn("not read: \\file000.txt (a device, a pipe or a socket)\n", self.out)
        self.assertIn("not read: \\data\\large.bin (a link that leads out of the game folder)\n",
                      self.out)

        os.remove(large)
        with open(large, "wb") as f:
            f.truncate(16 << 30)  # minutes of digesting, taking no room
        run = subprocess.Popen(self.command("--verify"), cwd=self.game, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
        time.sleep(1.5)
        self.assertIsNone(run.poll(), "the verify ended before it was stopped")
        run.send_signal(signal.SIGINT)
        pressed = time.monotonic()
        self.assertEqual(run.wait(timeout=RUN_TIMEOUT), 5, "ends as stopped")
        self.assertLess(time.monotonic() - pressed, 1.0)

    def test_stamps_missing_or_older_than_the_status_log_never_hide_a_change(self):
        self.publish_release()
        self.patch()
        stamps = os.path.join(self.game, "localfileStamps.log")
        path = os.path.join(self.game, "level0", "file001.bin")
        first_stamps, first_content, first_time = read(stamps), read(path), os.stat(path).st_mtime_ns
        write(os.path.join(self.release, "level0", "file001.bin"), b"the second release")
        self.publish_release()
        self.assertEqual(self.packages(), ["_level0_file001_bin.ppk"])

        # The first release's file and time put back, with the stamps that vouched for them.
        write(path, first_content)
        os.utime(path, ns=(first_time, first_time))
        write(stamps, first_stamps)
        self.assertEqual(self.packages(), ["_level0_file001_bin.ppk"])
        self.assert_game_is_release()

        os.remove(stamps)
        os.truncate(path, 3)
        self.assertEqual(self.packages(), ["_level0_file001_bin.ppk"])
        self.assert_game_is_release()

    def test_a_package_left_for_an_older_release_is_dropped_and_the_current_one_fetched(self):
        self.publish_release()
        self.patch()
        name = "_level0_file001_bin.ppk"
        left_over = read(os.path.join(self.server, name))
        write(os.path.join(self.release, "level0", "file001.bin"), b"the second release")
        self.publish_release()
        write(os.path.join(self.game, "temp", name), left_over)  # as a stopped run leaves it
        self.assertEqual(self.packages(), [name])
        self.assertNotIn("Error", self.err)
        self.assert_game_is_release()

    def small_disk(self, size):
        disk = os.path.join(self.scratch, self.name, "disk")
        os.makedirs(disk)
        subprocess.run(["mount", "-t", "tmpfs", "-o", f"size={size}", "tmpfs", disk], check=True)
        self.addCleanup(subprocess.run, ["umount", disk], check=True)
        return disk

    def test_a_signed_release_installs_nothing_changed_on_the_way(self):
        key = self.private_key("release.key", OPTIONS.key)
        signed = dict(cli=OPTIONS.keyed_cli)
        self.publish_release(key=key)
        self.patch(**signed)
        self.assertEqual(self.packages(**signed), [], "the second run fetches nothing")
        first_release = snapshot(self.server)

        def flip_last_byte(name):
            path = os.path.join(self.server, name)
            content = read(path)
            write(path, content[:-1] + bytes([content[-1] ^ 1]))

        other_key = self.private_key("other.key")
        signature = os.path.join(self.server, "release.sig")
        refused_at_once = [
            ("patch.sys changed", lambda: flip_last_byte("patch.sys"), "patch.sys is not the file"),
            ("pserv.log changed", lambda: flip_last_byte("pserv.log"), "pserv.log is not the file"),
            # Fetched only when the local copy is not the announced one.
            ("filelist.log changed", lambda: (flip_last_byte("filelist.log"),
                                              os.remove(os.path.join(self.game, "filelist.log"))),
             "filelist.log is not the file"),
            ("release.sig missing", lambda: os.remove(signature), "could not be fetched"),
            ("release.sig cut", lambda: write(signature, read(signature)[:200]), "is cut"),
            # A folder started anew under another key: veldra-publish refuses to sign over this one's.
            ("signed by another key",
             lambda: (os.remove(signature), self.publish_release(key=other_key)),
             "not signed by"),
        ]
        for what, tamper, told in refused_at_once:
            with self.subTest(what):
                tamper()
                before = snapshot(self.game)
                self.patch(expect=4, **signed)
                self.assertIn(told, self.err)
                self.assertEqual(snapshot(self.game), before, "nothing in the game folder changed")
                put_back(self.server, first_release)
                self.assertEqual(self.packages(**signed), [])

        # Files of a newer release, changed after it was signed: each is a failed download.
        newer = [
            ("a package changed", os.path.join("level0", "file001.bin"), "_level0_file001_bin.ppk",
             4),
            ("veldra.exe changed", "veldra.exe", "veldra.exe", 2),  # each relaunch tries again
        ]
        for what, relative, served, status in newer:
            with self.subTest(what):
                write(os.path.join(self.release, relative), f"MZ {what}, signed".encode())
                self.publish_release(key=key)
                sound = read(os.path.join(self.server, served))
                flip_last_byte(served)
                installed = read(os.path.join(self.game, relative))
                self.patch(expect=status, **signed)
                self.assertIn(f"{served} is not the file the signed release lists", self.err)
                self.assertEqual(read(os.path.join(self.game, relative)), installed)
                write(os.path.join(self.server, served), sound)
                self.patch(**signed)
                self.assert_game_is_release()

        with self.subTest("an older signed release put back"):
            before = snapshot(self.game)
            put_back(self.server, first_release)
            self.patch(expect=4, **signed)
            self.assertIn("older than release 3", self.err)
            self.assertEqual(snapshot(self.game), before)

    @unittest.skipUnless(os.geteuid() == 0, "mounting a small disk needs root")
    def test_a_status_log_that_a_full_disk_cannot_hold_fails_the_run(self):
        # The player's own files, which take no room, make a status log larger than the
        # disk's reserve.
        for extra in range(600):
            write(os.path.join(self.game, "saves", f"{extra:03}" + "-" * 96), b"")
        self.publish_release()
        self.patch()
        disk = self.small_disk("4m")
        game = os.path.join(disk, "game")
        shutil.copytree(self.game, game)
        space = os.statvfs(disk)
        reserve = space.f_blocks * space.f_frsize // 100
        # Room above the reserve for the largest file each run fetches, and not for the log.
        room = reserve + os.path.getsize(os.path.join(game, "filelist.log")) + 16384
        logs = sum(os.path.getsize(os.path.join(game, name))
                   for name in ("localfileStatus.log", "localfileStamps.log"))
        self.assertGreater(logs, room, "the test needs a status log that cannot fit")
        write(os.path.join(disk, "filler"), bytes(space.f_bavail * space.f_frsize - room))
        # Rewritten with the same bytes: the light check digests it and must save the log.
        path = os.path.join(game, "level0", "file001.bin")
        os.utime(path, ns=(time.time_ns(), time.time_ns()))
        self.game = game
        self.patch(expect=4)
        self.assertIn("Cannot save localfileStatus.log", self.err)

    @unittest.skipUnless(os.geteuid() == 0, "mounting a small disk needs root")
    def test_what_would_fill_the_disk_stops_at_its_reserve_and_is_removed(self):
        rules = os.path.join(self.scratch, self.name, "rules.json")
        port = fault_server.start_for(self, self.root, rules)
        write(self.patch_sys, self.patch_sys_for(port))
        self.publish_release(port)
        disk = self.small_disk("64m")
        self.game = os.path.join(disk, "game")
        new_game_folder(self.game, self.patch_sys)
        write(rules, b"{}")
        self.patch()
        reserve = min(256 << 20, os.statvfs(disk).f_blocks * os.statvfs(disk).f_frsize // 100)
        package = os.path.join(self.server, "_data_large_bin.ppk")
        sound = read(package)
        bomb = zero_bomb("data\\large.bin", 256 << 20)
        hostile = [
            ("a length of 10^12 announced", b'{"_data_large_bin.ppk": {"content_length": 1000000000000}}', sound),
            ("an endless body", b'{"_data_large_bin.ppk": {"endless": true}}', sound),
            ("256 MiB of zeros in a small package", b"{}", bomb),
        ]
        large = os.path.join(self.game, "data", "large.bin")
        for what, rule, served in hostile:
            with self.subTest(what):
                os.remove(large)
                before = files_below(self.game)
                write(rules, rule)
                write(package, served)
                watch = FreeSpaceWatch(disk)
                self.patch(expect=4)
                least = watch.stop()
                self.assertIn("The disk of the game folder is too full for ", self.err)
                self.assertGreater(least, reserve // 2, "the disk kept its reserve")
                self.assertEqual(sorted(files_below(self.game)), sorted(before),
                                 "what it wrote is gone")
                write(rules, b"{}")
                write(package, sound)
                self.patch()
                self.assert_game_is_release()

        # A disk already below its reserve: the first file of the run is what says so.
        free = os.statvfs(disk).f_bavail * os.statvfs(disk).f_frsize
        write(os.path.join(disk, "filler"), bytes(free - reserve // 2))
        self.patch(expect=4)
        self.assertIn("The disk of the game folder is too full for patch.sys", self.err)
        self.assertNotIn("Error connecting patch server", self.err)

    def point_game_at(self, port):
        write(os.path.join(self.game, "patch.sys"), self.patch_sys_for(port))

    def test_an_operator_reads_why_each_download_failed_in_one_line(self):
        self.publish_release()
        os.remove(os.path.join(self.server, "_data_large_bin.ppk"))
        self.patch(expect=4)
        self.assertRegex(self.err, r"(?m)^Error Downloading File: _data_large_bin.ppk: HTTP 404$")

        rules = os.path.join(self.scratch, self.name, "rules.json")
        write(rules, b"{}")
        self.point_game_at(fault_server.start_for(self, self.root, rules, "--password",
                                                  "not the patcher's"))
        self.patch(expect=4)
        self.assertRegex(self.err, r"(?m)^Error Downloading File: patch.sys: HTTP 401$")

        with socket.socket() as unused:
            unused.bind(("127.0.0.1", 0))
            closed = unused.getsockname()[1]
        self.point_game_at(closed)
        self.patch("-v", expect=4)
        self.assertRegex(self.err, r"(?m)^Error Downloading File: patch.sys: cannot connect to "
                         rf"127.0.0.1:{closed} \((WinINet|libcurl) error \d+: .+\)$")
        self.assertRegex(self.err, rf"(?m)^veldra-cli: GET http://127.0.0.1:{closed}/"
                         rf"{self.name}/patch.sys: no answer, 0 bytes, \d+\.\d\d s: cannot connect")

    def test_a_network_in_the_way_never_leaves_a_folder_claimed_done(self):
        """What a captive portal, a proxy or a broken cache may answer in place of the server:
        no run ends done over stale files, patch.sys stays as it was, the player reads why,
        and the next run, with the server in reach, completes the folder."""
        key = self.private_key("release.key", OPTIONS.key)
        self.publish_release(key=key)
        rules = os.path.join(self.scratch, self.name, "rules.json")
        write(rules, b"{}")
        requests = os.path.join(self.scratch, self.name, "requests.log")
        port = fault_server.start_for(self, self.root, rules, "--log", requests)
        # The same release behind the fault server, with a patch.sys that names it.
        folder = self.name + "-fault"
        behind = os.path.join(self.scratch, self.name, "patch-behind.sys")
        write(behind, self.patch_sys_for(port, folder))
        self.publish_release(port, key=key, patch_sys=behind, folder=folder)
        packages = [n for n in os.listdir(self.server) if n.endswith(".ppk")]
        large = "_data_large_bin.ppk"
        page = "the network answered with a web page"
        def ranges_asked(name):
            with open(requests, encoding="utf-8") as f:
                entries = [json.loads(line) for line in f]
            # WinINet asks once without credentials: the challenge's 401 is no request of ours.
            return [e["range"] for e in entries
                    if e["path"].endswith("/" + name) and e["status"] != 401]

        cases = [  # what, rules of each run behind the network, exit statuses, told, signed
            ("a web page for every package", [{n: {"portal": True} for n in packages}], [4],
             page, False),
            ("a web page for patch.sys", [{"patch.sys": {"portal": True}}], [4], page, False),
            ("a web page for everything", [{"*": {"portal": True}}], [4], page, False),
            ("a piece for a request without Range", [{n: {"fragment": 100} for n in packages}],
             [4], "a piece of the file (HTTP 206)", False),
            # The first run leaves a part; the cache then makes up the rest, which the signed
            # release finds out, and the package is fetched whole in the same run.
            ("other bytes after If-Range", [{large: {"drop_after": 100000}},
                                            {large: {"other_bytes": True}}], [4, 0],
             "cut at byte", True),
        ]
        for what, runs, statuses, told, signed in cases:
            with self.subTest(what):
                cli = dict(cli=OPTIONS.keyed_cli if signed else OPTIONS.cli)
                new_game_folder(self.game, behind)
                errors = ""
                for run_rules, status in zip(runs, statuses):
                    write(rules, json.dumps(run_rules).encode())
                    self.patch(expect=status, **cli)
                    errors += self.err
                    self.assertEqual(read(os.path.join(self.game, "patch.sys")), read(behind))
                self.assertIn(told, errors)
                if told == page:
                    self.assertIn("Sign in to the network", errors, "the run's last word")
                if status == 0:
                    self.assert_game_is_release()
                    self.assertEqual(ranges_asked(large)[-2:], ["bytes=500000-", ""],
                                     "the rest, then the whole file")
                write(os.path.join(self.game, "patch.sys"), read(self.patch_sys))
                self.patch(**cli)
                self.assert_game_is_release()

    def test_one_run_at_a_time_holds_the_folder_and_a_killed_one_does_not_block_the_next(self):
        slow, port = nginx_server.start(self.root, os.path.join(self.scratch, "slow-nginx"),
                                        rate="256k")
        self.addCleanup(nginx_server.stop, slow)
        write(self.patch_sys, self.patch_sys_for(port))
        shutil.copy(self.patch_sys, os.path.join(self.game, "patch.sys"))
        self.publish_release(port)
        runs = [subprocess.Popen(self.command(), cwd=self.game, stdout=subprocess.DEVNULL,
                                 stderr=subprocess.PIPE, text=True, errors="replace")
                for _ in range(2)]
        ends = [(run.wait(timeout=RUN_TIMEOUT), run.stderr.read()) for run in runs]
        for run in runs:
            run.stderr.close()
        self.assertEqual(sorted(code for code, _ in ends), [0, 7], ends)
        told = next(err for code, err in ends if code == 7)
        self.assertIn("already running in this game folder", told)
        self.assertIn("another run holds the game folder", told)
        self.assert_game_is_release()

        os.remove(os.path.join(self.game, "data", "large.bin"))
        killed = subprocess.Popen(self.command(), cwd=self.game, stdout=subprocess.DEVNULL,
                                  stderr=subprocess.DEVNULL)
        self.addCleanup(killed.kill)
        staging = os.path.join(self.game, "temp")
        deadline = time.monotonic() + RUN_TIMEOUT
        while not any(name.startswith("_data_large_bin") for name in os.listdir(staging)):
            self.assertIsNone(killed.poll(), "the run ended before its download began")
            self.assertLess(time.monotonic(), deadline, "the download never began")
            time.sleep(0.05)
        killed.kill()
        killed.wait()
        self.patch()
        self.assert_game_is_release()


class CrashRecoveryTest(PatchRunTest):
    """A run killed at any moment leaves a folder that the next run completes."""

    def test_a_run_killed_anywhere_is_completed_by_the_next(self):
        for extra in range(200):
            write(os.path.join(self.release, "bulk", f"{extra:03}.bin"), os.urandom(20000))
        self.publish_release()
        started = time.monotonic()
        self.patch()
        whole = time.monotonic() - started
        generator = random.Random(7)
        for attempt in range(OPTIONS.crashes):
            new_game_folder(self.game, self.patch_sys)
            moment = generator.uniform(0.0, whole)
            run = subprocess.Popen([OPTIONS.cli, "--no"], cwd=self.game,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            time.sleep(moment)
            run.send_signal(signal.SIGKILL)
            run.wait()
            with self.subTest(attempt=attempt, killed_after=round(moment, 3)):
                self.patch()
                self.assert_game_is_release()
                status_log(os.path.join(self.game, "localfileStatus.log"))

    def test_a_patcher_killed_while_it_replaces_itself_leaves_a_whole_one(self):
        self.publish_release()
        self.patch()
        old = read(os.path.join(self.game, "veldra.exe"))
        new = b"MZ the patcher, second build" + os.urandom(32 << 20)
        write(os.path.join(self.release, "veldra.exe"), new)
        self.publish_release()
        arrived = os.path.join(self.game, "temp", "veldra.exe")
        generator = random.Random(11)
        for attempt in range(max(OPTIONS.crashes // 2, 1)):
            write(os.path.join(self.game, "veldra.exe"), old)
            run = subprocess.Popen([OPTIONS.cli, "--no"], cwd=self.game,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            while not os.path.exists(arrived) and run.poll() is None:
                time.sleep(0.001)
            # From the download's start to beyond the move over the old file.
            time.sleep(generator.uniform(0.0, 0.25))
            run.send_signal(signal.SIGKILL)
            run.wait()
            installed = read(os.path.join(self.game, "veldra.exe"))
            with self.subTest(attempt=attempt):
                self.assertIn(installed, (old, new), "a whole patcher, old or new")
        self.patch()
        self.assertEqual(read(os.path.join(self.game, "veldra.exe")), new)


class ChunkRunTest(PatchRunTest):
    """A large file changed in a release costs the chunks it lacks, not its package."""

    LARGE = os.path.join("data", "world.pak")
    PACKAGE = "_data_world_pak.ppk"

    def setUp(self):
        super().setUp()
        self.rng = random.Random(23)
        self.write_large(self.rng.randbytes(12 << 20))
        self.publish_release()
        self.patch()

    def write_large(self, content):
        write(os.path.join(self.release, self.LARGE), content)

    def large(self):
        return read(os.path.join(self.release, self.LARGE))

    def update(self):
        """Publishes the release and patches it: update_published()."""
        self.publish_release()
        return self.update_published()

    def update_published(self):
        """Patches what the server folder holds; (package fetched, chunk bytes fetched)."""
        log = nginx_server.AccessLog(self.access_log, self.name)
        log.skip()
        self.patch()
        self.requests = [entry for entry in log.new_requests() if entry[1] == 200]
        self.assert_game_is_release()
        return (any(name == self.PACKAGE for name, _, _ in self.requests),
                sum(size for name, _, size in self.requests if name.startswith("chunks/")))

    def chunk_files(self):
        store = os.path.join(self.server, "chunks")
        return {os.path.join(folder, name) for folder, _, names in os.walk(store)
                for name in names}

    def test_each_change_costs_about_the_bytes_changed_and_anything_amiss_the_package(self):
        def rewrite_middle(content):
            middle = len(content) // 2
            return content[:middle] + self.rng.randbytes(1 << 20) + content[middle + (1 << 20):]

        def flip(content):
            at = self.rng.randrange(len(content))
            return content[:at] + bytes([content[at] ^ 1]) + content[at + 1:]

        changes = [
            ("one byte flipped", flip, 300 << 10),
            ("1 MiB rewritten in the middle", rewrite_middle, (1 << 20) + (600 << 10)),
            ("1 KiB inserted at the start", lambda c: self.rng.randbytes(1024) + c, 300 << 10),
            ("cut short", lambda c: c[:len(c) - (3 << 20) - 7], 300 << 10),
            ("grown", lambda c: c + self.rng.randbytes(200 << 10), 600 << 10),
        ]
        for what, change, most in changes:
            with self.subTest(what):
                self.write_large(change(self.large()))
                package, chunk_bytes = self.update()
                self.assertFalse(package, "the package is not fetched")
                self.assertLess(chunk_bytes, most)
                self.assertIn(" to fetch, ", self.out + self.err)

        def without_indexes(_):
            shutil.rmtree(os.path.join(self.server, "indexes"))

        def without_a_chunk(before):
            os.remove(sorted(self.chunk_files() - before)[0])

        def without_the_old_copy(_):
            os.remove(os.path.join(self.game, self.LARGE))

        amiss = [("a server without indexes", without_indexes),
                 ("a missing chunk", without_a_chunk),
                 ("no old copy", without_the_old_copy)]
        for what, spoil in amiss:
            with self.subTest(what):
                self.write_large(flip(self.large()))
                before = self.chunk_files()
                self.publish_release()
                spoil(before)
                package, _ = self.update_published()
                self.assertTrue(package, "the package comes instead, in the same run")

    def test_a_quit_keeps_what_arrived_and_the_next_run_fetches_only_the_rest(self):
        if OPTIONS.wine:
            self.skipTest("Ctrl-C is sent to the native program")
        self.write_large(self.large()[:1 << 20] + self.rng.randbytes(6 << 20) +
                         self.large()[7 << 20:])
        # nginx lets each answer's first second through at once: 16 KB/s holds a chunk back.
        work = os.path.join(self.scratch, self.name, "slow-nginx")
        slow, port = nginx_server.start(self.root, work, rate="16k")
        try:
            slow_patch_sys = os.path.join(work, "patch.sys")
            write(slow_patch_sys, self.patch_sys_for(port))
            self.publish_release(port=port, patch_sys=slow_patch_sys)
            shutil.copy(slow_patch_sys, os.path.join(self.game, "patch.sys"))
            log = nginx_server.AccessLog(os.path.join(work, "access.log"), self.name)
            run = subprocess.Popen(self.command(), cwd=self.game, stdout=subprocess.DEVNULL,
                                   stderr=subprocess.DEVNULL)
            # The log is read as it grows: AccessLog waits for it to hold still.
            deadline = time.monotonic() + RUN_TIMEOUT
            while (time.monotonic() < deadline and
                   read(os.path.join(work, "access.log")).count(b"/chunks/") < 10):
                time.sleep(0.02)
            run.send_signal(signal.SIGINT)
            self.assertEqual(run.wait(timeout=RUN_TIMEOUT), 5, "ends as stopped")
            first = {name for name, status, size in log.new_requests() if status == 200 and
                     name.startswith("chunks/") and
                     size == os.path.getsize(os.path.join(self.server, name))}
        finally:
            nginx_server.stop(slow)
        self.assertFalse(read(os.path.join(self.game, self.LARGE)) == self.large(),
                         "the old copy stays until the new file is whole")
        self.publish_release()
        shutil.copy(self.patch_sys, os.path.join(self.game, "patch.sys"))
        package, _ = self.update_published()
        self.assertFalse(package)
        second = [name for name, status, _ in self.requests if name.startswith("chunks/")]
        self.assertEqual(len(second), len(set(second)), "no chunk twice")
        # A chunk whose last bytes were on the way at the quit may come again; none kept does.
        self.assertGreaterEqual(len(first), 2)
        self.assertLessEqual(len(first & set(second)), 8)


def main():
    global OPTIONS
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--cli", required=True)
    parser.add_argument("--publish", required=True)
    parser.add_argument("--wine", action="store_true")
    parser.add_argument("--crashes", type=int, default=0)
    parser.add_argument("--keyed-cli", required=True)
    parser.add_argument("--key", required=True)
    OPTIONS, rest = parser.parse_known_args()
    OPTIONS.cli = os.path.abspath(OPTIONS.cli)
    OPTIONS.keyed_cli = os.path.abspath(OPTIONS.keyed_cli)
    OPTIONS.publish = os.path.abspath(OPTIONS.publish)
    suite = unittest.defaultTestLoader.loadTestsFromTestCase(PatchRunTest)
    suite.addTests(ChunkRunTest(name) for name in vars(ChunkRunTest) if name.startswith("test_"))
    if OPTIONS.crashes and not OPTIONS.wine:
        for name in ("test_a_run_killed_anywhere_is_completed_by_the_next",
                     "test_a_patcher_killed_while_it_replaces_itself_leaves_a_whole_one"):
            suite.addTest(CrashRecoveryTest(name))
    result = unittest.TextTestRunner(verbosity=2).run(suite)
    return 0 if result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main())
