"""The run summary: a summary built from the documented keys, and real ones where the run wrote them."""

import copy
import json
import math
import shutil

import numpy as np

import pytest

from fiamma.catalog import Catalog
from fiamma.readers import (SUMMARY_FLAME_KEYS, kind_of, read_history, read_snapshot, read_summary,
                            read_sweep_table, summary_runs)
from fiamma.tecplot import FormatError


def contract_summary(run_dir, tag="F"):
    """A summary of a short flame run as the program documents it, built from the run's own files."""
    history = read_history(run_dir / f"{tag}sf_delta.dat")
    last = history.iloc[-1]
    files = []
    for p in sorted(run_dir.glob(f"{tag}pr*.dat")):
        step = int(p.stem[3:])
        files.append({"path": p.name, "kind": "snapshot", "step": step, "time": 0.125 * step, "sweep_step": None})
    files.append({"path": f"{tag}sf_delta.dat", "kind": "history", "step": None, "time": None, "sweep_step": None})
    files.append({"path": "post_dati.dat", "kind": "parameters", "step": None, "time": None, "sweep_step": None})
    rho_in = 116.66666666666667
    flame = {"x_m": last["x_m"], "s": last["s"], "del": last["del"], "w_in": last["w_in"],
             "s_cons": last["s_cons"], "var": last["var"], "x_anchor": 13.5, "rho_in": rho_in,
             "M_l_num": rho_in * (last["w_in"] - last["s"]), "M_l_ana": 0.86, "d_l_ana": 1.16,
             "M_cons": rho_in * last["s_cons"], "M_cons_relative_gap": None, "settled": False, "drift": None,
             "th_burnt": 899.9, "th_adiabatic": 900.0, "th_burnt_relative_gap": -1.1e-4}
    return {
        "format": "fiamma-summary", "format_version": 1, "program_version": "0.1.0",
        "end": "normal", "exit_status": 0, "message": "",
        "command_line": ["fiamma", "--set", "it_end=400"],
        "wall_time_s": 0.5, "steps_done": 400, "steps_per_second": 800.0, "simulated_time": 50.0,
        "configuration": {"run_tag": "F", "n": 257, "it_end": 400},
        "options": {"overrides": [["it_end", "400"]], "sweep_step": 0, "correction_tolerance": 1e-10,
                    "correction_relative": False},
        "sweep": None, "files": files,
        "runs": [{"sweep_step": 1, "run_tag": tag, "parameter_value": None, "it_start": 0, "it_end": 400,
                  "it_final": 401, "steps": 400, "time": 50.0, "end": "normal",
                  "correction": {"corrections": 1600, "iterations_mean": 3.5, "iterations_max": 7},
                  "flame": flame}],
    }


def test_contract_summary_reads_and_feeds_the_times(flame_dir, tmp_path):
    d = without_summaries(flame_dir, tmp_path)
    doc = contract_summary(d)
    (d / "Fsummary.json").write_text(json.dumps(doc, indent=2))
    s = read_summary(d / "Fsummary.json")
    assert s["runs"][0]["flame"]["drift"] is None and s["sweep"] is None
    runs = summary_runs(s)
    assert len(runs) == 1 and runs.loc[0, "run_tag"] == "F"
    assert runs.loc[0, "M_l_num"] == doc["runs"][0]["flame"]["M_l_num"] and math.isnan(runs.loc[0, "drift"])
    cat = Catalog.of(d)
    assert d / "Fsummary.json" in cat.outputs.summaries
    snap = read_snapshot(d / "Fpr000200.dat")
    assert cat.time_of(snap.path, snap.step, "F") == (25.0, "summary")
    assert cat.anchor_of("F") == 13.5


def without_summaries(run_dir, tmp_path):
    d = tmp_path / run_dir.name
    shutil.copytree(run_dir, d, ignore=shutil.ignore_patterns("*summary.json"))
    return d


def test_times_without_a_summary_come_from_the_history(flame_dir, tmp_path):
    real = flame_dir
    flame_dir = without_summaries(real, tmp_path)
    cat = Catalog.of(flame_dir)
    h = read_history(flame_dir / "Fsf_delta.dat")
    t_at = dict(zip(h["it"], h["t"]))
    assert cat.time_of(flame_dir / "Fpr000200.dat", 200, "F") == (t_at[200], "history")
    # the final snapshot, one past the last step, holds the state of the last step
    assert cat.time_of(flame_dir / "Fpr000401.dat", 401, "F") == (t_at[400], "history")
    t0, source = cat.time_of(flame_dir / "Fpr000000.dat", 0, "F")
    assert source == "history" and abs(t0) < 0.02 * t_at[50]
    # the anchor from the configuration: half the domain
    x = read_snapshot(flame_dir / "Fpr000000.dat")["x"]
    assert cat.anchor_of("F") == pytest.approx(0.5 * x[-1], rel=1e-15)
    # the program's own summary, when it writes one, gives the same times and anchor
    if list(real.glob("*summary.json")):
        with_summary = Catalog.of(real)
        for step in (200, 400, 401):
            assert with_summary.time_of(real / f"Fpr{step:06d}.dat", step, "F") == (
                cat.time_of(flame_dir / f"Fpr{step:06d}.dat", step, "F")[0], "summary")
        assert with_summary.anchor_of("F") == cat.anchor_of("F")


@pytest.mark.parametrize("drop", ["runs", "files", "end"])
def test_summary_missing_key_is_named(flame_dir, tmp_path, drop):
    doc = contract_summary(flame_dir)
    del doc[drop]
    path = tmp_path / "Fsummary.json"
    path.write_text(json.dumps(doc, indent=2))
    with pytest.raises(FormatError, match=rf"Fsummary.json: line 1: the summary lacks the key\(s\) {drop}"):
        read_summary(path)


def test_summary_missing_flame_key_is_named(flame_dir, tmp_path):
    doc = copy.deepcopy(contract_summary(flame_dir))
    del doc["runs"][0]["flame"]["M_l_num"]
    path = tmp_path / "Fsummary.json"
    text = json.dumps(doc, indent=2)
    path.write_text(text)
    with pytest.raises(FormatError) as err:
        read_summary(path)
    flame_line = text[:text.index('"flame"')].count("\n") + 1
    assert err.value.line == flame_line and "runs[0].flame lacks the key(s) M_l_num" in str(err.value)


# -- the summaries the program writes (once it writes them) --------------------------------


def _real_summaries(d):
    found = sorted(d.glob("*summary.json"))
    if not found:
        pytest.skip(f"{d}: this build writes no run summary")
    return [(p, read_summary(p)) for p in found]


def test_real_summary_of_a_flame(flame_dir):
    for path, doc in _real_summaries(flame_dir):
        assert doc["end"] == "normal" and doc["exit_status"] == 0
        for f in doc["files"]:
            assert (flame_dir / f["path"]).is_file()
            assert kind_of(f["path"]) == f["kind"] or f["kind"] == "resume_index"
        flame = doc["runs"][0]["flame"]
        assert set(SUMMARY_FLAME_KEYS) <= set(flame)
        last = read_history(flame_dir / "Fsf_delta.dat").iloc[-1]
        assert flame["x_m"] == last["x_m"] and flame["w_in"] == last["w_in"]
        assert flame["M_l_num"] == pytest.approx(flame["rho_in"] * (flame["w_in"] - flame["s"]), rel=1e-14)


def test_real_summary_of_a_sweep_matches_the_table(sweep_dir):
    table = read_sweep_table(sweep_dir / "LandLe.dat")
    for path, doc in _real_summaries(sweep_dir):
        for run in doc["runs"]:
            rows = table[np.isclose(table["Le"], run["parameter_value"], rtol=1e-15)]
            assert len(rows) >= 1
            assert run["flame"]["M_l_num"] == rows["M_l_num"].iloc[-1]
            assert run["flame"]["settled"] == bool(rows["fl_st"].iloc[-1])
