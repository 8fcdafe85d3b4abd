"""What fiamma-sweep shows: the progress line, a failed run's report with
the end of its log, and a campaign's table and plot."""

import csv
import io
import signal
import sys
import threading
import time

from fiamma import writing


class Progress:
    """One line on a terminal, refreshed every second: done, running,
    failed, time left."""

    def __init__(self, total, workers, enabled):
        self.total, self.workers, self.enabled = total, workers, enabled
        self.done = self.failed = self.pending = 0
        self.walls = []
        self.last = time.monotonic()
        self.lock = threading.Lock()
        self.stopped = threading.Event()
        if enabled:
            threading.Thread(target=self._tick, daemon=True).start()

    def _tick(self):
        while not self.stopped.wait(1.0):
            self.show()

    def completed(self, wall, ok):
        with self.lock:
            self.pending -= 1
            self.done += 1
            self.failed += 0 if ok else 1
            if wall is not None:
                self.walls.append(wall)
            self.last = time.monotonic()
        self.show()

    def show(self):
        if not self.enabled:
            return
        with self.lock:
            running = min(self.pending, self.workers)
            left = ""
            if self.walls and self.pending:
                mean = sum(self.walls) / len(self.walls)
                seconds = mean * self.pending / max(1, running) - (time.monotonic() - self.last)
                left = ", about %dm%02ds left" % divmod(max(0, int(seconds + 0.5)), 60)
            sys.stderr.write("\r%d/%d done, %d running, %d failed%s\033[K" %
                             (self.done, self.total, running, self.failed, left))
            sys.stderr.flush()

    def finish(self):
        self.stopped.set()
        if self.enabled:
            with self.lock:
                sys.stderr.write("\n")


def log_tail(log, lines=12):
    text = log.decode("utf-8", "replace").rstrip("\n").split("\n")
    return "\n".join("    " + line for line in text[-lines:])


def how_it_ended(result):
    """'exit status N', 'killed by signal SIGNAME', or the reason a task
    brought no status back."""
    status = result["status"]
    if status is None:
        return result["reason"]
    if status < 0:
        try:
            return "killed by signal %s" % signal.Signals(-status).name
        except ValueError:
            return "killed by signal %d" % -status
    return "exit status %d" % status


def failure_report(label, result, log_name):
    """The lines that report a failed task on standard error."""
    text = "\n%s failed: %s" % (label, how_it_ended(result))
    if result["host"]:
        text += " (on %s)" % result["host"]
    if result["log"]:
        text += "; the end of its log (%s):\n%s" % (log_name, log_tail(result["log"]))
    return text


def csv_value(v):
    if v is None:
        return ""
    if isinstance(v, bool):
        return "1" if v else "0"
    if isinstance(v, float):
        return repr(v)
    return str(v)


def campaign_table(header, rows):
    """The CSV text of a campaign's table (numbers that round-trip)."""
    text = io.StringIO()
    writer = csv.writer(text, lineterminator="\n")
    writer.writerow(header)
    writer.writerows(rows)
    return text.getvalue()


def plot_campaign(names, rows, path):
    """Burning rate against the first varied record (fiamma.figures.plot_campaign):
    unsettled points with open markers, failed ones left out and named."""
    import matplotlib.pyplot as plt

    from fiamma import figures

    fig = figures.plot_campaign(names, rows)
    data = io.BytesIO()
    fig.savefig(data, format="png", dpi=figures.DPI)
    plt.close(fig)
    writing.write_atomically(path, data.getvalue())
