"""The run summary against the files it describes, and the times, fronts and anchors the catalog ties together."""

import numpy as np
import pytest

from conftest import without_summaries
from fiamma.catalog import Catalog
from fiamma.readers import kind_of, read_history, read_snapshot, read_summary, summary_runs


def test_summary_of_a_flame_agrees_with_its_files(flame_dir):
    doc = read_summary(flame_dir / "Fsummary.json")
    assert (doc["end"], doc["exit_status"], doc["sweep"]) == ("normal", 0, None)
    for f in doc["files"]:
        assert (flame_dir / f["path"]).is_file() and kind_of(f["path"]) == f["kind"], f
    runs = summary_runs(doc)
    assert (len(doc["files"]), len(runs), runs.loc[0, "run_tag"]) == (7, 1, "F")
    assert runs.loc[0, "M_l_num"] == doc["runs"][0]["flame"]["M_l_num"]


def test_anchor_from_the_summary_else_from_the_configuration(flame_dir, tmp_path):
    # the times are checked through the .pvd files (test_paraview), with and without the summary
    bare, length = Catalog.of(without_summaries(flame_dir, tmp_path)), read_snapshot(flame_dir / "Fpr000000.dat")["x"][-1]
    assert bare.anchor_of("F") == Catalog.of(flame_dir).anchor_of("F") == pytest.approx(0.5 * length, rel=1e-15)
    assert bare.time_of(bare.directory / "Fpr000401.dat", 401, "F") == (bare.histories["F"]["t"].iloc[-1], "history")


def test_front_from_the_history_else_the_steepest_gradient(flame_dir):
    cat = Catalog.of(flame_dir)
    snap = read_snapshot(flame_dir / "Fpr000400.dat")
    h = read_history(flame_dir / "Fsf_delta.dat")
    assert cat.front_of(snap) == (h.loc[h["it"] == 400, "x_m"].item(), "history")
    snap.tag = "?"  # no history of that tag
    front, source = cat.front_of(snap)
    k = np.argmax(np.abs(np.diff(snap["th"])))
    assert (front, source) == (0.5 * (snap["x"][k] + snap["x"][k + 1]), "steepest gradient")
    assert abs(front - h["x_m"].iloc[-1]) < 2 * snap["x"][1]
