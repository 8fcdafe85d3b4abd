"""fiamma-sweep: a configured sweep's steps, or a campaign over a grid of
configured values, run concurrently on a local pool of processes or on a
running Dask cluster.

Sweep mode (no --vary): the steps from the working folder's resume index on,
each ``fiamma --sweep-step K`` in a scratch folder of its own; then every file
is gathered into the working folder, the sweep table gets its header block
and the rows in step order, and the resume index its final value, as a
sequential ``fiamma`` would have left them.

Campaign mode (--vary NAME=..., repeatable): one single run per point of the
grid, ``fiamma --set NAME=VALUE ...`` in a folder of its own under the
campaign folder; one CSV table and one PNG plot of the burning rates.

Both are resumable: a completion record per step or point, written
atomically after its files, lets a rerun skip what is done.
"""

import argparse
import csv
import hashlib
import itertools
import json
import os
import pickle
import shutil
import sys
import time

from fiamma import tasks

STATE_DIR = "fiamma-sweep"  # sweep mode: records, logs, finished steps' files
CONFIG = "eulero_test.dat"
RESUME = "i_and_min.dat"
SWEEP_CODES = {1: "ga", 2: "Pr", 3: "Le", 4: "Da", 5: "Ze", 6: "Ma", 7: "ne", 8: "OR", 9: "Tf", 10: "Yf"}
CSV_RESULTS = ["M_l_num", "M_l_ana", "M_cons", "settled", "drift", "exit_status", "wall_time_s"]


class RunnerError(Exception):
    """A refusal before any run: the message says why."""


# ---------------------------------------------------------------- utilities


def write_atomically(path, data):
    """Replaces `path` by `data` (bytes) through a temporary file and a rename."""
    os.makedirs(os.path.dirname(os.path.abspath(path)), exist_ok=True)
    tmp = "%s.tmp-%d" % (path, os.getpid())
    with open(tmp, "wb") as f:
        f.write(data)
        f.flush()
        os.fsync(f.fileno())
    os.replace(tmp, path)


def read_record(path):
    try:
        with open(path, "rb") as f:
            return json.loads(f.read())
    except (OSError, ValueError):
        return None


def fingerprint(args, files):
    h = hashlib.sha256()
    h.update(json.dumps(list(args)).encode())
    for name in sorted(files):
        h.update(name.encode() + b"\0" + hashlib.sha256(files[name]).digest())
    return h.hexdigest()


def log_tail(log, lines=12):
    text = log.decode("utf-8", "replace").rstrip("\n").split("\n")
    return "\n".join("    " + line for line in text[-lines:])


def parse_print_config(text):
    """{name: value} from the output of ``fiamma --print-config``: ints,
    floats, and texts with their trailing blanks cut."""
    values = {}
    for line in text.splitlines():
        parts = line.split(" ", 2)
        if len(parts) < 3 or not parts[0].isdigit():
            continue
        name, raw = parts[1], parts[2]
        if raw.startswith("'") and raw.endswith("'") and len(raw) >= 2:
            values[name] = raw[1:-1].replace("''", "'").rstrip(" ")
        else:
            try:
                values[name] = int(raw)
            except ValueError:
                try:
                    values[name] = float(raw.replace("D", "E").replace("d", "e"))
                except ValueError:
                    values[name] = raw
    return values


def output_path(cfg, name):
    """A tagged output's path as the program assembles it: prefixes + name."""
    return os.path.normpath(cfg["path_prefix_1"] + cfg["path_prefix_2"] + name)


def restart_file(cfg):
    return os.path.normpath(cfg["restart_name_2"] + cfg["restart_name_3"] + cfg["restart_name_1"])


def nesting_depth(paths):
    """How many folders up the outputs and inputs may reach ("../")."""
    depth = 0
    for p in paths:
        parts = os.path.normpath(p).split(os.sep)
        depth = max(depth, len(list(itertools.takewhile(lambda x: x == "..", parts))))
    return depth


def parse_vary(vary_arg, base_value):
    """NAME=v1,v2,... or NAME=start:stop:count (count values, both ends
    included) -> (NAME, [value texts])."""
    if "=" not in vary_arg:
        raise RunnerError("--vary %s: expected NAME=v1,v2,... or NAME=start:stop:count" % vary_arg)
    name, text = vary_arg.split("=", 1)
    if ":" in text:
        parts = text.split(":")
        try:
            start, stop, count = float(parts[0]), float(parts[1]), int(parts[2])
            if len(parts) != 3 or count < 1:
                raise ValueError
        except (ValueError, IndexError):
            raise RunnerError("--vary %s: a range is start:stop:count with count >= 1" % vary_arg)
        values = [start + (stop - start) * i / (count - 1) if count > 1 else start for i in range(count)]
        values = [float("%.12g" % v) for v in values]
        if isinstance(base_value, int) and all(v == int(v) for v in values):
            return name, [str(int(v)) for v in values]
        return name, [repr(v) for v in values]
    values = [v.strip() for v in text.split(",")]
    if not all(values):
        raise RunnerError("--vary %s: an empty value" % vary_arg)
    return name, values


# ----------------------------------------------------------------- executors


class LocalPool:
    """Tasks on this machine, at most `workers` at once (each one a process)."""

    def __init__(self, workers, scratch):
        from concurrent.futures import ThreadPoolExecutor

        self.workers = workers
        self.scratch = scratch
        self.executor = ThreadPoolExecutor(max_workers=workers)

    def submit(self, task):
        task = dict(task, scratch=self.scratch)
        return self.executor.submit(tasks.run_task, task)

    def as_completed(self, futures):
        from concurrent.futures import as_completed

        return as_completed(futures)

    def close(self):
        self.executor.shutdown(wait=False, cancel_futures=True)


class DaskPool:
    """Tasks on a running Dask cluster; the task code travels by value, so the
    workers need only the fiamma executable."""

    def __init__(self, address):
        import cloudpickle
        from distributed import Client

        cloudpickle.register_pickle_by_value(tasks)
        self.client = Client(address, timeout="30s")
        self.workers = max(1, sum(w.get("nthreads", 1) for w in self.client.scheduler_info()["workers"].values()))

    def submit(self, task):
        return self.client.submit(tasks.run_task, task, pure=False, key="fiamma-%s-%s" % (task["key"], os.urandom(4).hex()))

    def as_completed(self, futures):
        from distributed import as_completed

        return as_completed(futures)

    def close(self):
        self.client.close()


# ------------------------------------------------------------------ progress


class Progress:
    """One line on a terminal, refreshed every second: done, running,
    failed, time left."""

    def __init__(self, total, workers, enabled):
        import threading

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


def run_all(pool, todo, on_result, progress):
    """Submits every task of `todo`, hands each result to on_result as it
    comes; returns the keys that failed."""
    futures = [pool.submit(t) for t in todo]
    progress.pending = len(futures)
    progress.show()
    failed = []
    for fut in pool.as_completed(futures):
        result = fut.result()
        if result["status"] != 0:
            failed.append(result["key"])
        on_result(result)
        progress.completed(result["wall_time_s"], result["status"] == 0)
    progress.finish()
    return failed


def read_configuration(pool, workdir, sets):
    """The configuration as the program reads it, with the overrides, from
    ``fiamma --print-config`` run like any other task."""
    config = os.path.join(workdir, CONFIG)
    if not os.path.isfile(config):
        raise RunnerError("%s: no %s here" % (workdir, CONFIG))
    with open(config, "rb") as f:
        data = f.read()
    args = ["--print-config"] + [a for s in sets for a in ("--set", s)]
    fut = pool.submit({"key": "print-config", "args": args, "files": {CONFIG: data}, "fiamma": pool.fiamma})
    result = next(iter(pool.as_completed([fut]))).result()
    if result["status"] != 0:
        raise RunnerError("the configuration is refused (exit status %d):\n%s" %
                          (result["status"], log_tail(result["log"])))
    cfg = parse_print_config(result["log"].decode("utf-8", "replace"))
    if os.path.isabs(cfg["path_prefix_1"] + cfg["path_prefix_2"]):
        raise RunnerError("path prefixes %r %r: the runs write in scratch folders, whose files are gathered "
                          "afterwards; use prefixes relative to the working folder" %
                          (cfg["path_prefix_1"], cfg["path_prefix_2"]))
    return data, cfg


def input_files(workdir, config_data, cfg, extra=()):
    """The files a run reads, as bytes by their relative path."""
    files = {CONFIG: config_data}
    wanted = list(extra)
    if cfg.get("grid") == 1:
        wanted.append("grid.dat")
    if 3 <= cfg.get("case_kind", 0) <= 5:
        wanted.append("profilo_an.dat")
    if cfg.get("ires", 0) != 0:
        wanted.append(restart_file(cfg))
    for rel in wanted:
        path = os.path.join(workdir, rel)
        if os.path.isabs(rel):
            continue  # an absolute path is read where it is (local runs, shared folders)
        if not os.path.isfile(path):
            if rel == RESUME:
                continue
            raise RunnerError("%s: an input of the runs is missing" % path)
        with open(path, "rb") as f:
            files[os.path.normpath(rel)] = f.read()
    return files


# ---------------------------------------------------------------- sweep mode


def resume_index(workdir):
    try:
        with open(os.path.join(workdir, RESUME)) as f:
            text = f.read().split()
    except OSError:
        return 1
    if not text:
        return 1
    try:
        return int(text[0].rstrip(",;/"))
    except ValueError:
        raise RunnerError("%s: the resume index is not an integer" % os.path.join(workdir, RESUME))


def run_sweep(pool, workdir, sets, out):
    config_data, cfg = read_configuration(pool, workdir, sets)
    if cfg.get("sweep_mode") != 1:
        raise RunnerError("%s configures no sweep (sweep_mode = %s): use --vary for a campaign" %
                          (CONFIG, cfg.get("sweep_mode")))
    count, code = cfg["sweep_count"], SWEEP_CODES[cfg["sweep_parameter"]]
    first = resume_index(workdir)
    if first > count:
        print("%s holds %d, past the last step (%d): nothing to run; remove it to run the sweep again" %
              (RESUME, first, count), file=out)
        return 0
    first = max(first, 1)
    state = os.path.join(workdir, STATE_DIR)
    os.makedirs(os.path.join(state, "logs"), exist_ok=True)
    # the resume index decides the domain length only when the length is left to the first step
    files = input_files(workdir, config_data, cfg, [RESUME] if cfg.get("domain_length") == 0 else [])
    depth = nesting_depth([cfg["path_prefix_1"] + cfg["path_prefix_2"] + "x"] + list(files))
    set_args = [a for s in sets for a in ("--set", s)]
    steps, todo = list(range(first, count + 1)), []
    for k in steps:
        args = ["--sweep-step", str(k)] + set_args
        fp = fingerprint(args, files)
        rec = read_record(os.path.join(state, "step-%02d.json" % k))
        if rec and rec.get("fingerprint") == fp and rec.get("exit_status") == 0 and \
                os.path.isfile(os.path.join(state, "step-%02d.files" % k)):
            continue
        todo.append({"key": "step-%02d" % k, "step": k, "args": args, "files": files, "depth": depth,
                     "fiamma": pool.fiamma, "fingerprint": fp})
    by_key = {t["key"]: t for t in todo}

    def finished(result):
        t = by_key[result["key"]]
        k = t["step"]
        with open(os.path.join(state, "logs", "step-%02d.log" % k), "wb") as f:
            f.write(result["log"])
        if result["status"] == 0:
            write_atomically(os.path.join(state, "step-%02d.files" % k), pickle.dumps(result["files"]))
        else:
            print("\nstep %d failed with exit status %d; the end of its log (%s):\n%s" %
                  (k, result["status"], os.path.join(STATE_DIR, "logs", "step-%02d.log" % k),
                   log_tail(result["log"])), file=sys.stderr)
        record = {"step": k, "fingerprint": t["fingerprint"], "exit_status": result["status"],
                  "wall_time_s": result["wall_time_s"], "host": result["host"]}
        write_atomically(os.path.join(state, "step-%02d.json" % k), json.dumps(record, indent=1).encode())

    print("sweep: steps %d to %d, %d to run, %d already done" % (first, count, len(todo), len(steps) - len(todo)),
          file=out)
    progress = Progress(len(todo), pool.workers, sys.stderr.isatty())
    failed = run_all(pool, todo, finished, progress)

    # gather in step order, as the sequential sweep leaves its files
    done = [k for k in steps if (read_record(os.path.join(state, "step-%02d.json" % k)) or {}).get("exit_status") == 0
            and os.path.isfile(os.path.join(state, "step-%02d.files" % k))]
    stop = next((k for k in steps if k not in done), count + 1)  # the first step without a result
    table_rows, header, echo = [], None, b""
    for k in done:
        with open(os.path.join(state, "step-%02d.files" % k), "rb") as f:
            result_files = pickle.load(f)
        own = output_path(cfg, "%sand%s_passo.dat" % (chr(64 + k), code))
        for rel, data in sorted(result_files.items()):
            if rel == own:
                lines = data.splitlines(keepends=True)
                header = header or b"".join(lines[:2])
                if k < stop:
                    table_rows.extend(lines[2:])
            elif os.path.basename(rel) == "fort.87":
                echo += data  # the grid echo collects every step's abscissae
            else:
                tasks.write_file(workdir, rel, data)
    if echo:
        with open(os.path.join(workdir, "fort.87"), "wb") as f:
            f.write(echo)
    if header is not None:
        table = os.path.join(workdir, output_path(cfg, "%sand%s.dat" % (cfg["run_tag"][:1] or " ", code)))
        os.makedirs(os.path.dirname(os.path.abspath(table)), exist_ok=True)
        with open(table, "ab") as f:
            f.write(header + b"".join(table_rows))
    with open(os.path.join(workdir, RESUME), "w") as f:
        f.write(" %d\n" % stop)
    if not failed and stop > count:
        for k in steps:  # the files are in place: the copies go, the records and logs stay
            try:
                os.remove(os.path.join(state, "step-%02d.files" % k))
            except OSError:
                pass
        print("sweep complete: steps %d to %d gathered in %s" % (first, count, workdir), file=out)
        return 0
    print("sweep incomplete: %d step(s) failed (%s); %s holds %d, rerun to complete" %
          (len(failed), ", ".join(f.split("-")[1] for f in failed), RESUME, stop), file=sys.stderr)
    return 1


# ------------------------------------------------------------- campaign mode


def summary_numbers(files, cfg):
    """The burning rates of a point's run from its summary file."""
    names = [r for r in files if r.endswith("summary.json")]
    preferred = output_path(cfg, (cfg["run_tag"][:1] or " ") + "summary.json")
    if preferred in files:
        names = [preferred]
    if not names:
        return {}
    try:
        summary = json.loads(files[names[0]])
        flame = (summary.get("runs") or [{}])[-1].get("flame") or {}
    except (ValueError, AttributeError):
        return {}
    return {k: flame.get(k) for k in ("M_l_num", "M_l_ana", "M_cons", "settled", "drift")}


def csv_value(v):
    if v is None:
        return ""
    if isinstance(v, bool):
        return "1" if v else "0"
    if isinstance(v, float):
        return repr(v)
    return str(v)


def run_campaign(pool, workdir, sets, varies, outdir, out):
    config_data, cfg = read_configuration(pool, workdir, sets)
    axes = []
    for vary_arg in varies:
        name = vary_arg.split("=", 1)[0]
        if name not in cfg:
            raise RunnerError("--vary %s: no record of the configuration is called \"%s\" "
                              "(the names are those of fiamma --print-config)" % (vary_arg, name))
        axes.append(parse_vary(vary_arg, cfg[name]))
    names = [a[0] for a in axes]
    if len(set(names)) != len(names):
        raise RunnerError("--vary: each record at most once")
    points = list(itertools.product(*[a[1] for a in axes]))
    # each point is a single run, unless the user says otherwise
    single = [] if any(s.split("=", 1)[0] == "sweep_mode" for s in sets) or "sweep_mode" in names \
        else ["--set", "sweep_mode=0"]
    files = input_files(workdir, config_data, cfg)
    depth = nesting_depth([cfg["path_prefix_1"] + cfg["path_prefix_2"] + "x"] + list(files))
    os.makedirs(outdir, exist_ok=True)
    todo, rows = [], {}
    for i, values in enumerate(points, 1):
        key = "point-%03d" % i
        args = [a for s in sets for a in ("--set", s)] + single + \
            [a for n, v in zip(names, values) for a in ("--set", "%s=%s" % (n, v))]
        fp = fingerprint(args, files)
        rec = read_record(os.path.join(outdir, key, "complete.json"))
        if rec and rec.get("fingerprint") == fp and rec.get("exit_status") == 0:
            rows[key] = rec
            continue
        todo.append({"key": key, "args": args, "files": files, "depth": depth, "fiamma": pool.fiamma,
                     "fingerprint": fp, "values": list(values)})
    by_key = {t["key"]: t for t in todo}

    def finished(result):
        t = by_key[result["key"]]
        folder = os.path.join(outdir, t["key"])
        os.makedirs(folder, exist_ok=True)
        for rel, data in result["files"].items():
            tasks.write_file(folder, rel, data)
        with open(os.path.join(folder, "fiamma.log"), "wb") as f:
            f.write(result["log"])
        if result["status"] != 0:
            print("\n%s (%s) failed with exit status %d; the end of its log (%s):\n%s" %
                  (t["key"], ", ".join("%s=%s" % nv for nv in zip(names, t["values"])), result["status"],
                   os.path.join(folder, "fiamma.log"), log_tail(result["log"])), file=sys.stderr)
        record = {"values": t["values"], "fingerprint": t["fingerprint"], "exit_status": result["status"],
                  "wall_time_s": result["wall_time_s"], "host": result["host"],
                  "results": summary_numbers(result["files"], cfg)}
        write_atomically(os.path.join(folder, "complete.json"), json.dumps(record, indent=1).encode())
        rows[t["key"]] = record

    print("campaign: %d points over %s, %d to run, %d already done" %
          (len(points), ", ".join(names), len(todo), len(points) - len(todo)), file=out)
    progress = Progress(len(todo), pool.workers, sys.stderr.isatty())
    failed = run_all(pool, todo, finished, progress)

    table = os.path.join(outdir, "campaign.csv")
    buf = []
    for i, values in enumerate(points, 1):
        rec = rows.get("point-%03d" % i, {})
        res = rec.get("results", {})
        buf.append(list(values) + [csv_value(res.get(k)) for k in CSV_RESULTS[:5]] +
                   [csv_value(rec.get("exit_status")), csv_value(rec.get("wall_time_s"))])
    import io

    text = io.StringIO()
    writer = csv.writer(text, lineterminator="\n")
    writer.writerow(names + CSV_RESULTS)
    writer.writerows(buf)
    write_atomically(table, text.getvalue().encode())
    plot_campaign(names, buf, os.path.join(outdir, "campaign.png"))
    print("campaign table %s, plot %s" % (table, os.path.join(outdir, "campaign.png")), file=out)
    if failed:
        print("%d point(s) failed: %s" % (len(failed), ", ".join(failed)), file=sys.stderr)
        return 1
    return 0


def plot_campaign(names, rows, path):
    """Burning rate against the first varied record, one curve per value of
    the others: measured (solid) and analytic estimate (dashed)."""
    import matplotlib

    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    def num(text):
        try:
            return float(text)
        except ValueError:
            return float("nan")

    fig, ax = plt.subplots(figsize=(6, 4), dpi=100)
    groups = {}
    for row in rows:
        groups.setdefault(tuple(row[1:len(names)]), []).append(row)
    for n, (rest, group) in enumerate(sorted(groups.items())):
        x = [num(r[0]) for r in group]
        label = ", ".join("%s=%s" % nv for nv in zip(names[1:], rest))
        colour = "C%d" % (n % 10)
        ax.plot(x, [num(r[len(names)]) for r in group], "o-", color=colour,
                label=("M_l_num " + label).strip())
        ax.plot(x, [num(r[len(names) + 1]) for r in group], "s--", color=colour, alpha=0.7,
                label=("M_l_ana " + label).strip())
    ax.set_xlabel(names[0])
    ax.set_ylabel("mass burning rate")
    ax.grid(True, alpha=0.3)
    ax.legend(fontsize=7)
    fig.tight_layout()
    tmp = path + ".tmp.png"
    fig.savefig(tmp)
    plt.close(fig)
    os.replace(tmp, path)


# --------------------------------------------------------------- entry point


def main(argv=None):
    p = argparse.ArgumentParser(
        prog="fiamma-sweep",
        description="Runs a configured sweep's remaining steps, or a campaign over a grid of configured "
                    "values, concurrently: on a local pool of processes or on a Dask cluster.")
    p.add_argument("-C", "--workdir", default=".", help="the working folder with eulero_test.dat (default: .)")
    p.add_argument("--vary", action="append", default=[], metavar="NAME=VALUES",
                   help="campaign: NAME=v1,v2,... or NAME=start:stop:count; repeat for a grid")
    p.add_argument("--set", action="append", default=[], metavar="NAME=VALUE",
                   help="an override for every run (as fiamma --set)")
    p.add_argument("--out", default="campaign", help="campaign folder, relative to the working folder")
    p.add_argument("--workers", type=int, default=os.cpu_count() or 1, help="local processes at once (default: one per core)")
    p.add_argument("--scheduler", metavar="tcp://HOST:PORT", help="a running Dask scheduler instead of the local pool")
    p.add_argument("--fiamma", help="the fiamma executable (default: $FIAMMA_EXE, else fiamma on the PATH; with "
                        "--scheduler: fiamma on each worker's PATH)")
    args = p.parse_args(argv)
    if args.workers < 1:
        p.error("--workers must be at least 1")
    workdir = os.path.abspath(args.workdir)
    if args.scheduler:
        fiamma = args.fiamma or "fiamma"  # the same path on every worker, or found on each worker's PATH
    else:
        fiamma = args.fiamma or os.environ.get("FIAMMA_EXE") or shutil.which("fiamma")
        if not fiamma:
            print("fiamma-sweep: no fiamma executable: put it on the PATH or name it with --fiamma", file=sys.stderr)
            return 2
        fiamma = os.path.abspath(fiamma)
    try:
        if args.scheduler:
            pool = DaskPool(args.scheduler)
        else:
            scratch = os.path.join(workdir, STATE_DIR if not args.vary else os.path.join(args.out), "scratch")
            os.makedirs(scratch, exist_ok=True)
            pool = LocalPool(args.workers, scratch)
    except (OSError, IOError) as e:
        print("fiamma-sweep: %s" % e, file=sys.stderr)
        return 2
    pool.fiamma = fiamma
    try:
        if args.vary:
            return run_campaign(pool, workdir, args.set, args.vary, os.path.join(workdir, args.out), sys.stdout)
        return run_sweep(pool, workdir, args.set, sys.stdout)
    except RunnerError as e:
        print("fiamma-sweep: %s" % e, file=sys.stderr)
        return 2
    except KeyboardInterrupt:
        print("\nfiamma-sweep: interrupted; rerun to complete", file=sys.stderr)
        return 130
    finally:
        pool.close()
        if not args.scheduler:
            shutil.rmtree(pool.scratch, ignore_errors=True)
