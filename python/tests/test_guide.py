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
    for line in GUIDE.splitlines():
        m = re.match(r"\| (\d+)(?:–(\d+))? \| (.*?) \|", line)
        if m:
            rows.setdefault(int(m.group(1)), []).append(m.group(3))
            if m.group(2):
                for k in range(int(m.group(1)) + 1, int(m.group(2)) + 1):
                    rows.setdefault(k, []).append(m.group(3))
    for record, name, _ in RECORDS:
        assert any(f"`{name}`" in cell for cell in rows.get(record, [])), (record, name)


def test_every_column_of_every_file(all_run_dirs):
    names = set()
    for d in all_run_dirs.values():
        for p in scan(d).all():
            r = read_file(p)
            cols = getattr(r, "columns", None)
            if cols is not None:
                names |= {c for c in cols if c not in ("block", "line")}
    assert names
    for c in sorted(names):
        assert f"`{c}`" in GUIDE, c


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
    for name, d in all_run_dirs.items():
        console = (d.parent / f"{d.name}.stdout").read_text(encoding="utf-8")
        seen |= set(labels(console))
    assert {"it", "varianza di stabilizzazione", "ANDAMENTI. LEWIS", "filen"} <= seen
    missing = [l for l in sorted(seen) if l and l not in normal(GUIDE)]
    assert not missing, missing
