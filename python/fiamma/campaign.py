"""The two things fiamma-sweep runs, resumable by a completion record per
step or point, written atomically after its files.

Sweep (no --vary): the steps from the working folder's resume index on, each
``fiamma --sweep-step K`` in a scratch folder of its own; then every file is
gathered into the working folder, the sweep table gets its header block and
the rows in step order, and the resume index its final value, as a
sequential ``fiamma`` would have left them.

Campaign (--vary NAME=..., repeatable): one single run per point of the grid,
``fiamma --set NAME=VALUE ...`` in a folder of its own under the campaign
folder; one CSV table and one PNG plot of the burning rates.
"""

import hashlib
import itertools
import json
import os
import pickle
import sys

from fiamma import reporting, tasks
from fiamma.config import output_path, overrides, parse_listing
from fiamma.freeformat import FreeFormatError
from fiamma.readers import read_resume_index, read_summary
from fiamma.tecplot import FormatError

STATE_DIR = "fiamma-sweep"  # sweep: records, logs, finished steps' files
CONFIG = "eulero_test.dat"
RESUME = "i_and_min.dat"
CSV_RESULTS = ["M_l_num", "M_l_ana", "M_cons", "settled", "drift", "exit_status", "wall_time_s"]


class RunnerError(Exception):
    """A refusal before any run: the message says why."""


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


def output_folders(workdir, cfg):
    """The folder the prefixes name, when the working folder has it: the
    program writes into it but does not make it, so a run needs it there too."""
    folder = os.path.dirname(output_path(cfg, "x"))
    return [folder] if folder and os.path.isdir(os.path.join(workdir, folder)) else []


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


def configuration_of(runs, workdir, sets):
    """The configuration as the program reads it, with the overrides, from
    ``fiamma --print-config`` run like any other task."""
    config = os.path.join(workdir, CONFIG)
    if not os.path.isfile(config):
        raise RunnerError("%s: no %s here" % (workdir, CONFIG))
    with open(config, "rb") as f:
        data = f.read()
    task = {"key": "print-config", "args": ["--print-config"] + overrides(sets), "files": {CONFIG: data}}
    result = runs.submit(task).result()
    if result["status"] != 0:
        raise RunnerError("the configuration is refused (exit status %d):\n%s" %
                          (result["status"], reporting.log_tail(result["log"])))
    cfg = parse_listing(result["log"].decode("utf-8", "replace"))
    if os.path.isabs(cfg["path_prefix_1"] + cfg["path_prefix_2"]):
        raise RunnerError("path prefixes %r %r: the runs write in scratch folders, whose files are gathered "
                          "afterwards; use prefixes relative to the working folder" %
                          (cfg["path_prefix_1"], cfg["path_prefix_2"]))
    return data, cfg


def input_files(workdir, config_data, cfg, extra=()):
    """The files a run reads, as bytes by their relative path."""
    files = {CONFIG: config_data}
    wanted = list(extra)
    if cfg["grid"] == 1:
        wanted.append("grid.dat")
    if 3 <= cfg["case_kind"] <= 5:
        wanted.append("profilo_an.dat")
    if cfg["ires"] != 0:
        wanted.append(os.path.normpath(cfg["restart_name_2"] + cfg["restart_name_3"] + cfg["restart_name_1"]))
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


# ---------------------------------------------------------------- sweep


def resume_index(workdir):
    path = os.path.join(workdir, RESUME)
    try:
        return read_resume_index(path)
    except FreeFormatError:
        raise RunnerError("%s: the resume index is not an integer" % path)
    except FormatError as exc:
        raise RunnerError(str(exc))


def step_table(cfg, k, files):
    """(path, parameter code) of the table of step k's own row, from the step's summary."""
    name = output_path(cfg, chr(64 + k) + "summary.json")
    try:
        sweep = read_summary(name, files[name])["sweep"]
        return os.path.normpath(sweep["table"]), sweep["code"]
    except (KeyError, TypeError, FormatError):
        raise RunnerError("step %d: no readable summary %s among its files" % (k, name))


def run_sweep(runs, workdir, sets, out, options=()):
    config_data, cfg = configuration_of(runs, workdir, sets)
    if cfg["sweep_mode"] != 1:
        raise RunnerError("%s configures no sweep (sweep_mode = %s): use --vary for a campaign" %
                          (CONFIG, cfg["sweep_mode"]))
    count = cfg["sweep_count"]
    first = resume_index(workdir)
    if first > count:
        print("%s holds %d, past the last step (%d): nothing to run; remove it to run the sweep again" %
              (RESUME, first, count), file=out)
        return 0
    state = os.path.join(workdir, STATE_DIR)
    os.makedirs(os.path.join(state, "logs"), exist_ok=True)
    # the resume index decides the domain length only when the length is left to the first step
    files = input_files(workdir, config_data, cfg, [RESUME] if cfg["domain_length"] == 0 else [])
    depth = nesting_depth([cfg["path_prefix_1"] + cfg["path_prefix_2"] + "x"] + list(files))
    folders = output_folders(workdir, cfg)
    steps, todo = list(range(first, count + 1)), []

    def saved(k, kind):
        return os.path.join(state, "step-%02d.%s" % (k, kind))

    for k in steps:
        args = ["--sweep-step", str(k)] + list(options) + overrides(sets)
        fp = fingerprint(args, files)
        rec = read_record(saved(k, "json"))
        if rec and rec.get("fingerprint") == fp and rec.get("exit_status") == 0 and os.path.isfile(saved(k, "files")):
            continue
        todo.append({"key": "step-%02d" % k, "step": k, "args": args, "files": files, "depth": depth,
                     "folders": folders, "fingerprint": fp})
    by_key = {t["key"]: t for t in todo}

    def finished(result):
        t = by_key[result["key"]]
        k = t["step"]
        with open(os.path.join(state, "logs", "step-%02d.log" % k), "wb") as f:
            f.write(result["log"])
        if result["status"] == 0:
            write_atomically(saved(k, "files"), pickle.dumps(result["files"]))
        else:
            print("\nstep %d failed with exit status %d; the end of its log (%s):\n%s" %
                  (k, result["status"], os.path.join(STATE_DIR, "logs", "step-%02d.log" % k),
                   reporting.log_tail(result["log"])), file=sys.stderr)
        record = {"step": k, "fingerprint": t["fingerprint"], "exit_status": result["status"],
                  "wall_time_s": result["wall_time_s"], "host": result["host"]}
        write_atomically(saved(k, "json"), json.dumps(record, indent=1).encode())

    print("sweep: steps %d to %d, %d to run, %d already done" % (first, count, len(todo), len(steps) - len(todo)),
          file=out)
    failed = runs.run_all(todo, finished, reporting.Progress(len(todo), runs.workers, sys.stderr.isatty()))

    # gather in step order, as the sequential sweep leaves its files
    done = [k for k in steps if (read_record(saved(k, "json")) or {}).get("exit_status") == 0
            and os.path.isfile(saved(k, "files"))]
    stop = next((k for k in steps if k not in done), count + 1)  # the first step without a result
    table_rows, header, echo, code = [], None, b"", None
    for k in done:
        with open(saved(k, "files"), "rb") as f:
            result_files = pickle.load(f)
        own, code = step_table(cfg, k, result_files)
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
                os.remove(saved(k, "files"))
            except OSError:
                pass
        print("sweep complete: steps %d to %d gathered in %s" % (first, count, workdir), file=out)
        return 0
    print("sweep incomplete: %d step(s) failed (%s); %s holds %d, rerun to complete" %
          (len(failed), ", ".join(f.split("-")[1] for f in failed), RESUME, stop), file=sys.stderr)
    return 1


# ---------------------------------------------------------------- campaign


def summary_numbers(folder, files, cfg):
    """The burning rates of a point's run from its summary file."""
    names = [r for r in files if r.endswith("summary.json")]
    preferred = output_path(cfg, (cfg["run_tag"][:1] or " ") + "summary.json")
    if preferred in files:
        names = [preferred]
    if not names:
        return {}
    try:
        flame = read_summary(os.path.join(folder, names[0]))["runs"][-1]["flame"] or {}
    except (FormatError, IndexError):
        return {}
    return {k: flame.get(k) for k in ("M_l_num", "M_l_ana", "M_cons", "settled", "drift")}


def run_campaign(runs, workdir, sets, varies, outdir, out, options=()):
    config_data, cfg = configuration_of(runs, workdir, sets)
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
    folders = output_folders(workdir, cfg)
    os.makedirs(outdir, exist_ok=True)
    todo, rows = [], {}
    for i, values in enumerate(points, 1):
        key = "point-%03d" % i
        args = list(options) + overrides(sets) + single + overrides("%s=%s" % nv for nv in zip(names, values))
        fp = fingerprint(args, files)
        rec = read_record(os.path.join(outdir, key, "complete.json"))
        if rec and rec.get("fingerprint") == fp and rec.get("exit_status") == 0:
            rows[key] = rec
            continue
        todo.append({"key": key, "args": args, "files": files, "depth": depth, "folders": folders, "fingerprint": fp,
                     "values": list(values)})
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
                   os.path.join(folder, "fiamma.log"), reporting.log_tail(result["log"])), file=sys.stderr)
        record = {"values": t["values"], "fingerprint": t["fingerprint"], "exit_status": result["status"],
                  "wall_time_s": result["wall_time_s"], "host": result["host"],
                  "results": summary_numbers(folder, result["files"], cfg)}
        write_atomically(os.path.join(folder, "complete.json"), json.dumps(record, indent=1).encode())
        rows[t["key"]] = record

    print("campaign: %d points over %s, %d to run, %d already done" %
          (len(points), ", ".join(names), len(todo), len(points) - len(todo)), file=out)
    failed = runs.run_all(todo, finished, reporting.Progress(len(todo), runs.workers, sys.stderr.isatty()))

    table, plot = os.path.join(outdir, "campaign.csv"), os.path.join(outdir, "campaign.png")
    buf = []
    for i, values in enumerate(points, 1):
        rec = rows.get("point-%03d" % i, {})
        res = rec.get("results", {})
        buf.append(list(values) + [reporting.csv_value(res.get(k)) for k in CSV_RESULTS[:5]] +
                   [reporting.csv_value(rec.get("exit_status")), reporting.csv_value(rec.get("wall_time_s"))])
    write_atomically(table, reporting.campaign_table(names + CSV_RESULTS, buf).encode())
    reporting.plot_campaign(names, buf, plot)
    print("campaign table %s, plot %s" % (table, plot), file=out)
    if failed:
        print("%d point(s) failed: %s" % (len(failed), ", ".join(failed)), file=sys.stderr)
        return 1
    return 0
