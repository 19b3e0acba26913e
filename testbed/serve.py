#!/usr/bin/env python3
"""Runs a test program beside its patch servers: the fault-injecting server and nginx, each
over a fresh folder, and a port on which nothing answers.

  serve.py [--windows-paths] [--proxy] -- PROGRAM ARGS...

The program finds them in its environment:
  VELDRA_FAULT_PORT, VELDRA_FAULT_ROOT, VELDRA_FAULT_RULES, VELDRA_FAULT_LOG
  VELDRA_NGINX_PORT, VELDRA_NGINX_ROOT, VELDRA_NGINX_LOG
  VELDRA_CLOSED_PORT
With --windows-paths the folders are given as a Windows program under Wine sees them (Z:).
With --proxy the fault server is also the program's HTTP proxy (http_proxy), and
VELDRA_PROXY_PORT names it.
The exit status is the program's.
"""
import os
import socket
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
from testbed import fault_server, nginx_server  # noqa: E402
from testbed.processes import clean_environment  # noqa: E402


def fresh_fault_server(folder):
    """The fault server over folder/root, with no rules yet and its log; returns (process,
    port, root, rules file, log file)."""
    root, rules, log = (os.path.join(folder, n) for n in ("root", "rules.json", "requests.log"))
    os.makedirs(root)
    with open(rules, "w") as f:
        f.write("{}")
    process, port = fault_server.start(root, rules, "--log", log)
    return process, port, root, rules, log


def main():
    args = sys.argv[1:]
    split = args.index("--") if "--" in args else 0
    options, args = args[:split], args[split + 1:]
    windows = "--windows-paths" in options

    def shown(path):
        return "Z:" + path.replace("/", "\\") if windows else path

    with tempfile.TemporaryDirectory(prefix="veldra-servers-") as scratch:
        os.chmod(scratch, 0o755)
        fault, fault_port, fault_root, rules, log = fresh_fault_server(
            os.path.join(scratch, "fault"))
        nginx_root = os.path.join(scratch, "nginx", "root")
        os.makedirs(nginx_root)
        nginx, nginx_port = nginx_server.start(nginx_root, os.path.join(scratch, "nginx", "work"))
        closed = socket.socket()  # bound, never listening: connections are refused
        closed.bind(("127.0.0.1", 0))
        env = clean_environment()
        env.update({
            "VELDRA_FAULT_PORT": str(fault_port),
            "VELDRA_FAULT_ROOT": shown(fault_root),
            "VELDRA_FAULT_RULES": shown(rules),
            "VELDRA_FAULT_LOG": shown(log),
            "VELDRA_NGINX_PORT": str(nginx_port),
            "VELDRA_NGINX_ROOT": shown(nginx_root),
            "VELDRA_NGINX_LOG": shown(os.path.join(scratch, "nginx", "work", "access.log")),
            "VELDRA_CLOSED_PORT": str(closed.getsockname()[1]),
        })
        if "--proxy" in options:
            env["http_proxy"] = f"http://127.0.0.1:{fault_port}"
            env["VELDRA_PROXY_PORT"] = str(fault_port)
        try:
            return subprocess.call(args, env=env)
        finally:
            closed.close()
            fault_server.stop(fault)
            nginx_server.stop(nginx)


if __name__ == "__main__":
    sys.exit(main())
