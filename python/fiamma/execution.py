"""Where the runs go: each task (``fiamma.tasks.run_task``) behind the
``concurrent.futures`` interface, on a local pool of processes or, through
``Client.get_executor()``, on a running Dask cluster."""

import concurrent.futures as cf
import signal

from fiamma import tasks


def _pool_process_set_up():
    """A pool process dies with the runner and leaves Ctrl-C to the runs it starts."""
    tasks.die_with_parent()
    signal.signal(signal.SIGINT, signal.SIG_IGN)


class Execution:
    """An executor, how many tasks it runs at once, and the fiamma its tasks run."""

    def __init__(self, executor, workers, fiamma, scratch=None, close=None):
        self.executor, self.workers, self.fiamma, self.scratch = executor, workers, fiamma, scratch
        self._close = close

    @classmethod
    def local(cls, workers, fiamma, scratch):
        """At most `workers` runs at once on this machine, in scratch folders under `scratch`."""
        executor = cf.ProcessPoolExecutor(max_workers=workers, initializer=_pool_process_set_up)
        return cls(executor, workers, fiamma, scratch,
                   lambda: executor.shutdown(wait=False, cancel_futures=True))

    @classmethod
    def dask(cls, address, fiamma):
        """The workers of a running Dask scheduler; the task code travels by
        value, so they need only the fiamma executable."""
        import cloudpickle
        from distributed import Client

        cloudpickle.register_pickle_by_value(tasks)
        client = Client(address, timeout="30s")
        workers = max(1, sum(w.get("nthreads", 1) for w in client.scheduler_info()["workers"].values()))
        executor = client.get_executor(pure=False)

        def close():
            executor.shutdown(wait=False)
            client.close()

        return cls(executor, workers, fiamma, None, close)

    def submit(self, task) -> cf.Future:
        return self.executor.submit(tasks.run_task, dict(task, fiamma=self.fiamma, scratch=self.scratch))

    def run_all(self, todo, on_result, progress):
        """Runs every task of `todo`, hands each result to on_result as it
        comes; returns the keys of the runs that failed."""
        futures = [self.submit(t) for t in todo]
        progress.pending = len(futures)
        progress.show()
        failed = []
        for future in cf.as_completed(futures):
            result = future.result()
            if result["status"] != 0:
                failed.append(result["key"])
            on_result(result)
            progress.completed(result["wall_time_s"], result["status"] == 0)
        progress.finish()
        return failed

    def close(self):
        self._close()
