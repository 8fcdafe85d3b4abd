"""The readers against files the simulator wrote, and against broken ones."""

import json
import math

import numpy as np
import pytest

from fiamma.readers import (SNAPSHOT_COLUMNS, kind_of, read_analytic, read_dump, read_file, read_history,
                            read_post_dati, read_resume_index, read_snapshot, read_summary, read_sweep_table, scan)
from fiamma.tecplot import FormatError, parse_number

EACH = {"parameters": 1, "resume_index": 1, "summary": 1}
EXPECTED_KINDS = {"flame": dict(EACH, snapshot=4, history=1, dump=3), "restart": dict(EACH, snapshot=3, history=1),
                  "sweep": dict(EACH, snapshot=8, history=2, sweep_table=1, dump=3),
                  "simple_wave": dict(EACH, snapshot=4, analytic=3, dump=3),
                  "carried": dict(EACH, snapshot=4, analytic=3, dump=3)}


def test_every_output_of_every_kind_of_run_reads(all_run_dirs):
    for name, d in all_run_dirs.items():
        outputs = scan(d)
        counts = {}
        for p in outputs.all():
            read_file(p)
            counts[kind_of(p)] = counts.get(kind_of(p), 0) + 1
        assert counts == EXPECTED_KINDS[name], name
        # nothing the simulator wrote is left unrecognised (inputs and READMEs aside, and the
        # folder's lock and a snapshot's companion, which only the simulator reads)
        written = {p.name for p in d.iterdir() if not (p.name == ".fiamma.lock" or p.name.endswith(".dat.stato"))}
        written -= {"eulero_test.dat", "profilo_an.dat", "README.md", "grid.dat"}
        assert written == {p.name for p in outputs.all()}, name


def profile_function(x, width=5.0, centre=2.0, amplitude=0.2):
    """The profile of profilo_an.dat record 1, as the analytic cases build it."""
    return amplitude / 2 * (1 + 2 / math.pi * np.arctan(2 * np.sinh(10 * (x - centre) / width)))


def test_snapshot_columns_by_name_and_physics(flame_dir):
    snap = read_snapshot(flame_dir / "Fpr000400.dat")
    assert snap.columns == SNAPSHOT_COLUMNS and list(snap.frame().columns) == SNAPSHOT_COLUMNS
    assert (snap.tag, snap.step, snap.n, snap.zone.split()) == ("F", 400, 257, ["ZONE", "I", "=0257"])
    x = snap["x"]
    assert x[0] == 0.0 and np.allclose(np.diff(x), x[1], rtol=1e-12)
    assert snap["th"][0] == pytest.approx(300.0, rel=1e-3) and snap["th"][-1] == pytest.approx(900.0, rel=1e-3)
    # a first-order step: wwx = Da rho y1 exp(-Ta/th), Da 1e5, Ta = 3085.714... * 1.4/0.4 = 10800
    wwx = 1.0e5 * snap["rho"] * snap["y1"] * np.exp(-10800.000000000002 / snap["th"])
    assert np.allclose(snap["wwx"], wwx, rtol=1e-12, atol=1e-300)
    div = read_dump(flame_dir / "fort.93")
    assert div.shape == (256, 2) and div[:, 0].tolist() == list(range(1, 257))


def test_history_records(flame_dir, restart_dir):
    h = read_history(flame_dir / "Fsf_delta.dat")
    assert list(h.columns) == ["it", "t", "x_m", "dt_m", "s", "del", "w_in", "s_m", "de_m", "w_in_m", "w_a_m",
                               "s_sta", "w_a_s", "a_f", "var", "s_cons", "block", "line"]
    assert h["it"].tolist() == list(range(50, 401, 50)) and h["line"].tolist() == list(range(3, 11))
    assert h["it"].dtype == np.int64 and (h["block"] == 1).all() and (np.diff(h["t"]) > 0).all()
    assert ((h["x_m"] > 0) & (h["x_m"] < read_snapshot(flame_dir / "Fpr000400.dat")["x"][-1])).all()
    # the restart goes on from the snapshot's step (its fields' round trip is the program's tests')
    assert read_history(restart_dir / "Rsf_delta.dat")["it"].tolist() == [450, 500]


def test_sweep_table_with_a_resumed_block(sweep_dir):
    t = read_sweep_table(sweep_dir / "LandLe.dat")
    assert (t.attrs["parameter"], t.attrs["code"], t.attrs["blocks"]) == ("Le", "Le", 2)
    assert list(t.columns) == ["Le", "M_l_num", "M_l_ana", "rho_ing", "del", "d_l_ana", "n_stab", "vari",
                               "fl_st", "it_fin", "block", "line"]
    assert t["block"].tolist() == [1, 1, 2] and t["line"].tolist() == [3, 4, 7]
    assert t["Le"].tolist() == pytest.approx([0.9, 1.0, 1.0])
    assert t["it_fin"].tolist() == [201, 201, 201] and (t["n_stab"] == 1000).all()
    assert (t["fl_st"] == (t["vari"] <= 1e-12)).all()
    # the inflow density is the fresh gas's, P/th_fresh = 35000/300
    assert t["rho_ing"].tolist() == pytest.approx([116.66666666666667] * 3, rel=1e-6)
    # the resumed step starts afresh: the same digits as in the first run
    assert t.loc[2, t.columns[:10]].tolist() == t.loc[1, t.columns[:10]].tolist()
    assert read_resume_index(sweep_dir / "i_and_min.dat") == 3


def test_analytic_solutions_in_both_layouts(simple_wave_dir, carried_dir):
    an = read_analytic(simple_wave_dir / "Wan00000.dat")
    assert (an.layout, an.columns, an.n) == ("simple_wave", ["x", "rho", "v", "th"], 65)
    assert an["x"][-1] == pytest.approx(2 * math.pi)
    assert np.allclose(an["v"], profile_function(an["x"]), rtol=1e-13, atol=1e-16)  # the profile at t = 0
    assert not np.allclose(read_analytic(simple_wave_dir / "Wan01000.dat")["v"], an["v"])
    # case 5 in G10.4 fields: four significant digits
    an = read_analytic(carried_dir / "Can00000.dat")
    assert (an.layout, an.columns, an.n) == ("carried_profile", ["x", "u1", "u2", "u3", "u4", "u5", "u6", "u7"], 65)
    rho = 1.0 / (profile_function(an["x"]) + 1.0)
    assert np.allclose(an["x"], np.linspace(0, 2 * math.pi, 65), rtol=6e-4, atol=1e-12)
    assert np.allclose(an["u1"], rho, rtol=6e-4) and np.allclose(an["u7"], rho ** 2, rtol=6e-4)


def test_post_dati(flame_dir):
    p = read_post_dati(flame_dir / "post_dati.dat")
    assert list(p)[:5] == ["run_tag", "path_prefix_1", "path_prefix_2", "report_limit", "n"]
    assert (p["run_tag"], p["path_prefix_1"], p["path_prefix_2"]) == ("F", " " * 32, " " * 32)
    assert (p["report_limit"], p["n"], p["Lewis"], p["gamma"], p["th_fresh"]) == (100000000, 257, 1.0, 1.4, 300.0)
    assert (p["Mach"], p["D_1"], p["D_2"], p["y1_fresh"]) == (0.01, 10000.0, 0.0, 0.06)
    assert p["Zeldovich"] == pytest.approx(10800.0, rel=1e-15)  # 3085.714... as configured, times 1.4/0.4


def test_columns_by_name_with_either_separator(tmp_path, flame_dir):
    snap = read_snapshot(flame_dir / "Fpr000200.dat")
    lines = (flame_dir / "Fpr000200.dat").read_text().splitlines()
    order = [3, 0, 9, 1, 2, 4, 5, 6, 7, 8]
    for sep in (", ", ","):
        header = " VARIABLES = " + sep.join(f'"{SNAPSHOT_COLUMNS[j]}"' for j in order)
        body = [" " + " ".join(line.split()[j] for j in order) for line in lines[2:]]
        path = tmp_path / "Xpr000200.dat"
        path.write_text("\n".join([header, lines[1]] + body) + "\n")
        shuffled = read_snapshot(path)
        assert shuffled.columns == [SNAPSHOT_COLUMNS[j] for j in order]
        for c in SNAPSHOT_COLUMNS:
            assert np.array_equal(shuffled[c], snap[c]), (sep, c)


@pytest.mark.parametrize("text,value", [
    ("0.1234E+02", 12.34), ("0.1234+100", 0.1234e100), ("-.1234-100", -0.1234e-100), ("1.0d-3", 1.0e-3),
    ("1.D5", 1.0e5), ("-Infinity", -math.inf), ("NaN", math.nan), ("0.10000000000000001", 0.1),
    ("1_0", None), ("1.2.3", None), ("e5", None), ("0x10", None), ("", None), ("1e", None)])
def test_numbers_in_every_form_the_simulator_or_fortran_writes(text, value):
    if value is None:
        with pytest.raises(ValueError):
            parse_number(text)
    else:
        assert parse_number(text) == pytest.approx(value, rel=0, abs=0, nan_ok=True)


def _set_token(lines, i, j, text):
    t = lines[i].split()
    t[j] = text
    lines[i] = " " + " ".join(t)


BROKEN = [
    # (source, file name, edit, reader, expected line)
    ("flame", "Fpr000200.dat", lambda l: l.__setitem__(9, " ".join(l[9].split()[:-1])), read_snapshot, 10),
    ("flame", "Fpr000200.dat", lambda l: _set_token(l, 4, 3, "3.0.0"), read_snapshot, 5),
    ("flame", "Fpr000200.dat", lambda l: l.pop(100), read_snapshot, 2),
    ("flame", "Fpr000200.dat", lambda l: l.insert(2, l[0]), read_snapshot, 2),
    ("flame", "Fpr000200.dat", lambda l: l.extend(list(l)), read_snapshot, 260),
    ("flame", "Fsf_delta.dat", lambda l: l.pop(1), read_history, 2),
    ("flame", "Fsf_delta.dat", lambda l: _set_token(l, 6, 0, "250.5"), read_history, 7),
    ("sweep", "LandLe.dat", lambda l: l.__setitem__(4, l[4].replace('"Le"', '"Pr"')), read_sweep_table, 5),
    ("sweep", "LandLe.dat", lambda l: _set_token(l, 2, 8, "si"), read_sweep_table, 3),
    ("flame", "post_dati.dat", lambda l: l.__setitem__(4, " 257.5"), read_post_dati, 5),
    ("flame", "post_dati.dat", lambda l: l.pop(), read_post_dati, 19),
    ("carried", "Can00500.dat", lambda l: l.__setitem__(5, l[5][1:]), read_analytic, 6),
    ("simple_wave", "Wan00500.dat", lambda l: l.__setitem__(1, " 1 2 3 4"), read_analytic, 2),
    ("flame", "Fsummary.json", lambda l: l.__setitem__(3, l[3].replace('"', "", 2)), read_summary, 4),
    ("flame", "Fsummary.json", lambda l: l.__setitem__(2, '  "format_version": 2,'), read_summary, 3),
]


@pytest.mark.parametrize("source,name,edit,reader,line", BROKEN)
def test_malformed_file_names_file_and_line(all_run_dirs, tmp_path, source, name, edit, reader, line):
    lines = (all_run_dirs[source] / name).read_text().splitlines()
    edit(lines)
    path = tmp_path / name
    path.write_text("\n".join(lines) + "\n")
    with pytest.raises(FormatError) as err:
        reader(path)
    assert err.value.path == path and err.value.line == line
    assert str(err.value).startswith(f"{path}: line {line}: ")


@pytest.mark.parametrize("name,data,reader,message", [
    ("Epr000000.dat", b"", read_snapshot, r"Epr000000.dat: line 1: no VARIABLES line"),
    ("Mpr000000.dat", None, read_snapshot, r"Mpr000000.dat: cannot read"),
    ("Bsf_delta.dat", b' VARIABLES="it","t","x_m"\n ZONE\n 50 1 2\n\xff\xfe\n', read_history,
     r"Bsf_delta.dat: line 4: not a text file"),
])
def test_empty_missing_and_binary_files(tmp_path, name, data, reader, message):
    if data is not None:
        (tmp_path / name).write_bytes(data)
    with pytest.raises(FormatError, match=message):
        reader(tmp_path / name)


@pytest.mark.parametrize("where,key", [((), "runs"), ((), "files"), ((), "end"), (("runs", 0, "flame"), "M_l_num")])
def test_summary_missing_key_is_named(flame_dir, tmp_path, where, key):
    doc = json.loads((flame_dir / "Fsummary.json").read_text())
    obj = doc
    for k in where:
        obj = obj[k]
    del obj[key]
    text = json.dumps(doc, indent=2)
    (tmp_path / "Fsummary.json").write_text(text)
    with pytest.raises(FormatError) as err:
        read_summary(tmp_path / "Fsummary.json")
    anchor = text[:text.index('"flame"')].count("\n") + 1 if where else 1
    assert err.value.line == anchor and f"lacks the key(s) {key}" in str(err.value)
