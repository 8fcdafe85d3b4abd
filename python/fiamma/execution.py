"""Where the runs go: each task (``fiamma.tasks.run_task``) behind the
``concurrent.futures`` interface, on local processes or, through
``Client.get_executor()``, on a running Dask cluster; and how the runner
waits for them.

A task whose worker died (a local process killed, Dask's ``KilledWorker``)
is submitted again, at most ``RETRIES`` times. Any other exception of a task
ends that task alone, as a failure with its reason. When no worker is left
for ``no_worker_timeout`` seconds the runner stops waiting: the tasks not
finished are reported as not run.
"""

import collections
import concurrent.futures as cf
import multiprocessing
import os
import signal
import sys
import time
from concurrent.futures.process import BrokenProcessPool

from fiamma import tasks

RETRIES = 2  # a task whose worker died runs at most 1 + RETRIES times
NO_WORKER_TIMEOUT = 60.0  # seconds without a worker before the runner gives up (--no-worker-timeout)


def failure(task, reason):
    """The result of a task that brought no exit status back."""
    return {"key": task["key"], "status": None, "reason": reason, "wall_time_s": None, "host": None,
            "fiamma_digest": None, "log": b"", "files": {}}


class Outcome:
    """What run_all did: the keys of the failed tasks, and of those never run
    because no worker was left (then ``lost`` says since when)."""

    def __init__(self):
        self.failed, self.not_run, self.lost = [], [], None


def _pool_process_set_up(runner):
    """A local process dies with the runner (at once when the runner died
    while it started) and leaves Ctrl-C to the runs it starts (a handler,
    not SIG_IGN, which the runs would inherit)."""
    tasks.die_with_parent()
    if os.getppid() != runner:
        os._exit(1)
    signal.signal(signal.SIGINT, lambda signum, frame: None)


class Execution:
    """Where tasks run, how many at once, and the fiamma they run."""

    worker_died = ()

    def __init__(self, workers, fiamma, scratch=None, no_worker_timeout=NO_WORKER_TIMEOUT, notice=None):
        self.workers, self.fiamma, self.scratch = workers, fiamma, scratch
        self.no_worker_timeout = no_worker_timeout
        self.notice = notice or (lambda text: print(text, file=sys.stderr))

    @classmethod
    def local(cls, workers, fiamma, scratch, **kw):
        return Local(workers, fiamma, scratch, **kw)

    @classmethod
    def dask(cls, address, fiamma, **kw):
        return Dask(address, fiamma, **kw)

    def _task(self, task):
        return dict(task, fiamma=self.fiamma, scratch=self.scratch)

    def run_one(self, task):
        results = []
        outcome = self.run_all([task], lambda t, r: results.append(r))
        if outcome.lost:
            return failure(task, outcome.lost)
        return results[0]

    def run_all(self, todo, on_result, progress=None):
        """Runs every task of `todo`; hands on_result(task, result) each
        result as it comes (a failure's result has status None and a
        reason), which may return it amended. Returns an Outcome."""
        outcome, waiting, running = Outcome(), collections.deque(todo), {}
        died = collections.Counter()
        idle_since = None
        if progress:
            progress.pending = len(todo)
            progress.show()
        try:
            while waiting or running:
                while waiting and self.free():
                    task = waiting.popleft()
                    running[self.submit(task)] = task
                done, _ = cf.wait(running, timeout=1.0, return_when=cf.FIRST_COMPLETED)
                if self.has_workers():
                    idle_since = None
                elif idle_since is None:
                    idle_since = time.monotonic()
                elif time.monotonic() - idle_since >= self.no_worker_timeout:
                    outcome.lost = "no worker for %g s" % self.no_worker_timeout
                    outcome.not_run = sorted(t["key"] for t in list(running.values()) + list(waiting))
                    for future in running:
                        future.cancel()
                    return outcome
                for future in done:
                    task = running.pop(future)
                    try:
                        result = future.result()
                        self.release(future)
                    except self.worker_died as exc:
                        self.release(future, broken=True)
                        died[task["key"]] += 1
                        what = "its worker died (%s)" % type(exc).__name__
                        if died[task["key"]] <= RETRIES:
                            self.notice("%s: %s; submitted again (%d of %d)" %
                                        (task["label"], what, died[task["key"]], RETRIES))
                            waiting.appendleft(task)
                            continue
                        result = failure(task, "%s %d times" % (what, died[task["key"]]))
                    except Exception as exc:  # the task's own error, a cancelled future
                        self.release(future)
                        result = failure(task, "the task raised %s: %s" % (type(exc).__name__, exc))
                    result = on_result(task, result) or result
                    if result["status"] != 0:
                        outcome.failed.append(task["key"])
                    if progress:
                        progress.completed(result["wall_time_s"], result["status"] == 0)
            outcome.failed.sort()
            return outcome
        finally:
            if progress:
                progress.finish()

    # what a back-end provides
    def free(self):
        return True

    def submit(self, task) -> cf.Future:
        raise NotImplementedError

    def release(self, future, broken=False):
        pass

    def has_workers(self):
        return True

    def close(self):
        pass


class Local(Execution):
    """At most `workers` runs at once on this machine, in scratch folders
    under `scratch`. Each process is an executor of its own, so that a
    process that dies takes only its own task with it."""

    worker_died = (BrokenProcessPool,)

    def __init__(self, workers, fiamma, scratch, **kw):
        super().__init__(workers, fiamma, scratch, **kw)
        self._context = multiprocessing.get_context("spawn")  # no fork of a process with threads
        self._idle = [self._new() for _ in range(workers)]
        self._busy = {}

    def free(self):
        return bool(self._idle)

    def _new(self):
        executor = cf.ProcessPoolExecutor(1, mp_context=self._context, initializer=_pool_process_set_up,
                                          initargs=(os.getpid(),))
        executor.submit(int)  # its process starts now, while the runner goes on
        return executor

    def run_one(self, task):
        """A short task (the configuration's) runs in the runner, while the processes start."""
        try:
            return tasks.run_task(self._task(task))
        except Exception as exc:
            return failure(task, "the task raised %s: %s" % (type(exc).__name__, exc))

    def submit(self, task):
        executor = self._idle.pop()
        try:
            future = executor.submit(tasks.run_task, self._task(task))
        except BrokenProcessPool:  # its process died while idle
            executor = self._new()
            future = executor.submit(tasks.run_task, self._task(task))
        self._busy[future] = executor
        return future

    def release(self, future, broken=False):
        executor = self._busy.pop(future)
        if broken:
            executor.shutdown(wait=False)
            executor = self._new()
        self._idle.append(executor)

    def close(self):
        """Kills the processes still running a task (each run dies with its
        process); returns when no process is left."""
        for executor in self._busy.values():
            for process in list((getattr(executor, "_processes", None) or {}).values()):
                process.kill()
        for executor in self._idle + list(self._busy.values()):
            executor.shutdown(wait=True, cancel_futures=True)


class Dask(Execution):
    """The workers of a running Dask scheduler; the task code travels by
    value, so they need only the fiamma executable."""

    def __init__(self, address, fiamma, **kw):
        import cloudpickle
        from distributed import Client
        from distributed.scheduler import KilledWorker

        cloudpickle.register_pickle_by_value(tasks)
        self.worker_died = (KilledWorker,)
        try:
            self.client = Client(address, timeout="30s")
        except OSError as exc:
            raise ConnectionError("%s: no Dask scheduler answers: %s" % (address, exc)) from None
        workers = max(1, sum(w.get("nthreads", 1) for w in self.client.scheduler_info()["workers"].values()))
        super().__init__(workers, fiamma, None, **kw)
        self.executor = self.client.get_executor(pure=False)

    def submit(self, task):
        return self.executor.submit(tasks.run_task, self._task(task))

    def has_workers(self):
        return self.client.status == "running" and bool(self.client.scheduler_info()["workers"])

    def close(self):
        self.executor.shutdown(wait=False)
        self.client.close()
