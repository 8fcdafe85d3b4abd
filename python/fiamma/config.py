"""The 81 records of ``eulero_test.dat``, read in free format.

The plotting tools use it when a run left no summary (the summary holds the
configuration that ran): the anchor abscissa and the time step. Values are
as read, before any derivation (``domain_length`` and ``x_anchor`` in units of
2π, the Zeldovich number as configured), under the names ``fiamma
--print-config`` gives them.
"""

from __future__ import annotations

import math
import re
from pathlib import Path

from .tecplot import FormatError, parse_number

# (record, name, kind): kind "t" text, "i" integer, "r" real. Record 63 holds two values.
RECORDS = [
    (1, "run_tag", "t"), (2, "path_prefix_1", "t"), (3, "path_prefix_2", "t"), (4, "n", "i"),
    (5, "grid", "i"), (6, "domain_length", "r"), (7, "hlx", "r"), (8, "it_start", "i"), (9, "it_end", "i"),
    (10, "it_out", "i"), (11, "i_thom", "i"), (12, "boundary_scheme_parameter", "r"),
    (13, "interior_scheme_parameter", "r"), (14, "cfl", "r"), (15, "stab", "r"), (16, "dt_mode", "i"),
    (17, "dt", "r"), (18, "rk_scheme", "i"), (19, "case_kind", "i"), (20, "ic_kkind_2", "i"),
    (21, "ic_kkind_3", "i"), (22, "discarded_22", "r"), (23, "x0_ff_2", "r"), (24, "hx_ff_2", "r"),
    (25, "th_fresh", "r"), (26, "th_burnt", "r"), (27, "gass_34", "r"), (28, "y1_fresh", "r"),
    (29, "y1_burnt", "r"), (30, "y2_fresh", "r"), (31, "y2_burnt", "r"), (32, "reaction_order", "i"),
    (33, "ord_reaz", "r"), (34, "main_34", "r"), (35, "main_35", "i"), (36, "main_36", "i"),
    (37, "forcing_1", "r"), (38, "forcing_2", "r"), (39, "forcing_3", "r"), (40, "forcing_7", "r"),
    (41, "forcing_5", "r"), (42, "forcing_6", "r"), (43, "forcing_4", "r"), (44, "forcing_11", "r"),
    (45, "forcing_13", "r"), (46, "forcing_14", "r"), (47, "gamma", "r"), (48, "Prandtl", "r"),
    (49, "Lewis", "r"), (50, "Damkohler", "r"), (51, "Zeldovich", "r"), (52, "Mach", "r"),
    (53, "heat_of_reaction", "r"), (54, "cv", "r"), (55, "conductivity", "r"), (56, "mass_flow", "r"),
    (57, "equivalence_ratio", "r"), (58, "n_exp", "r"), (59, "initial_pressure", "r"),
    (60, "ic_kkind_re_1", "r"), (61, "front_criterion", "i"), (62, "follow_mode", "i"),
    (63, "n_stab", "i"), (63, "th_front_level", "r"), (64, "x_anchor", "r"), (65, "x_anchor_fraction", "r"),
    (66, "t_follow", "r"), (67, "ires", "i"), (68, "rrestart_spare", "i"), (69, "tempo_spare", "i"),
    (70, "restart_name_1", "t"), (71, "restart_name_2", "t"), (72, "restart_name_3", "t"),
    (73, "main_73", "i"), (74, "sweep_mode", "i"), (75, "sweep_parameter", "i"), (76, "sweep_start", "r"),
    (77, "sweep_end", "r"), (78, "sweep_count", "i"), (79, "gain_position", "r"),
    (80, "gain_velocity", "r"), (81, "gain_integral", "r"),
]

_TOKEN = re.compile(r"""\s*(?:'((?:[^']|'')*)'|"((?:[^"]|"")*)"|([^\s,;/'"]+)|(/)|([,;]))""")
_NULL = object()
_SLASH = object()


def _tokens(line: str):
    """Values of one line: texts, bare words, null values, and a slash that ends the record."""
    pos, last_sep = 0, True
    while pos < len(line):
        m = _TOKEN.match(line, pos)
        if m is None:
            if line[pos:].strip():
                raise ValueError(f"cannot read {line[pos:].strip()!r}")
            return
        pos = m.end()
        q1, q2, word, slash, sep = m.groups()
        if sep is not None:
            if last_sep and sep == ",":
                yield _NULL
            last_sep = True
            continue
        last_sep = False
        if slash:
            yield _SLASH
            return
        if q1 is not None:
            yield ("text", q1.replace("''", "'"))
        elif q2 is not None:
            yield ("text", q2.replace('""', '"'))
        else:
            rep = re.fullmatch(r"(\d+)\*(.*)", word)
            if rep:
                count = int(rep.group(1))
                for _ in range(count):
                    yield _NULL if rep.group(2) == "" else ("word", rep.group(2))
            else:
                yield ("word", word)


def read_configuration(path) -> dict:
    """Name → value of every record of a configuration file (None for a null value)."""
    path = Path(path)
    lines = path.read_text(encoding="utf-8", errors="replace").splitlines()
    values: dict = {}
    line_no = 0
    index = 0
    while index < len(RECORDS):
        record = RECORDS[index][0]
        wanted = [r for r in RECORDS if r[0] == record]
        got: list = []
        while len(got) < len(wanted):
            if line_no >= len(lines):
                raise FormatError(path, line_no or 1, f"record {record} ({wanted[0][1]}): end of file")
            line = lines[line_no]
            line_no += 1
            if not line.strip():
                continue
            # only the values the record needs are read: a comment may follow them
            try:
                for t in _tokens(line):
                    if t is _SLASH:
                        got += [_NULL] * (len(wanted) - len(got))
                        break
                    got.append(t)
                    if len(got) == len(wanted):
                        break
            except ValueError as exc:
                raise FormatError(path, line_no, f"record {record}: {exc}") from None
        for (rec, name, kind), tok in zip(wanted, got):
            if tok is _NULL:
                values[name] = None
                continue
            text = tok[1]
            try:
                if kind == "t":
                    values[name] = text
                elif kind == "i":
                    if not re.fullmatch(r"[+-]?\d+", text):
                        raise ValueError(f"expected an integer, found {text!r}")
                    values[name] = int(text)
                else:
                    values[name] = parse_number(text)
            except ValueError as exc:
                raise FormatError(path, line_no, f"record {rec} ({name}): {exc}") from None
        index += len(wanted)
    return values


def anchor_from_configuration(config: dict, domain_length: float) -> float | None:
    """The abscissa the controller holds the flame at, as the run derives it."""
    x_anchor = config.get("x_anchor") or 0.0
    fraction = config.get("x_anchor_fraction")
    if config.get("sweep_mode") == 1 or x_anchor == 0.0:
        return None if fraction is None else fraction * domain_length
    return 2.0 * math.pi * x_anchor
