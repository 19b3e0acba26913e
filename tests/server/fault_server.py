#!/usr/bin/env python3
"""A patch server for tests: serves a folder over HTTP on 127.0.0.1 with Basic authentication,
and misbehaves on request, per file, as a real server or network sometimes does.

The rules file (JSON, read again on every request, so a test may change it between requests)
maps a file name, as it stands after the last "/" of the request path, to what to do:
  {"status": 404}          answer that status with an empty body
  {"drop_after": 100}      announce the whole length, send 100 bytes, close the connection
  {"stall": 5}             send the headers, then nothing for 5 seconds, then the body
  {"content_length": 10}   announce this length, whatever the file holds
  {"endless": true}        announce no length and send zeros until the client hangs up
  {"slow_after": 1000}     send 1000 bytes at once, then the rest 1024 bytes every 10 ms
                           ("piece": 16 with it: 16 bytes every 10 ms)
  {"no_auth": true}        serve without asking for credentials
  {"hang_up": true}        close the connection without any answer
Every request is appended to the log file as one JSON line: path, agent, user, status.
The chosen port is printed as "port N" on the first line of standard output.
"""
import argparse
import base64
import json
import os
import socket
import sys
import threading
import time
import urllib.parse
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer


class PatchServer(ThreadingHTTPServer):
    daemon_threads = True

    def __init__(self, options):
        super().__init__(("127.0.0.1", 0), Handler)
        self.options = options
        self.root = os.path.realpath(options.root)
        self.log_lock = threading.Lock()

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


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"  # keep-alive, as the clients expect

    def log_message(self, *args):
        pass

    def do_GET(self):
        server = self.server
        path = urllib.parse.unquote(urllib.parse.urlsplit(self.path).path)
        name = path.rsplit("/", 1)[-1]
        rule = server.rules().get(name, {})
        user = self.credentials_user()
        entry = {"path": self.path, "agent": self.headers.get("User-Agent", ""), "user": user}

        if rule.get("hang_up"):
            entry["status"] = 0
            server.record(entry)
            self.connection.shutdown(socket.SHUT_RDWR)
            self.close_connection = True
            return
        if not rule.get("no_auth") and user != server.options.user:
            entry["status"] = 401
            server.record(entry)
            return self.reply(401, b"", {"WWW-Authenticate": 'Basic realm="patch"'})
        if "status" in rule:
            entry["status"] = rule["status"]
            server.record(entry)
            return self.reply(rule["status"], b"")

        target = os.path.realpath(os.path.join(server.root, path.lstrip("/")))
        if not target.startswith(server.root + os.sep) or not os.path.isfile(target):
            entry["status"] = 404
            server.record(entry)
            return self.reply(404, b"")
        with open(target, "rb") as f:
            body = f.read()
        entry["status"] = 200
        server.record(entry)

        if rule.get("endless"):
            return self.send_endlessly()
        length = rule.get("content_length", len(body))
        self.send_response(200)
        self.send_header("Content-Length", str(length))
        self.end_headers()
        self.wfile.flush()
        if "stall" in rule:
            time.sleep(rule["stall"])
        if "drop_after" in rule:
            self.wfile.write(body[: rule["drop_after"]])
            self.wfile.flush()
            self.connection.shutdown(socket.SHUT_RDWR)
            self.close_connection = True
            return
        if "slow_after" in rule:
            return self.send_slowly(body, rule["slow_after"], rule.get("piece", 1024))
        self.wfile.write(body[:length] if length < len(body) else body)
        if length != len(body):
            self.close_connection = True

    def send_slowly(self, body, at_once, piece):
        self.wfile.write(body[:at_once])
        self.wfile.flush()
        try:
            for start in range(at_once, len(body), piece):
                time.sleep(0.01)
                self.wfile.write(body[start:start + piece])
                self.wfile.flush()
        except (BrokenPipeError, ConnectionResetError):
            self.close_connection = True  # the client stopped listening

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

    def credentials_user(self):
        header = self.headers.get("Authorization", "")
        if not header.startswith("Basic "):
            return ""
        try:
            user, _, password = base64.b64decode(header[6:]).decode("latin-1").partition(":")
        except ValueError:
            return ""
        return user if password == self.server.options.password else ""

    def reply(self, status, body, headers=None):
        self.send_response(status)
        for key, value in (headers or {}).items():
            self.send_header(key, value)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)


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
