"""Where the ``fiamma`` executable is, for the tools that start it.

In this order: the path given (``--fiamma``, ``fiamma=``); ``$FIAMMA_EXE``;
``fiamma`` in the ``bin`` folder of the prefix this package is installed
under, that is beside the installed ``fiamma-plot`` and ``fiamma-sweep``
(``P/lib/python3.X/dist-packages/fiamma`` of ``cmake --install`` and a
virtual environment's ``V/lib/python3.X/site-packages/fiamma`` both give
``P/bin`` and ``V/bin``);
the Release build of a source checkout (``python/fiamma`` gives
``build/release/fiamma``); ``fiamma`` on the ``PATH``.
"""

from __future__ import annotations

import os
import shutil
from pathlib import Path

PACKAGE = Path(__file__).resolve().parent


def _candidates():
    parents = PACKAGE.parents
    if len(parents) > 3:
        yield parents[3] / "bin" / "fiamma"
    if len(parents) > 1:
        yield parents[1] / "build" / "release" / "fiamma"


def find_fiamma(explicit=None) -> str | None:
    """The absolute path of the fiamma executable, or None when there is none."""
    if explicit:
        return os.path.abspath(explicit)
    if os.environ.get("FIAMMA_EXE"):
        return os.path.abspath(os.environ["FIAMMA_EXE"])
    for path in _candidates():
        if path.is_file() and os.access(path, os.X_OK):
            return str(path)
    found = shutil.which("fiamma")
    return os.path.abspath(found) if found else None
