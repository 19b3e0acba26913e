"""The programs under test, run as a player's machine would run them."""
import os
import signal
import subprocess
import tempfile
import threading
import time


TIME = "/usr/bin/time"


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
    its stderr, the most resident KiB it held, or any child it waited for).

    The program is started by GNU time, and the peak is time's to tell: a child's own figure
    from wait4 starts from the image it was forked from, which here would be this Python's."""
    if not os.access(TIME, os.X_OK):
        raise ToolError(f"{TIME} is missing: apt-get install time")
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err, \
            tempfile.NamedTemporaryFile(mode="r") as peak:
        start = time.perf_counter()
        process = subprocess.Popen([TIME, "-f", "%M", "-o", peak.name, *command], cwd=cwd,
                                   stdin=subprocess.DEVNULL, stdout=out, stderr=err,
                                   env=clean_environment(), start_new_session=True)
        # The timer kills the program's group only while time is not yet reaped, so never
        # another process.
        guard, ended = threading.Lock(), []

        def expire():
            with guard:
                if not ended:
                    ended.append("killed")
                    os.killpg(process.pid, signal.SIGKILL)

        timer = threading.Timer(timeout, expire)
        timer.start()
        os.waitid(os.P_PID, process.pid, os.WEXITED | os.WNOWAIT)
        with guard:
            killed = bool(ended)
            ended.append("exited")
        timer.cancel()
        process.wait()
        wall = time.perf_counter() - start
        out.seek(0)
        err.seek(0)
        stdout = out.read().decode(errors="replace")
        stderr = err.read().decode(errors="replace")
        said = peak.read().split()
    if killed:
        raise ToolError(f"{tool} took more than {timeout} seconds")
    if process.returncode != 0:
        raise ToolError(f"{tool} exited with {process.returncode}:\n{stdout[-2000:]}"
                        f"{stderr[-2000:]}")
    return wall, stdout, stderr, int(said[-1])
