#!/usr/bin/env python3
"""nginx as a patch server is hosted: a folder served on 127.0.0.1 with Basic authentication.

Its configuration, password file, logs and pid live in a folder of the caller's; the access
log has one line per request: user, "request line", status, bytes sent, "agent". A rate (nginx's
limit_rate, e.g. "2m" for 2 MB/s per connection) makes downloads last long enough to watch.
Every answer says what a cache between may keep (CACHE_HEADERS): the chunk store's files for
good, everything else only as long as the server confirms it.
Run alone, it serves until interrupted: nginx_server.py --root DIR --work DIR [--rate RATE]
"""
import argparse
import os
import re
import signal
import socket
import subprocess
import sys
import time

USER = "quarn"
PASSWORD = "482vbn%^&VBN"


class AccessLog:
    """The requests nginx logged for one server folder since the last look."""

    def __init__(self, path, folder="."):
        self.path = path
        self.offset = 0
        self.line = re.compile(r'^\S+ "GET /(?:\./)?' + re.escape(folder) +
                               r'/(\S+) HTTP/[\d.]+" (\d+) (\d+)')

    def skip(self):
        self.new_requests()

    def new_requests(self):
        """(name, status, bytes) per request since the last call."""
        if not os.path.exists(self.path):
            return []
        # nginx writes a request's line after its response: wait until the log holds still.
        size = -1
        while size != os.path.getsize(self.path):
            size = os.path.getsize(self.path)
            time.sleep(0.2)
        with open(self.path, encoding="latin-1") as f:
            f.seek(self.offset)
            text = f.read()
            self.offset = f.tell()
        found = []
        for line in text.splitlines():
            match = self.line.match(line)
            if match:
                found.append((match.group(1), int(match.group(2)), int(match.group(3))))
        return found


# The Cache-Control lines an operator serves, as the README shows them. A chunk or an index is
# named by its content and never changes; a 404 of one (a copy still under way) must not be
# kept. Every other name, a package too, gets new content under the same name.
CACHE_HEADERS = """
  map $status $content_named_cache {
    200 "public, max-age=31536000, immutable";
    206 "public, max-age=31536000, immutable";
    304 "public, max-age=31536000, immutable";
    default "no-cache";
  }
"""
CACHE_LOCATIONS = """
    location ~ "/chunks/([0-9a-f]{2})/\\1[0-9a-f]{62}$" {
      add_header Cache-Control $content_named_cache always;
    }
    location ~ "/indexes/[0-9a-f]{32}$" {
      add_header Cache-Control $content_named_cache always;
    }
    location / {
      add_header Cache-Control "no-cache" always;
    }
"""


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def write_config(work, root, port, rate=None):
    hashed = subprocess.run(["openssl", "passwd", "-apr1", PASSWORD], check=True,
                            capture_output=True, text=True).stdout.strip()
    with open(os.path.join(work, "htpasswd"), "w") as f:
        f.write(f"{USER}:{hashed}\n")
    throttle = f"limit_rate {rate};" if rate else ""
    return save_config(work, f"""
{CACHE_HEADERS}
  server {{
    listen 127.0.0.1:{port};
    root {root};
    auth_basic "patch";
    auth_basic_user_file {work}/htpasswd;
    {throttle}
{CACHE_LOCATIONS}
  }}
""")


def save_config(work, http, logged="", connections=64):
    """Writes work/nginx.conf: one worker of `connections`, its files in work, `http` the rest
    of the http block and `logged` what the access log's lines end with besides; returns its
    path."""
    # As root, the workers would otherwise run as nobody and be refused a private folder.
    user = "user root;" if os.geteuid() == 0 else ""
    temp = os.path.join(work, "temp")
    os.makedirs(temp, exist_ok=True)
    config = f"""
{user}
worker_processes 1;
daemon off;
pid {work}/nginx.pid;
error_log {work}/error.log;
events {{ worker_connections {connections}; }}
http {{
  log_format patch '$remote_user "$request" $status $body_bytes_sent "$http_user_agent"{logged}';
  access_log {work}/access.log patch;
  client_body_temp_path {temp}/body;
  proxy_temp_path {temp}/proxy;
  fastcgi_temp_path {temp}/fastcgi;
  uwsgi_temp_path {temp}/uwsgi;
  scgi_temp_path {temp}/scgi;
  sendfile on;
{http}
}}
"""
    path = os.path.join(work, "nginx.conf")
    with open(path, "w") as f:
        f.write(config)
    return path


def start(root, work, rate=None):
    """Starts nginx; returns (process, port) once it accepts connections."""
    return launch(work, lambda work, port: write_config(work, os.path.abspath(root), port, rate))


def launch(work, configure):
    """Starts nginx on a free port with the configuration that configure(work, port) writes
    (returning its path); returns (process, port) once it accepts connections."""
    os.makedirs(work, exist_ok=True)
    for _ in range(5):
        port = free_port()
        config = configure(os.path.abspath(work), port)
        process = subprocess.Popen(["nginx", "-p", work, "-c", config, "-e",
                                    os.path.join(work, "error.log")],
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        for _ in range(100):
            if process.poll() is not None:
                break  # the port was taken meanwhile: try another
            try:
                socket.create_connection(("127.0.0.1", port), timeout=0.2).close()
                return process, port
            except OSError:
                time.sleep(0.05)
        stop(process)
    raise RuntimeError("nginx did not start; see " + os.path.join(work, "error.log"))


def stop(process):
    if process.poll() is None:
        process.send_signal(signal.SIGQUIT)
        try:
            process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--root", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--rate", help="nginx's limit_rate per connection, e.g. 2m")
    options = parser.parse_args()
    serve_until_interrupted(*start(options.root, options.work, options.rate))
    return 0


def serve_until_interrupted(process, port):
    """Tells the port, as a test's driver reads it, and serves until Ctrl-C."""
    print(f"port {port}", flush=True)
    try:
        process.wait()
    except KeyboardInterrupt:
        stop(process)


if __name__ == "__main__":
    sys.exit(main())
