"""One run of the fiamma executable in a scratch folder of its own.

A task is a plain dictionary and so is its result, so that it travels to a
Dask worker on another machine and back: the task carries its input files as
bytes, the result brings back every file the run wrote, as bytes. The worker
needs the ``fiamma`` executable and nothing else: no shared file system, and
not even this package (the runner ships this module's code by value, so it
imports nothing from ``fiamma``).
"""

import hashlib
import os
import shutil
import signal
import stat
import subprocess
import sys
import tempfile
import time

# The run is started through a small program that sets PR_SET_PDEATHSIG (the
# run is killed when the process that started it dies) and then executes
# fiamma: util-linux's setpriv where it has --pdeathsig, else this Python code,
# in a process of its own that has no threads, which also gives back their
# default disposition to the signals a Python parent ignores (SIGPIPE,
# SIGXFSZ; subprocess restores them before setpriv). argv: the starter's pid,
# the executable, its arguments.
_EXEC_WITH_PARENT = r"""
import os, signal, sys
if sys.platform.startswith("linux"):
    import ctypes
    ctypes.CDLL(None, use_errno=True).prctl(1, signal.SIGKILL)
    if os.getppid() != int(sys.argv[1]):
        os._exit(128 + signal.SIGKILL)
for s in ("SIGINT", "SIGPIPE", "SIGXFSZ"):
    if hasattr(signal, s):
        signal.signal(getattr(signal, s), signal.SIG_DFL)
try:
    os.execvp(sys.argv[2], sys.argv[2:])
except OSError as e:
    sys.stderr.write("fiamma-sweep: cannot start %s: %s\n" % (sys.argv[2], e.strerror or e))
    os._exit(127)
"""


def die_with_parent():
    """Process set-up on Linux: the process is killed when its parent dies."""
    try:
        import ctypes

        ctypes.CDLL(None, use_errno=True).prctl(1, signal.SIGKILL)  # PR_SET_PDEATHSIG
    except Exception:  # not Linux: the process simply goes on
        pass


def _with_parent(command):
    """The command, started so that it dies with this process."""
    setpriv = shutil.which("setpriv") if sys.platform.startswith("linux") else None
    if setpriv and subprocess.run([setpriv, "--pdeathsig", "KILL", "--", "true"], stdout=subprocess.DEVNULL,
                                  stderr=subprocess.DEVNULL).returncode == 0:
        return [setpriv, "--pdeathsig", "KILL", "--"] + command
    if sys.executable:
        return [sys.executable, "-I", "-S", "-c", _EXEC_WITH_PARENT, str(os.getpid())] + command
    return command


def executable_digest(exe):
    """The SHA-256 of the executable's bytes (found on the PATH when it is a
    bare name), or None when there is no such file."""
    path = exe if os.sep in exe else shutil.which(exe)
    try:
        h = hashlib.sha256()
        with open(path, "rb") as f:
            for chunk in iter(lambda: f.read(1 << 20), b""):
                h.update(chunk)
        return h.hexdigest()
    except (OSError, TypeError):
        return None


def write_file(folder, rel, data):
    """Writes `data` (bytes) to `rel` under `folder`, making its folders."""
    path = os.path.normpath(os.path.join(folder, rel))
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def _outputs(root, run_dir, inputs):
    """Every regular file under root, by path relative to the run folder,
    but the inputs left as they were, the hidden lock files of runs and the
    temporaries (.NAME.PID.tmp) of a run that was killed."""
    files = {}
    for dirpath, _dirs, names in os.walk(root):
        for name in names:
            path = os.path.join(dirpath, name)
            if not stat.S_ISREG(os.lstat(path).st_mode) or (name.startswith(".") and name.endswith((".lock", ".tmp"))):
                continue  # a FIFO, a link, a device, a lock or a temporary is no output
            rel = os.path.relpath(path, run_dir)
            with open(path, "rb") as f:
                data = f.read()
            if inputs.get(rel) != data:
                files[rel] = data
    return files


def run_task(task):
    """Runs ``fiamma`` with ``task["args"]`` among ``task["files"]``.

    task: {"key": str, "args": [str], "files": {relative path: bytes},
           "fiamma": executable name or path, "depth": int, "folders": [str],
           "scratch": folder or None}
    The run folder lies ``depth`` levels below the scratch root, so that
    outputs under prefixes such as "../out/" stay inside it; ``folders``
    (relative to the run folder) are made before the run. Returns
    {"key", "status" (exit status; -N for signal N), "wall_time_s", "host",
     "fiamma_digest" (SHA-256 of the executable run), "log" (console and
     standard error, bytes), "files": {path relative to the run folder:
     bytes}} with every file written or changed by the run.
    """
    root = tempfile.mkdtemp(prefix="fiamma-task-", dir=task.get("scratch"))
    try:
        run_dir = os.path.join(root, *(["w"] * int(task.get("depth", 0))))
        for rel in ["."] + list(task.get("folders", ())):
            os.makedirs(os.path.join(run_dir, rel), exist_ok=True)
        for rel, data in task["files"].items():
            write_file(run_dir, rel, data)
        log_path = os.path.join(root, "console.log")
        exe = task.get("fiamma") or "fiamma"
        digest = executable_digest(exe)
        command = _with_parent([exe] + list(task["args"]))
        start = time.monotonic()
        try:
            with open(log_path, "wb") as log:
                status = subprocess.run(command, cwd=run_dir, stdin=subprocess.DEVNULL, stdout=log,
                                        stderr=subprocess.STDOUT).returncode
        except OSError as e:  # no executable on this machine
            with open(log_path, "ab") as log:
                log.write(("fiamma-sweep: cannot start %s: %s\n" % (command[0], e.strerror or e)).encode())
            status = 127
        wall = time.monotonic() - start
        with open(log_path, "rb") as f:
            log_bytes = f.read()
        os.remove(log_path)
        return {
            "key": task["key"],
            "status": status,
            "wall_time_s": wall,
            "host": os.uname().nodename,
            "fiamma_digest": digest,
            "log": log_bytes,
            "files": _outputs(root, run_dir, task["files"]),
        }
    finally:
        shutil.rmtree(root, ignore_errors=True)
