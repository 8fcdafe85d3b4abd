"""fiamma-plot: every figure renders from the files a run wrote and shows the data read."""

import shutil
import subprocess

import matplotlib.image
import numpy as np
import pandas as pd

from conftest import ROOT
from fiamma import figures
from fiamma.catalog import Catalog
from fiamma.plot_command import main
from fiamma.derived import SETTLED_VARIANCE
from fiamma.readers import (read_analytic, read_history, read_snapshot, read_sweep_table)


def axis(fig, ylabel):
    found = [ax for ax in fig.axes if ax.get_ylabel() == ylabel]
    assert len(found) == 1, (ylabel, [ax.get_ylabel() for ax in fig.axes])
    return found[0]


def data_lines(ax):
    """Lines that carry data (not the vertical or horizontal markers)."""
    return [l for l in ax.get_lines() if l.get_label() not in ("front",) and not l.get_label().startswith(("anchor", "settled"))]


def test_profiles_figure_holds_the_snapshot(flame_dir):
    snap = read_snapshot(flame_dir / "Fpr000400.dat")
    cat = Catalog.of(flame_dir)
    front, source = cat.front_of(snap)
    h = read_history(flame_dir / "Fsf_delta.dat")
    assert source == "history" and front == h.loc[h["it"] == 400, "x_m"].item()
    fig = figures.plot_profiles(snap, front, source)
    for c in ("th", "rho", "v", "y1", "wwx"):
        ax = axis(fig, c)
        (line,) = data_lines(ax)
        assert np.array_equal(line.get_xdata(), snap["x"]) and np.array_equal(line.get_ydata(), snap[c])
        (mark,) = [l for l in ax.get_lines() if l.get_label() == "front"]
        assert list(mark.get_xdata()) == [front, front]
    # the front lies where the temperature rises
    assert snap["th"][0] + 0.1 * 600 < np.interp(front, snap["x"], snap["th"]) < snap["th"][0] + 0.9 * 600


def test_front_falls_back_to_the_steepest_gradient(simple_wave_dir, flame_dir):
    snap = read_snapshot(flame_dir / "Fpr000400.dat")
    snap.tag = "?"  # no history of that tag
    front, source = Catalog.of(flame_dir).front_of(snap)
    assert source == "steepest gradient"
    k = np.argmax(np.abs(np.diff(snap["th"])))
    assert front == 0.5 * (snap["x"][k] + snap["x"][k + 1])
    h = read_history(flame_dir / "Fsf_delta.dat")
    assert abs(front - h["x_m"].iloc[-1]) < 2 * snap["x"][1]


def test_history_figure_holds_the_records(flame_dir):
    h = read_history(flame_dir / "Fsf_delta.dat")
    fig = figures.plot_history(h, anchor=13.9)
    for c in ("x_m", "s", "w_in", "s_cons", "var"):
        (line,) = data_lines(axis(fig, c))
        assert np.array_equal(line.get_xdata(), h["it"]) and np.array_equal(line.get_ydata(), h[c])
    assert axis(fig, "var").get_yscale() == "log"
    (threshold,) = [l for l in axis(fig, "var").get_lines() if l.get_label().startswith("settled")]
    assert list(threshold.get_ydata()) == [SETTLED_VARIANCE, SETTLED_VARIANCE]
    (anchor,) = [l for l in axis(fig, "x_m").get_lines() if l.get_label().startswith("anchor")]
    assert list(anchor.get_ydata()) == [13.9, 13.9]


def test_sweep_figure_marks_unsettled_rows(sweep_dir, tmp_path):
    table = read_sweep_table(sweep_dir / "LandLe.dat")
    # one settled row, to see the marks fall on the unsettled ones only
    table.loc[0, "fl_st"] = 1
    fig = figures.plot_sweep(table)
    shown = table.iloc[[0, 2]]  # Le 0.9, and 1.0 from its last (resumed) row
    rate = fig.axes[0]
    lines = {l.get_label(): l for l in rate.get_lines()}
    assert np.array_equal(lines["M_l_num (numerical)"].get_xdata(), shown["Le"])
    assert np.array_equal(lines["M_l_num (numerical)"].get_ydata(), shown["M_l_num"])
    assert np.array_equal(lines["M_l_ana (analytic)"].get_ydata(), shown["M_l_ana"])
    assert list(lines["not settled (fl_st 0)"].get_xdata()) == [1.0]
    thick = {l.get_label(): l for l in fig.axes[1].get_lines()}
    assert np.array_equal(thick["del (numerical)"].get_ydata(), shown["del"])
    assert np.array_equal(thick["d_l_ana (analytic)"].get_ydata(), shown["d_l_ana"])
    assert fig.axes[1].get_xlabel() == "Le"


def test_comparison_figures(simple_wave_dir, carried_dir):
    an = read_analytic(simple_wave_dir / "Wan00500.dat")
    snap = read_snapshot(simple_wave_dir / "Wpr000500.dat")
    fig = figures.plot_comparison(an, snap)
    for c in ("rho", "v", "th"):
        ana, num = axis(fig, c).get_lines()
        assert np.array_equal(ana.get_ydata(), an[c]) and np.array_equal(num.get_ydata(), snap[c])
    an5 = read_analytic(carried_dir / "Can00500.dat")
    snap5 = read_snapshot(carried_dir / "Cpr000500.dat")
    fig = figures.plot_comparison(an5, snap5)
    ana, num = axis(fig, "momentum rho*u (u2)").get_lines()
    assert np.array_equal(ana.get_ydata(), an5["u2"])
    assert np.array_equal(num.get_ydata(), snap5["rho"] * snap5["v"])


def test_command_writes_every_figure(all_run_dirs, tmp_path):
    expected = {
        "flame": ["Fpr000000_profiles", "Fpr000200_profiles", "Fpr000400_profiles", "Fpr000401_profiles",
                  "Fsf_delta_history"],
        "sweep": ["Apr000201_profiles", "Bpr000201_profiles", "Asf_delta_history", "Bsf_delta_history",
                  "LandLe_sweep"],
        "simple_wave": ["Wpr001001_profiles"] + [f"Wan{s:05d}_compare" for s in (0, 500, 1000)],
    }
    for name, stems in expected.items():
        out = tmp_path / name
        last = ["--last"] if name != "flame" else []
        assert main(["--out", str(out), "-q", *last, str(all_run_dirs[name])]) == 0
        written = sorted(p.stem for p in (out / "figures").iterdir())
        assert written == sorted(stems)
        image = matplotlib.image.imread(out / "figures" / f"{stems[-1]}.png")
        assert image.shape[0] > 300 and image.shape[1] > 500 and image[..., :3].std() > 0.05


def test_command_from_a_fresh_checkout_csv(sweep_dir, tmp_path):
    """The documented command, run as a program: CSV tables that pandas reads back exactly."""
    done = subprocess.run([str(ROOT / "python" / "bin" / "fiamma-plot"), "--csv", "--out", str(tmp_path),
                           str(sweep_dir)], capture_output=True, text=True, timeout=120, cwd=tmp_path)
    assert done.returncode == 0, done.stderr
    table = read_sweep_table(sweep_dir / "LandLe.dat")
    csv = pd.read_csv(tmp_path / "csv" / "LandLe.csv", float_precision="round_trip")
    assert list(csv.columns) == list(table.columns.drop("line"))
    pd.testing.assert_frame_equal(csv, table.drop(columns=["line"]), check_dtype=False)
    h = read_history(sweep_dir / "Bsf_delta.dat")
    csv = pd.read_csv(tmp_path / "csv" / "Bsf_delta.csv", float_precision="round_trip")
    assert (csv.to_numpy() == h.drop(columns=["line"]).to_numpy()).all()
    assert (tmp_path / "csv" / "LandLe.csv").read_text().count("M_l_num") == 1


def test_command_reports_a_broken_file(flame_dir, tmp_path):
    d = tmp_path / "run"
    shutil.copytree(flame_dir, d)
    lines = (d / "Fsf_delta.dat").read_text().splitlines()
    lines[4] = lines[4] + " 7"
    (d / "Fsf_delta.dat").write_text("\n".join(lines) + "\n")
    done = subprocess.run([str(ROOT / "python" / "bin" / "fiamma-plot"), "--csv", str(d)],
                          capture_output=True, text=True, timeout=120)
    assert done.returncode == 2
    assert done.stderr == f"fiamma-plot: {d / 'Fsf_delta.dat'}: line 5: 17 values, the header names 16 columns\n"


def test_empty_directory(tmp_path):
    assert main(["-q", str(tmp_path)]) == 1
