"""What a run directory holds, tied together: the time of each snapshot, the
front of each snapshot, the anchor of each run tag.

Times come, in this order of preference, from
1. the run summary's file list (the time at which each file was written);
2. the front history of the same run tag: the record of the snapshot's step
   (the final snapshot, numbered one past the last step, takes the time of
   the step before it), else a straight line through the two nearest records
   (exact for a fixed time step, close otherwise: the history holds a record
   every 50 steps);
3. the configuration ``eulero_test.dat`` in the directory, step·dt, when its
   time step is fixed (``dt_mode`` 0);
4. the step number itself (``source`` says "step").
"""

from __future__ import annotations

from dataclasses import dataclass, field
from pathlib import Path

import numpy as np

from .config import output_path, read_configuration
from .derived import anchor, flame_pressure
from .readers import SUMMARY_NAME, FormatError, Outputs, Profile, read_history, read_snapshot, read_summary, scan

CONFIG = "eulero_test.dat"


def _configuration(directory):
    try:
        return read_configuration(directory / CONFIG) if (directory / CONFIG).is_file() else None
    except (FormatError, OSError):
        return None


def output_folders(directory, configuration=None) -> list[Path]:
    """Where a run directory's outputs may lie besides the directory itself:
    the folder its configured path prefixes name, and its immediate
    subfolders that hold a run summary (prefixes given with --set)."""
    directory = Path(directory)
    configuration = configuration or _configuration(directory)
    folders = []
    if configuration is not None:
        folders.append(directory / Path(output_path(configuration, "x")).parent)
    if directory.is_dir():
        folders += [d for d in sorted(directory.iterdir()) if d.is_dir() and _holds_summary(d)]
    return [f for f in folders if f.resolve() != directory.resolve()]


def _holds_summary(folder):
    try:
        return any(SUMMARY_NAME.match(p.name) for p in folder.iterdir())
    except OSError:  # a folder we may not read holds nothing of ours
        return False


@dataclass
class Catalog:
    directory: Path
    outputs: Outputs
    summaries: list[dict] = field(default_factory=list)
    histories: dict = field(default_factory=dict)  # run tag -> DataFrame
    configuration: dict | None = None
    _file_times: dict = field(default_factory=dict)  # resolved path -> time

    @classmethod
    def of(cls, directory) -> "Catalog":
        """The outputs of a run directory, wherever its path prefixes put them."""
        directory = Path(directory)
        configuration = _configuration(directory)
        outputs = scan(directory, output_folders(directory, configuration))
        cat = cls(directory, outputs, configuration=configuration)
        for p in outputs.summaries:
            doc = read_summary(p)
            cat.summaries.append(doc)
            for f in doc["files"]:
                if f.get("time") is not None:
                    cat._file_times[(directory / f["path"]).resolve()] = float(f["time"])
        for p in outputs.histories:
            h = read_history(p)
            cat.histories[h.attrs["tag"]] = h
        return cat

    # -- times -------------------------------------------------------------
    def time_of(self, path, step: int | None, tag: str | None) -> tuple[float | None, str]:
        """(time, source) of the file written at ``step`` by run ``tag``."""
        t = self._file_times.get(Path(path).resolve())
        if t is not None:
            return t, "summary"
        if step is None:
            return None, "none"
        h = self.histories.get(tag)
        if h is not None and len(h) >= 1:
            t = _time_from_history(h, step)
            if t is not None:
                return t, "history"
        c = self.configuration
        if c is not None and c["dt_mode"] == 0:
            return step * c["dt"], "configuration"
        return float(step), "step"

    # -- fronts and anchors ------------------------------------------------
    def front_of(self, profile: Profile) -> tuple[float | None, str]:
        """(x, source) of the front in a snapshot: the history's x_m at its step,
        else the steepest temperature gradient."""
        h = self.histories.get(profile.tag)
        if h is not None and len(h) and profile.step is not None:
            row = _history_row(h, profile.step)
            if row is not None and np.isfinite(row["x_m"]):
                return float(row["x_m"]), "history"
        if "th" in profile and profile.n >= 2 and np.isfinite(profile["th"]).sum() >= 2:
            return steepest_gradient(profile["x"], profile["th"]), "steepest gradient"
        return None, "none"

    def flame_of(self, tag: str | None) -> dict:
        """The summaries' final flame values of the last simulation of run tag ``tag`` ({} without one)."""
        found = {}
        for doc in self.summaries:
            for run in doc["runs"]:
                if run["run_tag"] == tag and run.get("flame"):
                    found = run["flame"]
        return found

    def rho_in_of(self, tag: str | None) -> float | None:
        """The inflow density of run tag ``tag``: the summary's, else the fresh
        gas's P/th_fresh of the configuration (not for a sweep of γ or th_fresh)."""
        rho = self.flame_of(tag).get("rho_in")
        if rho is not None:
            return float(rho)
        c = self.configuration
        if c is not None and c["case_kind"] == 8 and c["gamma"] > 1 and c["th_fresh"] > 0 and not (
                c["sweep_mode"] == 1 and c["sweep_parameter"] in (1, 9)):
            return flame_pressure(c["gamma"]) / c["th_fresh"]
        return None

    def criterion(self) -> int | None:
        """The configured front_criterion (the summaries', else eulero_test.dat's)."""
        for doc in reversed(self.summaries):
            if doc.get("configuration", {}).get("front_criterion") is not None:
                return int(doc["configuration"]["front_criterion"])
        return None if self.configuration is None else self.configuration["front_criterion"]

    def sweep_runs(self, table) -> list[dict]:
        """The summaries' simulations of the sweep whose table this is (the
        same parameter code), one per sweep step, the latest of a step run twice."""
        by_step = {}
        for doc in self.summaries:
            if doc.get("sweep") and doc["sweep"].get("code") == table.attrs.get("code"):
                for run in doc["runs"]:
                    by_step[run["sweep_step"]] = run
        return [by_step[k] for k in sorted(by_step)]

    def sweep_marks(self, table) -> tuple[list[bool], list[str]]:
        """(settled flag of each row, texts naming the failed steps) of a sweep table.

        A row takes the summary's ``settled`` of the simulation with the same
        M_l_num (both written to round-trip, so equal to the last bit), else its
        ``fl_st``. A step that ended otherwise than normally wrote no row."""
        runs = self.sweep_runs(table)
        settled_of = {r["flame"]["M_l_num"]: bool(r["flame"]["settled"]) for r in runs
                      if r["end"] == "normal" and r.get("flame") and r["flame"].get("M_l_num") is not None}
        flags = [settled_of.get(m, fl == 1) for m, fl in zip(table["M_l_num"], table["fl_st"])]
        p = table.attrs.get("parameter", "value")
        failed = [f"{p} = {r['parameter_value']:.6g} (step {r['sweep_step']}: {r['end']})" for r in runs
                  if r["end"] != "normal" and r.get("parameter_value") is not None]
        return flags, failed

    def anchor_of(self, tag: str | None) -> float | None:
        x_anchor = self.flame_of(tag).get("x_anchor")
        if x_anchor is not None:
            return float(x_anchor)
        if self.configuration is not None:
            # the anchor as the run derives it, with the domain length of a snapshot of the tag
            for p in self.outputs.snapshots:
                if p.name[0] == tag:
                    length = float(read_snapshot(p)["x"][-1])
                    return anchor(self.configuration, length)
        return None


def each_time_once(entries):
    """(time, item) pairs in order, a time that repeats kept once, with its
    last item: the final snapshot, numbered one past the last step, holds the
    state of the last step at the same time."""
    last = {t: i for i, (t, _) in enumerate(entries)}
    return [e for i, e in enumerate(entries) if last[e[0]] == i]


def _history_row(h, step):
    rows = h[h["it"] == step]
    if len(rows):
        return rows.iloc[-1]
    # the final snapshot, one past the last step of a loop that ran to its end
    if step - 1 == int(h["it"].iloc[-1]):
        return h.iloc[-1]
    return None


def _time_from_history(h, step):
    row = _history_row(h, step)
    if row is not None:
        return float(row["t"])
    its = h["it"].to_numpy(dtype=float)
    ts = h["t"].to_numpy(dtype=float)
    if len(its) < 2:
        return None
    order = np.argsort(np.abs(its - step), kind="stable")[:2]
    i0, i1 = sorted(order)
    if its[i1] == its[i0]:
        return None
    slope = (ts[i1] - ts[i0]) / (its[i1] - its[i0])
    return float(ts[i0] + slope * (step - its[i0]))


def steepest_gradient(x, th) -> float:
    """Abscissa of the steepest temperature gradient: the middle of the
    interval where |Δth/Δx| is largest."""
    x = np.asarray(x, dtype=float)
    th = np.asarray(th, dtype=float)
    slope = np.abs(np.diff(th) / np.diff(x))
    k = int(np.nanargmax(slope))
    return float(0.5 * (x[k] + x[k + 1]))
