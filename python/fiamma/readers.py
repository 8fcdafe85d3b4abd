"""Readers for every file a Fiamma1D run writes.

| file | reader | result |
|---|---|---|
| ``<tag>pr<step>.dat`` snapshot | :func:`read_snapshot` | :class:`Profile` |
| ``<tag>an<step>.dat`` analytic solution | :func:`read_analytic` | :class:`Profile` |
| ``<tag>sf_delta.dat`` front history | :func:`read_history` | pandas DataFrame |
| ``<tag>and<code>.dat`` sweep table | :func:`read_sweep_table` | pandas DataFrame |
| ``post_dati.dat`` | :func:`read_post_dati` | dict |
| ``<tag>summary.json`` | :func:`read_summary` | dict |
| ``i_and_min.dat`` | :func:`read_resume_index` | int |
| ``fort.93``, ``fort.123``, ``fort.456``, ``fort.87`` dumps | :func:`read_dump` | numpy array |

:func:`read_file` picks the reader from the file name and :func:`scan`
finds every output of a working directory. A malformed file raises
:class:`fiamma.tecplot.FormatError` naming the file and the line.
"""

from __future__ import annotations

import json
import os
import re
from dataclasses import dataclass, field
from pathlib import Path
from typing import TYPE_CHECKING

import numpy as np

from .freeformat import RecordReader
from .tecplot import FormatError, parse_number, read_blocks, read_text

if TYPE_CHECKING:
    import pandas as pd

SNAPSHOT_NAME = re.compile(r"^(.)pr(\d{6,})\.dat$", re.DOTALL)
ANALYTIC_NAME = re.compile(r"^(.)an(\d{5,})\.dat$", re.DOTALL)
HISTORY_NAME = re.compile(r"^(.)sf_delta\.dat$", re.DOTALL)
SWEEP_NAME = re.compile(r"^(.)and(..)\.dat$", re.DOTALL)
SUMMARY_NAME = re.compile(r"^(.)summary\.json$", re.DOTALL)
DUMP_NAME = re.compile(r"^fort\.\d+$")
POST_DATI = "post_dati.dat"
RESUME_INDEX = "i_and_min.dat"

SNAPSHOT_COLUMNS = ["x", "rho", "v", "th", "vh", "vp", "vm", "y1", "y2", "wwx"]
SIMPLE_WAVE_COLUMNS = ["x", "rho", "v", "th"]
CARRIED_PROFILE_COLUMNS = ["x", "u1", "u2", "u3", "u4", "u5", "u6", "u7"]
SWEEP_COLUMNS = ["M_l_num", "M_l_ana", "rho_ing", "del", "d_l_ana", "n_stab", "vari", "fl_st", "it_fin"]
HISTORY_INTEGER_COLUMNS = ("it",)
SWEEP_INTEGER_COLUMNS = ("n_stab", "fl_st", "it_fin")
# the G10.4 fields of the case-5 solution: one blank and ten characters
G10_FIELD = 11


@dataclass
class Profile:
    """A snapshot or an analytic solution: one value per node and column."""

    path: Path
    kind: str  # "snapshot" or "analytic"
    columns: list[str]
    data: dict[str, np.ndarray]
    tag: str | None = None
    step: int | None = None
    zone: str = ""
    # "simple_wave" (case_kind 3, 4) or "carried_profile" (case_kind 5) for analytic files
    layout: str | None = None

    def __getitem__(self, name: str) -> np.ndarray:
        return self.data[name]

    def __contains__(self, name: str) -> bool:
        return name in self.data

    @property
    def n(self) -> int:
        return len(self.data[self.columns[0]])

    def frame(self) -> pd.DataFrame:
        import pandas as pd

        return pd.DataFrame({c: self.data[c] for c in self.columns})


def _single_block(path, fixed_width=None):
    blocks = read_blocks(path, fixed_width=fixed_width)
    if len(blocks) > 1:
        raise FormatError(path, blocks[1].header_line, "a second VARIABLES block in a one-zone file")
    return blocks[0]


def _require(path, block, names):
    missing = [c for c in names if c not in block.columns]
    if missing:
        raise FormatError(path, block.header_line, f"the header lacks the column(s) {', '.join(missing)}")


def _name_parts(path, pattern):
    m = pattern.match(Path(path).name)
    return (m.group(1), int(m.group(2))) if m else (None, None)


def read_snapshot(path) -> Profile:
    """A field snapshot ``<tag>pr<step>.dat``: x, rho, v, th, vh, vp, vm, y1, y2, wwx at every node."""
    path = Path(path)
    block = _single_block(path)
    _require(path, block, ["x"])
    if block.zone_points is None:
        raise FormatError(path, block.zone_line or block.header_line, "a snapshot's ZONE line gives I = n")
    if not block.rows:
        raise FormatError(path, block.zone_line, "no data lines")
    a = block.array()
    tag, step = _name_parts(path, SNAPSHOT_NAME)
    return Profile(path, "snapshot", block.columns, {c: a[:, j] for j, c in enumerate(block.columns)},
                   tag, step, block.zone)


def read_analytic(path) -> Profile:
    """An analytic reference solution ``<tag>an<step>.dat``.

    Cases 3 and 4 (the simple wave): x, rho, v, th in free format. Case 5
    (the carried profile): x, u1 … u7 (rho, rho·u, rho·E and four times rho²)
    in fixed fields of ten characters with four significant digits (G10.4).
    """
    path = Path(path)
    # the header decides the layout: u1 … u7 are written in G10.4 fields
    blocks = read_blocks(path, fixed_width=lambda columns: G10_FIELD if "u1" in columns else None)
    if len(blocks) > 1:
        raise FormatError(path, blocks[1].header_line, "a second VARIABLES block in a one-zone file")
    block = blocks[0]
    _require(path, block, ["x"])
    if not block.rows:
        raise FormatError(path, block.zone_line or block.header_line, "no data lines")
    layout = "carried_profile" if block.columns[1:2] == ["u1"] else "simple_wave"
    a = block.array()
    tag, step = _name_parts(path, ANALYTIC_NAME)
    return Profile(path, "analytic", block.columns, {c: a[:, j] for j, c in enumerate(block.columns)},
                   tag, step, block.zone, layout)


def _table(path, blocks, integer_columns) -> pd.DataFrame:
    import pandas as pd  # on first use: the runner reads no table

    columns = blocks[0].columns
    for b in blocks[1:]:
        if b.columns != columns:
            raise FormatError(path, b.header_line, "the columns differ from the first VARIABLES line's")
    parts = []
    for number, b in enumerate(blocks, start=1):
        a = b.array()
        frame = pd.DataFrame({c: a[:, j] for j, c in enumerate(columns)})
        frame["block"] = number
        frame["line"] = b.row_lines
        parts.append(frame)
    table = pd.concat(parts, ignore_index=True)
    for c in integer_columns:
        if c in table:
            values = table[c].to_numpy()
            bad = ~np.isfinite(values) | (values != np.round(values))
            if bad.any():
                raise FormatError(path, int(table["line"][np.argmax(bad)]), f"{c} must be an integer")
            table[c] = values.astype(np.int64)
    table["block"] = table["block"].astype(np.int64)
    table["line"] = table["line"].astype(np.int64)
    table.attrs["path"] = str(path)
    return table


def read_history(path) -> pd.DataFrame:
    """The front history ``<tag>sf_delta.dat``: one row per record (every 50 steps).

    Columns as the header names them (uniform grid: it, t, x_m, dt_m, s, del,
    w_in, s_m, de_m, w_in_m, w_a_m, s_sta, w_a_s, a_f, var, s_cons), plus
    ``block`` (1 for the first header block; a history left open by a stopped
    run, or the non-uniform variant in a sweep, holds several) and ``line``
    (the row's line in the file).
    """
    path = Path(path)
    blocks = read_blocks(path)
    for b in blocks:
        _require(path, b, ["it", "t", "x_m"])
    table = _table(path, blocks, HISTORY_INTEGER_COLUMNS)
    m = HISTORY_NAME.match(path.name)
    table.attrs["tag"] = m.group(1) if m else None
    return table


def read_sweep_table(path) -> pd.DataFrame:
    """A sweep table ``<tag>and<code>.dat``: one row per finished flame step.

    The first column is the swept parameter under its header name (ga, Pr,
    Le, Dam, Ze, Ma, n_exp, or_re, th_fr, y1_f); then M_l_num, M_l_ana,
    rho_ing, del, d_l_ana, n_stab, vari, fl_st, it_fin. Each run of the sweep
    (a resumed one included) appends a header and ZONE line: ``block`` numbers
    them from 1, ``line`` is the row's line. ``attrs["parameter"]`` names the
    first column.
    """
    path = Path(path)
    blocks = read_blocks(path)
    for b in blocks:
        _require(path, b, SWEEP_COLUMNS)
    table = _table(path, blocks, SWEEP_INTEGER_COLUMNS)
    table.attrs["parameter"] = blocks[0].columns[0]
    m = SWEEP_NAME.match(path.name)
    table.attrs["tag"] = m.group(1) if m else None
    table.attrs["code"] = m.group(2) if m else None
    table.attrs["blocks"] = len(blocks)
    return table


POST_DATI_ITEMS = [
    ("run_tag", "text"), ("path_prefix_1", "text"), ("path_prefix_2", "text"),
    ("report_limit", "int"), ("n", "int"),
    ("Lewis", "real"), ("Prandtl", "real"), ("Mach", "real"), ("Damkohler", "real"),
    ("equivalence_ratio", "real"), ("Zeldovich", "real"), ("ord_reaz", "real"),
    ("D_1", "real"), ("D_2", "real"), ("n_exp", "real"), ("gamma", "real"),
    ("th_fresh", "real"), ("th_burnt", "real"), ("y1_fresh", "real"),
]


def _quoted_text(text: str) -> str:
    body = text.strip()
    if len(body) < 2 or body[0] != "'" or body[-1] != "'":
        raise ValueError("expected a text between apostrophes")
    inner = body[1:-1]
    if re.search(r"(?<!')'(?!')", inner.replace("''", "")):
        raise ValueError("an apostrophe inside the text must be doubled")
    return inner.replace("''", "'")


def read_post_dati(path) -> dict:
    """``post_dati.dat``: the run's parameters, one item per line.

    Keys in file order: run_tag, path_prefix_1, path_prefix_2 (32 characters,
    blanks kept), report_limit, n, Lewis, Prandtl, Mach, Damkohler,
    equivalence_ratio, Zeldovich (as stored: γz/(γ−1)), ord_reaz, D_1, D_2,
    n_exp, gamma, th_fresh, th_burnt, y1_fresh.
    """
    path = Path(path)
    lines = read_text(path).splitlines()
    if len(lines) != len(POST_DATI_ITEMS):
        raise FormatError(path, min(len(lines), len(POST_DATI_ITEMS)) + 1,
                          f"{len(lines)} lines, expected {len(POST_DATI_ITEMS)}")
    out = {}
    for line_no, (line, (name, kind)) in enumerate(zip(lines, POST_DATI_ITEMS), start=1):
        try:
            if kind == "text":
                out[name] = _quoted_text(line)
            elif kind == "int":
                token = line.strip()
                if not re.fullmatch(r"[+-]?\d+", token):
                    raise ValueError(f"expected an integer, found {token!r}")
                out[name] = int(token)
            else:
                tokens = line.split()
                if len(tokens) != 1:
                    raise ValueError(f"expected one number, found {len(tokens)} items")
                out[name] = parse_number(tokens[0])
        except ValueError as exc:
            raise FormatError(path, line_no, f"{name}: {exc}") from None
    return out


def read_resume_index(path) -> int:
    """``i_and_min.dat`` as the program reads it: the sweep step to run next
    (``sweep_count`` + 1 after a finished sweep); 1 without the file or with a
    blank one. One integer of at least 1; a comment may follow it."""
    path = Path(path)
    if not os.path.lexists(path):
        return 1
    text = read_text(path)
    if not text.strip(" \t\r\n"):
        return 1
    reader = RecordReader(text, path)
    (value,) = reader.read(1, [("resume index", "i")])
    if value is not None and value < 1:
        raise FormatError(path, reader.next_line, f"resume index {value}: at least 1 (remove the file to start "
                                                  "from the first step)")
    return 1 if value is None else value


def read_dump(path) -> np.ndarray:
    """A diagnostic dump ``fort.<unit>``: rows of numbers without a header
    (fort.93: staggered point, divergence; fort.456: point, rho*vp, its
    derivative; fort.123: the velocity-correction iterations; fort.87: the
    rescaled abscissae of a non-uniform grid)."""
    path = Path(path)
    rows, width = [], None
    for line_no, line in enumerate(read_text(path).splitlines(), start=1):
        tokens = line.split()
        if not tokens:
            continue
        if width is None:
            width = len(tokens)
        if len(tokens) != width:
            raise FormatError(path, line_no, f"{len(tokens)} values, the first line has {width}")
        try:
            rows.append([parse_number(t) for t in tokens])
        except ValueError as exc:
            raise FormatError(path, line_no, str(exc)) from None
    return np.array(rows, dtype=float).reshape(len(rows), width or 0)


SUMMARY_KEYS = ["format", "format_version", "program_version", "end", "exit_status", "message",
                "command_line", "wall_time_s", "steps_done", "steps_per_second", "simulated_time",
                "configuration", "options", "sweep", "files", "runs"]
SUMMARY_ENDS = {"normal", "stopped", "non_finite", "write_failure", "interrupted", "bad_input"}
SUMMARY_FILE_KEYS = ["path", "kind", "step", "time", "sweep_step"]
SUMMARY_RUN_KEYS = ["sweep_step", "run_tag", "parameter_value", "it_start", "it_end", "it_final", "steps",
                    "time", "end", "correction", "flame"]
SUMMARY_FLAME_KEYS = ["x_m", "s", "del", "w_in", "s_cons", "var", "x_anchor", "rho_in", "M_l_num", "M_l_ana",
                      "d_l_ana", "M_cons", "M_cons_relative_gap", "settled", "drift", "th_burnt",
                      "th_adiabatic", "th_burnt_relative_gap"]


def _key_line(text: str, key: str, start: int = 0) -> int | None:
    """Line of the first ``"key":`` at or after character ``start`` (for messages)."""
    i = text.find(f'"{key}"', start)
    return text.count("\n", 0, i) + 1 if i >= 0 else None


def read_summary(path, data: bytes | None = None) -> dict:
    """``<tag>summary.json``: how the run ended, what it wrote, the flame's final state.

    Returns the JSON object with null numbers as None. Checks the format name
    and version and that the documented keys are present. ``data``: the
    file's bytes when they are not on disk (a file a task brought back).
    """
    path = Path(path)
    text = read_text(path, data)
    try:
        doc = json.loads(text)
    except json.JSONDecodeError as exc:
        raise FormatError(path, exc.lineno, f"not valid JSON: {exc.msg} (column {exc.colno})") from None
    if not isinstance(doc, dict) or doc.get("format") != "fiamma-summary":
        raise FormatError(path, _key_line(text, "format") or 1, 'not a run summary ("format": "fiamma-summary")')
    if doc.get("format_version") != 1:
        raise FormatError(path, _key_line(text, "format_version") or 1,
                          f"summary format_version {doc.get('format_version')!r}; this reader knows 1")

    def need(obj, keys, where, anchor_line):
        missing = [k for k in keys if k not in obj]
        if missing:
            raise FormatError(path, anchor_line, f"{where} lacks the key(s) {', '.join(missing)}")

    need(doc, SUMMARY_KEYS, "the summary", 1)
    # the documented ends are SUMMARY_ENDS; a newer program may add words, so any text is accepted
    if not isinstance(doc["end"], str):
        raise FormatError(path, _key_line(text, "end"), f"end must be a text, found {doc['end']!r}")
    for i, f in enumerate(doc["files"]):
        need(f, SUMMARY_FILE_KEYS, f"files[{i}]", _key_line(text, "files"))
    runs_at = text.find('"runs"')
    for i, r in enumerate(doc["runs"]):
        need(r, SUMMARY_RUN_KEYS, f"runs[{i}]", _key_line(text, "runs"))
        if r["flame"] is not None:
            need(r["flame"], SUMMARY_FLAME_KEYS, f"runs[{i}].flame", _key_line(text, "flame", max(runs_at, 0)))
    return doc


def summary_runs(summary: dict) -> pd.DataFrame:
    """One row per simulation of a summary; the flame's values as columns (NaN without a flame)."""
    import pandas as pd

    rows = []
    for r in summary["runs"]:
        row = {k: r[k] for k in ("sweep_step", "run_tag", "parameter_value", "it_start", "it_end",
                                 "it_final", "steps", "time", "end")}
        flame = r.get("flame") or {}
        for k in SUMMARY_FLAME_KEYS:
            v = flame.get(k)
            row[k] = np.nan if v is None else v
        rows.append(row)
    return pd.DataFrame(rows)


READERS = {"snapshot": read_snapshot, "analytic": read_analytic, "history": read_history,
           "sweep_table": read_sweep_table, "parameters": read_post_dati, "summary": read_summary,
           "resume_index": read_resume_index, "dump": read_dump}


def kind_of(path) -> str | None:
    """The kind of output a file name denotes (the summary's ``kind`` words, and "summary")."""
    name = Path(path).name
    if SNAPSHOT_NAME.match(name):
        return "snapshot"
    if ANALYTIC_NAME.match(name):
        return "analytic"
    if HISTORY_NAME.match(name):
        return "history"
    if SUMMARY_NAME.match(name):
        return "summary"
    if name == POST_DATI:
        return "parameters"
    if name == RESUME_INDEX:
        return "resume_index"
    if SWEEP_NAME.match(name):
        return "sweep_table"
    if DUMP_NAME.match(name):
        return "dump"
    return None


def read_file(path):
    """Reads any output file, choosing the reader by its name."""
    kind = kind_of(path)
    if kind is None:
        raise FormatError(path, None, "not a file name the simulator writes")
    return READERS[kind](path)


@dataclass
class Outputs:
    """The output files of one working directory, by kind."""

    directory: Path
    snapshots: list[Path] = field(default_factory=list)
    analytic: list[Path] = field(default_factory=list)
    histories: list[Path] = field(default_factory=list)
    sweep_tables: list[Path] = field(default_factory=list)
    summaries: list[Path] = field(default_factory=list)
    parameters: Path | None = None
    resume_index: Path | None = None
    dumps: list[Path] = field(default_factory=list)

    def all(self) -> list[Path]:
        extra = [p for p in (self.parameters, self.resume_index) if p is not None]
        return (self.snapshots + self.analytic + self.histories + self.sweep_tables + self.summaries + extra
                + self.dumps)


def _sort_key(path: Path):
    kind = kind_of(path)
    pattern = SNAPSHOT_NAME if kind == "snapshot" else ANALYTIC_NAME
    tag, step = _name_parts(path, pattern)
    return (str(path.parent), tag or "", step if step is not None else -1, path.name)


def scan(directory, also=()) -> Outputs:
    """Finds the outputs of a run directory: its own files, those of the
    folders ``also`` (where the path prefixes put them) and, through the
    summaries' file lists (paths relative to the run directory), any other."""
    directory = Path(directory)
    if not directory.is_dir():
        raise FileNotFoundError(f"{directory}: not a directory")
    candidates = {p.resolve(): p for folder in [directory, *also] if Path(folder).is_dir()
                  for p in sorted(Path(folder).iterdir()) if p.is_file()}
    out = Outputs(directory)
    for p in list(candidates.values()):
        if kind_of(p) == "summary":
            try:
                doc = read_summary(p)
            except FormatError:
                continue
            for f in doc["files"]:
                q = directory / f["path"]
                if q.is_file():
                    candidates.setdefault(q.resolve(), q)
    for p in candidates.values():
        kind = kind_of(p)
        if kind == "snapshot":
            out.snapshots.append(p)
        elif kind == "analytic":
            out.analytic.append(p)
        elif kind == "history":
            out.histories.append(p)
        elif kind == "sweep_table":
            out.sweep_tables.append(p)
        elif kind == "summary":
            out.summaries.append(p)
        elif kind == "parameters" and p.parent.resolve() == directory.resolve():
            out.parameters = p
        elif kind == "resume_index" and p.parent.resolve() == directory.resolve():
            out.resume_index = p
        elif kind == "dump":
            out.dumps.append(p)
    for name in ("snapshots", "analytic"):
        getattr(out, name).sort(key=_sort_key)
    for name in ("histories", "sweep_tables", "summaries", "dumps"):
        getattr(out, name).sort()
    return out
