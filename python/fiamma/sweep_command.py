"""``fiamma-sweep``: a configured sweep's steps, or a campaign over a grid of
configured values, run concurrently on local processes or on a running Dask
cluster (docs/campaigns.md).

Exit status: 0 every run succeeded; 1 some run failed (each reported on
standard error); 2 a refusal before any run (the configuration, the options,
another fiamma-sweep in the working folder); 3 no worker left for
--no-worker-timeout seconds; 5 a file of the runner could not be written;
130, 143 interrupted by SIGINT, SIGTERM. After 1, 3, 5, 130 or 143 the same
command completes the work."""

import argparse
import fcntl
import glob
import os
import shutil
import signal
import socket
import sys
import tempfile
import time

from fiamma.execution import NO_WORKER_TIMEOUT, RETRIES, Execution
from fiamma.program import find_fiamma

# fiamma.campaign (numpy, pandas) is imported in main(): the local processes,
# which run this script again as they start, need only fiamma.tasks
LOCK = ".fiamma-sweep.lock"
STATE_DIR = "fiamma-sweep"


class RunnerError(Exception):
    """A refusal: the message says why."""


class Interrupted(BaseException):
    """SIGTERM, raised where the runner is, like KeyboardInterrupt for SIGINT."""

    def __init__(self, signum):
        super().__init__(signal.Signals(signum).name)
        self.status = 128 + signum


def _interrupted(signum, _frame):
    raise Interrupted(signum)


def hold_folder(workdir):
    """Takes the lock of the working folder for as long as the process
    lives (flock on .fiamma-sweep.lock, which stays), and writes the holder
    into it; refuses when another runner holds it."""
    path = os.path.join(workdir, LOCK)
    fd = os.open(path, os.O_RDWR | os.O_CREAT | os.O_CLOEXEC, 0o666)
    try:
        fcntl.flock(fd, fcntl.LOCK_EX | fcntl.LOCK_NB)
    except BlockingIOError:
        holder = os.pread(fd, 200, 0).decode("utf-8", "replace").strip() or "holder not written yet"
        os.close(fd)
        raise RunnerError("%s: another fiamma-sweep works in this folder (%s); wait for it to end or stop it" %
                          (workdir, holder))
    os.ftruncate(fd, 0)
    os.pwrite(fd, ("pid %d on %s, started %s\n" % (os.getpid(), socket.gethostname(),
                                                    time.strftime("%Y-%m-%d %H:%M:%S"))).encode(), 0)
    return fd


def main(argv=None):
    p = argparse.ArgumentParser(
        prog="fiamma-sweep",
        description="Runs a configured sweep's remaining steps, or a campaign over a grid of configured "
                    "values, concurrently: on local processes or on a Dask cluster.")
    p.add_argument("-C", "--workdir", default=".", help="the working folder with eulero_test.dat (default: .)")
    p.add_argument("--vary", action="append", default=[], metavar="NAME=VALUES",
                   help="campaign: NAME=v1,v2,... or NAME=start:stop:count; repeat for a grid")
    p.add_argument("--set", action="append", default=[], metavar="NAME=VALUE",
                   help="an override for every run (as fiamma --set)")
    p.add_argument("--out", default="campaign", help="campaign folder, relative to the working folder")
    p.add_argument("--workers", type=int, default=os.cpu_count() or 1, help="local processes at once (default: one per core)")
    p.add_argument("--scheduler", metavar="tcp://HOST:PORT", help="a running Dask scheduler instead of the local processes")
    p.add_argument("--no-worker-timeout", type=float, default=NO_WORKER_TIMEOUT, metavar="SECONDS",
                   help="give up when the cluster has had no worker for this long (default: %g)" % NO_WORKER_TIMEOUT)
    p.add_argument("--fiamma", help="the fiamma executable (default: $FIAMMA_EXE, else the fiamma beside this "
                        "command, else fiamma on the PATH; with --scheduler: fiamma on each worker's PATH)")
    p.epilog = "A task whose worker died is submitted again, at most %d times." % RETRIES
    args = p.parse_args(argv)
    from fiamma.campaign import run_campaign, run_sweep
    from fiamma.writing import WriteError

    if args.workers < 1:
        p.error("--workers must be at least 1")
    if not args.no_worker_timeout > 0:
        p.error("--no-worker-timeout must be positive")
    # a write past a size limit fails (EFBIG) instead of killing the runner; Ctrl-C and SIGTERM end it cleanly
    signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
    signal.signal(signal.SIGTERM, _interrupted)
    workdir = os.path.abspath(args.workdir)
    if args.scheduler:
        fiamma = args.fiamma or "fiamma"  # the same path on every worker, or found on each worker's PATH
    else:
        fiamma = find_fiamma(args.fiamma)
        if not fiamma:
            print("fiamma-sweep: no fiamma executable: put it on the PATH or name it with --fiamma", file=sys.stderr)
            return 2
    runs, scratch, lock = None, None, None
    try:
        if not os.path.isdir(workdir):
            raise RunnerError("%s: no such folder" % workdir)
        lock = hold_folder(workdir)
        state = os.path.join(workdir, STATE_DIR)
        os.makedirs(state, exist_ok=True)
        for stale in glob.glob(os.path.join(state, "scratch*")):  # left by a runner that was killed
            shutil.rmtree(stale, ignore_errors=True)
        if args.scheduler:
            runs = Execution.dask(args.scheduler, fiamma, no_worker_timeout=args.no_worker_timeout)
        else:
            scratch = tempfile.mkdtemp(prefix="scratch-", dir=state)
            runs = Execution.local(args.workers, fiamma, scratch, no_worker_timeout=args.no_worker_timeout)
        if args.vary:
            return run_campaign(runs, workdir, args.set, args.vary, os.path.join(workdir, args.out), sys.stdout)
        return run_sweep(runs, workdir, args.set, sys.stdout)
    except RunnerError as e:
        print("fiamma-sweep: %s" % e, file=sys.stderr)
        return 2
    except WriteError as e:
        print("fiamma-sweep: %s; rerun to complete" % e, file=sys.stderr)
        return 5
    except (KeyboardInterrupt, Interrupted) as e:
        print("\nfiamma-sweep: interrupted%s; rerun to complete" % (" by " + str(e) if str(e) else ""),
              file=sys.stderr)
        return getattr(e, "status", 130)
    except ConnectionError as e:
        print("fiamma-sweep: %s" % e, file=sys.stderr)
        return 2
    except OSError as e:
        print("fiamma-sweep: %s: %s" % (e.filename or workdir, e.strerror or e), file=sys.stderr)
        return 2
    finally:
        signal.signal(signal.SIGTERM, signal.SIG_DFL)
        signal.signal(signal.SIGINT, signal.SIG_IGN)  # the clean-up is not cut short
        if runs:
            runs.close()
        if scratch:
            shutil.rmtree(scratch, ignore_errors=True)
        if lock is not None:
            os.close(lock)
