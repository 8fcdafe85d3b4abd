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

from .config import read_configuration
from .derived import anchor
from .readers import FormatError, Outputs, Profile, read_history, read_snapshot, read_summary, scan


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
        directory = Path(directory)
        outputs = scan(directory)
        cat = cls(directory, outputs)
        for p in outputs.summaries:
            doc = read_summary(p)
            cat.summaries.append(doc)
            for f in doc["files"]:
                if f.get("time") is not None:
                    cat._file_times[(directory / f["path"]).resolve()] = float(f["time"])
        for p in outputs.histories:
            h = read_history(p)
            cat.histories[h.attrs["tag"]] = h
        cfg = directory / "eulero_test.dat"
        if cfg.is_file():
            try:
                cat.configuration = read_configuration(cfg)
            except (FormatError, OSError):
                cat.configuration = None
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
        if h is not None and profile.step is not None:
            row = _history_row(h, profile.step)
            if row is not None and np.isfinite(row["x_m"]):
                return float(row["x_m"]), "history"
        if "th" in profile and profile.n >= 2:
            return steepest_gradient(profile["x"], profile["th"]), "steepest gradient"
        return None, "none"

    def anchor_of(self, tag: str | None) -> float | None:
        for doc in self.summaries:
            for run in doc["runs"]:
                if run["run_tag"] == tag and run.get("flame") and run["flame"].get("x_anchor") is not None:
                    return float(run["flame"]["x_anchor"])
        if self.configuration is not None:
            # the anchor as the run derives it, with the domain length of a snapshot of the tag
            for p in self.outputs.snapshots:
                if p.name[0] == tag:
                    length = float(read_snapshot(p)["x"][-1])
                    return anchor(self.configuration, length)
        return None


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
