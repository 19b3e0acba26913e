#!/usr/bin/env python3
"""The test server must misbehave exactly as told, or the client tests built on it prove
nothing."""
import base64
import http.client
import json
import os
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__)))))
from testbed import fault_server  # noqa: E402

CREDENTIALS = "Basic " + base64.b64encode(b"quarn:482vbn%^&VBN").decode()


class FaultServerTest(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.TemporaryDirectory()
        self.root = os.path.join(self.folder.name, "root")
        os.makedirs(os.path.join(self.root, "live"))
        with open(os.path.join(self.root, "live", "a.ppk"), "wb") as f:
            f.write(bytes(range(256)) * 4)
        self.rules = os.path.join(self.folder.name, "rules.json")
        self.log = os.path.join(self.folder.name, "log.jsonl")
        self.server, self.port = fault_server.start(self.root, self.rules, "--log", self.log)

    def tearDown(self):
        fault_server.stop(self.server)
        self.folder.cleanup()

    def set_rules(self, rules):
        with open(self.rules, "w", encoding="utf-8") as f:
            json.dump(rules, f)

    def get(self, path, authorize=True):
        connection = http.client.HTTPConnection("127.0.0.1", self.port, timeout=10)
        headers = {"User-Agent": "Quarn Patch Client"}
        if authorize:
            headers["Authorization"] = CREDENTIALS
        connection.request("GET", path, headers=headers)
        return connection, connection.getresponse()

    def logged(self):
        with open(self.log, encoding="utf-8") as f:
            return [json.loads(line) for line in f]

    def test_challenges_then_serves_with_credentials_and_logs_both(self):
        _, refused = self.get("/live/a.ppk", authorize=False)
        self.assertEqual(refused.status, 401)
        self.assertIn("Basic", refused.getheader("WWW-Authenticate"))
        _, served = self.get("/live/./a.ppk")
        self.assertEqual(served.status, 200)
        self.assertEqual(served.read(), bytes(range(256)) * 4)
        self.assertEqual([e["status"] for e in self.logged()], [401, 200])
        self.assertEqual(self.logged()[1]["path"], "/live/./a.ppk")
        self.assertEqual(self.logged()[1]["agent"], "Quarn Patch Client")
        self.assertEqual(self.logged()[1]["user"], "quarn")

    def test_status_rule_and_missing_files_and_no_way_out_of_the_root(self):
        self.set_rules({"a.ppk": {"status": 503}})
        self.assertEqual(self.get("/live/a.ppk")[1].status, 503)
        self.assertEqual(self.get("/live/b.ppk")[1].status, 404)
        self.assertEqual(self.get("/../rules.json")[1].status, 404)

    def test_drop_after_cuts_the_body_and_the_connection(self):
        self.set_rules({"a.ppk": {"drop_after": 100}})
        _, response = self.get("/live/a.ppk")
        self.assertEqual(response.getheader("Content-Length"), "1024")
        with self.assertRaises(http.client.IncompleteRead) as cut:
            response.read()
        self.assertEqual(len(cut.exception.partial), 100)

    def test_wrong_length_announces_more_than_is_sent(self):
        self.set_rules({"a.ppk": {"content_length": 4096}})
        _, response = self.get("/live/a.ppk")
        with self.assertRaises(http.client.IncompleteRead) as cut:
            response.read()
        self.assertEqual(len(cut.exception.partial), 1024)

    def test_stall_holds_the_body_back(self):
        self.set_rules({"a.ppk": {"stall": 1.0}})
        before = time.monotonic()
        _, response = self.get("/live/a.ppk")
        self.assertEqual(len(response.read()), 1024)
        self.assertGreaterEqual(time.monotonic() - before, 0.9)

    def test_slow_after_sends_the_rest_in_timed_pieces(self):
        with open(os.path.join(self.root, "live", "big.ppk"), "wb") as f:
            f.write(bytes(range(256)) * 40)
        for piece, pieces in ((None, 9), (4096, 3)):
            rule = {"slow_after": 1024} if piece is None else {"slow_after": 1024, "piece": piece}
            self.set_rules({"big.ppk": rule})
            before = time.monotonic()
            _, response = self.get("/live/big.ppk")
            self.assertEqual(response.read(), bytes(range(256)) * 40)
            self.assertGreaterEqual(time.monotonic() - before, pieces * 0.01, f"{pieces} pieces")

    def test_hang_up_answers_nothing(self):
        self.set_rules({"a.ppk": {"hang_up": True}})
        with self.assertRaises((http.client.RemoteDisconnected, ConnectionError)):
            self.get("/live/a.ppk")
        self.assertEqual(self.logged()[-1]["status"], 0)

    def test_no_auth_rule_serves_without_credentials(self):
        self.set_rules({"a.ppk": {"no_auth": True}})
        self.assertEqual(self.get("/live/a.ppk", authorize=False)[1].status, 200)

    def test_ranges_are_answered_as_a_static_server_does(self):
        content = bytes(range(256)) * 4
        _, whole = self.get("/live/a.ppk")
        etag = whole.getheader("ETag")
        whole.read()
        cases = [  # rule, If-Range, expected status, Content-Range, body
            ({}, None, 206, "bytes 1000-1023/1024", content[1000:]),
            ({}, etag, 206, "bytes 1000-1023/1024", content[1000:]),
            ({}, '"another"', 200, None, content),
            ({"ignore_range": True}, etag, 200, None, content),
            ({"drop_after": 10}, etag, 206, "bytes 1000-1023/1024", content[1000:1010]),
            ({"other_bytes": True}, etag, 206, "bytes 1000-1023/1024",
             bytes(b ^ 0x5A for b in content[1000:])),
        ]
        for rule, if_range, status, content_range, body in cases:
            with self.subTest(rule=rule, if_range=if_range):
                self.set_rules({"a.ppk": rule})
                connection = http.client.HTTPConnection("127.0.0.1", self.port, timeout=10)
                headers = {"Authorization": CREDENTIALS, "Range": "bytes=1000-"}
                if if_range:
                    headers["If-Range"] = if_range
                connection.request("GET", "/live/a.ppk", headers=headers)
                response = connection.getresponse()
                self.assertEqual(response.status, status)
                self.assertEqual(response.getheader("Content-Range"), content_range)
                try:
                    received = response.read()
                except http.client.IncompleteRead as cut:
                    received = cut.partial
                self.assertEqual(received, body)
        self.assertEqual(self.logged()[-1]["range"], "bytes=1000-")
        self.set_rules({})
        connection = http.client.HTTPConnection("127.0.0.1", self.port, timeout=10)
        connection.request("GET", "/live/a.ppk",
                           headers={"Authorization": CREDENTIALS, "Range": "bytes=1024-"})
        past_the_end = connection.getresponse()
        self.assertEqual((past_the_end.status, past_the_end.getheader("Content-Range")),
                         (416, "bytes */1024"))

    def test_a_network_in_the_way_answers_for_the_server(self):
        with open(os.path.join(self.root, "live", "b.ppk"), "wb") as f:
            f.write(b"second")
        # A portal for every file, without asking who is there; a file's own rule comes first.
        self.set_rules({"*": {"portal": True}, "b.ppk": {}})
        for path in ("/live/a.ppk", "/live/patch.sys"):
            _, page = self.get(path, authorize=False)
            self.assertEqual((page.status, page.getheader("Content-Type")),
                             (200, "text/html; charset=utf-8"), path)
            self.assertIn(b"<html>", page.read())
        self.assertEqual(self.get("/live/b.ppk")[1].read(), b"second")
        # A piece of the file for a request that asked for all of it.
        self.set_rules({"a.ppk": {"fragment": 100}})
        _, piece = self.get("/live/a.ppk")
        self.assertEqual((piece.status, piece.getheader("Content-Range")),
                         (206, "bytes 0-99/1024"))
        self.assertEqual(piece.read(), (bytes(range(256)) * 4)[:100])

    def test_a_server_that_does_not_start_is_an_error_not_a_port(self):
        with self.assertRaisesRegex(RuntimeError, "did not start"):
            fault_server.start(self.root, self.rules, "--no-such-option")

    def test_first_holds_a_rule_for_the_first_requests_only(self):
        self.set_rules({"a.ppk": {"status": 503, "first": 2}})
        self.assertEqual([self.get("/live/a.ppk")[1].status for _ in range(3)], [503, 503, 200])

    def test_deny_redirect_and_trickle(self):
        self.set_rules({"a.ppk": {"deny": True}})
        self.assertEqual(self.get("/live/a.ppk")[1].status, 401)
        self.set_rules({"a.ppk": {"redirect": "http://127.0.0.1:1/a.ppk"}})
        _, moved = self.get("/live/a.ppk")
        self.assertEqual((moved.status, moved.getheader("Location")),
                         (302, "http://127.0.0.1:1/a.ppk"))
        self.set_rules({"a.ppk": {"trickle": 2}})
        _, trickle = self.get("/live/a.ppk")
        before = time.monotonic()
        self.assertEqual(trickle.read1(16), b"..")
        self.assertEqual(trickle.read1(16), b"..")
        self.assertGreaterEqual(time.monotonic() - before, 0.9)


if __name__ == "__main__":
    unittest.main()
