"""ParaView files of a run, written with VTK's own XML writers.

Each snapshot and analytic file becomes a one-dimensional rectilinear grid
(``.vtr``: n points along x, every column of the Tecplot file as a
double-precision point array under its own name, x included) and each run tag
gets a ``.pvd`` collection listing its files with their times, so that
ParaView opens the run as a time series.

Every file is written whole or not at all (``fiamma.writing``): VTK writes
the grid into memory, the bytes go to a temporary that VTK reads back (all
the points there?) before it takes the final name; a failure raises
``WriteError``.
"""

from __future__ import annotations

from pathlib import Path
from xml.sax.saxutils import quoteattr

import numpy as np
from vtkmodules.util.numpy_support import numpy_to_vtk
from vtkmodules.vtkCommonCore import vtkDoubleArray, vtkObject
from vtkmodules.vtkCommonDataModel import vtkRectilinearGrid
from vtkmodules.vtkCommonMisc import vtkErrorCode
from vtkmodules.vtkIOXML import vtkXMLRectilinearGridReader, vtkXMLRectilinearGridWriter

from .catalog import each_time_once
from .readers import Profile
from .writing import WriteError, write_atomically


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


def _points_read_back(file, n: int, arrays: int) -> str | None:
    """Why the .vtr ``file`` is not a grid of n points and that many arrays, as VTK reads it; None when it is."""
    shown = vtkObject.GetGlobalWarningDisplay()
    vtkObject.GlobalWarningDisplayOff()  # a reader's complaint becomes the one line of the error
    try:
        reader = vtkXMLRectilinearGridReader()
        reader.SetFileName(str(file))
        reader.Update()
        grid = reader.GetOutput()
        read = (grid.GetNumberOfPoints(), grid.GetPointData().GetNumberOfArrays())
    finally:
        vtkObject.SetGlobalWarningDisplay(shown)
    if reader.GetErrorCode() != 0 or read != (n, arrays):
        return f"VTK reads back {read[0]} points and {read[1]} arrays, not {n} and {arrays}"
    return None


def write_vtr(profile: Profile, path, time: float | None = None) -> Path:
    path = Path(path)
    writer = vtkXMLRectilinearGridWriter()
    writer.SetWriteToOutputString(True)
    writer.SetInputData(rectilinear_grid(profile, time))
    if writer.Write() != 1 or writer.GetErrorCode() != 0:
        raise WriteError(path, "VTK could not write the grid: "
                               + vtkErrorCode.GetStringFromErrorCode(writer.GetErrorCode()))
    write_atomically(path, writer.GetOutputString().encode("utf-8"),
                     check=lambda tmp: _points_read_back(tmp, profile.n, len(profile.columns)))
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
    write_atomically(path, "\n".join(lines).encode("utf-8"))
    return path
