"""The simulator driven from Python: ``fiamma.run`` runs it in a folder and
returns the run as an object, ``fiamma.open`` opens a run already made.

    import fiamma
    r = fiamma.run("work", set={"Lewis": 1.2, "it_end": 4000})
    r.burning_rate, r.settled         # as the run summary states them
    r.history, r.sweep_table          # pandas DataFrames
    r.figure("profiles")              # a matplotlib Figure

Everything comes from the files the run wrote, found through its summary
``<tag>summary.json`` (under the path prefixes), whose file paths are
relative to the run folder. A run that ends with a non-zero exit status
raises :class:`RunError`.
"""

from __future__ import annotations

import subprocess
from pathlib import Path

from .catalog import Catalog, output_folders
from .config import RECORDS, output_path, parse_listing
from .readers import SUMMARY_NAME, read_history, read_snapshot, read_summary, read_sweep_table, summary_runs
from .program import find_fiamma

STDERR_LINES = 5  # the end of standard error a RunError carries when the summary has no message
_KIND = {name: kind for _, name, kind in RECORDS}


class RunError(RuntimeError):
    """The program ended with a non-zero exit status (``status``; −N after
    signal N), or refused its input. ``message``: the summary's message,
    else the last lines of standard error; ``summary``: the summary dict, or None."""

    def __init__(self, folder, status, message, summary=None, stderr=""):
        self.folder, self.status, self.message, self.summary, self.stderr = Path(folder), status, message, summary, stderr
        super().__init__(f"{folder}: fiamma ended with exit status {status}: {message}")


def set_arguments(values: dict) -> list[str]:
    """``--set NAME=VALUE`` arguments; a text record's value is quoted (so that
    ``out/`` stays one text), a real written to round-trip."""
    args = []
    for name, value in values.items():
        if isinstance(value, str) and _KIND.get(name) == "t" and value[:1] not in ("'", '"'):
            text = "'" + value.replace("'", "''") + "'"
        elif isinstance(value, float):
            text = repr(value)
        else:
            text = str(value)
        args += ["--set", f"{name}={text}"]
    return args


def option_arguments(until_settled=None, correction_tolerance=None, relative=False) -> list[str]:
    args = []
    if until_settled is True:
        args.append("--until-settled")
    elif until_settled not in (None, False):
        args.append(f"--until-settled={until_settled!r}")
    if correction_tolerance is not None:
        args += ["--correction-tolerance-relative" if relative else "--correction-tolerance",
                 repr(float(correction_tolerance))]
    return args


def _tail(text: str) -> str:
    """The program's last message on standard error: its last line that begins
    with "fiamma:" and the indented lines after it; else the last lines."""
    lines = text.rstrip("\n").splitlines()
    starts = [i for i, line in enumerate(lines) if line.startswith("fiamma:")]
    if not starts:
        return "\n".join(lines[-STDERR_LINES:])
    end = starts[-1] + 1
    while end < len(lines) and lines[end][:1] in (" ", "\t"):
        end += 1
    return "\n".join(lines[starts[-1]:end])


def run(folder, set: dict | None = None, until_settled=None, correction_tolerance=None, relative: bool = False,
        fiamma=None) -> "Run":
    """Runs fiamma in ``folder`` (which holds eulero_test.dat) and returns the run.

    ``set``: {record name: value} given as ``--set NAME=VALUE`` (names as
    ``fiamma --print-config`` shows them); ``until_settled``: True for
    ``--until-settled``, a number TOL for ``--until-settled=TOL``;
    ``correction_tolerance``: ``--correction-tolerance X``, or with
    ``relative`` ``--correction-tolerance-relative X``; ``fiamma``: the
    executable (default: ``fiamma.program.find_fiamma``). Raises RunError
    when the program refuses the input or ends with a non-zero status."""
    folder = Path(folder)
    exe = find_fiamma(fiamma)
    if exe is None:
        raise FileNotFoundError("no fiamma executable: pass fiamma=PATH, set FIAMMA_EXE or put fiamma on the PATH")
    sets = set_arguments(set or {})
    args = sets + option_arguments(until_settled, correction_tolerance, relative)
    # where the summary will be: the configuration as the program reads it, overrides included
    listing = subprocess.run([exe, *sets, "--print-config"], cwd=folder, stdin=subprocess.DEVNULL,
                             capture_output=True, text=True)
    if listing.returncode != 0:
        raise RunError(folder, listing.returncode, _tail(listing.stderr), stderr=listing.stderr)
    cfg = parse_listing(listing.stdout)
    done = subprocess.run([exe, *args], cwd=folder, stdin=subprocess.DEVNULL, capture_output=True, text=True)
    path = folder / output_path(cfg, (cfg["run_tag"][:1] or " ") + "summary.json")
    summary = read_summary(path) if path.is_file() else None
    if summary is not None and summary["command_line"] != args:
        summary = None  # an earlier run's
    if done.returncode != 0:
        message = (summary or {}).get("message") or _tail(done.stderr)
        raise RunError(folder, done.returncode, message, summary, done.stderr)
    if summary is None:
        raise RunError(folder, 0, f"{path}: no summary of this run", None, done.stderr)
    return Run(folder, path, done.stdout, done.stderr)


def open(folder, tag: str | None = None) -> "Run":  # noqa: A001 (fiamma.open, as the package names it)
    """The run whose summary lies in ``folder`` or where its path prefixes put
    it: run tag ``tag``'s, else the most recent summary."""
    folder = Path(folder)
    found = [p for d in [folder, *output_folders(folder)] if d.is_dir() for p in sorted(d.iterdir())
             if SUMMARY_NAME.match(p.name) and (tag is None or p.name[0] == tag)]
    if not found:
        raise FileNotFoundError(f"{folder}: no run summary {tag or '<tag>'}summary.json here or under the "
                                "configured path prefixes")
    return Run(folder, max(found, key=lambda p: p.stat().st_mtime_ns))


class Run:
    """One run of the program: its summary and the files it lists."""

    def __init__(self, folder, summary_path, console: str = "", stderr: str = ""):
        self.folder = Path(folder)
        self.summary_path = Path(summary_path)
        self.summary: dict = read_summary(self.summary_path)
        self.console, self.stderr = console, stderr
        self._catalog = None

    def __repr__(self):
        return f"<fiamma run {self.folder} {self.summary_path.name}: {self.end}, burning rate {self.burning_rate}>"

    # -- how it ended --------------------------------------------------------
    @property
    def exit_status(self) -> int:
        return self.summary["exit_status"]

    @property
    def end(self) -> str:
        return self.summary["end"]

    @property
    def message(self) -> str:
        return self.summary["message"]

    # -- the answer -------------------------------------------------------------
    @property
    def runs(self):
        """One row per simulation (per sweep step), the flame's final values as columns."""
        return summary_runs(self.summary)

    def _flame(self) -> dict:
        flames = [r["flame"] for r in self.summary["runs"] if r.get("flame")]
        return flames[-1] if flames else {}

    @property
    def burning_rate(self) -> float | None:
        """The flame's M_l_num = rho_in·(w_in − s) of the last simulation, as the summary states it."""
        return self._flame().get("M_l_num")

    @property
    def burning_rates(self):
        """M_l_num of every simulation, indexed by the swept value (a sweep) or the run tag."""
        runs = self.runs
        sweep = self.summary.get("sweep")
        index = "parameter_value" if sweep else "run_tag"
        series = runs.set_index(index)["M_l_num"]
        series.index.name = sweep["code"] if sweep else "run_tag"
        return series

    @property
    def settled(self) -> bool | None:
        """The summary's ``flame.settled`` of the last simulation."""
        return self._flame().get("settled")

    # -- the files ----------------------------------------------------------------
    def files(self, kind: str) -> list[Path]:
        """The files of a kind (snapshot, history, sweep_table, analytic, …) the summary lists, in order."""
        return [self.folder / f["path"] for f in self.summary["files"] if f["kind"] == kind]

    @property
    def snapshots(self):
        """Every snapshot as a Profile (``.tag``, ``.step``, ``["th"]`` …), in the order written."""
        return [read_snapshot(p) for p in self.files("snapshot")]

    @property
    def snapshot_times(self) -> list:
        return [f["time"] for f in self.summary["files"] if f["kind"] == "snapshot"]

    @property
    def tag(self) -> str:
        """The run tag of the last simulation (a sweep step's letter)."""
        return self.summary["runs"][-1]["run_tag"] if self.summary["runs"] else self.summary_path.name[0]

    @property
    def histories(self) -> dict:
        """Run tag → front history DataFrame."""
        return {p.name[0]: read_history(p) for p in self.files("history")}

    @property
    def history(self):
        """The front history of the last simulation (None without one)."""
        return self.histories.get(self.tag)

    @property
    def sweep_table(self):
        """The sweep table as a DataFrame (None for a single run)."""
        tables = self.files("sweep_table")
        return read_sweep_table(tables[-1]) if tables else None

    # -- figures -------------------------------------------------------------------
    @property
    def catalog(self) -> Catalog:
        if self._catalog is None:
            self._catalog = Catalog.of(self.folder)
        return self._catalog

    def figure(self, kind: str = "profiles", tag: str | None = None):
        """A matplotlib Figure: "profiles" (the snapshots of run tag ``tag``,
        default the last simulation's, overlaid in time), "history" (its front
        history with the burning rate) or "sweep" (the sweep table)."""
        from . import plot_command

        tag = tag or self.tag
        if kind == "profiles":
            return plot_command.profiles_figure(self.catalog, tag)
        if kind == "history":
            return plot_command.history_figure(self.catalog, tag, f"{tag}sf_delta.dat")
        if kind == "sweep":
            if self.sweep_table is None:
                raise ValueError(f"{self.folder}: a single run has no sweep table")
            return plot_command.sweep_figure(self.catalog, self.sweep_table)
        raise ValueError(f"figure kind {kind!r}: one of profiles, history, sweep")
