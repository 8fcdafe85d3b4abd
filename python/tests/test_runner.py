"""fiamma-sweep with real processes: a shortened sweep through the local pool
and through a Dask scheduler with two workers, byte for byte against the
sequential sweep, a failed step and its rerun as the sequential sweep leaves them; campaigns
with their table, a kill and a rerun, a failing point; refusals."""

import csv
import json
import os
import signal
import socket
import subprocess
import sys
import time

import pytest

from conftest import EXE, ROOT, needs_exe

RUNNER = str(ROOT / "python" / "bin" / "fiamma-sweep")
pytestmark = needs_exe


def shortened_sweep(folder, records=()):
    """The sweep example on 97 points and a short domain, 3 steps of 300 (Le 1.0, 1.1, 1.2 less a third)."""
    lines = (ROOT / "examples" / "sweep" / "eulero_test.dat").read_text().split("\n")
    for record, value in {4: "97", 6: "2.0", 9: "300", 10: "100", 74: "1", 77: "1.2", 78: "3", **dict(records)}.items():
        lines[record - 1] = value
    folder.mkdir(parents=True, exist_ok=True)
    (folder / "eulero_test.dat").write_text("\n".join(lines))


def tree(folder):  # every file by relative path but the runner's own and the summaries (their times differ)
    return {str(p.relative_to(folder)): p.read_bytes() for p in folder.rglob("*")
            if p.is_file() and "fiamma-sweep" not in p.relative_to(folder).parts and not p.name.endswith("summary.json")}


def csv_rows(path):
    return list(csv.DictReader(path.read_text().splitlines()))


def runner(folder, *args):
    return subprocess.run([sys.executable, RUNNER, "-C", str(folder), "--fiamma", str(EXE), *args],
                          capture_output=True, text=True, timeout=120)


@pytest.fixture(scope="module")
def sequential(tmp_path_factory):
    folder = tmp_path_factory.mktemp("sequential")
    shortened_sweep(folder)
    subprocess.run([EXE], cwd=folder, stdout=subprocess.DEVNULL, check=True)
    files = tree(folder)
    assert files["i_and_min.dat"] == b" 4\n" and len(files["LandLe.dat"].splitlines()) == 5  # header, zone, 3 rows
    return files


def test_sweep_on_the_local_pool_equals_the_sequential_sweep(tmp_path, sequential):
    shortened_sweep(tmp_path)
    r = runner(tmp_path, "--workers", "2")
    assert r.returncode == 0, r.stderr
    assert tree(tmp_path) == sequential
    for k in (1, 2, 3):
        assert "ANDAMENTI. LEWIS:" in (tmp_path / "fiamma-sweep" / "logs" / f"step-0{k}.log").read_text()
        assert json.loads((tmp_path / "fiamma-sweep" / f"step-0{k}.json").read_text())["exit_status"] == 0
    # done: a rerun runs nothing and changes nothing
    r = runner(tmp_path, "--workers", "2")
    assert r.returncode == 0 and "i_and_min.dat holds 4, past the last step (3): nothing to run" in r.stdout
    assert tree(tmp_path) == sequential


def test_sweep_resumed_from_an_interrupted_sequential_sweep(tmp_path, sequential):
    # a sequential sweep stopped during step 2 left the first row and index 2:
    # the runner appends a header block and the rows of steps 2 and 3, as the
    # sequential sweep resumed would
    shortened_sweep(tmp_path)
    lines = sequential["LandLe.dat"].splitlines(keepends=True)
    (tmp_path / "LandLe.dat").write_bytes(b"".join(lines[:3]))
    (tmp_path / "i_and_min.dat").write_bytes(b" 2 left by a stopped sweep\n")
    r = runner(tmp_path, "--workers", "2")
    assert r.returncode == 0, r.stderr
    assert "sweep: steps 2 to 3, 2 to run, 0 already done" in r.stdout
    assert (tmp_path / "LandLe.dat").read_bytes() == b"".join(lines[:3] + lines[:2] + lines[3:])
    assert (tmp_path / "i_and_min.dat").read_bytes() == b" 4\n"
    assert not (tmp_path / "Apr000000.dat").exists()
    for name in ("Bpr000301.dat", "Cpr000301.dat", "Csf_delta.dat"):
        assert (tmp_path / name).read_bytes() == sequential[name]


def test_failed_step_then_rerun_leave_what_the_sequential_sweep_leaves(tmp_path, sequential):
    # step 2 asks for more points than the program holds: refused (exit status 2), steps 1 and 3 run;
    # the outputs go up a folder ("../out/"), out of the scratch folders too
    failing = tmp_path / "fiamma-failing-step-2"
    failing.write_text(f'#!/bin/sh\n[ "$1 $2" = "--sweep-step 2" ] && exec {EXE} "$@" --set n=5000\nexec {EXE} "$@"\n')
    failing.chmod(0o755)
    work, lines = tmp_path / "work", sequential["LandLe.dat"].splitlines(keepends=True)
    shortened_sweep(work, {2: "'../out/'"})
    (tmp_path / "out").mkdir()  # the program writes into the prefixes' folder, it does not make it
    r = subprocess.run([sys.executable, RUNNER, "-C", str(work), "--fiamma", str(failing), "--workers", "2"],
                       capture_output=True, text=True, timeout=120)
    assert r.returncode == 1 and "step 2 failed with exit status 2" in r.stderr
    assert "sweep incomplete: 1 step(s) failed (02); i_and_min.dat holds 2, rerun to complete" in r.stderr
    assert (tmp_path / "out" / "LandLe.dat").read_bytes() == b"".join(lines[:3])  # the rows before the failure
    assert (work / "i_and_min.dat").read_bytes() == b" 2\n"
    r = runner(work, "--workers", "2")
    assert r.returncode == 0 and "sweep: steps 2 to 3, 1 to run, 1 already done" in r.stdout
    assert (tmp_path / "out" / "LandLe.dat").read_bytes() == b"".join(lines[:3] + lines[:2] + lines[3:])
    assert (work / "i_and_min.dat").read_bytes() == b" 4\n"
    for name in ("Bpr000301.dat", "Cpr000301.dat", "Csf_delta.dat"):
        assert (tmp_path / "out" / name).read_bytes() == sequential[name]


def test_sweep_on_a_dask_cluster_equals_the_sequential_sweep(tmp_path, sequential):
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        port = str(s.getsockname()[1])
    quiet = {"stdout": subprocess.DEVNULL, "stderr": subprocess.DEVNULL}
    procs = [subprocess.Popen(["/usr/bin/dask-scheduler", "--host", "127.0.0.1", "--port", port, "--no-dashboard"],
                              **quiet)]
    try:
        for w in ("w1", "w2"):  # in folders of their own, without this package, fiamma on their PATH
            (tmp_path / w).mkdir()
            procs.append(subprocess.Popen(
                ["/usr/bin/dask-worker", "tcp://127.0.0.1:" + port, "--nthreads", "1", "--no-nanny", "--no-dashboard",
                 "--host", "127.0.0.1", "--local-directory", str(tmp_path / w)], cwd=tmp_path / w,
                env=dict(os.environ, PATH=f"{EXE.parent}:{os.environ['PATH']}"), **quiet))
        from distributed import Client

        with Client("tcp://127.0.0.1:" + port, timeout="60s") as client:
            client.wait_for_workers(2, timeout=60)
        shortened_sweep(tmp_path / "work")
        r = subprocess.run([sys.executable, RUNNER, "-C", str(tmp_path / "work"), "--scheduler",
                            "tcp://127.0.0.1:" + port], capture_output=True, text=True, timeout=120)
        assert r.returncode == 0, r.stderr
        assert tree(tmp_path / "work") == sequential
    finally:
        for p in reversed(procs):
            p.kill()
            p.wait()


def test_campaign_table_holds_the_runs_burning_rates(tmp_path):
    shortened_sweep(tmp_path, {9: "200"})  # a sweep configured: each point is a single run all the same
    r = runner(tmp_path, "--workers", "2", "--vary", "Lewis=0.9:1.1:3", "--out", "c")
    assert r.returncode == 0, r.stderr
    rows = csv_rows(tmp_path / "c" / "campaign.csv")
    assert list(rows[0]) == ["Lewis", "M_l_num", "M_l_ana", "M_cons", "settled", "drift", "exit_status", "wall_time_s"]
    assert [row["Lewis"] for row in rows] == ["0.9", "1.0", "1.1"]
    for i, row in enumerate(rows, 1):
        point = tmp_path / "c" / ("point-%03d" % i)
        assert row["exit_status"] == "0"
        assert (point / "Lpr000201.dat").exists() and not (point / "LandLe.dat").exists()
        assert not (point / "eulero_test.dat").exists()  # an input left as it was does not come back
        flame = json.loads((point / "Lsummary.json").read_text())["runs"][-1]["flame"]
        assert [float(row[k]) for k in ("M_l_num", "M_l_ana", "M_cons")] == [flame[k] for k in
                                                                             ("M_l_num", "M_l_ana", "M_cons")]
        assert row["settled"] == ("1" if flame["settled"] else "0")
    assert (tmp_path / "c" / "campaign.png").read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"


def test_campaign_killed_then_rerun_redoes_no_finished_point(tmp_path):
    shortened_sweep(tmp_path, {74: "0", 9: "400"})
    args = ["--vary", "Lewis=0.8:1.2:5"]
    proc = subprocess.Popen([sys.executable, RUNNER, "-C", str(tmp_path), "--fiamma", str(EXE), "--workers", "1",
                             *args], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    records = [tmp_path / "campaign" / ("point-%03d" % i) / "complete.json" for i in range(1, 6)]
    deadline = time.time() + 60
    while sum(r.exists() for r in records) < 2 and time.time() < deadline and proc.poll() is None:
        time.sleep(0.05)
    proc.send_signal(signal.SIGKILL)
    proc.wait()
    done = [r for r in records if r.exists()]
    assert 2 <= len(done) < 5 and not (tmp_path / "campaign" / "campaign.csv").exists()
    before = {r: (r.stat().st_mtime_ns, (r.parent / "Lpr000401.dat").stat().st_mtime_ns) for r in done}
    r = runner(tmp_path, "--workers", "2", *args)
    assert r.returncode == 0, r.stderr
    assert "%d to run, %d already done" % (5 - len(done), len(done)) in r.stdout
    for rec, stamps in before.items():
        assert (rec.stat().st_mtime_ns, (rec.parent / "Lpr000401.dat").stat().st_mtime_ns) == stamps
    rows = csv_rows(tmp_path / "campaign" / "campaign.csv")
    assert [(row["Lewis"], row["exit_status"]) for row in rows] == [(v, "0") for v in ("0.8", "0.9", "1.0", "1.1", "1.2")]


def test_failing_point_is_reported_and_the_others_complete(tmp_path):
    shortened_sweep(tmp_path, {74: "0", 9: "50"})
    args = ["--workers", "2", "--vary", "Lewis=1.0,abc", "--vary", "n=97,5"]
    r = runner(tmp_path, *args)
    assert r.returncode == 1
    rows = csv_rows(tmp_path / "campaign" / "campaign.csv")
    status = {(row["Lewis"], row["n"]): row["exit_status"] for row in rows}
    assert status == {("1.0", "97"): "0", ("1.0", "5"): "2", ("abc", "97"): "2", ("abc", "5"): "2"}
    # the refusal names the record, in the report of the failing point
    assert "failed with exit status 2" in r.stderr and "3 point(s) failed: point-002, " in r.stderr
    assert "--set Lewis: record 49 (Lewis), riga 1: atteso un numero reale, trovato \"abc\"" in r.stderr
    assert "record 4 (n) = 5" in r.stderr
    assert (tmp_path / "campaign" / "point-001" / "Lpr000051.dat").exists()
    # the rerun runs the failed points again, not the finished one
    r = runner(tmp_path, *args)
    assert r.returncode == 1 and "3 to run, 1 already done" in r.stdout
    # a changed configuration runs every point again
    (tmp_path / "eulero_test.dat").write_text((tmp_path / "eulero_test.dat").read_text() + "\n")
    assert "4 to run, 0 already done" in runner(tmp_path, *args).stdout


@pytest.mark.parametrize("args,resume,message", [
    (["--set", "Lewiss=1.0"], None, "nessun record della configurazione si chiama \"Lewiss\""),
    (["--set", "n=abc"], None, "record 4 (n), riga 1: atteso un numero intero, trovato \"abc\""),
    (["--vary", "Lewis_number=1,2"], None, "no record of the configuration is called \"Lewis_number\""),
    (["--vary", "Lewis=1:2"], None, "--vary Lewis=1:2: a range is start:stop:count with count >= 1"),
    (["--set", "sweep_mode=0"], None, "configures no sweep (sweep_mode = 0): use --vary for a campaign"),
    ([], "abc\n", "i_and_min.dat: the resume index is not an integer"),
    ([], "0\n", "i_and_min.dat: line 1: resume index 0: at least 1"),
])
def test_refused_before_any_run(tmp_path, args, resume, message):
    shortened_sweep(tmp_path)
    if resume is not None:
        (tmp_path / "i_and_min.dat").write_text(resume)
    r = runner(tmp_path, *args)
    assert r.returncode == 2 and r.stderr.startswith("fiamma-sweep: ") and message in r.stderr
    assert sorted(p.name for p in tmp_path.iterdir() if p.name not in ("fiamma-sweep", "campaign")) == sorted(
        ["eulero_test.dat"] + (["i_and_min.dat"] if resume else []))
