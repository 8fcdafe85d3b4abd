"""fiamma-plot's figures: they show the data read, name each quantity with its
scaling, mark unsettled points and leave failed ones out, saying so."""

import shutil
import subprocess

import matplotlib.image
import numpy as np
import pandas as pd
import pytest

from conftest import ROOT, run
from fiamma import figures
from fiamma.catalog import Catalog
from fiamma.plot_command import history_figure, main, profiles_figure, sweep_figure
from fiamma.readers import read_analytic, read_history, read_snapshot, read_summary, read_sweep_table

PLOT = str(ROOT / "python" / "bin" / "fiamma-plot")


def panel(fig, quantity):
    """{label: line} of the one panel whose y label begins with the quantity's name."""
    (ax,) = [ax for ax in fig.axes if ax.get_ylabel().startswith(quantity)]
    return {line.get_label(): line for line in ax.get_lines()}


def test_profiles_overlaid_in_time_with_their_scaling(flame_dir):
    fig = profiles_figure(Catalog.of(flame_dir), "F")
    # 400 and 401 (the final snapshot) hold the same time: one curve, the final one's
    shown = [f"Fpr{s:06d}.dat" for s in (0, 200, 401)]
    for quantity, column in [("temperature th\n/ T_ref", "th"), ("density rho\n/ rho_ref", "rho"),
                             ("velocity v\n/ v_ref", "v"), ("fuel mass\nfraction y1", "y1"),
                             ("reaction rate ω\n/ (rho_ref/t_ref)", "wwx")]:
        lines = [line for label, line in panel(fig, quantity).items() if label.startswith("Fpr")]
        assert [line.get_label().split()[0] for line in lines] == shown
        for line, name in zip(lines, shown):
            assert np.array_equal(line.get_ydata(), read_snapshot(flame_dir / name)[column])
    assert fig.axes[-1].get_ylabel() == "time t / t_ref" and fig.axes[-2].get_xlabel() == "position x / x_ref"


def test_history_shows_the_burning_rate(flame_dir):
    h = read_history(flame_dir / "Fsf_delta.dat")
    flame = read_summary(flame_dir / "Fsummary.json")["runs"][0]["flame"]
    fig = history_figure(Catalog.of(flame_dir), "F")
    rates = panel(fig, "burning rate M")
    (numerical,) = [line for label, line in rates.items() if label.startswith("M_l_num = rho_in (w_in − s), numerical")]
    assert np.array_equal(numerical.get_xdata(), h["it"]) and fig.axes[-1].get_xlabel() == "step it"
    assert np.allclose(numerical.get_ydata(), flame["rho_in"] * (h["w_in"] - h["s"]), rtol=1e-15)
    assert numerical.get_ydata()[-1] == pytest.approx(flame["M_l_num"], rel=1e-13)  # the summary's own value
    assert np.allclose(rates["M_cons = rho_in s_cons, consumption"].get_ydata(), flame["rho_in"] * h["s_cons"])
    assert list(rates[f"M_l_ana = {flame['M_l_ana']:.6g}, analytic"].get_ydata()) == [flame["M_l_ana"]] * 2
    assert list(panel(fig, "front position")[f"anchor {flame['x_anchor']:.6g}"].get_ydata()) == [flame["x_anchor"]] * 2
    assert panel(fig, "window variance")["var"].axes.get_yscale() == "log"


def marks(ax):
    """(x of the filled markers, x of the open ones) of the numerical curve of a panel."""
    filled, hollow = [], []
    for line in ax.get_lines():
        if line.get_marker() == "o":
            (hollow if line.get_markerfacecolor() == "none" else filled).extend(line.get_xdata())
    return sorted(filled), sorted(hollow)


def test_sweep_figure_marks_unsettled_and_leaves_out_failed_steps(sweep_dir, fiamma_exe, tmp_path):
    # the resumed sweep: Le 0.9 of the first block takes fl_st (no summary holds it), made 1 here;
    # Le 1.0 the summary's settled (false), whatever its fl_st says
    cat, table = Catalog.of(sweep_dir), read_sweep_table(sweep_dir / "LandLe.dat")
    table["fl_st"] = 1
    fig = sweep_figure(cat, table)
    assert fig.axes[-1].get_xlabel() == "Lewis number Le (Le)"
    for ax in fig.axes:
        assert marks(ax) == ([0.9], [1.0])
    assert "not settled (open markers)" in [t.get_text() for t in fig.axes[0].get_legend().get_texts()]
    thickness = panel(fig, "thermal thickness")
    assert np.array_equal(thickness["d_l_ana = 1/M_l_ana, analytic"].get_ydata(), table["d_l_ana"].iloc[[0, 2]])
    assert np.array_equal(thickness["1/M_l_num, numerical"].get_ydata(), 1 / table["M_l_num"].iloc[[0, 2]])
    assert "steepest temperature gradient" in next(iter(panel(fig, "front thickness")))
    # a Damköhler sweep whose first step --until-settled caps unsettled (a row, an open marker) and whose second
    # goes non-finite: the failed step named, in the figure and on stderr
    d = tmp_path / "failed"
    shutil.copytree(ROOT / "examples" / "sweep", d)
    done = subprocess.run([fiamma_exe, "--until-settled"] + [a for s in ("it_end=200", "it_out=100", "sweep_count=2", "sweep_parameter=4",
                                                      "sweep_start=1e5", "sweep_end=1e9") for a in ("--set", s)],
                          cwd=d, capture_output=True, timeout=120)
    assert done.returncode == 4
    done = subprocess.run([PLOT, "-q", str(d)], capture_output=True, text=True, timeout=120)
    assert done.returncode == 0
    assert done.stderr == f"fiamma-plot: {d / 'LandDa.dat'}: not in the figure, failed: Dam = 5.0005e+08 (step 2: non_finite)\n"
    fig = sweep_figure(Catalog.of(d), read_sweep_table(d / "LandDa.dat"))
    assert [t.get_text() for t in fig.texts] == ["not shown, failed: Dam = 5.0005e+08 (step 2: non_finite)"]
    assert marks(fig.axes[0]) == ([], [1e5])


def test_campaign_figure_marks_unsettled_and_leaves_out_failed_points():
    names = ["Lewis", "n"]
    rows = [["1.2", "97", "0.9", "0.95", "0.9", "0", "", "6", "3.0"],   # capped unsettled by --until-settled
            ["0.8", "97", "0.8", "0.77", "0.8", "1", "", "0", "3.0"],   # settled
            ["1.0", "97", "0.0", "0.86", "", "", "", "4", "1.0"],       # non-finite: a rate of 0 not drawn
            ["1.0", "5", "", "", "", "", "", "2", "0.1"]]               # refused
    fig = figures.plot_campaign(names, rows)
    assert marks(fig.axes[0]) == ([0.8], [1.2])
    assert [line.get_label() for line in fig.axes[0].get_lines() if line.get_linestyle() == "-"] == ["M_l_num, numerical n=97"]
    assert fig.texts[0].get_text() == ("not shown, failed: Lewis=1.0, n=97 (exit status 4); "
                                       "Lewis=1.0, n=5 (exit status 2)")
    assert fig.axes[0].get_xlabel() == "Lewis number Le (Lewis)"


def test_comparison_figures(simple_wave_dir):
    an, snap = read_analytic(simple_wave_dir / "Wan00500.dat"), read_snapshot(simple_wave_dir / "Wpr000500.dat")
    fig = figures.plot_comparison(an, snap)
    for quantity, c in (("density", "rho"), ("velocity", "v"), ("temperature", "th")):
        lines = panel(fig, quantity)
        assert np.array_equal(lines["analytic"].get_ydata(), an[c])
        assert np.array_equal(lines["numerical"].get_ydata(), snap[c])


def test_command_writes_every_figure(all_run_dirs, tmp_path):
    expected = {
        "flame": ["Fpr_profiles", "Fsf_delta_history"] + [f"Fpr{s:06d}_profiles" for s in (0, 200, 400, 401)],
        "sweep": ["Apr_profiles", "Bpr_profiles", "Asf_delta_history", "Bsf_delta_history", "LandLe_sweep"],
        "simple_wave": ["Wpr_profiles"] + [f"Wan{s:05d}_compare" for s in (0, 500, 1000)],
    }
    for name, stems in expected.items():
        out = tmp_path / name
        options = ["--each-snapshot"] if name == "flame" else ["--last"]
        assert main(["--out", str(out), "-q", *options, str(all_run_dirs[name])]) == 0
        assert sorted(p.stem for p in (out / "figures").iterdir()) == sorted(stems)
        image = matplotlib.image.imread(out / "figures" / f"{stems[-1]}.png")
        assert image.shape[0] > 300 and image.shape[1] > 500 and image[..., :3].std() > 0.05
    assert main(["-q", str(tmp_path / "flame" / "figures")]) == 1  # no output of a run there


def test_outputs_under_the_prefixes_found_from_another_folder(fiamma_exe, tmp_path):
    d = tmp_path / "run"
    d.mkdir()
    shutil.copy(ROOT / "examples" / "flame" / "eulero_test.dat", d)
    (d / "out" / "deep").mkdir(parents=True)
    text = (d / "eulero_test.dat").read_text().splitlines()
    text[1] = "'out/deep/'"  # path_prefix_1 in the file, so that fiamma-plot reads it there
    (d / "eulero_test.dat").write_text("\n".join(text) + "\n")
    run(fiamma_exe, d, "it_end=100", "it_out=100")
    elsewhere = tmp_path / "elsewhere"
    elsewhere.mkdir()
    done = subprocess.run([PLOT, "--png", "--paraview", "../run"], cwd=elsewhere, capture_output=True, text=True, timeout=120)
    assert done.returncode == 0, done.stderr
    assert sorted(p.name for p in (d / "figures").iterdir()) == ["Fpr_profiles.png", "Fsf_delta_history.png"]
    assert (d / "paraview" / "Fpr.pvd").is_file()


def test_command_csv_reads_back_exactly(sweep_dir, tmp_path):
    done = subprocess.run([PLOT, "--csv", "--out", str(tmp_path), str(sweep_dir)], capture_output=True, text=True,
                          timeout=120, cwd=tmp_path)
    assert done.returncode == 0, done.stderr
    table = read_sweep_table(sweep_dir / "LandLe.dat").drop(columns=["line"])
    csv = pd.read_csv(tmp_path / "csv" / "LandLe.csv", float_precision="round_trip")
    pd.testing.assert_frame_equal(csv, table, check_dtype=False)


def test_command_reports_a_broken_file(flame_dir, tmp_path):
    d = tmp_path / "run"
    shutil.copytree(flame_dir, d)
    lines = (d / "Fsf_delta.dat").read_text().splitlines()
    lines[4] += " 7"
    (d / "Fsf_delta.dat").write_text("\n".join(lines) + "\n")
    done = subprocess.run([PLOT, "--csv", str(d)], capture_output=True, text=True, timeout=120)
    assert done.returncode == 2
    assert done.stderr == f"fiamma-plot: {d / 'Fsf_delta.dat'}: line 5: 17 values, the header names 16 columns\n"
