"""The configuration and the resume index read as the program reads them; the anchor it derives."""

import re
import subprocess

import pytest

from conftest import ROOT, needs_exe, EXE
from fiamma import derived
from fiamma.config import print_config, read_configuration
from fiamma.readers import read_resume_index
from fiamma.tecplot import FormatError

FLAME = (ROOT / "examples" / "flame" / "eulero_test.dat").read_text().split("\n")

# (line index, new lines) edits of the flame example's configuration
FREE_FORMAT = {
    "comments": [(3, ["129, 7 comment"]), (16, ["1.5d-3 ! dt"])],
    "record 63 over two lines": [(62, ["500", "  0.25 / rest"])],
    "slash": [(62, ["500 /"])],
    "comma after a line end": [(62, ["500", ", 0.25"])],
    "leading null": [(62, ["; 0.25"])],
    "repeated null": [(62, ["2*"])],
    "repeat": [(62, ["1*500 0.25"])],
    "tab": [(62, ["400\t0.3"])],
    "text cut to its field": [(69, ["'" + "x" * 40 + "'"])],
    "quoted text over two lines": [(69, ["'it''s", "def' comment"])],
    "double quotes, a blank tag": [(0, ["' '"]), (1, ['"out/"'])],
    "refused: a real for an integer": [(3, ["257.0"])],
    "refused: a repeat over two kinds": [(62, ["2*7"])],
    "refused: a quoted number": [(46, ["'1.4'"])],
    "refused: the file ends early": [(80, [])],
}


@needs_exe
@pytest.mark.parametrize("case", ["flame", "sweep", "restart", "simple-wave"] + list(FREE_FORMAT))
def test_configuration_reads_as_the_program_reads_it(tmp_path, case):
    if case in FREE_FORMAT:
        lines = list(FLAME)
        for index, new in reversed(FREE_FORMAT[case]):
            lines[index:index + 1] = new
        (tmp_path / "eulero_test.dat").write_text("\n".join(lines))
    else:
        (tmp_path / "eulero_test.dat").write_text((ROOT / "examples" / case / "eulero_test.dat").read_text())
    try:
        expected = print_config(EXE, tmp_path)
    except subprocess.CalledProcessError as exc:  # refused: by the reader too, naming the same line
        line = re.search(r"riga (\d+)", exc.stderr)
        with pytest.raises(FormatError) as err:
            read_configuration(tmp_path / "eulero_test.dat")
        assert case.startswith("refused") and err.value.line == (line and int(line.group(1)))
        return
    values = read_configuration(tmp_path / "eulero_test.dat")
    assert len(values) == 82 and values == expected  # 81 records, record 63 holding two


@pytest.mark.parametrize("text,index", [
    (None, 1), ("", 1), (" \n\n", 1), (" 2\n", 2), ("2 after a sweep of one step\n", 2), ("2,\n", 2),
    ("\n\n 3\n", 3), ("1*2\n", 2), ("/\n", 1), (",5\n", 1), ("2;\n", 2),
    ("0\n", "at least 1"), ("-1\n", "at least 1"), ("abc\n", "expected an integer"),
    ("2.0\n", "expected an integer"), ("'2'\n", "expected an integer"), ("3abc\n", "expected an integer"),
    ("99999999999\n", "32-bit")])
def test_resume_index_as_the_program_reads_it(tmp_path, text, index):
    path = tmp_path / "i_and_min.dat"
    if text is not None:
        path.write_text(text)
    if isinstance(index, int):
        assert read_resume_index(path) == index
    else:
        with pytest.raises(FormatError, match=index):
            read_resume_index(path)


def test_anchor_as_the_run_derives_it():
    config = {"sweep_mode": 0, "x_anchor": 2.0, "x_anchor_fraction": 0.5}  # x_anchor in units of 2 pi
    assert derived.anchor(config, 30.0) == pytest.approx(12.566370614359172, rel=1e-15)
    assert derived.anchor(dict(config, sweep_mode=1), 30.0) == derived.anchor(dict(config, x_anchor=0.0), 30.0) == 15.0
