"""The user guide covers every record, every column and every console line the program prints."""

import re

from conftest import ROOT
from fiamma.config import RECORDS
from fiamma.readers import read_file, scan

GUIDE = (ROOT / "docs" / "guide.md").read_text(encoding="utf-8")
NUMBER = re.compile(r"^[+-]?(\d+\.?\d*|\.\d+)([eE][+-]?\d+)?$|^NaN$|^[+-]?Infinity$")


def normal(text):
    return " ".join(text.split())


def test_every_record_by_number_and_name():
    rows = {}
    for m in re.finditer(r"^\| (\d+)(?:–(\d+))? \| (.*?) \|", GUIDE, re.MULTILINE):
        for k in range(int(m.group(1)), int(m.group(2) or m.group(1)) + 1):
            rows.setdefault(k, []).append(m.group(3))
    for record, name, _ in RECORDS:
        assert any(f"`{name}`" in cell for cell in rows.get(record, [])), (record, name)


def test_every_column_of_every_file(all_run_dirs):
    names = set()
    for d in all_run_dirs.values():
        for p in scan(d).all():
            names |= set(getattr(read_file(p), "columns", [])) - {"block", "line"}
    assert {"wwx", "s_cons", "it_fin", "u7"} <= names
    assert [c for c in sorted(names) if f"`{c}`" not in GUIDE] == []


def labels(console):
    for raw in console.splitlines():
        line = raw.strip()
        if not line or set(line) == {"-"} or line.startswith(("opfile", "alpha", "beta")):
            continue
        tokens = line.split()
        head = []
        for t in tokens:
            if NUMBER.match(t):
                break
            head.append(t)
        label = " ".join(head)
        if len(head) == len(tokens) and re.search(r"[=:]", label):
            label = re.split(r"(?<=[=:])", label, maxsplit=1)[0]
        yield normal(label).rstrip(":= ").strip()


def test_every_console_line(all_run_dirs):
    seen = set()
    for d in all_run_dirs.values():
        seen |= set(labels((d.parent / f"{d.name}.stdout").read_text(encoding="utf-8")))
    assert {"it", "varianza di stabilizzazione", "ANDAMENTI. LEWIS", "filen"} <= seen
    assert [label for label in sorted(seen) if label and label not in normal(GUIDE)] == []
