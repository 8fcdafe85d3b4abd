"""ParaView files: VTK's own XML reader gets back the Tecplot text's numbers; the .pvd lists files and times."""

import xml.etree.ElementTree as ET

import numpy as np
import pytest
from vtkmodules.util.numpy_support import vtk_to_numpy
from vtkmodules.vtkIOXML import vtkXMLRectilinearGridReader

from conftest import without_summaries
from fiamma.plot_command import main
from fiamma.readers import read_analytic, read_history, read_snapshot, read_summary


def check_grid(vtr, profile):
    """The .vtr as VTK reads it holds every column of the profile, x as its coordinates too; returns its time."""
    reader = vtkXMLRectilinearGridReader()
    reader.SetFileName(str(vtr))
    reader.Update()
    grid, n = reader.GetOutput(), profile.n
    points = grid.GetPointData()
    assert grid.GetDimensions() == (n, 1, 1)
    assert [points.GetArrayName(i) for i in range(points.GetNumberOfArrays())] == profile.columns
    for name in profile.columns:
        assert points.GetArray(name).GetDataTypeAsString() == "double"
        assert np.array_equal(vtk_to_numpy(points.GetArray(name)), profile[name]), (vtr, name)
    assert np.array_equal(vtk_to_numpy(grid.GetXCoordinates()), profile["x"])
    time = grid.GetFieldData().GetArray("TimeValue")
    return None if time is None else time.GetValue(0)


def pvd_entries(path):
    root = ET.parse(path).getroot()
    assert root.get("type") == "Collection"
    return [(float(d.get("timestep")), d.get("file")) for d in root.iter("DataSet")]


@pytest.mark.parametrize("with_summary", [True, False])
def test_flame_snapshots_as_a_time_series(flame_dir, tmp_path, with_summary):
    d = flame_dir if with_summary else without_summaries(flame_dir, tmp_path)
    assert main(["--paraview", "--out", str(tmp_path), "-q", str(d)]) == 0
    out = tmp_path / "paraview"
    t_at = dict(read_history(flame_dir / "Fsf_delta.dat")[["it", "t"]].itertuples(index=False))
    entries = pvd_entries(out / "Fpr.pvd")
    # each time once: the final snapshot (401) holds the state and the time of step 400
    assert [f for _, f in entries] == [f"Fpr{s:06d}.vtr" for s in (0, 200, 401)]
    times = [t for t, _ in entries]
    assert times[1:] == [t_at[200], t_at[400]]
    assert times[0] == 0.0 if with_summary else abs(times[0]) < 0.02 * t_at[50]
    for t, f in entries:
        assert check_grid(out / f, read_snapshot(d / f.replace(".vtr", ".dat"))) == t
    assert sorted(p.name for p in out.iterdir()) == sorted([f for _, f in entries] + ["Fpr000400.vtr", "Fpr.pvd"])


def test_analytic_files_in_both_layouts(simple_wave_dir, carried_dir, tmp_path):
    for run_dir, tag in ((simple_wave_dir, "W"), (carried_dir, "C")):
        written = {f["path"]: f["time"] for f in read_summary(run_dir / f"{tag}summary.json")["files"]}
        for d in (run_dir, without_summaries(run_dir, tmp_path)):
            out = tmp_path / tag / d.parent.name
            assert main(["--paraview", "--out", str(out), "-q", str(d)]) == 0
            entries = pvd_entries(out / "paraview" / f"{tag}an.pvd")
            assert [f for _, f in entries] == [f"{tag}an{s:05d}.vtr" for s in (0, 500, 1000)]
            # without a summary, a history or a fixed dt the step numbers stand for the times
            expected = [written[f"{tag}an{s:05d}.dat"] if d == run_dir else float(s) for s in (0, 500, 1000)]
            assert [t for t, _ in entries] == expected
            for _, f in entries:
                check_grid(out / "paraview" / f, read_analytic(d / f.replace(".vtr", ".dat")))
            # with the times known, 1000 and the final 1001 share one
            assert [f for _, f in pvd_entries(out / "paraview" / f"{tag}pr.pvd")] == [
                f"{tag}pr{s:06d}.vtr" for s in ((0, 500, 1001) if d == run_dir else (0, 500, 1000, 1001))]
    # the diffusion limit sets the step: about 6.2e-4 at 65 nodes
    assert 0.2 < written["Can00500.dat"] < 0.4
