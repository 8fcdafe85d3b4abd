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
from fiamma.readers import read_analytic, read_history, read_snapshot, read_sweep_table

PLOT = str(ROOT / "python" / "bin" / "fiamma-plot")


def lines_of(fig, ylabel):
    """{label: line} of the one panel with that y label."""
    (ax,) = [ax for ax in fig.axes if ax.get_ylabel() == ylabel]
    return {line.get_label(): line for line in ax.get_lines()}


def test_profiles_and_history_figures_hold_the_data(flame_dir):
    snap = read_snapshot(flame_dir / "Fpr000400.dat")
    front, source = Catalog.of(flame_dir).front_of(snap)
    fig = figures.plot_profiles(snap, front, source)
    for c in ("th", "rho", "v", "y1", "wwx"):
        lines = lines_of(fig, c)
        assert np.array_equal(lines[c].get_xdata(), snap["x"]) and np.array_equal(lines[c].get_ydata(), snap[c])
        assert list(lines["front"].get_xdata()) == [front, front]
    # the front lies where the temperature rises
    assert 300 + 0.1 * 600 < np.interp(front, snap["x"], snap["th"]) < 300 + 0.9 * 600
    h = read_history(flame_dir / "Fsf_delta.dat")
    fig = figures.plot_history(h, anchor=13.9)
    for c in ("x_m", "s", "w_in", "s_cons", "var"):
        line = lines_of(fig, c)[c]
        assert np.array_equal(line.get_xdata(), h["it"]) and np.array_equal(line.get_ydata(), h[c])
    var = lines_of(fig, "var")
    assert fig.axes[-1].get_yscale() == "log" and list(var["settled: var <= 1e-12"].get_ydata()) == [1e-12] * 2
    assert list(lines_of(fig, "x_m")["anchor 13.9"].get_ydata()) == [13.9, 13.9]


def test_sweep_figure_marks_unsettled_rows(sweep_dir):
    table = read_sweep_table(sweep_dir / "LandLe.dat")
    table.loc[0, "fl_st"] = 1  # one settled row, to see the marks fall on the unsettled ones only
    fig = figures.plot_sweep(table)
    shown = table.iloc[[0, 2]]  # Le 0.9, and 1.0 from its last (resumed) row
    rate, thick = ({line.get_label(): line for line in ax.get_lines()} for ax in fig.axes)
    assert np.array_equal(rate["M_l_num (numerical)"].get_xdata(), shown["Le"])
    for lines, column, kind in [(rate, "M_l_num", "numerical"), (rate, "M_l_ana", "analytic"),
                                (thick, "del", "numerical"), (thick, "d_l_ana", "analytic")]:
        assert np.array_equal(lines[f"{column} ({kind})"].get_ydata(), shown[column])
    assert list(rate["not settled (fl_st 0)"].get_xdata()) == [1.0] and fig.axes[1].get_xlabel() == "Le"


def test_comparison_figures(simple_wave_dir, carried_dir):
    an, snap = read_analytic(simple_wave_dir / "Wan00500.dat"), read_snapshot(simple_wave_dir / "Wpr000500.dat")
    fig = figures.plot_comparison(an, snap)
    for c in ("rho", "v", "th"):
        lines = lines_of(fig, c)
        assert np.array_equal(lines["analytic"].get_ydata(), an[c])
        assert np.array_equal(lines["numerical"].get_ydata(), snap[c])
    an, snap = read_analytic(carried_dir / "Can00500.dat"), read_snapshot(carried_dir / "Cpr000500.dat")
    lines = lines_of(figures.plot_comparison(an, snap), "momentum rho*u (u2)")
    assert np.array_equal(lines["analytic"].get_ydata(), an["u2"])
    assert np.array_equal(lines["numerical"].get_ydata(), snap["rho"] * snap["v"])


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
        assert main(["--out", str(out), "-q", *(["--last"] if name != "flame" else []), str(all_run_dirs[name])]) == 0
        assert sorted(p.stem for p in (out / "figures").iterdir()) == sorted(stems)
        image = matplotlib.image.imread(out / "figures" / f"{stems[-1]}.png")
        assert image.shape[0] > 300 and image.shape[1] > 500 and image[..., :3].std() > 0.05
    assert main(["-q", str(tmp_path / "flame" / "figures")]) == 1  # no output of a run there


def test_command_csv_reads_back_exactly(sweep_dir, tmp_path):
    done = subprocess.run([PLOT, "--csv", "--out", str(tmp_path), str(sweep_dir)], capture_output=True, text=True,
                          timeout=120, cwd=tmp_path)
    assert done.returncode == 0, done.stderr
    table = read_sweep_table(sweep_dir / "LandLe.dat").drop(columns=["line"])
    csv = pd.read_csv(tmp_path / "csv" / "LandLe.csv", float_precision="round_trip")
    pd.testing.assert_frame_equal(csv, table, check_dtype=False)
    h = read_history(sweep_dir / "Bsf_delta.dat").drop(columns=["line"])
    csv = pd.read_csv(tmp_path / "csv" / "Bsf_delta.csv", float_precision="round_trip")
    assert list(csv.columns) == list(h.columns) and (csv.to_numpy() == h.to_numpy()).all()


def test_command_reports_a_broken_file(flame_dir, tmp_path):
    d = tmp_path / "run"
    shutil.copytree(flame_dir, d)
    lines = (d / "Fsf_delta.dat").read_text().splitlines()
    lines[4] += " 7"
    (d / "Fsf_delta.dat").write_text("\n".join(lines) + "\n")
    done = subprocess.run([PLOT, "--csv", str(d)], capture_output=True, text=True, timeout=120)
    assert done.returncode == 2
    assert done.stderr == f"fiamma-plot: {d / 'Fsf_delta.dat'}: line 5: 17 values, the header names 16 columns\n"
