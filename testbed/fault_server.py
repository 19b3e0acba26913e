#!/usr/bin/env python3
"""A patch server for tests: serves a folder over HTTP on 127.0.0.1 with Basic authentication,
and misbehaves on request, per file, as a real server or network sometimes does.

The rules file (JSON, read again on every request, so a test may change it between requests)
maps a file name, as it stands after the last "/" of the request path, to what to do; the key
"*" holds for every file that has no rule of its own:
  {"status": 404}          answer that status with an empty body
  {"drop_after": 100}      announce the whole length, send 100 bytes, close the connection
  {"stall": 5}             send the headers, then nothing for 5 seconds, then the body
  {"content_length": 10}   announce this length, whatever the file holds
  {"endless": true}        announce no length and send zeros until the client hangs up
  {"slow_after": 1000}     send 1000 bytes at once, then the rest 1024 bytes every 10 ms
                           ("piece": 16 with it: 16 bytes every 10 ms)
  {"no_auth": true}        serve without asking for credentials
  {"deny": true}           refuse every credential: 401 with a challenge, always
  {"digest": true}         ask for Digest credentials (MD5, qop "auth") instead of Basic,
                           and take no others
  {"hang_up": true}        close the connection without any answer
  {"redirect": "URL"}      answer 302 with this Location
  {"trickle": 2}           announce no length, send 2 bytes a second (chunked), never end
  {"ignore_range": true}   answer a Range with the whole file (200), as some servers do
  {"etag": "\"v2\""}        send this ETag instead of the one made from the content
  {"no_validator": true}   send neither ETag nor Last-Modified
  {"portal": true}         answer 200 with a sign-in web page (Content-Type text/html) of
                           its own, before any challenge, as a captive portal or a proxy
                           does for any address
  {"fragment": 100}        answer a request without Range with 206 and the file's first 100
                           bytes, as a broken cache may
  {"other_bytes": true}    answer a Range with 206 and as many bytes, but not the file's (a
                           broken cache's splice)
  {"first": 1}             with any of the above: the rule holds for the first request of the
                           file (not counting challenges) only; later ones are served plainly
Ranges ("Range: bytes=N-", with "If-Range") are answered as a static server does: 206 with a
Content-Range while the validator matches, the whole file when it does not, 416 for a start
at or past the end. A rule's byte counts apply to the body as sent.
Every request is appended to the log file as one JSON line, before its body goes out: path,
agent, user, status and the Range header ("" for none).
The chosen port is printed as "port N" on the first line of standard output.
"""
import argparse
import base64
import hashlib
import json
import re
import os
import socket
import subprocess
import sys
import threading
import time
import urllib.parse
import zlib
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer


DIGEST_NONCE = "5f0e8a2c9b71d4e3"
PORTAL_PAGE = (b"<!DOCTYPE html>\n<html><head><title>Sign in</title></head>\n"
               b"<body><form action=\"/login\" method=\"post\">Sign in to use the Wi-Fi"
               b"<input name=\"room\"></form></body></html>\n")


class PatchServer(ThreadingHTTPServer):
    daemon_threads = True
    request_queue_size = 64  # a patcher opens several connections at once

    def __init__(self, options):
        super().__init__(("127.0.0.1", 0), Handler)
        self.options = options
        self.root = os.path.realpath(options.root)
        self.log_lock = threading.Lock()
        self.answering = 0  # requests being answered now, on as many connections

    def rules(self):
        if not self.options.rules or not os.path.exists(self.options.rules):
            return {}
        with open(self.options.rules, encoding="utf-8") as f:
            return json.load(f)

    def record(self, entry):
        if not self.options.log:
            return
        with self.log_lock, open(self.options.log, "a", encoding="utf-8") as f:
            f.write(json.dumps(entry) + "\n")

    # Requests for the file past the challenge so far, as the log holds them.
    def answered(self, name):
        if not self.options.log or not os.path.exists(self.options.log):
            return 0
        with self.log_lock, open(self.options.log, encoding="utf-8") as f:
            entries = [json.loads(line) for line in f]
        return sum(1 for entry in entries if entry["status"] != 401 and
                   urllib.parse.unquote(urllib.parse.urlsplit(entry["path"]).path)
                   .rsplit("/", 1)[-1] == name)


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"  # keep-alive, as the clients expect

    def log_message(self, *args):
        pass

    def do_GET(self):
        with self.server.log_lock:
            self.server.answering += 1
        try:
            self.answer_get()
        finally:
            with self.server.log_lock:
                self.server.answering -= 1

    def answer_get(self):
        server = self.server
        path = urllib.parse.unquote(urllib.parse.urlsplit(self.path).path)
        name = path.rsplit("/", 1)[-1]
        rules = server.rules()
        rule = rules.get(name, rules.get("*", {}))
        user = self.digest_user() if rule.get("digest") else self.credentials_user()
        entry = {"path": self.path, "agent": self.headers.get("User-Agent", ""), "user": user,
                 "range": self.headers.get("Range", ""), "at_once": server.answering}

        if "first" in rule and server.answered(name) >= rule["first"]:
            rule = {}
        if rule.get("hang_up"):
            entry["status"] = 0
            server.record(entry)
            self.connection.shutdown(socket.SHUT_RDWR)
            self.close_connection = True
            return
        # A portal answers before any server could ask who is there.
        if rule.get("portal"):
            entry["status"] = 200
            server.record(entry)
            return self.reply(200, PORTAL_PAGE, {"Content-Type": "text/html; charset=utf-8"})
        if rule.get("deny") or (not rule.get("no_auth") and user != server.options.user):
            entry["status"] = 401
            server.record(entry)
            challenge = (f'Digest realm="patch", nonce="{DIGEST_NONCE}", qop="auth", '
                         'algorithm=MD5' if rule.get("digest") else 'Basic realm="patch"')
            return self.reply(401, b"", {"WWW-Authenticate": challenge})
        self.answer(server, path, rule, entry)

    # Each answer is logged before its body goes out: a client that has it all may read the
    # log at once.
    def answer(self, server, path, rule, entry):
        if "status" in rule:
            entry["status"] = rule["status"]
            server.record(entry)
            return self.reply(rule["status"], b"")
        if "redirect" in rule:
            entry["status"] = 302
            server.record(entry)
            return self.reply(302, b"", {"Location": rule["redirect"]})

        target = os.path.realpath(os.path.join(server.root, path.lstrip("/")))
        if not target.startswith(server.root + os.sep) or not os.path.isfile(target):
            entry["status"] = 404
            server.record(entry)
            return self.reply(404, b"")
        with open(target, "rb") as f:
            body = f.read()
        entry["status"] = 200

        if rule.get("endless"):
            server.record(entry)
            return self.send_endlessly()
        if "trickle" in rule:
            server.record(entry)
            return self.send_trickle(rule["trickle"])
        validators = {}
        if not rule.get("no_validator"):
            validators["ETag"] = rule.get("etag", '"%x"' % (zlib.crc32(body) & 0xFFFFFFFF))
            validators["Last-Modified"] = self.date_time_string(int(os.path.getmtime(target)))
        status, headers, body = self.ranged(body, rule, validators)
        entry["status"] = status
        server.record(entry)
        if status == 416:
            return self.reply(416, b"", headers)
        length = rule.get("content_length", len(body))
        self.send_response(status)
        for key, value in {**validators, **headers}.items():
            self.send_header(key, value)
        self.send_header("Content-Length", str(length))
        self.end_headers()
        self.wfile.flush()
        if "stall" in rule:
            time.sleep(rule["stall"])
        if "drop_after" in rule:
            self.send(body[: rule["drop_after"]])
            self.connection.shutdown(socket.SHUT_RDWR)
            self.close_connection = True
            return
        if "slow_after" in rule:
            return self.send_slowly(body, rule["slow_after"], rule.get("piece", 1024))
        self.send(body[:length] if length < len(body) else body)
        if length != len(body):
            self.close_connection = True

    # The answer to a Range header, as a static server gives it.
    def ranged(self, body, rule, validators):
        asked = self.headers.get("Range", "")
        if not asked and "fragment" in rule:
            piece = body[:rule["fragment"]]
            return 206, {"Content-Range": "bytes 0-%d/%d" % (len(piece) - 1, len(body))}, piece
        if not asked.startswith("bytes=") or not asked.endswith("-") or rule.get("ignore_range"):
            return 200, {}, body
        if_range = self.headers.get("If-Range")
        if if_range is not None and if_range not in validators.values():
            return 200, {}, body
        try:
            start = int(asked[len("bytes="):-1])
        except ValueError:
            return 200, {}, body
        if start >= len(body):
            return 416, {"Content-Range": "bytes */%d" % len(body)}, b""
        rest = body[start:]
        if rule.get("other_bytes"):
            rest = bytes(b ^ 0x5A for b in rest)
        return 206, {"Content-Range": "bytes %d-%d/%d" % (start, len(body) - 1, len(body))}, rest

    def send(self, data):
        try:
            self.wfile.write(data)
            self.wfile.flush()
        except (BrokenPipeError, ConnectionResetError):
            self.close_connection = True  # the client stopped listening

    def send_slowly(self, body, at_once, piece):
        self.send(body[:at_once])
        try:
            for start in range(at_once, len(body), piece):
                time.sleep(0.01)
                self.wfile.write(body[start:start + piece])
                self.wfile.flush()
        except (BrokenPipeError, ConnectionResetError):
            self.close_connection = True

    def send_endlessly(self):
        self.send_response(200)
        self.send_header("Connection", "close")
        self.end_headers()
        self.close_connection = True
        zeros = bytes(1 << 16)
        try:
            while True:
                self.wfile.write(zeros)
        except (BrokenPipeError, ConnectionResetError):
            pass

    def send_trickle(self, per_second):
        self.send_response(200)
        self.send_header("Transfer-Encoding", "chunked")
        self.end_headers()
        self.close_connection = True
        chunk = b"%x\r\n%s\r\n" % (per_second, b"." * per_second)
        try:
            while True:
                self.wfile.write(chunk)
                self.wfile.flush()
                time.sleep(1)
        except (BrokenPipeError, ConnectionResetError):
            pass

    def credentials_user(self):
        header = self.headers.get("Authorization", "")
        if not header.startswith("Basic "):
            return ""
        try:
            user, _, password = base64.b64decode(header[6:]).decode("latin-1").partition(":")
        except ValueError:
            return ""
        return user if password == self.server.options.password else ""

    def digest_user(self):
        header = self.headers.get("Authorization", "")
        if not header.startswith("Digest "):
            return ""
        fields = {k: v1 or v2 for k, v1, v2 in
                  re.findall(r'(\w+)=(?:"([^"]*)"|([^\s,]*))', header[7:])}
        user = fields.get("username", "")

        def md5(*parts):
            return hashlib.md5(":".join(parts).encode("latin-1")).hexdigest()
        known = md5(user, "patch", self.server.options.password)
        asked = md5("GET", fields.get("uri", ""))
        expected = md5(known, DIGEST_NONCE, fields.get("nc", ""), fields.get("cnonce", ""),
                       "auth", asked)
        return user if fields.get("response") == expected else ""

    def reply(self, status, body, headers=None):
        self.send_response(status)
        for key, value in (headers or {}).items():
            self.send_header(key, value)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)


def start(root, rules, *options):
    """Starts the server over `root` in a process of its own, with the rules file `rules` and
    further options (--log FILE, --password ...); returns (process, port) once it listens."""
    process = subprocess.Popen([sys.executable, os.path.abspath(__file__), "--root", root,
                                "--rules", rules, *options], stdout=subprocess.PIPE, text=True)
    first = process.stdout.readline().split()
    if len(first) != 2 or first[0] != "port" or not first[1].isdigit():
        stop(process)
        raise RuntimeError(f"the fault server did not start (it said {' '.join(first)!r})")
    return process, int(first[1])


def stop(process):
    process.kill()
    process.wait()
    process.stdout.close()


def start_for(test, root, rules, *options):
    """start() for a unittest case, which stops the server when it ends; returns the port."""
    process, port = start(root, rules, *options)
    test.addCleanup(stop, process)
    return port


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--root", required=True)
    parser.add_argument("--rules")
    parser.add_argument("--log")
    parser.add_argument("--user", default="quarn")
    parser.add_argument("--password", default="482vbn%^&VBN")
    options = parser.parse_args()
    server = PatchServer(options)
    print(f"port {server.server_address[1]}", flush=True)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass
    return 0


if __name__ == "__main__":
    sys.exit(main())
