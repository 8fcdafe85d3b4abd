"""Short real runs of the simulator, shared by the Python tests: FIAMMA_EXE
(CTest sets it), else build/release/fiamma; without either they skip."""

import os
import shutil
import subprocess
import sys
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(ROOT / "python"))
EXE = Path(os.environ.get("FIAMMA_EXE") or ROOT / "build" / "release" / "fiamma")
needs_exe = pytest.mark.skipif(not os.access(EXE, os.X_OK), reason="no fiamma executable (FIAMMA_EXE)")


@pytest.fixture(scope="session")
def fiamma_exe():
    if not os.access(EXE, os.X_OK):
        pytest.skip("no fiamma executable (set FIAMMA_EXE or build build/release/fiamma)")
    return EXE


def run(exe, directory, *overrides):
    # the console goes to <directory>.stdout beside it, for the guide's test
    args = [str(exe)] + [a for o in overrides for a in ("--set", o)]
    done = subprocess.run(args, cwd=directory, stdin=subprocess.DEVNULL, capture_output=True, timeout=120)
    assert done.returncode == 0, (args, done.stdout[-2000:], done.stderr[-2000:])
    with open(Path(directory).parent / f"{Path(directory).name}.stdout", "ab") as f:
        f.write(done.stdout)


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
    d = tmp_path_factory.mktemp("restart_pair") / "restart"
    shutil.copytree(flame_dir, d.parent / "flame")
    shutil.copytree(ROOT / "examples" / "restart", d)
    run(fiamma_exe, d, "restart_name_1=Fpr000401.dat", "it_start=400", "it_end=500", "it_out=100")
    return d


@pytest.fixture(scope="session")
def sweep_dir(fiamma_exe, tmp_path_factory):
    """Two Lewis steps of 200 (Le 0.9, 1.0), then resumed at step 2: a second header block, step 2 again."""
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


def without_summaries(run_dir, tmp_path):
    d = tmp_path / run_dir.name
    shutil.copytree(run_dir, d, ignore=shutil.ignore_patterns("*summary.json"))
    return d
