"""PNG figures of a run's outputs (matplotlib, Agg backend: no display needed).

Each ``plot_*`` function returns the matplotlib Figure (so that its lines can
be inspected) and saves it when given a path. Every panel's y label is the
column it shows.
"""

from __future__ import annotations

from pathlib import Path

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
import numpy as np  # noqa: E402

from .derived import SETTLED_VARIANCE  # noqa: E402
from .readers import Profile  # noqa: E402

PROFILE_COLUMNS = ["th", "rho", "v", "y1", "wwx"]
PROFILE_MEANING = {"th": "temperature th", "rho": "density rho", "v": "velocity v",
                   "y1": "fuel mass fraction y1", "wwx": "reaction rate wwx"}
HISTORY_COLUMNS = ["x_m", "s", "w_in", "s_cons", "var"]
DPI = 100


def _layout(fig, title_lines=1):
    # fixed margins: tight_layout costs as much as drawing the figure
    height = fig.get_figheight()
    fig.subplots_adjust(left=0.13, right=0.97, bottom=0.55 / height, top=1 - (0.25 + 0.2 * title_lines) / height,
                        hspace=0.12)


def _save(fig, path):
    if path is not None:
        path = Path(path)
        path.parent.mkdir(parents=True, exist_ok=True)
        fig.savefig(path, dpi=DPI)
    return fig


def plot_profiles(profile: Profile, front: float | None = None, front_source: str = "",
                  time: float | None = None, path=None):
    """th, rho, v, y1 and wwx of a snapshot against x, the front marked by a dashed line."""
    columns = [c for c in PROFILE_COLUMNS if c in profile]
    fig, axes = plt.subplots(len(columns), 1, sharex=True, figsize=(7, 1.7 * len(columns) + 0.8))
    axes = np.atleast_1d(axes)
    x = profile["x"]
    for ax, c in zip(axes, columns):
        ax.plot(x, profile[c], color="C0", lw=1.4, label=c)
        ax.set_ylabel(c)
        ax.grid(alpha=0.3)
        if front is not None:
            ax.axvline(front, color="C3", ls="--", lw=1.0, label="front")
    axes[-1].set_xlabel("x")
    title = profile.path.name
    if profile.step is not None:
        title += f"   step {profile.step}"
    if time is not None:
        title += f"   t = {time:.6g}"
    if front is not None:
        title += f"\nfront x = {front:.6g} ({front_source})"
    axes[0].set_title(title, fontsize=10)
    _layout(fig, title.count("\n") + 1)
    return _save(fig, path)


def plot_history(history, anchor: float | None = None, title: str = "", path=None):
    """x_m (with the anchor), s, w_in, s_cons, and var on a log axis with the
    settled threshold 1e-12, against the step. One line per header block."""
    columns = [c for c in HISTORY_COLUMNS if c in history]
    fig, axes = plt.subplots(len(columns), 1, sharex=True, figsize=(7, 1.7 * len(columns) + 0.8))
    axes = np.atleast_1d(axes)
    blocks = sorted(history["block"].unique()) if "block" in history else [None]
    for ax, c in zip(axes, columns):
        for b in blocks:
            part = history if b is None else history[history["block"] == b]
            label = c if len(blocks) == 1 else f"{c} (block {b})"
            ax.plot(part["it"].to_numpy(), part[c].to_numpy(), lw=1.2, label=label)
        ax.set_ylabel(c)
        ax.grid(alpha=0.3)
        if c == "x_m" and anchor is not None:
            ax.axhline(anchor, color="C3", ls="--", lw=1.0, label=f"anchor {anchor:.6g}")
            ax.legend(fontsize=8, loc="best")
        if c == "var":
            ax.set_yscale("log")
            ax.axhline(SETTLED_VARIANCE, color="C2", ls="--", lw=1.0, label="settled: var <= 1e-12")
            ax.legend(fontsize=8, loc="best")
    axes[-1].set_xlabel("step it")
    axes[0].set_title(title or "front history", fontsize=10)
    _layout(fig)
    return _save(fig, path)


def sweep_points(table):
    """The rows a sweep figure shows: sorted by the swept value; a value that
    appears in several blocks (a step run again) is shown once, from its last row."""
    p = table.attrs.get("parameter", table.columns[0])
    return table.drop_duplicates(subset=[p], keep="last").sort_values(p, kind="stable")


def plot_sweep(table, path=None):
    """Numerical and analytic burning rate and thickness against the swept
    parameter; the rows whose flame did not settle (fl_st 0) marked by a red cross."""
    p = table.attrs.get("parameter", table.columns[0])
    rows = sweep_points(table)
    x = rows[p].to_numpy()
    unsettled = rows["fl_st"].to_numpy() == 0
    fig, axes = plt.subplots(2, 1, sharex=True, figsize=(7, 5.5))
    for ax, (num, ana, label) in zip(axes, [("M_l_num", "M_l_ana", "burning rate"),
                                            ("del", "d_l_ana", "thickness")]):
        ax.plot(x, rows[num].to_numpy(), "o-", color="C0", label=f"{num} (numerical)")
        ax.plot(x, rows[ana].to_numpy(), "s--", color="C1", label=f"{ana} (analytic)")
        if unsettled.any():
            ax.plot(x[unsettled], rows[num].to_numpy()[unsettled], "x", color="C3", ms=12, mew=2,
                    label="not settled (fl_st 0)")
        ax.set_ylabel(f"{label}: {num}, {ana}")
        ax.grid(alpha=0.3)
        ax.legend(fontsize=8)
    axes[-1].set_xlabel(p)
    name = Path(table.attrs.get("path", "")).name
    axes[0].set_title(f"{name}: sweep of {p}", fontsize=10)
    _layout(fig)
    return _save(fig, path)


def comparison_columns(analytic: Profile):
    """(analytic column, snapshot column or None, label) pairs a comparison shows."""
    if analytic.layout == "carried_profile":
        return [("u1", "rho", "rho (u1)"), ("u2", "rho*v", "momentum rho*u (u2)"), ("u3", None, "rho*E (u3)")]
    return [("rho", "rho", "rho"), ("v", "v", "v"), ("th", "th", "th")]


def snapshot_column(snapshot: Profile, name: str):
    if name == "rho*v":
        return snapshot["rho"] * snapshot["v"]
    return snapshot[name]


def plot_comparison(analytic: Profile, snapshot: Profile | None = None, time: float | None = None, path=None):
    """The analytic reference solution (line) against the snapshot of the same
    step (dots), column by column."""
    pairs = comparison_columns(analytic)
    fig, axes = plt.subplots(len(pairs), 1, sharex=True, figsize=(7, 1.9 * len(pairs) + 0.8))
    for ax, (a_col, s_col, label) in zip(axes, pairs):
        ax.plot(analytic["x"], analytic[a_col], color="C1", lw=1.5, label="analytic")
        if snapshot is not None and s_col is not None:
            ax.plot(snapshot["x"], snapshot_column(snapshot, s_col), ".", color="C0", ms=4, label="numerical")
        ax.set_ylabel(label)
        ax.grid(alpha=0.3)
        ax.legend(fontsize=8)
    axes[-1].set_xlabel("x")
    title = analytic.path.name + (f" against {snapshot.path.name}" if snapshot is not None else "")
    if time is not None:
        title += f"   t = {time:.6g}"
    axes[0].set_title(title, fontsize=10)
    _layout(fig)
    return _save(fig, path)
