"""ParaView files of a run, written with VTK's own XML writers.

Each snapshot and analytic file becomes a one-dimensional rectilinear grid
(``.vtr``: n points along x, every column of the Tecplot file as a
double-precision point array under its own name, x included) and each run tag
gets a ``.pvd`` collection listing its files with their times, so that
ParaView opens the run as a time series.
"""

from __future__ import annotations

from pathlib import Path
from xml.sax.saxutils import quoteattr

import numpy as np
from vtkmodules.util.numpy_support import numpy_to_vtk
from vtkmodules.vtkCommonCore import vtkDoubleArray
from vtkmodules.vtkCommonDataModel import vtkRectilinearGrid
from vtkmodules.vtkIOXML import vtkXMLRectilinearGridWriter

from .catalog import each_time_once
from .readers import Profile


def _doubles(values, name):
    arr = numpy_to_vtk(np.ascontiguousarray(values, dtype=np.float64), deep=True)
    arr.SetName(name)
    return arr


def rectilinear_grid(profile: Profile, time: float | None = None) -> vtkRectilinearGrid:
    grid = vtkRectilinearGrid()
    n = profile.n
    grid.SetDimensions(n, 1, 1)
    grid.SetXCoordinates(_doubles(profile["x"], "x"))
    zero = vtkDoubleArray()
    zero.InsertNextValue(0.0)
    grid.SetYCoordinates(zero)
    grid.SetZCoordinates(zero)
    for c in profile.columns:
        grid.GetPointData().AddArray(_doubles(profile[c], c))
    if time is not None:
        t = vtkDoubleArray()
        t.SetName("TimeValue")
        t.InsertNextValue(time)
        grid.GetFieldData().AddArray(t)
    return grid


def write_vtr(profile: Profile, path, time: float | None = None) -> Path:
    path = Path(path)
    path.parent.mkdir(parents=True, exist_ok=True)
    writer = vtkXMLRectilinearGridWriter()
    writer.SetFileName(str(path))
    writer.SetInputData(rectilinear_grid(profile, time))
    if writer.Write() != 1:
        raise OSError(f"{path}: VTK could not write the file")
    return path


def write_pvd(entries, path) -> Path:
    """``entries``: (time, file name relative to the .pvd) pairs, in order; a
    time given twice is listed once, with its last file."""
    path = Path(path)
    entries = each_time_once([(float(t), f) for t, f in entries])
    lines = ['<?xml version="1.0"?>',
             '<VTKFile type="Collection" version="0.1" byte_order="LittleEndian">',
             "  <Collection>"]
    for time, file in entries:
        lines.append(f'    <DataSet timestep="{float(time)!r}" group="" part="0" file={quoteattr(str(file))}/>')
    lines += ["  </Collection>", "</VTKFile>", ""]
    path.parent.mkdir(parents=True, exist_ok=True)
    path.write_text("\n".join(lines), encoding="utf-8")
    return path
