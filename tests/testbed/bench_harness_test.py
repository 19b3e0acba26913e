#!/usr/bin/env python3
"""The benches' frame must leave no scratch folder behind, fail with the reason rather than a
traceback, and never print a figure from a file list it misread."""
import argparse
import contextlib
import io
import os
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__)))))
from testbed import bench_harness as harness, patch_runs  # noqa: E402
from testbed.bench_harness import BenchError  # noqa: E402
from testbed.processes import ToolError  # noqa: E402


def raise_(error):
    def bench(options, scratch):
        with open(os.path.join(scratch, "left"), "w") as f:
            f.write("a file the bench made")
        if error is not None:
            raise error
    return bench


class RunTest(unittest.TestCase):
    def test_scratch_and_status(self):
        cases = [  # (what the bench raises, --keep, exit status, on stderr)
            (None, False, 0, ""),
            (BenchError("md5sum: 3 lines for 4 files"), False, 1, "md5sum: 3 lines for 4 files"),
            (ToolError("veldra-cli exited with 3"), False, 1, "veldra-cli exited with 3"),
            (OSError("No space left on device"), False, 1, "No space left on device"),
            (KeyboardInterrupt(), False, 1, "interrupted"),
            (BenchError("wrong file"), True, 1, "the scratch folder stays"),
        ]
        for error, keep, status, said in cases:
            with self.subTest(error=repr(error), keep=keep):
                seen = []
                bench = raise_(error)
                stderr = io.StringIO()
                with contextlib.redirect_stderr(stderr):
                    got = harness.run("some_bench", lambda o, s: (seen.append(s), bench(o, s)),
                                      argparse.Namespace(keep=keep))
                self.assertEqual(got, status)
                self.assertIn(said, stderr.getvalue())
                self.assertTrue(seen[0].startswith("/tmp/veldra-some-bench-"))
                self.assertEqual(os.path.isdir(seen[0]), keep)
                if keep:
                    self.assertIn(seen[0], stderr.getvalue())
                    os.remove(os.path.join(seen[0], "left"))
                    os.rmdir(seen[0])

    def test_a_chosen_folder_stays(self):
        with tempfile.TemporaryDirectory() as folder:
            data = os.path.join(folder, "data")
            with contextlib.redirect_stderr(io.StringIO()):
                status = harness.run("some_bench", raise_(BenchError("x")),
                                     argparse.Namespace(), scratch=data)
            self.assertEqual(status, 1)
            self.assertTrue(os.path.isfile(os.path.join(data, "left")))


class ListedKeysTest(unittest.TestCase):
    def test_lists(self):
        md5 = bytes(range(16))
        entry = md5 + b"\\data\\a.dat\r\n"
        cases = [  # (filelist.log, keys or None for a BenchError)
            (b"filelist\r\n2\r\n" + entry + md5 + b"\\b\\c.txt\r\n",
             ["\\data\\a.dat", "\\b\\c.txt"]),
            (b"filelist\r\n0\r\n", []),
            (b"filelist\r\n2\r\n" + entry, None),  # fewer than it says
            (b"filelist\r\n1\r\n" + entry[:-2], None),  # cut inside the last line
            (b"filelist\r\none\r\n" + entry, None),
            (b"filelist\r\n1", None),
            (b"files\r\n1\r\n" + entry, None),
        ]
        with tempfile.TemporaryDirectory() as folder:
            path = os.path.join(folder, "filelist.log")
            for data, keys in cases:
                with self.subTest(data=data):
                    with open(path, "wb") as f:
                        f.write(data)
                    if keys is None:
                        with self.assertRaises(BenchError):
                            patch_runs.listed_keys(path)
                    else:
                        self.assertEqual(patch_runs.listed_keys(path), keys)


class OutputTest(unittest.TestCase):
    def test_table_columns(self):
        out = io.StringIO()
        with contextlib.redirect_stdout(out):
            harness.print_table("3 files", [("tool", "<6"), ("s", ">6"), ("note", "")],
                                [("curl", "0.125", "best"), ("veldra", "12.500", "")])
        self.assertEqual(out.getvalue(), "\n3 files\ntool        s note\ncurl    0.125 best\n"
                                         "veldra 12.500\n")

    @unittest.skipUnless(harness.shutil.which("hyperfine"), "hyperfine is not installed")
    def test_hyperfine_names_the_failing_command(self):
        with tempfile.TemporaryDirectory() as scratch:
            with self.assertRaisesRegex(ToolError, "^broken exited with 3"):
                harness.hyperfine(scratch, [("fine", "true"), ("broken", "exit 3")], 2)
            medians = harness.hyperfine(scratch, [("fine", "true")], 2,
                                        prepare={"fine": f"touch {scratch}/prepared"})
            self.assertEqual(list(medians), ["fine"])
            self.assertTrue(os.path.isfile(os.path.join(scratch, "prepared")))


if __name__ == "__main__":
    unittest.main()
