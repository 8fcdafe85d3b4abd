"""PNG figures of a run's outputs (matplotlib, Agg backend: no display needed).

Each ``plot_*`` function returns the matplotlib Figure (so that its lines can
be inspected) and saves it when given a path. Axes name the quantity and its
scaling, in the solver's reference units (x_ref, t_ref, T_ref, rho_ref and
v_ref = x_ref/t_ref; the guide's "Units and scaling").
"""

from __future__ import annotations

import math
from pathlib import Path

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
import numpy as np  # noqa: E402

from .derived import SETTLED_VARIANCE  # noqa: E402
from .readers import Profile  # noqa: E402

LABEL = {
    "x": "position x / x_ref",
    "th": "temperature th\n/ T_ref",
    "rho": "density rho\n/ rho_ref",
    "v": "velocity v\n/ v_ref",
    "y1": "fuel mass\nfraction y1",
    "wwx": "reaction rate ω\n/ (rho_ref/t_ref)",
    "x_m": "front position\nx_m / x_ref",
    "s": "front speed\ns / v_ref",
    "w_in": "inflow velocity\nw_in / v_ref",
    "w_in-s": "flame speed\n(w_in − s) / v_ref",
    "M": "burning rate M\n/ (rho_ref v_ref)",
    "var": "window variance\nvar / v_ref²",
    "it": "step it",
    "t": "time t / t_ref",
}
PROFILE_COLUMNS = ["th", "rho", "v", "y1", "wwx"]
# the swept or varied quantity: sweep-table header names and configuration record names
PARAMETER = {
    "ga": "ratio of specific heats γ", "gamma": "ratio of specific heats γ", "Pr": "Prandtl number Pr",
    "Prandtl": "Prandtl number Pr", "Le": "Lewis number Le", "Lewis": "Lewis number Le",
    "Dam": "Damköhler number Da", "Damkohler": "Damköhler number Da", "Ze": "Zeldovich number Ze",
    "Zeldovich": "Zeldovich number Ze", "Ma": "Mach number", "Mach": "Mach number", "n_exp": "exponent n_exp",
    "or_re": "reaction order of the estimate ord_reaz", "equivalence_ratio": "equivalence ratio φ",
    "th_fr": "fresh temperature th_fresh / T_ref", "th_fresh": "fresh temperature th_fresh / T_ref",
    "y1_f": "fresh fuel mass fraction y1_fresh", "y1_fresh": "fresh fuel mass fraction y1_fresh",
}
CRITERION = {1: "steepest temperature gradient: (th(n) − th(1)) / max |dth/dx|",
             2: "distance between the 10 % and 90 % temperatures", 3: "width at a tenth of the peak reaction rate",
             4: "not measured: the domain length"}
UNSETTLED = "not settled (open markers)"
DPI = 100


def _layout(fig, title_lines=1, right=0.97):
    # fixed margins: tight_layout costs as much as drawing the figure
    height = fig.get_figheight()
    fig.subplots_adjust(left=0.16, right=right, bottom=0.55 / height, top=1 - (0.25 + 0.2 * title_lines) / height,
                        hspace=0.15)


def save(fig, path):
    if path is not None:
        path = Path(path)
        path.parent.mkdir(parents=True, exist_ok=True)
        fig.savefig(path, dpi=DPI)
    return fig


def _panels(count, height=1.7):
    fig, axes = plt.subplots(count, 1, sharex=True, figsize=(7.5, height * count + 0.9))
    axes = np.atleast_1d(axes)
    for ax in axes:
        ax.grid(alpha=0.3)
    return fig, axes


def _ylabel(ax, text):
    ax.set_ylabel(text, fontsize=9)


def plot_profiles(profile: Profile, front: float | None = None, front_source: str = "",
                  time: float | None = None, path=None):
    """th, rho, v, y1 and wwx of one snapshot against x, the front marked by a dashed line."""
    columns = [c for c in PROFILE_COLUMNS if c in profile]
    fig, axes = _panels(len(columns))
    x = profile["x"]
    for ax, c in zip(axes, columns):
        ax.plot(x, profile[c], color="C0", lw=1.4, label=c)
        _ylabel(ax, LABEL[c])
        if front is not None:
            ax.axvline(front, color="C3", ls="--", lw=1.0, label="front")
    axes[-1].set_xlabel(LABEL["x"])
    title = profile.path.name
    if profile.step is not None:
        title += f"   step {profile.step}"
    if time is not None:
        title += f"   t = {time:.6g} t_ref"
    if front is not None:
        title += f"\nfront x_m = {front:.6g} x_ref ({front_source})"
    axes[0].set_title(title, fontsize=10)
    _layout(fig, title.count("\n") + 1)
    return save(fig, path)


def plot_profiles_in_time(profiles, times, time_label: str = LABEL["t"], front: float | None = None,
                          title: str = "", path=None):
    """The snapshots of one run overlaid, th, rho, v, y1 and wwx against x,
    each coloured by its time (``times``, in the order of ``profiles``) on one
    colour bar; the front of the last snapshot dashed."""
    profiles, times = list(profiles), np.asarray(times, dtype=float)
    columns = [c for c in PROFILE_COLUMNS if c in profiles[0]]
    fig, axes = _panels(len(columns))
    lo, hi = (float(times.min()), float(times.max())) if len(times) else (0.0, 1.0)
    norm = matplotlib.colors.Normalize(lo, hi if hi > lo else lo + 1.0)
    cmap = matplotlib.colormaps["viridis"]
    for ax, c in zip(axes, columns):
        for prof, t in zip(profiles, times):
            ax.plot(prof["x"], prof[c], color=cmap(norm(t)), lw=1.2, label=f"{prof.path.name} t={t:.6g}")
        if front is not None:
            ax.axvline(front, color="C3", ls="--", lw=1.0, label="front of the last snapshot")
        _ylabel(ax, LABEL[c])
    axes[-1].set_xlabel(LABEL["x"])
    axes[0].set_title(title or f"{len(profiles)} snapshots, coloured by time", fontsize=10)
    _layout(fig, right=0.86)
    box = axes[0].get_position()
    bar_ax = fig.add_axes([0.88, axes[-1].get_position().y0, 0.025, box.y1 - axes[-1].get_position().y0])
    fig.colorbar(matplotlib.cm.ScalarMappable(norm=norm, cmap=cmap), cax=bar_ax, label=time_label)
    return save(fig, path)


def plot_history(history, anchor: float | None = None, title: str = "", rho_in: float | None = None,
                 M_l_ana: float | None = None, path=None):
    """Against the step: x_m with the anchor, s, w_in, the burning rate, and
    var on a log axis with the sweep table's threshold 1e-12. One line per header block.

    The burning rate is M_l_num = rho_in·(w_in − s) and the consumption rate
    M_cons = rho_in·s_cons of every record (rho_in: the history's ``rho_ing``
    column, else the value given), with the analytic M_l_ana; without an
    inflow density the panel shows the flame speed w_in − s."""
    panels = [c for c in ("x_m", "s", "w_in") if c in history] + ["M"] + (["var"] if "var" in history else [])
    fig, axes = _panels(len(panels))
    blocks = sorted(history["block"].unique()) if "block" in history else [None]
    density = history["rho_ing"].to_numpy() if "rho_ing" in history else rho_in
    for ax, c in zip(axes, panels):
        for b in blocks:
            part = history if b is None else history[history["block"] == b]
            it = part["it"].to_numpy()
            suffix = "" if len(blocks) == 1 else f" (block {b})"
            rho = density[part.index.to_numpy()] if isinstance(density, np.ndarray) else density
            if c != "M":
                ax.plot(it, part[c].to_numpy(), lw=1.2, label=c + suffix)
            elif rho is None:
                ax.plot(it, (part["w_in"] - part["s"]).to_numpy(), lw=1.2, label="w_in − s" + suffix)
            else:
                rate = rho * (part["w_in"] - part["s"]).to_numpy()
                ax.plot(it, rate, lw=1.4, label=f"M_l_num = rho_in (w_in − s), numerical: last {rate[-1]:.6g}" + suffix)
                if "s_cons" in part:
                    ax.plot(it, rho * part["s_cons"].to_numpy(), lw=1.0, ls=":", color="C2",
                            label="M_cons = rho_in s_cons, consumption" + suffix)
        _ylabel(ax, LABEL["w_in-s" if c == "M" and density is None else c])
        if c == "x_m" and anchor is not None:
            ax.axhline(anchor, color="C3", ls="--", lw=1.0, label=f"anchor {anchor:.6g}")
        if c == "M" and M_l_ana is not None and density is not None:
            ax.axhline(M_l_ana, color="C1", ls="--", lw=1.2, label=f"M_l_ana = {M_l_ana:.6g}, analytic")
        if c == "var":
            ax.set_yscale("log")
            ax.axhline(SETTLED_VARIANCE, color="C2", ls="--", lw=1.0, label="sweep table's fl_st 1: var ≤ 1e-12")
        if c == "M":
            _late_range(ax, it)
        if c in ("x_m", "M", "var"):
            ax.legend(fontsize=7, loc="best")
    axes[-1].set_xlabel(LABEL["it"])
    axes[0].set_title(title or "front history", fontsize=10)
    _layout(fig)
    return save(fig, path)


def _late_range(ax, it):
    """y limits around the second half of the run and the horizontal lines,
    when the early transient spans five times as much: the settled value
    stays readable (the transient leaves the axis; its lines are whole)."""
    if len(it) < 4:
        return
    half = it[len(it) // 2]
    late = [np.asarray(line.get_ydata(), float)[np.asarray(line.get_xdata()) >= half] if len(line.get_xdata()) > 2
            else np.asarray(line.get_ydata(), float) for line in ax.get_lines()]  # a horizontal line: whole
    late = np.concatenate(late)
    late = late[np.isfinite(late)]
    lo, hi = ax.get_ylim()
    if late.size and (hi - lo) > 5 * max(late.max() - late.min(), 1e-3 * abs(late).max()):
        pad = max(late.max() - late.min(), 0.05 * abs(late).max())
        ax.set_ylim(late.min() - pad, late.max() + pad)
        ax.text(0.99, 0.04, "early transient off the axis", transform=ax.transAxes, fontsize=7, color="0.4",
                ha="right")


def _note(fig, omitted):
    if omitted:
        fig.text(0.01, 0.005, "not shown, failed: " + "; ".join(omitted), fontsize=7, color="C3", va="bottom")


def _marked(ax, x, y, settled, colour, label):
    """A line through the points, filled markers where settled, open where not."""
    x, y, settled = np.asarray(x, float), np.asarray(y, float), np.asarray(settled, bool)
    ax.plot(x, y, "-", color=colour, lw=1.2, label=label)
    ax.plot(x[settled], y[settled], "o", color=colour, ms=6, label="_settled")
    if (~settled).any():
        ax.plot(x[~settled], y[~settled], "o", color=colour, mfc="none", mew=1.5, ms=7, label=UNSETTLED)


def sweep_points(table):
    """The rows a sweep figure shows: sorted by the swept value; a value that
    appears in several blocks (a step run again) is shown once, from its last row."""
    p = table.attrs.get("parameter", table.columns[0])
    return table.drop_duplicates(subset=[p], keep="last").sort_values(p, kind="stable")


def plot_sweep(table, settled=None, failed=(), criterion: int | None = None, path=None):
    """Burning rate, diffusive thickness 1/M and measured front thickness
    against the swept parameter, numerical against analytic.

    ``settled``: one flag per row of the table (default: its ``fl_st``);
    unsettled points get open markers. ``failed``: texts naming the steps
    that ended without a row, noted under the figure. The thickness ``del``
    the tracker measures (by ``criterion``) and the analytic thermal
    thickness ``d_l_ana`` = 1/M_l_ana are different quantities: the figure
    sets d_l_ana beside 1/M_l_num and shows del in a panel of its own."""
    p = table.attrs.get("parameter", table.columns[0])
    flags = table["fl_st"].to_numpy() == 1 if settled is None else np.asarray(settled, bool)
    rows = sweep_points(table)
    ok = flags[rows.index.to_numpy()]
    x = rows[p].to_numpy()
    fig, axes = _panels(3, 1.9)
    _marked(axes[0], x, rows["M_l_num"], ok, "C0", "M_l_num = rho_in (w_in − s), numerical")
    axes[0].plot(x, rows["M_l_ana"].to_numpy(), "s--", color="C1", ms=5, label="M_l_ana, analytic")
    _ylabel(axes[0], LABEL["M"])
    with np.errstate(divide="ignore"):
        _marked(axes[1], x, 1.0 / rows["M_l_num"].to_numpy(), ok, "C0", "1/M_l_num, numerical")
    axes[1].plot(x, rows["d_l_ana"].to_numpy(), "s--", color="C1", ms=5, label="d_l_ana = 1/M_l_ana, analytic")
    _ylabel(axes[1], "thermal thickness\n1/M / x_ref")
    how = CRITERION.get(criterion, "by the tracker's front_criterion")
    _marked(axes[2], x, rows["del"], ok, "C2", f"del: front thickness measured by the tracker\n({how})")
    _ylabel(axes[2], "front thickness\ndel / x_ref")
    for ax in axes:
        ax.legend(fontsize=7, loc="best")
    axes[-1].set_xlabel(f"{PARAMETER.get(p, p)} ({p})")
    name = Path(table.attrs.get("path", "")).name
    axes[0].set_title(f"{name}: sweep of {PARAMETER.get(p, p)}", fontsize=10)
    _layout(fig)
    _note(fig, list(failed))
    return save(fig, path)


def _number(text):
    try:
        return float(text)
    except (TypeError, ValueError):
        return math.nan


def campaign_points(names, rows):
    """(shown rows, failed texts): a point whose run failed (exit status not 0)
    or has no burning rate is left out and named."""
    shown, failed = [], []
    for row in rows:
        status, rate = row[len(names) + 5], _number(row[len(names)])
        if str(status) != "0" or not math.isfinite(rate):
            values = ", ".join("%s=%s" % nv for nv in zip(names, row))
            failed.append(f"{values} (exit status {status or 'none'})")
        else:
            shown.append(row)
    return shown, failed


def plot_campaign(names, rows, path=None):
    """Burning rate against the first varied record, one colour per value of
    the others: measured (solid, open markers where not settled) and analytic
    (dashed). ``rows``: the campaign table's rows (varied values, M_l_num,
    M_l_ana, M_cons, settled, drift, exit_status, wall_time_s, as texts);
    failed points are left out and named under the figure."""
    shown, failed = campaign_points(names, rows)
    fig, ax = plt.subplots(figsize=(7, 4.6))
    ax.grid(alpha=0.3)
    groups = {}
    for row in shown:
        groups.setdefault(tuple(row[1:len(names)]), []).append(row)
    for k, (rest, group) in enumerate(sorted(groups.items())):
        group.sort(key=lambda r: _number(r[0]))
        label = ", ".join("%s=%s" % nv for nv in zip(names[1:], rest))
        colour = f"C{k % 10}"
        x = [_number(r[0]) for r in group]
        _marked(ax, x, [_number(r[len(names)]) for r in group], [r[len(names) + 3] == "1" for r in group], colour,
                ("M_l_num, numerical " + label).strip())
        ax.plot(x, [_number(r[len(names) + 1]) for r in group], "s--", color=colour, alpha=0.7, ms=4,
                label=("M_l_ana, analytic " + label).strip())
    handles, labels = ax.get_legend_handles_labels()
    keep = {}
    for h, lab in zip(handles, labels):
        keep.setdefault(lab, h)  # one legend entry for the open markers of every curve
    if keep:
        ax.legend(keep.values(), keep.keys(), fontsize=7)
    ax.set_xlabel(f"{PARAMETER.get(names[0], names[0])} ({names[0]})")
    _ylabel(ax, LABEL["M"].replace("\n", " "))
    ax.set_title("campaign: burning rate", fontsize=10)
    fig.subplots_adjust(left=0.12, right=0.97, bottom=0.16, top=0.92)
    _note(fig, failed)
    return save(fig, path)


def comparison_columns(analytic: Profile):
    """(analytic column, snapshot column or None, label) pairs a comparison shows."""
    if analytic.layout == "carried_profile":
        return [("u1", "rho", "density rho (u1)"), ("u2", "rho*v", "momentum rho·u (u2)"),
                ("u3", None, "energy rho·E (u3)")]
    return [("rho", "rho", "density rho"), ("v", "v", "velocity v"), ("th", "th", "temperature th")]


def snapshot_column(snapshot: Profile, name: str):
    if name == "rho*v":
        return snapshot["rho"] * snapshot["v"]
    return snapshot[name]


def plot_comparison(analytic: Profile, snapshot: Profile | None = None, time: float | None = None, path=None):
    """The analytic reference solution (line) against the snapshot of the same
    step (dots), column by column, in the reference state's units."""
    pairs = comparison_columns(analytic)
    fig, axes = _panels(len(pairs), 1.9)
    for ax, (a_col, s_col, label) in zip(axes, pairs):
        ax.plot(analytic["x"], analytic[a_col], color="C1", lw=1.5, label="analytic")
        if snapshot is not None and s_col is not None:
            ax.plot(snapshot["x"], snapshot_column(snapshot, s_col), ".", color="C0", ms=4, label="numerical")
        _ylabel(ax, label)
        ax.legend(fontsize=8)
    axes[-1].set_xlabel(LABEL["x"])
    title = analytic.path.name + (f" against {snapshot.path.name}" if snapshot is not None else "")
    if time is not None:
        title += f"   t = {time:.6g}"
    axes[0].set_title(title, fontsize=10)
    _layout(fig)
    return save(fig, path)
