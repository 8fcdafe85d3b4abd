"""The readers against files the simulator wrote, and against broken ones."""

import json
import math

import numpy as np
import pytest

from conftest import ROOT
from fiamma.config import read_configuration
from fiamma.readers import (SNAPSHOT_COLUMNS, kind_of, read_analytic, read_dump, read_file, read_history,
                            read_post_dati, read_resume_index, read_snapshot, read_summary, read_sweep_table, scan)
from fiamma.tecplot import FormatError, parse_number


def profile_function(x, width=5.0, centre=2.0, amplitude=0.2):
    """The profile of profilo_an.dat record 1, as the analytic cases build it."""
    return amplitude / 2 * (1 + 2 / math.pi * np.arctan(2 * np.sinh(10 * (x - centre) / width)))


# -- every file of every kind of run --------------------------------------------------------


EXPECTED_KINDS = {
    "flame": {"snapshot": 4, "history": 1, "parameters": 1, "resume_index": 1, "dump": 3},
    "restart": {"snapshot": 3, "history": 1, "parameters": 1, "resume_index": 1},
    "sweep": {"snapshot": 8, "history": 2, "sweep_table": 1, "parameters": 1, "resume_index": 1, "dump": 3},
    "simple_wave": {"snapshot": 4, "analytic": 3, "parameters": 1, "resume_index": 1, "dump": 3},
    "carried": {"snapshot": 4, "analytic": 3, "parameters": 1, "resume_index": 1, "dump": 3},
}


def test_every_output_of_every_kind_of_run_reads(all_run_dirs):
    summaries = set()
    for name, d in all_run_dirs.items():
        outputs = scan(d)
        counts = {}
        for p in outputs.all():
            read_file(p)
            counts[kind_of(p)] = counts.get(kind_of(p), 0) + 1
        # one summary per directory once the program writes them (the sweep's second run replaces the first's)
        summaries.add(counts.pop("summary", 0))
        assert counts == EXPECTED_KINDS[name], name
        # nothing the simulator wrote is left unrecognised (inputs and READMEs aside)
        written = {p.name for p in d.iterdir()} - {"eulero_test.dat", "profilo_an.dat", "README.md", "grid.dat"}
        assert written == {p.name for p in outputs.all()}, name
    assert summaries in ({0}, {1})


@pytest.mark.parametrize("example", ["flame", "sweep", "restart", "simple-wave"])
def test_the_built_examples_read_when_present(example):
    d = ROOT / "build" / "release" / "examples" / example
    if not (d / "post_dati.dat").is_file():
        pytest.skip(f"{d}: the example has not been run")
    outputs = scan(d)
    assert outputs.snapshots
    for p in outputs.all():
        read_file(p)


def test_snapshot_columns_by_name_and_physics(flame_dir):
    snap = read_snapshot(flame_dir / "Fpr000400.dat")
    assert snap.columns == SNAPSHOT_COLUMNS
    assert (snap.tag, snap.step, snap.n) == ("F", 400, 257)
    assert snap.zone.split() == ["ZONE", "I", "=0257"]
    x = snap["x"]
    assert x[0] == 0.0 and np.allclose(np.diff(x), x[1], rtol=1e-12)
    # th = P / rho with one thermodynamic pressure: rho * th is the same at every node
    p = snap["rho"] * snap["th"]
    assert np.allclose(p, p[0], rtol=1e-14, atol=0)
    # fresh gas at the inflow, burnt gas at the outflow, fuel between 0 and y1_fresh
    assert snap["th"][0] == pytest.approx(300.0, rel=1e-3)
    assert snap["th"][-1] == pytest.approx(900.0, rel=1e-3)
    assert snap["y1"].min() > -1e-6 and snap["y1"].max() < 0.06 + 1e-6
    # the reaction rate of a first-order step: wwx = Da rho y1 exp(-Ze / th)
    wwx = 1.0e5 * snap["rho"] * snap["y1"] * np.exp(-10800.000000000002 / snap["th"])
    assert np.allclose(snap["wwx"], wwx, rtol=1e-12, atol=1e-300)
    frame = snap.frame()
    assert list(frame.columns) == SNAPSHOT_COLUMNS and len(frame) == 257


def test_history_records(flame_dir):
    h = read_history(flame_dir / "Fsf_delta.dat")
    assert list(h.columns) == ["it", "t", "x_m", "dt_m", "s", "del", "w_in", "s_m", "de_m", "w_in_m", "w_a_m",
                               "s_sta", "w_a_s", "a_f", "var", "s_cons", "block", "line"]
    assert h["it"].tolist() == list(range(50, 401, 50))
    assert h["it"].dtype == np.int64 and (h["block"] == 1).all()
    assert h["line"].tolist() == list(range(3, 11))
    assert (np.diff(h["t"]) > 0).all()
    # the front lies inside the domain and moves towards the anchor in the middle
    snap = read_snapshot(flame_dir / "Fpr000400.dat")
    assert ((h["x_m"] > 0) & (h["x_m"] < snap["x"][-1])).all()


def test_restart_history_goes_on_from_the_snapshot_step(flame_dir, restart_dir):
    h = read_history(restart_dir / "Rsf_delta.dat")
    assert h["it"].tolist() == [450, 500]
    restored = read_snapshot(restart_dir / "Rpr000400.dat")
    source = read_snapshot(flame_dir / "Fpr000401.dat")
    assert restored.step == 400
    # the restart carries the fields to the staggered points and back: a few parts in 1e9
    for c in ("rho", "th", "y1"):
        assert np.allclose(restored[c], source[c], rtol=1e-7)


def test_sweep_table_with_a_resumed_block(sweep_dir):
    t = read_sweep_table(sweep_dir / "LandLe.dat")
    assert t.attrs["parameter"] == "Le" and t.attrs["code"] == "Le" and t.attrs["blocks"] == 2
    assert list(t.columns[:10]) == ["Le", "M_l_num", "M_l_ana", "rho_ing", "del", "d_l_ana", "n_stab", "vari",
                                    "fl_st", "it_fin"]
    assert t["block"].tolist() == [1, 1, 2]
    assert t["line"].tolist() == [3, 4, 7]
    assert t["Le"].tolist() == pytest.approx([0.9, 1.0, 1.0])
    assert t["it_fin"].tolist() == [201, 201, 201] and (t["n_stab"] == 1000).all()
    assert (t["fl_st"] == (t["vari"] <= 1e-12)).all()
    # the burning rate is rho_in (w_in - s): the inflow density is the fresh gas's, P / th_fresh
    assert t["rho_ing"].tolist() == pytest.approx([10000 * 1.4 / 0.4 / 300] * 3, rel=1e-6)
    # the resumed step starts afresh: the same digits as in the first run
    numeric = t.columns[:10]
    assert t.loc[2, numeric].tolist() == t.loc[1, numeric].tolist()
    assert read_resume_index(sweep_dir / "i_and_min.dat") == 3


def test_simple_wave_at_time_zero_is_the_profile(simple_wave_dir):
    an = read_analytic(simple_wave_dir / "Wan00000.dat")
    assert an.layout == "simple_wave" and an.columns == ["x", "rho", "v", "th"] and an.n == 65
    assert an["x"][-1] == pytest.approx(2 * math.pi)
    v = profile_function(an["x"])
    assert np.allclose(an["v"], v, rtol=1e-13, atol=1e-16)
    # gamma 2, unit reference state: c = sqrt(2) + v/2, rho = (c/c0)^2, th = rho
    assert np.allclose(an["rho"], ((math.sqrt(2) + v / 2) / math.sqrt(2)) ** 2, rtol=1e-13)
    assert np.allclose(an["th"], an["rho"], rtol=1e-13)
    later = read_analytic(simple_wave_dir / "Wan01000.dat")
    assert later.step == 1000 and not np.allclose(later["v"], an["v"])


def test_carried_profile_fixed_width_columns(carried_dir):
    an = read_analytic(carried_dir / "Can00000.dat")
    assert an.layout == "carried_profile"
    assert an.columns == ["x", "u1", "u2", "u3", "u4", "u5", "u6", "u7"]
    assert an.n == 65
    th = profile_function(an["x"]) + 1.0
    rho = 1.0 / th
    # four significant digits (G10.4)
    assert np.allclose(an["u1"], rho, rtol=6e-4)
    assert np.allclose(an["u2"], 0.5 * rho, rtol=6e-4)
    for c in ("u4", "u5", "u6", "u7"):
        assert np.allclose(an[c], rho ** 2, rtol=6e-4)
    assert np.allclose(an["x"], np.linspace(0, 2 * math.pi, 65), rtol=6e-4, atol=1e-12)


def test_post_dati_against_the_configuration(flame_dir):
    p = read_post_dati(flame_dir / "post_dati.dat")
    c = read_configuration(flame_dir / "eulero_test.dat")
    assert list(p)[:5] == ["run_tag", "path_prefix_1", "path_prefix_2", "report_limit", "n"]
    assert p["run_tag"] == "F" and p["path_prefix_1"] == " " * 32 and p["path_prefix_2"] == " " * 32
    assert p["report_limit"] == 100000000 and p["n"] == c["n"] == 257
    for name in ("Lewis", "Prandtl", "Damkohler", "equivalence_ratio", "ord_reaz", "n_exp", "gamma",
                 "th_fresh", "th_burnt", "y1_fresh"):
        assert p[name] == c[name], name
    assert p["Zeldovich"] == pytest.approx(c["gamma"] * c["Zeldovich"] / (c["gamma"] - 1), rel=1e-15)
    assert p["Mach"] == 0.01 and p["D_1"] == 10000.0 and p["D_2"] == 0.0


def test_dumps_read_as_arrays(flame_dir):
    div = read_dump(flame_dir / "fort.93")
    assert div.shape == (256, 2) and div[:, 0].tolist() == list(range(1, 257))


# -- the header decides the columns ---------------------------------------------------------


def test_both_separators_and_any_column_order(tmp_path, flame_dir):
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


def test_numbers_in_every_form_the_simulator_or_fortran_writes():
    assert parse_number("0.1234E+02") == 12.34
    assert parse_number("0.1234+100") == 0.1234e100
    assert parse_number("-.1234-100") == -0.1234e-100
    assert parse_number("1.0d-3") == 1.0e-3
    assert parse_number("1.D5") == 1.0e5
    assert parse_number("-Infinity") == -math.inf and math.isnan(parse_number("NaN"))
    assert parse_number("0.10000000000000001") == 0.1
    for bad in ("1_0", "1.2.3", "e5", "0x10", "", "1e"):
        with pytest.raises(ValueError):
            parse_number(bad)


# -- malformed files name the file and the line ---------------------------------------------


def _mutate(src, dst, edit):
    lines = src.read_text().splitlines()
    edit(lines)
    dst.write_text("\n".join(lines) + "\n")
    return dst


def _drop_last_value(lines, i):
    lines[i] = " ".join(lines[i].split()[:-1])


def _set_token(lines, i, j, text):
    t = lines[i].split()
    t[j] = text
    lines[i] = " " + " ".join(t)


BROKEN = [
    # (source, file name, edit, reader, expected line)
    ("flame", "Fpr000200.dat", lambda l: _drop_last_value(l, 9), read_snapshot, 10),
    ("flame", "Fpr000200.dat", lambda l: _set_token(l, 4, 3, "3.0.0"), read_snapshot, 5),
    ("flame", "Fpr000200.dat", lambda l: l.pop(100), read_snapshot, 2),
    ("flame", "Fpr000200.dat", lambda l: l.pop(0), read_snapshot, 1),
    ("flame", "Fpr000200.dat", lambda l: l.insert(2, l[0]), read_snapshot, 2),
    ("flame", "Fpr000200.dat", lambda l: l.extend(list(l)), read_snapshot, 260),
    ("flame", "Fsf_delta.dat", lambda l: l.pop(1), read_history, 2),
    ("flame", "Fsf_delta.dat", lambda l: _set_token(l, 6, 0, "250.5"), read_history, 7),
    ("flame", "Fsf_delta.dat", lambda l: l.__setitem__(0, l[0].replace('"x_m"', '"x_m" "t"')), read_history, 1),
    ("sweep", "LandLe.dat", lambda l: l.__setitem__(4, l[4].replace('"Le"', '"Pr"')), read_sweep_table, 5),
    ("sweep", "LandLe.dat", lambda l: _set_token(l, 2, 8, "si"), read_sweep_table, 3),
    ("flame", "post_dati.dat", lambda l: l.__setitem__(4, " 257.5"), read_post_dati, 5),
    ("flame", "post_dati.dat", lambda l: l.__setitem__(0, " F"), read_post_dati, 1),
    ("flame", "post_dati.dat", lambda l: l.pop(), read_post_dati, 19),
    ("carried", "Can00500.dat", lambda l: l.__setitem__(5, l[5][1:]), read_analytic, 6),
    ("carried", "Can00500.dat", lambda l: l.__setitem__(3, l[3][:44]), read_analytic, 4),
    ("simple_wave", "Wan00500.dat", lambda l: l.__setitem__(1, " 1 2 3 4"), read_analytic, 2),
]


@pytest.mark.parametrize("source,name,edit,reader,line", BROKEN)
def test_malformed_file_names_file_and_line(all_run_dirs, tmp_path, source, name, edit, reader, line):
    path = _mutate(all_run_dirs[source] / name, tmp_path / name, edit)
    with pytest.raises(FormatError) as err:
        reader(path)
    assert err.value.path == path and err.value.line == line
    assert str(err.value).startswith(f"{path}: line {line}: ")


def test_empty_and_missing_files(tmp_path):
    empty = tmp_path / "Epr000000.dat"
    empty.write_text("")
    with pytest.raises(FormatError, match=r"Epr000000.dat: line 1: no VARIABLES line"):
        read_snapshot(empty)
    with pytest.raises(FormatError, match=r"Mpr000000.dat: cannot read"):
        read_snapshot(tmp_path / "Mpr000000.dat")
    binary = tmp_path / "Bsf_delta.dat"
    binary.write_bytes(b' VARIABLES="it","t","x_m"\n ZONE\n 50 1 2\n\xff\xfe\n')
    with pytest.raises(FormatError, match=r"Bsf_delta.dat: line 4: not a text file"):
        read_history(binary)


def test_broken_summary_names_the_line(tmp_path):
    path = tmp_path / "Fsummary.json"
    path.write_text('{\n  "format": "fiamma-summary",\n  "format_version": 1,\n  "end": normal\n}\n')
    with pytest.raises(FormatError) as err:
        read_summary(path)
    assert err.value.line == 4 and "not valid JSON" in str(err.value)
    path.write_text(json.dumps({"format": "fiamma-summary", "format_version": 2}, indent=2))
    with pytest.raises(FormatError, match=r"line 3: summary format_version 2"):
        read_summary(path)


def test_configuration_reader_reads_every_example():
    for example in ("flame", "sweep", "restart", "simple-wave"):
        c = read_configuration(ROOT / "examples" / example / "eulero_test.dat")
        assert len(c) == 82  # 81 records, record 63 holding two values
        assert c["n_stab"] == 1000 and c["th_front_level"] == 0.5
    r = read_configuration(ROOT / "examples" / "restart" / "eulero_test.dat")
    assert (r["run_tag"], r["restart_name_1"], r["restart_name_2"], r["ires"]) == ("R", "Fpr020001.dat",
                                                                                  "../flame/", 1)


def test_config_reader_free_format_rules(tmp_path):
    lines = (ROOT / "examples" / "flame" / "eulero_test.dat").read_text().splitlines()
    lines[3] = ""            # a blank line is skipped ...
    lines.insert(4, "129, 7 comment")  # ... and a record takes its first value
    lines[62 + 1] = "500"    # record 63 continues on the next line
    lines.insert(64, "  0.25 / rest")
    lines[16 + 1] = "1.5d-3"
    path = tmp_path / "eulero_test.dat"
    path.write_text("\n".join(lines) + "\n")
    c = read_configuration(path)
    assert (c["n"], c["dt"], c["n_stab"], c["th_front_level"]) == (129, 1.5e-3, 500, 0.25)
    assert c["gain_integral"] == 0.0

