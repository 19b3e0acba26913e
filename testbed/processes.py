"""The programs under test, run as a player's machine would run them."""
import os
import subprocess
import time


class ToolError(RuntimeError):
    """A program that failed, with what it said."""


def clean_environment():
    """This environment without the machine's proxy: everything here is local, and a proxy
    must not stand between."""
    return {k: v for k, v in os.environ.items()
            if k.lower() not in ("http_proxy", "https_proxy", "all_proxy", "no_proxy")}


def run_tool(command, tool, cwd=None, env=None, stdout=subprocess.PIPE, allowed=(0,),
             timeout=600):
    """Runs one program to its end; returns (wall seconds, its stdout, its stderr). Raises
    ToolError, naming `tool`, when it exits otherwise than `allowed` or outlasts `timeout`."""
    start = time.perf_counter()
    try:
        done = subprocess.run(command, cwd=cwd, stdin=subprocess.DEVNULL, stdout=stdout,
                              stderr=subprocess.PIPE, text=True, errors="replace",
                              env=env or clean_environment(), timeout=timeout)
    except subprocess.TimeoutExpired:
        raise ToolError(f"{tool} took more than {timeout} seconds") from None
    wall = time.perf_counter() - start
    if done.returncode not in allowed:
        raise ToolError(f"{tool} exited with {done.returncode}:\n{(done.stdout or '')[-2000:]}"
                        f"{done.stderr[-2000:]}")
    return wall, done.stdout, done.stderr
