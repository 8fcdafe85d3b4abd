"""The two things fiamma-sweep runs, resumable by a completion record per
step or point, written atomically after its files.

Sweep (no --vary): the steps from the working folder's resume index on, each
``fiamma --sweep-step K`` in a scratch folder of its own; then every file is
gathered into the working folder, the sweep table gets its header block and
the rows in step order, and the resume index its final value, as a
sequential ``fiamma`` would have left them. The appends and the index are
written down (``fiamma-sweep/gather.json``) before the first append, so that
a rerun after a kill completes them instead of appending a second time.

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

from fiamma import reporting
from fiamma.config import output_path, overrides, parse_listing
from fiamma.freeformat import FreeFormatError, RecordReader
from fiamma.readers import read_resume_index, read_summary
from fiamma.sweep_command import STATE_DIR, RunnerError  # STATE_DIR: records, logs, steps' files, scratch folders
from fiamma.tecplot import FormatError
from fiamma.writing import WriteError, append_whole, sync_folder, write_atomically

CONFIG = "eulero_test.dat"
RESUME = "i_and_min.dat"
JOURNAL = "gather.json"
CSV_RESULTS = ["M_l_num", "M_l_ana", "M_cons", "settled", "drift", "exit_status", "wall_time_s"]


def place(folder, rel, data, within):
    """Writes a file a run brought back to `rel` under `folder`, atomically,
    and only when it lands inside the folder `within`."""
    path = os.path.normpath(os.path.join(folder, rel))
    if os.path.commonpath([path, within]) != within:
        raise WriteError(path, "outside %s, where the runs' files belong: not written" % within)
    write_atomically(path, data)


def read_record(path):
    try:
        with open(path, "rb") as f:
            return json.loads(f.read())
    except (OSError, ValueError):
        return None


def write_record(path, record):
    write_atomically(path, json.dumps(record, indent=1).encode(), sync=True)


def fingerprint(args, files, fiamma_digest):
    """What a run's result depends on: its arguments, its input files and
    the executable's bytes."""
    h = hashlib.sha256()
    h.update(json.dumps([list(args), fiamma_digest]).encode())
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
    ``fiamma --print-config`` run like any other task; and the digest of the
    executable that read it."""
    config = os.path.join(workdir, CONFIG)
    if not os.path.isfile(config):
        raise RunnerError("%s: no %s here" % (workdir, CONFIG))
    with open(config, "rb") as f:
        data = f.read()
    task = {"key": "print-config", "label": "fiamma --print-config", "args": ["--print-config"] + overrides(sets),
            "files": {CONFIG: data}}
    result = runs.run_one(task)
    if result["status"] != 0:
        raise RunnerError("the configuration is refused (%s)%s" % (
            reporting.how_it_ended(result), ":\n" + reporting.log_tail(result["log"]) if result["log"] else ""))
    cfg = parse_listing(result["log"].decode("utf-8", "replace"))
    if os.path.isabs(cfg["path_prefix_1"] + cfg["path_prefix_2"]):
        raise RunnerError("path prefixes %r %r: the runs write in scratch folders, whose files are gathered "
                          "afterwards; use prefixes relative to the working folder" %
                          (cfg["path_prefix_1"], cfg["path_prefix_2"]))
    return data, cfg, result["fiamma_digest"]


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


def finish_gather(workdir):
    """Completes the appends and the resume index that a gather wrote down
    before a kill (or a full disk) stopped it; returns what it did, or None.

    Each append is known by the file's size before it and its bytes: a file
    that already holds them is left alone, one that holds their beginning
    gets the rest, one that holds neither has been changed by someone else
    and is refused rather than appended to twice."""
    path = os.path.join(workdir, STATE_DIR, JOURNAL)
    if not os.path.exists(path):
        return None
    journal = read_record(path)
    if not isinstance(journal, dict):
        raise RunnerError("%s: unreadable; check the sweep table and %s, then remove it" % (path, RESUME))
    for a in journal["appends"]:
        target, data, start = os.path.join(workdir, a["path"]), a["data"].encode("latin-1"), a["size"]
        size, held = os.path.getsize(target) if os.path.exists(target) else 0, b""
        if size > start:
            with open(target, "rb") as f:
                f.seek(start)
                held = f.read(len(data))
        if size >= start + len(data) and held == data:
            continue
        if size < start or held != data[:size - start]:
            raise RunnerError("%s: changed since a stopped fiamma-sweep began appending to it (%d bytes, "
                              "expected %d, or %d with the append); check it and %s, then remove %s" %
                              (target, size, start, start + len(data), RESUME, path))
        append_whole(target, data[size - start:], sync=True)
    write_atomically(os.path.join(workdir, RESUME), b" %d\n" % journal["index"], sync=True)
    os.unlink(path)
    sync_folder(os.path.dirname(path))
    return "%s appended, %s holds %d" % (", ".join(a["path"] for a in journal["appends"]) or "nothing", RESUME,
                                         journal["index"])


def run_sweep(runs, workdir, sets, out):
    """Returns 0 when the sweep is complete, 1 when a step failed, 3 when no
    worker was left."""
    state = os.path.join(workdir, STATE_DIR)
    completed = finish_gather(workdir)
    if completed:
        print("completed the gather of a stopped fiamma-sweep: %s" % completed, file=out)
    config_data, cfg, digest = configuration_of(runs, workdir, sets)
    if cfg["sweep_mode"] != 1:
        raise RunnerError("%s configures no sweep (sweep_mode = %s): use --vary for a campaign" %
                          (CONFIG, cfg["sweep_mode"]))
    count = cfg["sweep_count"]
    first = resume_index(workdir)

    def saved(k, kind):
        return os.path.join(state, "step-%02d.%s" % (k, kind))

    def drop_saved_files():  # the files are in place: the copies go, the records and logs stay
        for k in range(1, count + 1):
            if os.path.exists(saved(k, "files")):
                os.remove(saved(k, "files"))

    if first > count:
        drop_saved_files()
        print("%s holds %d, past the last step (%d): nothing to run; remove it to run the sweep again" %
              (RESUME, first, count), file=out)
        return 0
    # the resume index decides the domain length only when the length is left to the first step
    files = input_files(workdir, config_data, cfg, [RESUME] if cfg["domain_length"] == 0 else [])
    depth = nesting_depth([cfg["path_prefix_1"] + cfg["path_prefix_2"] + "x"] + list(files))
    folders = output_folders(workdir, cfg)
    steps, todo = list(range(first, count + 1)), []
    for k in steps:
        args = ["--sweep-step", str(k)] + overrides(sets)
        rec = read_record(saved(k, "json"))
        if rec and rec.get("fingerprint") == fingerprint(args, files, digest) and rec.get("exit_status") == 0 \
                and os.path.isfile(saved(k, "files")):
            continue
        todo.append({"key": "step-%02d" % k, "label": "step %d" % k, "step": k, "args": args, "files": files,
                     "depth": depth, "folders": folders})

    def finished(task, result):
        k = task["step"]
        log = os.path.join(STATE_DIR, "logs", "step-%02d.log" % k)
        write_atomically(os.path.join(workdir, log), result["log"])
        if result["status"] == 0:
            try:
                step_table(cfg, k, result["files"])
            except RunnerError as exc:
                result = dict(result, status=None, reason="ended with status 0, but %s" % str(exc).split(": ", 1)[1])
        if result["status"] == 0:
            write_atomically(saved(k, "files"), pickle.dumps(result["files"]), sync=True)
        else:
            print(reporting.failure_report(task["label"], result, log), file=sys.stderr)
        write_record(saved(k, "json"), {
            "step": k, "fingerprint": fingerprint(task["args"], files, result["fiamma_digest"]),
            "exit_status": result["status"], "failure": reporting.how_it_ended(result) if result["status"] else None,
            "wall_time_s": result["wall_time_s"], "host": result["host"]})
        return result

    print("sweep: steps %d to %d, %d to run, %d already done" % (first, count, len(todo), len(steps) - len(todo)),
          file=out)
    outcome = runs.run_all(todo, finished, reporting.Progress(len(todo), runs.workers, sys.stderr.isatty()))

    # gather in step order, as the sequential sweep leaves its files
    done = [k for k in steps if (read_record(saved(k, "json")) or {}).get("exit_status") == 0
            and os.path.isfile(saved(k, "files"))]
    stop = next((k for k in steps if k not in done), count + 1)  # the first step without a result
    within = os.path.abspath(os.path.join(workdir, *([os.pardir] * depth)))
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
                echo += data if k < stop else b""  # the grid echo, appended step after step
            else:
                place(workdir, rel, data, within)
    appends = []
    if header is not None:
        appends.append((output_path(cfg, "%sand%s.dat" % (cfg["run_tag"][:1] or " ", code)), header + b"".join(table_rows)))
    if echo:
        appends.append(("fort.87", echo))
    journal = {"index": stop, "appends": [
        {"path": rel, "size": os.path.getsize(os.path.join(workdir, rel)) if os.path.exists(os.path.join(workdir, rel))
         else 0, "data": data.decode("latin-1")} for rel, data in appends]}
    write_atomically(os.path.join(state, JOURNAL), json.dumps(journal).encode(), sync=True)
    finish_gather(workdir)
    if not outcome.failed and not outcome.not_run and stop > count:
        drop_saved_files()
        print("sweep complete: steps %d to %d gathered in %s" % (first, count, workdir), file=out)
        return 0
    why = []
    if outcome.failed:
        why.append("%d step(s) failed (%s)" % (len(outcome.failed), ", ".join(f.split("-")[1] for f in outcome.failed)))
    if outcome.not_run:
        why.append("%s: %d step(s) not run (%s)" % (outcome.lost, len(outcome.not_run),
                                                   ", ".join(f.split("-")[1] for f in outcome.not_run)))
    print("sweep incomplete: %s; %s holds %d, rerun to complete" % ("; ".join(why), RESUME, stop), file=sys.stderr)
    return 3 if outcome.lost else 1


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


def prefixes_inside(cfg, point):
    """Refuses path prefixes (as configured, or as varied: free-format texts)
    that would take a point's files out of its folder."""
    def prefix(name):
        if name not in point:
            return cfg[name]
        (value,) = RecordReader(point[name], "--vary " + name).read(1, [(name, "t")])
        return cfg[name] if value is None else value[:32].rstrip(" ")

    p1, p2 = prefix("path_prefix_1"), prefix("path_prefix_2")
    if os.path.isabs(p1 + p2) or os.path.normpath(p1 + p2 + "x").split(os.sep)[0] == os.pardir:
        raise RunnerError("path prefixes %r %r: in a campaign every point writes in a folder of its own, and "
                          "these go out of it, where the points would overwrite each other's files; use "
                          "prefixes that stay inside (no '..' going up)" % (p1, p2))


def run_campaign(runs, workdir, sets, varies, outdir, out):
    """Returns 0 when every point ran, 1 when a point failed, 3 when no
    worker was left."""
    config_data, cfg, digest = configuration_of(runs, workdir, sets)
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
    for values in points:
        prefixes_inside(cfg, dict(zip(names, values)))
    # each point is a single run, unless the user says otherwise
    single = [] if any(s.split("=", 1)[0] == "sweep_mode" for s in sets) or "sweep_mode" in names \
        else ["--set", "sweep_mode=0"]
    files = input_files(workdir, config_data, cfg)
    depth = nesting_depth([cfg["path_prefix_1"] + cfg["path_prefix_2"] + "x"] + list(files))
    folders = output_folders(workdir, cfg)
    todo, rows = [], {}
    for i, values in enumerate(points, 1):
        key = "point-%03d" % i
        args = overrides(sets) + single + overrides("%s=%s" % nv for nv in zip(names, values))
        rec = read_record(os.path.join(outdir, key, "complete.json"))
        if rec and rec.get("fingerprint") == fingerprint(args, files, digest) and rec.get("exit_status") == 0:
            rows[key] = rec
            continue
        todo.append({"key": key, "label": "%s (%s)" % (key, ", ".join("%s=%s" % nv for nv in zip(names, values))),
                     "args": args, "files": files, "depth": depth, "folders": folders, "values": list(values)})

    def finished(task, result):
        folder = os.path.join(outdir, task["key"])
        for rel, data in result["files"].items():
            place(folder, rel, data, os.path.abspath(folder))
        write_atomically(os.path.join(folder, "fiamma.log"), result["log"])
        if result["status"] != 0:
            print(reporting.failure_report(task["label"], result, os.path.join(folder, "fiamma.log")), file=sys.stderr)
        record = {"values": task["values"], "fingerprint": fingerprint(task["args"], files, result["fiamma_digest"]),
                  "exit_status": result["status"],
                  "failure": reporting.how_it_ended(result) if result["status"] else None,
                  "wall_time_s": result["wall_time_s"], "host": result["host"],
                  "results": summary_numbers(folder, result["files"], cfg)}
        write_record(os.path.join(folder, "complete.json"), record)
        rows[task["key"]] = record

    print("campaign: %d points over %s, %d to run, %d already done" %
          (len(points), ", ".join(names), len(todo), len(points) - len(todo)), file=out)
    outcome = runs.run_all(todo, finished, reporting.Progress(len(todo), runs.workers, sys.stderr.isatty()))

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
    if outcome.failed:
        print("%d point(s) failed: %s" % (len(outcome.failed), ", ".join(outcome.failed)), file=sys.stderr)
    if outcome.not_run:
        print("%s: %d point(s) not run: %s; rerun to complete" % (outcome.lost, len(outcome.not_run),
                                                                  ", ".join(outcome.not_run)), file=sys.stderr)
    return 3 if outcome.lost else 1 if outcome.failed else 0
