"""Where the ``fiamma`` executable is, for the tools that start it.

In this order: the path given (``--fiamma``, ``fiamma=``); ``$FIAMMA_EXE``;
``fiamma`` beside the running command (``P/bin/fiamma-sweep`` finds
``P/bin/fiamma``); ``fiamma`` in the ``bin`` folder of the prefix this package
is installed under (``P/lib/python3/dist-packages/fiamma`` and a virtual
environment's ``V/lib/python3.X/site-packages/fiamma`` both give ``P/bin``);
the Release build of a source checkout (``python/fiamma`` gives
``build/release/fiamma``); ``fiamma`` on the ``PATH``.
"""

from __future__ import annotations

import os
import shutil
from pathlib import Path

PACKAGE = Path(__file__).resolve().parent


def _candidates(script):
    if script:
        for folder in {Path(script).absolute().parent, Path(script).resolve().parent}:
            yield folder / "fiamma"
    parents = PACKAGE.parents
    if len(parents) > 3:
        yield parents[3] / "bin" / "fiamma"
    if len(parents) > 1:
        yield parents[1] / "build" / "release" / "fiamma"


def find_fiamma(explicit=None, script=None) -> str | None:
    """The absolute path of the fiamma executable, or None when there is none.
    ``script``: the path the running command was started by (``sys.argv[0]``)."""
    if explicit:
        return os.path.abspath(explicit)
    if os.environ.get("FIAMMA_EXE"):
        return os.path.abspath(os.environ["FIAMMA_EXE"])
    for path in _candidates(script):
        if path.is_file() and os.access(path, os.X_OK):
            return str(path)
    found = shutil.which("fiamma")
    return os.path.abspath(found) if found else None
