"""ParaView files: VTK's own XML reader gets back the Tecplot text's numbers; the .pvd lists files and times."""

import json
import pytest
import xml.etree.ElementTree as ET

import numpy as np
from vtkmodules.util.numpy_support import vtk_to_numpy
from vtkmodules.vtkIOXML import vtkXMLRectilinearGridReader

from fiamma.plot_command import main
from fiamma.readers import read_analytic, read_history, read_snapshot
from fiamma.tecplot import parse_number
from test_summary import contract_summary, without_summaries


def load_vtr(path):
    reader = vtkXMLRectilinearGridReader()
    reader.SetFileName(str(path))
    reader.Update()
    return reader.GetOutput()


def text_columns(path, fixed_width=None):
    """The numbers of a Tecplot file straight from its text, by header position."""
    lines = path.read_text().splitlines()
    names = [n.strip('" ') for n in lines[0].split("=", 1)[1].replace(", ", ",").split(",")]
    if fixed_width:
        rows = [[parse_number(l[k:k + fixed_width].strip()) for k in range(0, len(l.rstrip()), fixed_width)]
                for l in lines[2:]]
    else:
        rows = [[parse_number(t) for t in l.split()] for l in lines[2:]]
    return names, np.array(rows)


def check_grid(vtr, tecplot, fixed_width=None):
    grid = load_vtr(vtr)
    names, values = text_columns(tecplot, fixed_width)
    n = len(values)
    assert grid.GetNumberOfPoints() == n and grid.GetDimensions() == (n, 1, 1)
    pd = grid.GetPointData()
    assert [pd.GetArrayName(i) for i in range(pd.GetNumberOfArrays())] == [n.strip() for n in names]
    for j, name in enumerate(names):
        arr = pd.GetArray(name.strip())
        assert arr.GetDataTypeAsString() == "double" and arr.GetNumberOfComponents() == 1
        assert np.array_equal(vtk_to_numpy(arr), values[:, j]), (vtr, name)
    assert np.array_equal(vtk_to_numpy(grid.GetXCoordinates()), values[:, 0])
    time = grid.GetFieldData().GetArray("TimeValue")
    return None if time is None else time.GetValue(0)


def pvd_entries(path):
    root = ET.parse(path).getroot()
    assert root.get("type") == "Collection"
    return [(float(d.get("timestep")), d.get("file")) for d in root.iter("DataSet")]


def test_flame_snapshots_as_a_time_series(flame_dir, tmp_path):
    flame_dir = without_summaries(flame_dir, tmp_path)
    assert main(["--paraview", "--out", str(tmp_path), "-q", str(flame_dir)]) == 0
    out = tmp_path / "paraview"
    h = read_history(flame_dir / "Fsf_delta.dat")
    t_at = dict(zip(h["it"], h["t"]))
    entries = pvd_entries(out / "Fpr.pvd")
    assert [f for _, f in entries] == ["Fpr000000.vtr", "Fpr000200.vtr", "Fpr000400.vtr", "Fpr000401.vtr"]
    times = [t for t, _ in entries]
    assert times[1:] == [t_at[200], t_at[400], t_at[400]] and abs(times[0]) < 0.02 * t_at[50]
    for (t, f) in entries:
        assert check_grid(out / f, flame_dir / f.replace(".vtr", ".dat")) == t
    assert sorted(p.name for p in out.iterdir()) == sorted([f for _, f in entries] + ["Fpr.pvd"])


def test_analytic_files_both_layouts(simple_wave_dir, carried_dir, tmp_path):
    for run_dir, tag, width in ((simple_wave_dir, "W", None), (carried_dir, "C", 11)):
        d = without_summaries(run_dir, tmp_path)
        out = tmp_path / tag
        assert main(["--paraview", "--out", str(out), "-q", str(d)]) == 0
        entries = pvd_entries(out / "paraview" / f"{tag}an.pvd")
        assert [f for _, f in entries] == [f"{tag}an{s:05d}.vtr" for s in (0, 500, 1000)]
        # no summary, no history, dt from the limits: the step numbers stand for the times
        assert [t for t, _ in entries] == [0.0, 500.0, 1000.0]
        for _, f in entries:
            check_grid(out / "paraview" / f, d / f.replace(".vtr", ".dat"), width)
        an = read_analytic(d / f"{tag}an00500.dat")
        grid = load_vtr(out / "paraview" / f"{tag}an00500.vtr")
        assert np.array_equal(vtk_to_numpy(grid.GetPointData().GetArray(an.columns[1])), an[an.columns[1]])
        assert [f for _, f in pvd_entries(out / "paraview" / f"{tag}pr.pvd")] == [
            f"{tag}pr{s:06d}.vtr" for s in (0, 500, 1000, 1001)]


def test_times_from_the_summary(flame_dir, tmp_path):
    d = without_summaries(flame_dir, tmp_path)
    (d / "Fsummary.json").write_text(json.dumps(contract_summary(d)))
    assert main(["--paraview", "--out", str(tmp_path / "o"), "-q", str(d)]) == 0
    entries = pvd_entries(tmp_path / "o" / "paraview" / "Fpr.pvd")
    assert entries == [(0.125 * s, f"Fpr{s:06d}.vtr") for s in (0, 200, 400, 401)]
    snap = read_snapshot(d / "Fpr000400.dat")
    grid = load_vtr(tmp_path / "o" / "paraview" / "Fpr000400.vtr")
    assert np.array_equal(vtk_to_numpy(grid.GetPointData().GetArray("wwx")), snap["wwx"])


def test_analytic_times_from_the_program_summary(simple_wave_dir, tmp_path):
    summaries = list(simple_wave_dir.glob("*summary.json"))
    if not summaries:
        pytest.skip("this build writes no run summary")
    doc = json.loads(summaries[0].read_text())
    written = {f["path"]: f["time"] for f in doc["files"] if f["kind"] == "analytic"}
    assert main(["--paraview", "--out", str(tmp_path), "-q", str(simple_wave_dir)]) == 0
    entries = pvd_entries(tmp_path / "paraview" / "Wan.pvd")
    assert entries == [(written[f"Wan{s:05d}.dat"], f"Wan{s:05d}.vtr") for s in (0, 500, 1000)]
    # the diffusion limit sets the step: about 6.2e-4 at 65 nodes
    assert entries[0][0] == 0.0 and 0.2 < entries[1][0] < 0.4 and entries[2][0] > entries[1][0]
