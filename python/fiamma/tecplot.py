"""The Tecplot text layout every Fiamma1D table shares.

A file holds one or more blocks: a ``VARIABLES`` line naming the columns in
double quotes (separated by ``", "`` or ``","``), a ``ZONE`` line (``ZONE I =0257``
on a snapshot, a bare ``ZONE`` elsewhere) and one line of numbers per point or
record. A resumed sweep, or a history left open by a stopped run, appends a
further block to the same file.

Columns are always found by name from the header, never by position.
"""

from __future__ import annotations

import re
from dataclasses import dataclass, field
from pathlib import Path

import numpy as np


class FormatError(ValueError):
    """A file that does not have the layout the simulator writes.

    ``path`` and ``line`` (1-based; None when the fault is not on one line)
    locate the fault.
    """

    def __init__(self, path, line, message):
        self.path = Path(path)
        self.line = line
        self.message = message
        where = f"{self.path}: line {line}" if line is not None else f"{self.path}"
        super().__init__(f"{where}: {message}")


# Numbers as the simulator writes them (17 significant digits, exponent with
# E) and as Fortran list-directed input accepts them (d, D, q, Q exponents,
# or a signed exponent without its letter as G10.4 writes three-digit ones).
_NUMBER = re.compile(
    r"([+-]?(?:\d+\.?\d*|\.\d+))(?:([eEdDqQ])([+-]?\d+)|([+-]\d+))?")
_SPECIAL = {"nan": float("nan"), "+nan": float("nan"), "-nan": float("nan"),
            "inf": float("inf"), "+inf": float("inf"), "-inf": float("-inf"),
            "infinity": float("inf"), "+infinity": float("inf"),
            "-infinity": float("-inf")}


def parse_number(token: str) -> float:
    """One number of a data line; ValueError when it is not one."""
    m = _NUMBER.fullmatch(token)
    if m is None:
        special = _SPECIAL.get(token.lower())
        if special is None:
            raise ValueError(f"not a number: {token!r}")
        return special
    mantissa, letter, exponent, bare_exponent = m.groups()
    if letter is None and bare_exponent is None:
        return float(mantissa)
    return float(f"{mantissa}e{exponent if letter else bare_exponent}")


def read_text(path, data: bytes | None = None) -> str:
    """The text of a file (or of its bytes ``data``), a FormatError when it cannot be read or is not text."""
    try:
        raw = Path(path).read_bytes() if data is None else data
    except OSError as exc:
        raise FormatError(path, None, f"cannot read: {exc.strerror or exc}") from exc
    try:
        return raw.decode("utf-8")
    except UnicodeDecodeError as exc:
        raise FormatError(path, raw[:exc.start].count(b"\n") + 1, "not a text file") from exc


_QUOTED = re.compile(r'"([^"]*)"')


def parse_variables(text: str, path, line_no) -> list[str]:
    """Column names of a ``VARIABLES = "a", "b"`` (or ``VARIABLES="a","b"``) line."""
    body = text.strip()
    if not body.upper().startswith("VARIABLES"):
        raise FormatError(path, line_no, "expected a VARIABLES line")
    rest = body[len("VARIABLES"):].lstrip()
    if not rest.startswith("="):
        raise FormatError(path, line_no, "VARIABLES without '='")
    rest = rest[1:].strip()
    names = _QUOTED.findall(rest)
    # what is left once the quoted names are taken out may only be separators
    leftover = _QUOTED.sub("", rest).replace(",", " ").strip()
    if leftover:
        raise FormatError(path, line_no, f"unexpected text in VARIABLES: {leftover!r}")
    if not names or any(not n.strip() for n in names):
        raise FormatError(path, line_no, "VARIABLES names no column")
    names = [n.strip() for n in names]
    if len(set(names)) != len(names):
        raise FormatError(path, line_no, "a column name appears twice in VARIABLES")
    return names


_ZONE_POINTS = re.compile(r"\bI\s*=\s*(\d+)", re.IGNORECASE)


@dataclass
class Block:
    """One header-zone-rows block of a Tecplot text file."""

    columns: list[str]
    header_line: int
    zone: str = ""
    zone_line: int | None = None
    zone_points: int | None = None
    rows: list[list[float]] = field(default_factory=list)
    row_lines: list[int] = field(default_factory=list)

    def array(self) -> np.ndarray:
        if not self.rows:
            return np.empty((0, len(self.columns)))
        return np.array(self.rows, dtype=float)


def _split_fixed(text: str, width: int) -> list[str]:
    """Fields of a fixed-width line: one blank, then ``width - 1`` characters each."""
    body = text.rstrip("\r\n")
    tokens = []
    for start in range(0, len(body), width):
        field_text = body[start:start + width]
        if not field_text.startswith(" "):
            raise ValueError(f"column {start + 1}: a fixed-width field must start with a blank")
        tokens.append(field_text.strip())
    return tokens


def read_blocks(path, fixed_width=None) -> list[Block]:
    """Reads every block of a Tecplot text file.

    ``fixed_width``: data lines hold fields of that many characters (the
    G10.4 layout of the case-5 reference solution: 11) instead of
    blank-separated numbers; a function of a block's column names may decide it.
    """
    width_of = fixed_width if callable(fixed_width) else (lambda columns: fixed_width)
    path = Path(path)
    text = read_text(path)
    blocks: list[Block] = []
    current: Block | None = None

    def close(block: Block | None):
        if block is not None and block.zone_points is not None and block.zone_points != len(block.rows):
            raise FormatError(path, block.zone_line,
                              f"ZONE announces I = {block.zone_points} points, the block holds {len(block.rows)}")

    for line_no, line in enumerate(text.splitlines(), start=1):
        stripped = line.strip()
        if not stripped:
            continue
        word = stripped.split(None, 1)[0].upper()
        if word.startswith("VARIABLES"):
            close(current)
            current = Block(columns=parse_variables(stripped, path, line_no), header_line=line_no)
            blocks.append(current)
            continue
        if current is None:
            raise FormatError(path, line_no, "data before the VARIABLES line")
        if word.startswith("ZONE"):
            if current.zone_line is not None or current.rows:
                raise FormatError(path, line_no, "ZONE line out of place (one per VARIABLES line, before the data)")
            current.zone = stripped
            current.zone_line = line_no
            m = _ZONE_POINTS.search(stripped)
            if m:
                current.zone_points = int(m.group(1))
            continue
        if current.zone_line is None:
            raise FormatError(path, line_no, "data before the ZONE line")
        try:
            width = width_of(current.columns)
            tokens = _split_fixed(line, width) if width else stripped.split()
        except ValueError as exc:
            raise FormatError(path, line_no, str(exc)) from None
        if len(tokens) != len(current.columns):
            raise FormatError(path, line_no,
                              f"{len(tokens)} values, the header names {len(current.columns)} columns")
        try:
            values = [parse_number(t) for t in tokens]
        except ValueError as exc:
            raise FormatError(path, line_no, str(exc)) from None
        current.rows.append(values)
        current.row_lines.append(line_no)
    close(current)
    if not blocks:
        raise FormatError(path, 1, "no VARIABLES line: not a Tecplot table")
    return blocks
