"""cmake --install into a fresh prefix: the installed commands, package and
API work from another folder with a clean environment (no fiamma on PATH)."""

import csv
import shutil
import subprocess

import pytest

from conftest import ROOT


def test_installed_tools_work_from_anywhere(fiamma_exe, tmp_path):
    build = fiamma_exe.parent
    if not (build / "CMakeCache.txt").is_file():
        pytest.skip(f"{build} is not a CMake build folder")
    prefix = tmp_path / "prefix"
    subprocess.run(["cmake", "--install", str(build), "--prefix", str(prefix)], check=True, capture_output=True)
    (site,) = (prefix / "lib").glob("python3*/dist-packages")
    relative = site.relative_to(prefix)
    # where Debian's python3 looks for this prefix's packages, and for /usr/local's without being told
    python = "/usr/bin/python3"
    found = subprocess.run([python, "-c", f"import site, sys; print(site.getsitepackages(['{prefix}'])); print(sys.path)"],
                           capture_output=True, text=True, env={}, check=True).stdout.splitlines()
    assert str(site) in found[0] and f"/usr/local/{relative}" in found[1]
    work = tmp_path / "work"
    work.mkdir()
    shutil.copy(ROOT / "examples" / "flame" / "eulero_test.dat", work)
    clean = {"PATH": "/usr/bin:/bin", "HOME": str(tmp_path)}

    def run(*args, env=clean):
        return subprocess.run(args, cwd=work, capture_output=True, text=True, env=env, timeout=120)

    for command in ("fiamma-plot", "fiamma-sweep"):
        done = run(str(prefix / "bin" / command), "--help")
        assert done.returncode == 0 and done.stdout.startswith(f"usage: {command}"), done.stderr
    # the package from the prefix; the API finds the fiamma installed beside it
    script = "import fiamma; r = fiamma.run('.', set={'it_end': 20, 'it_out': 20}); print(fiamma.__file__, r.end)"
    done = run(python, "-c", script, env=dict(clean, PYTHONPATH=str(site)))
    assert done.returncode == 0 and done.stdout == f"{site / 'fiamma' / '__init__.py'} normal\n", done.stderr
    # fiamma-sweep finds the fiamma beside itself
    done = run(str(prefix / "bin" / "fiamma-sweep"), "--workers", "1", "--vary", "Lewis=1.0", "--set", "it_end=20")
    assert done.returncode == 0, done.stderr
    (row,) = csv.DictReader((work / "campaign" / "campaign.csv").read_text().splitlines())
    assert row["exit_status"] == "0" and float(row["M_l_num"]) != 0.0
