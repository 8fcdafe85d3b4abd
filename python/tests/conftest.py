"""Short real runs of the simulator, shared by the Python tests.

FIAMMA_EXE names the executable (CTest sets it); without it the tests look for
build/release/fiamma and skip when there is none.
"""

import os
import shutil
import subprocess
import sys
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(ROOT / "python"))


def _exe():
    exe = os.environ.get("FIAMMA_EXE") or str(ROOT / "build" / "release" / "fiamma")
    return Path(exe) if Path(exe).is_file() else None


@pytest.fixture(scope="session")
def fiamma_exe():
    exe = _exe()
    if exe is None:
        pytest.skip("no fiamma executable (set FIAMMA_EXE or build build/release/fiamma)")
    return exe


def run(exe, directory, *overrides):
    args = [str(exe)]
    for o in overrides:
        args += ["--set", o]
    done = subprocess.run(args, cwd=directory, stdin=subprocess.DEVNULL, capture_output=True, timeout=120)
    assert done.returncode == 0, (args, done.stdout[-2000:], done.stderr[-2000:])
    # the console report, kept beside the directory (the guide's tests read it)
    with open(Path(directory).parent / f"{Path(directory).name}.stdout", "ab") as f:
        f.write(done.stdout)
    return done


def example(tmp_path_factory, name, dirname=None):
    d = tmp_path_factory.mktemp(dirname or name)
    shutil.copytree(ROOT / "examples" / name, d, dirs_exist_ok=True)
    return d


@pytest.fixture(scope="session")
def flame_dir(fiamma_exe, tmp_path_factory):
    """The example flame shortened to 400 steps: snapshots 0, 200, 400, 401; eight history records."""
    d = example(tmp_path_factory, "flame")
    run(fiamma_exe, d, "it_end=400", "it_out=200")
    return d


@pytest.fixture(scope="session")
def restart_dir(fiamma_exe, flame_dir, tmp_path_factory):
    """The restart example continuing the short flame from its final snapshot for 100 steps."""
    base = tmp_path_factory.mktemp("restart_pair")
    shutil.copytree(flame_dir, base / "flame")
    d = base / "restart"
    shutil.copytree(ROOT / "examples" / "restart", d)
    run(fiamma_exe, d, "restart_name_1=Fpr000401.dat", "it_start=400", "it_end=500", "it_out=100")
    return d


@pytest.fixture(scope="session")
def sweep_dir(fiamma_exe, tmp_path_factory):
    """A two-step Lewis sweep of 200 steps each (Le 0.9, 1.0), then resumed at
    step 2: the table holds a second header block with the rerun of step 2."""
    d = example(tmp_path_factory, "sweep")
    settings = ("it_end=200", "it_out=100", "sweep_count=2", "sweep_end=1.1")
    run(fiamma_exe, d, *settings)
    (d / "i_and_min.dat").write_text(" 2\n")
    run(fiamma_exe, d, *settings)
    return d


@pytest.fixture(scope="session")
def simple_wave_dir(fiamma_exe, tmp_path_factory):
    """The simple-wave case (case_kind 3) for 1000 steps: snapshots and analytic files at 0, 500, 1000."""
    d = example(tmp_path_factory, "simple-wave")
    run(fiamma_exe, d, "it_end=1000")
    return d


@pytest.fixture(scope="session")
def carried_dir(fiamma_exe, tmp_path_factory):
    """case_kind 5: the temperature profile of profilo_an.dat carried at speed 0.5 (fixed-width G10.4 files)."""
    d = example(tmp_path_factory, "simple-wave", "carried")
    (d / "profilo_an.dat").write_text("5.0 2.0 0.2\n-20.0 20.0\n0.5\n")
    run(fiamma_exe, d, "case_kind=5", "it_end=1000", "run_tag=C")
    return d


@pytest.fixture(scope="session")
def all_run_dirs(flame_dir, restart_dir, sweep_dir, simple_wave_dir, carried_dir):
    return {"flame": flame_dir, "restart": restart_dir, "sweep": sweep_dir,
            "simple_wave": simple_wave_dir, "carried": carried_dir}
