"""The configuration, one reader for every tool: the 81 records of
``eulero_test.dat`` as the program reads them, and the listing of
``fiamma --print-config`` (the configuration the program read, overrides
included), both as {name: value} under the names the listing gives them.

Values are as read, before any derivation (``domain_length`` and ``x_anchor``
in units of 2π, the Zeldovich number as configured); a null value leaves the
program's initial 0 (a blank text); a text is cut to its field (1 character
for ``run_tag``, 32 for the others) and loses its trailing blanks.
"""

from __future__ import annotations

import os
import re
import subprocess
from pathlib import Path

from .freeformat import RecordReader
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

TEXT_WIDTH = {"run_tag": 1}  # the other texts hold 32 characters
_EMPTY = {"i": 0, "r": 0.0, "t": ""}
_LISTING = re.compile(r"(\d+) (\S+) (.*)")


def read_configuration(path) -> dict:
    """Name → value of every record of a configuration file."""
    path = Path(path)
    try:
        text = path.read_text(encoding="utf-8", errors="replace")
    except OSError as exc:
        raise FormatError(path, None, f"cannot read: {exc.strerror or exc}") from exc
    reader = RecordReader(text, path)
    values: dict = {}
    for record in range(1, RECORDS[-1][0] + 1):
        items = [(name, kind) for r, name, kind in RECORDS if r == record]
        for (name, kind), value in zip(items, reader.read(record, items)):
            value = _EMPTY[kind] if value is None else value
            values[name] = value[:TEXT_WIDTH.get(name, 32)].rstrip(" ") if kind == "t" else value
    return values


def parse_listing(text: str) -> dict:
    """Name → value from the output of ``fiamma --print-config``."""
    kinds = {name: kind for _, name, kind in RECORDS}
    values = {}
    for line in text.splitlines():
        m = _LISTING.fullmatch(line)
        if m is None:
            continue
        name, raw = m.group(2), m.group(3)
        if len(raw) >= 2 and raw[0] == raw[-1] == "'":
            values[name] = raw[1:-1].replace("''", "'").rstrip(" ")
        elif kinds.get(name) == "i":
            values[name] = int(raw)
        else:
            values[name] = parse_number(raw)
    return values


def overrides(sets) -> list[str]:
    """The program's arguments for NAME=VALUE overrides."""
    return [a for s in sets for a in ("--set", s)]


def print_config(exe, workdir, sets=(), config=None) -> dict:
    """The configuration that the program in ``workdir`` reads, with the overrides ``sets``."""
    args = [str(exe), *overrides(sets), "--print-config", *([str(config)] if config else [])]
    return parse_listing(subprocess.run(args, cwd=workdir, check=True, capture_output=True, text=True).stdout)


def output_path(cfg, name):
    """An output's path as the program assembles it: the two prefixes, then the name."""
    return os.path.normpath(cfg["path_prefix_1"] + cfg["path_prefix_2"] + name)
