"""One run of the fiamma executable in a scratch folder of its own.

A task is a plain dictionary and so is its result, so that it travels to a
Dask worker on another machine and back: the task carries its input files as
bytes, the result brings back every file the run wrote, as bytes. The worker
needs the ``fiamma`` executable and nothing else: no shared file system, and
not even this package (the runner ships this module's code by value).
"""

import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time


def die_with_parent():
    """Process set-up on Linux: the process is killed when its parent dies."""
    try:
        import ctypes

        ctypes.CDLL("libc.so.6", use_errno=True).prctl(1, signal.SIGKILL)  # PR_SET_PDEATHSIG
    except Exception:  # not Linux: the process simply goes on
        pass


def _run_set_up():
    """The run dies with the process that started it and takes Ctrl-C itself
    (even from a pool process that leaves Ctrl-C to its runs)."""
    die_with_parent()
    signal.signal(signal.SIGINT, signal.SIG_DFL)


def write_file(folder, rel, data):
    """Writes `data` (bytes) to `rel` under `folder`, making its folders."""
    path = os.path.normpath(os.path.join(folder, rel))
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def run_task(task):
    """Runs ``fiamma`` with ``task["args"]`` among ``task["files"]``.

    task: {"key": str, "args": [str], "files": {relative path: bytes},
           "fiamma": executable name or path, "depth": int, "folders": [str],
           "scratch": folder or None}
    The run folder lies ``depth`` levels below the scratch root, so that
    outputs under prefixes such as "../out/" stay inside it; ``folders``
    (relative to the run folder) are made before the run. Returns
    {"key", "status" (exit status; -N for signal N), "wall_time_s", "host",
     "log" (console and standard error, bytes), "files": {path relative to
     the run folder: bytes}} with every file written or changed by the run.
    """
    root = tempfile.mkdtemp(prefix="fiamma-task-", dir=task.get("scratch"))
    try:
        run_dir = os.path.join(root, *(["w"] * int(task.get("depth", 0))))
        for rel in ["."] + list(task.get("folders", ())):
            os.makedirs(os.path.join(run_dir, rel), exist_ok=True)
        for rel, data in task["files"].items():
            write_file(run_dir, rel, data)
        log_path = os.path.join(root, "console.log")
        start = time.monotonic()
        exe = task.get("fiamma") or "fiamma"
        try:
            with open(log_path, "wb") as log:
                proc = subprocess.run(
                    [exe] + list(task["args"]),
                    cwd=run_dir,
                    stdin=subprocess.DEVNULL,
                    stdout=log,
                    stderr=subprocess.STDOUT,
                    preexec_fn=_run_set_up if sys.platform.startswith("linux") else None,
                )
            status = proc.returncode
        except OSError as e:  # no executable on this machine
            with open(log_path, "ab") as log:
                log.write(("fiamma-sweep: cannot start %s: %s\n" % (exe, e)).encode())
            status = 127
        wall = time.monotonic() - start
        with open(log_path, "rb") as f:
            log_bytes = f.read()
        os.remove(log_path)
        files = {}
        for dirpath, _dirs, names in os.walk(root):
            for name in names:
                path = os.path.join(dirpath, name)
                rel = os.path.relpath(path, run_dir)
                with open(path, "rb") as f:
                    data = f.read()
                if task["files"].get(rel) == data:
                    continue  # an input left as it was
                files[rel] = data
        return {
            "key": task["key"],
            "status": status,
            "wall_time_s": wall,
            "host": os.uname().nodename,
            "log": log_bytes,
            "files": files,
        }
    finally:
        shutil.rmtree(root, ignore_errors=True)
