"""fiamma-sweep with real processes: a shortened sweep through the local pool
and through a Dask scheduler with two workers, byte for byte against the
sequential sweep; campaigns with their table, a kill and a rerun, a failing
point and refused overrides."""

import csv
import json
import os
import signal
import socket
import subprocess
import sys
import time

import pytest

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.normpath(os.path.join(HERE, "..", ".."))
RUNNER = os.path.join(ROOT, "python", "bin", "fiamma-sweep")
FIAMMA = os.environ.get("FIAMMA_EXE", os.path.join(ROOT, "build", "release", "fiamma"))

pytestmark = pytest.mark.skipif(not os.access(FIAMMA, os.X_OK), reason="no fiamma executable (FIAMMA_EXE)")


def shortened_sweep(folder, sweep_mode=1, steps=300):
    """The sweep example on 97 points and a short domain, 3 steps of 300."""
    with open(os.path.join(ROOT, "examples", "sweep", "eulero_test.dat")) as f:
        lines = f.read().split("\n")
    for record, value in {4: "97", 6: "2.0", 9: str(steps), 10: "100", 74: str(sweep_mode),
                          77: "1.2", 78: "3"}.items():
        lines[record - 1] = value
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "eulero_test.dat"), "w") as f:
        f.write("\n".join(lines))


def tree(folder, skip=("fiamma-sweep",)):
    """Every file under folder by relative path, but the runner's records and
    logs and the summaries (their times differ)."""
    out = {}
    for dirpath, dirs, names in os.walk(folder):
        dirs[:] = [d for d in dirs if os.path.relpath(os.path.join(dirpath, d), folder) not in skip]
        for name in names:
            if name.endswith("summary.json"):
                continue
            path = os.path.join(dirpath, name)
            with open(path, "rb") as f:
                out[os.path.relpath(path, folder)] = f.read()
    return out


def runner(folder, *args, **kw):
    return subprocess.run([sys.executable, RUNNER, "-C", str(folder), "--fiamma", FIAMMA] + list(args),
                          capture_output=True, text=True, timeout=kw.get("timeout", 120))


@pytest.fixture(scope="module")
def sequential(tmp_path_factory):
    folder = tmp_path_factory.mktemp("sequential")
    shortened_sweep(folder)
    subprocess.run([FIAMMA], cwd=folder, stdout=subprocess.DEVNULL, check=True)
    files = tree(folder)
    assert files["i_and_min.dat"] == b" 4\n"
    assert len(files["LandLe.dat"].splitlines()) == 5  # header, zone, three rows
    return files


def assert_same_files(folder, expected):
    got = tree(folder)
    assert sorted(got) == sorted(expected)
    for name, data in expected.items():
        assert got[name] == data, name


def test_sweep_on_the_local_pool_equals_the_sequential_sweep(tmp_path, sequential):
    shortened_sweep(tmp_path)
    r = runner(tmp_path, "--workers", "2")
    assert r.returncode == 0, r.stderr
    assert_same_files(tmp_path, sequential)
    for k in (1, 2, 3):
        log = (tmp_path / "fiamma-sweep" / "logs" / ("step-%02d.log" % k)).read_text()
        assert "ANDAMENTI. LEWIS:" in log
        assert json.loads((tmp_path / "fiamma-sweep" / ("step-%02d.json" % k)).read_text())["exit_status"] == 0
    # done: a rerun runs nothing and changes nothing
    r = runner(tmp_path, "--workers", "2")
    assert r.returncode == 0 and "nothing to run" in r.stdout
    assert_same_files(tmp_path, sequential)


def test_sweep_resumed_from_an_interrupted_sequential_sweep(tmp_path, sequential):
    # a sequential sweep stopped during step 2 left the first row and index 2:
    # the runner appends a header block and the rows of steps 2 and 3, as
    # the sequential sweep resumed would
    shortened_sweep(tmp_path)
    lines = sequential["LandLe.dat"].splitlines(keepends=True)
    (tmp_path / "LandLe.dat").write_bytes(b"".join(lines[:3]))
    (tmp_path / "i_and_min.dat").write_bytes(b" 2\n")
    r = runner(tmp_path, "--workers", "2")
    assert r.returncode == 0, r.stderr
    assert "2 to run" in r.stdout
    assert (tmp_path / "LandLe.dat").read_bytes() == b"".join(lines[:3] + lines[:2] + lines[3:])
    assert (tmp_path / "i_and_min.dat").read_bytes() == b" 4\n"
    assert not (tmp_path / "Apr000000.dat").exists()
    for name in ("Bpr000301.dat", "Cpr000301.dat", "Csf_delta.dat"):
        assert (tmp_path / name).read_bytes() == sequential[name]


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def test_sweep_on_a_dask_cluster_equals_the_sequential_sweep(tmp_path, sequential):
    port = free_port()
    address = "tcp://127.0.0.1:%d" % port
    env = dict(os.environ, PATH=os.path.dirname(FIAMMA) + os.pathsep + os.environ["PATH"])
    procs = [subprocess.Popen(["/usr/bin/dask-scheduler", "--host", "127.0.0.1", "--port", str(port),
                               "--no-dashboard"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)]
    try:
        for w in (1, 2):
            scratch = tmp_path / ("worker%d" % w)
            scratch.mkdir()
            procs.append(subprocess.Popen(
                ["/usr/bin/dask-worker", address, "--nthreads", "1", "--no-nanny", "--no-dashboard",
                 "--host", "127.0.0.1", "--local-directory", str(scratch)],
                cwd=scratch, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
        from distributed import Client

        with Client(address, timeout="60s") as client:
            client.wait_for_workers(2, timeout=60)
        work = tmp_path / "work"
        shortened_sweep(work)
        # the workers find fiamma on their PATH; the client needs none
        r = subprocess.run([sys.executable, RUNNER, "-C", str(work), "--scheduler", address],
                           capture_output=True, text=True, timeout=120)
        assert r.returncode == 0, r.stderr
        assert_same_files(work, sequential)
        hosts = {json.loads((work / "fiamma-sweep" / ("step-%02d.json" % k)).read_text())["host"] for k in (1, 2, 3)}
        assert hosts
    finally:
        for p in reversed(procs):
            p.terminate()
        for p in reversed(procs):
            try:
                p.wait(timeout=20)
            except subprocess.TimeoutExpired:
                p.kill()


def read_csv(path):
    with open(path) as f:
        return list(csv.DictReader(f))


def summary_flame(folder):
    with open(os.path.join(folder, "Lsummary.json")) as f:
        return json.load(f)["runs"][-1]["flame"]


def test_campaign_table_holds_the_runs_burning_rates(tmp_path):
    shortened_sweep(tmp_path, sweep_mode=1, steps=200)  # each point is a single run all the same
    r = runner(tmp_path, "--workers", "2", "--vary", "Lewis=0.9:1.1:3", "--out", "c")
    assert r.returncode == 0, r.stderr
    rows = read_csv(tmp_path / "c" / "campaign.csv")
    assert [row["Lewis"] for row in rows] == ["0.9", "1.0", "1.1"]
    assert list(rows[0]) == ["Lewis", "M_l_num", "M_l_ana", "M_cons", "settled", "drift", "exit_status", "wall_time_s"]
    rates = []
    for i, row in enumerate(rows, 1):
        point = tmp_path / "c" / ("point-%03d" % i)
        assert row["exit_status"] == "0"
        assert (point / "Lpr000201.dat").exists() and not (point / "LandLe.dat").exists()
        flame = summary_flame(point)
        for key in ("M_l_num", "M_l_ana", "M_cons"):
            assert float(row[key]) == flame[key]
        assert row["settled"] == ("1" if flame["settled"] else "0")
        rates.append(float(row["M_l_ana"]))
    assert rates[0] < rates[1] < rates[2]  # the estimate grows with the Lewis number
    png = (tmp_path / "c" / "campaign.png").read_bytes()
    assert png[:8] == b"\x89PNG\r\n\x1a\n"


def test_campaign_killed_then_rerun_redoes_no_finished_point(tmp_path):
    shortened_sweep(tmp_path, sweep_mode=0, steps=400)
    proc = subprocess.Popen([sys.executable, RUNNER, "-C", str(tmp_path), "--fiamma", FIAMMA, "--workers", "1",
                             "--vary", "Lewis=0.8:1.2:5"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    records = [tmp_path / "campaign" / ("point-%03d" % i) / "complete.json" for i in range(1, 6)]
    deadline = time.time() + 60
    while sum(r.exists() for r in records) < 2 and time.time() < deadline and proc.poll() is None:
        time.sleep(0.05)
    proc.send_signal(signal.SIGKILL)
    proc.wait()
    done = [r for r in records if r.exists()]
    assert 2 <= len(done) < 5
    before = {r: (r.stat().st_mtime_ns, (r.parent / "Lpr000401.dat").stat().st_mtime_ns) for r in done}
    assert not (tmp_path / "campaign" / "campaign.csv").exists()
    r = runner(tmp_path, "--workers", "2", "--vary", "Lewis=0.8:1.2:5")
    assert r.returncode == 0, r.stderr
    assert "%d to run, %d already done" % (5 - len(done), len(done)) in r.stdout
    for rec, stamps in before.items():
        assert (rec.stat().st_mtime_ns, (rec.parent / "Lpr000401.dat").stat().st_mtime_ns) == stamps
    rows = read_csv(tmp_path / "campaign" / "campaign.csv")
    assert [row["exit_status"] for row in rows] == ["0"] * 5
    assert [row["Lewis"] for row in rows] == ["0.8", "0.9", "1.0", "1.1", "1.2"]


def test_failing_point_is_reported_and_the_others_complete(tmp_path):
    shortened_sweep(tmp_path, sweep_mode=0, steps=50)
    r = runner(tmp_path, "--workers", "2", "--vary", "Lewis=1.0,abc", "--vary", "n=97,5")
    assert r.returncode == 1
    rows = read_csv(tmp_path / "campaign" / "campaign.csv")
    status = {(row["Lewis"], row["n"]): row["exit_status"] for row in rows}
    assert status == {("1.0", "97"): "0", ("1.0", "5"): "2", ("abc", "97"): "2", ("abc", "5"): "2"}
    # the refusal names the record, in the report of the failing point
    assert "failed with exit status 2" in r.stderr
    assert "--set Lewis: record 49 (Lewis), riga 1: atteso un numero reale, trovato \"abc\"" in r.stderr
    assert "record 4 (n) = 5" in r.stderr
    assert (tmp_path / "campaign" / "point-001" / "Lpr000051.dat").exists()
    # the rerun runs the failed points again, not the finished one
    r = runner(tmp_path, "--workers", "2", "--vary", "Lewis=1.0,abc", "--vary", "n=97,5")
    assert r.returncode == 1 and "3 to run, 1 already done" in r.stdout


def test_overrides_are_refused_before_any_run(tmp_path):
    shortened_sweep(tmp_path)
    r = runner(tmp_path, "--set", "Lewiss=1.0")
    assert r.returncode == 2
    assert "nessun record della configurazione si chiama \"Lewiss\"" in r.stderr
    r = runner(tmp_path, "--set", "n=abc")
    assert r.returncode == 2 and "record 4 (n), riga 1: atteso un numero intero, trovato \"abc\"" in r.stderr
    r = runner(tmp_path, "--vary", "Lewis_number=1,2")
    assert r.returncode == 2 and "no record of the configuration is called \"Lewis_number\"" in r.stderr
    r = runner(tmp_path, "--set", "sweep_mode=0")
    assert r.returncode == 2 and "configures no sweep" in r.stderr
    assert not (tmp_path / "post_dati.dat").exists() and not (tmp_path / "i_and_min.dat").exists()
