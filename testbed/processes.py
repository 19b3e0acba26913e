"""The programs under test, run as a player's machine would run them."""
import os
import subprocess
import tempfile
import threading
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


def run_tool_with_peak(command, tool, cwd=None, timeout=600):
    """run_tool() for a program whose peak memory counts; returns (wall seconds, its stdout,
    its stderr, the most resident KiB it held, or any child it waited for)."""
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        start = time.perf_counter()
        process = subprocess.Popen(command, cwd=cwd, stdin=subprocess.DEVNULL, stdout=out,
                                   stderr=err, env=clean_environment())
        # The peak is wait4's to give, so the program is reaped here, not by Popen; the
        # timer kills it only while it is not yet reaped, so never another process.
        guard, ended = threading.Lock(), []

        def expire():
            with guard:
                if not ended:
                    ended.append("killed")
                    process.kill()

        timer = threading.Timer(timeout, expire)
        timer.start()
        os.waitid(os.P_PID, process.pid, os.WEXITED | os.WNOWAIT)
        with guard:
            killed = bool(ended)
            ended.append("exited")
        timer.cancel()
        _, status, usage = os.wait4(process.pid, 0)
        wall = time.perf_counter() - start
        process.returncode = os.waitstatus_to_exitcode(status)
        out.seek(0)
        err.seek(0)
        stdout = out.read().decode(errors="replace")
        stderr = err.read().decode(errors="replace")
    if killed:
        raise ToolError(f"{tool} took more than {timeout} seconds")
    if process.returncode != 0:
        raise ToolError(f"{tool} exited with {process.returncode}:\n{stdout[-2000:]}"
                        f"{stderr[-2000:]}")
    return wall, stdout, stderr, usage.ru_maxrss
