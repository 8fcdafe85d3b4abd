"""fiamma-sweep with real processes: a shortened sweep through local
processes and through a Dask scheduler, byte for byte against the sequential
sweep; the faults, each provoked for real and followed by a rerun: a step
that fails, is killed, raises, or whose worker dies; the runner killed or
stopped by a size limit while it gathers; a Dask worker killed; a cluster
emptied; two runners in one folder. Campaigns with their table, a kill and a
rerun, a failing point; refusals."""

import csv
import json
import os
import re
import shutil
import signal
import socket
import subprocess
import sys
import time

import pytest

from conftest import EXE, ROOT, needs_exe

RUNNER = str(ROOT / "python" / "bin" / "fiamma-sweep")
pytestmark = needs_exe
QUIET = {"stdout": subprocess.DEVNULL, "stderr": subprocess.DEVNULL}


def shortened_sweep(folder, records=()):
    """The sweep example on 97 points and a short domain, 3 steps of 300 (Le 1.0, 1.1, 1.2 less a third)."""
    lines = (ROOT / "examples" / "sweep" / "eulero_test.dat").read_text().split("\n")
    for record, value in {4: "97", 6: "2.0", 9: "300", 10: "100", 74: "1", 77: "1.2", 78: "3", **dict(records)}.items():
        lines[record - 1] = value
    folder.mkdir(parents=True, exist_ok=True)
    (folder / "eulero_test.dat").write_text("\n".join(lines))


def tree(folder):
    """Every file by relative path but the runner's own, the summaries (their times differ), the
    locks of the runner and of the runs, and the temporaries (.NAME.PID.tmp) that a killed process
    leaves."""
    return {str(p.relative_to(folder)): p.read_bytes() for p in folder.rglob("*")
            if p.is_file() and "fiamma-sweep" not in p.relative_to(folder).parts and not p.name.endswith("summary.json")
            and not (p.name[0] == "." and p.name.endswith((".lock", ".tmp")))}


def script(path, body):
    """An executable shell script: fiamma's stand-in, with a fault."""
    path.write_text("#!/bin/sh\n" + body.replace("EXE", str(EXE)) + "\n")
    path.chmod(0o755)
    return path


def gone(pid):  # ended (a zombie that nobody reaped yet counts)
    try:
        with open("/proc/%d/stat" % pid) as f:
            return f.read().rsplit(")", 1)[1].split()[0] == "Z"
    except FileNotFoundError:
        return True


def wait_for(condition, seconds=60):
    deadline = time.time() + seconds
    while not condition():
        assert time.time() < deadline, "waited %d s" % seconds
        time.sleep(0.05)


def csv_rows(path):
    return list(csv.DictReader(path.read_text().splitlines()))


def runner(folder, *args, exe=EXE):
    return subprocess.run([sys.executable, RUNNER, "-C", str(folder), "--fiamma", str(exe), *args],
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


# what step 2 does before (or instead of) running; the runner's status; what it reports
STEP_FAULTS = {
    "refused": ('exec EXE "$@" --set n=5000', 1,
                ["step 2 failed: exit status 2", "the end of its log", "record 4 (n) = 5000"]),
    "killed": ("kill -KILL $$", 1, ["step 2 failed: killed by signal SIGKILL"]),
    "raising": ('rm -rf "${PWD%/w}"; exit 0', 1, ["step 2 failed: the task raised FileNotFoundError"]),  # the task's folder
    "worker died once": ('[ -e "$0.died" ] || { touch "$0.died"; kill -KILL $PPID; sleep 9; }', 0,
                         ["step 2: its worker died (BrokenProcessPool); submitted again (1 of 2)"]),
    "worker always dies": ("kill -KILL $PPID; sleep 9", 1,
                           ["submitted again (2 of 2)", "step 2 failed: its worker died (BrokenProcessPool) 3 times"]),
}


@pytest.mark.parametrize("fault", STEP_FAULTS)
def test_a_fault_in_one_step_then_rerun(tmp_path, sequential, fault):
    # the others finish; the table holds the rows before the failed step and the index names it, as a
    # sequential sweep stopped there; the outputs go up a folder ("../out/"), out of the scratch folders too
    body, status, said = STEP_FAULTS[fault]
    faulty = script(tmp_path / "fiamma-faulty", '[ "$1 $2" = "--sweep-step 2" ] && { %s; }\nexec EXE "$@"' % body)
    work, out, lines = tmp_path / "work", tmp_path / "out", sequential["LandLe.dat"].splitlines(keepends=True)
    shortened_sweep(work, {2: "'../out/'"})
    out.mkdir()  # the program writes into the prefixes' folder, it does not make it
    outputs = {n: b for n, b in sequential.items() if n.lstrip(".")[0] in "ABCL"}  # their companions (.Apr000301.dat.stato) too
    r = runner(work, "--workers", "2", exe=faulty)
    assert r.returncode == status and all(s in r.stderr for s in said), r.stderr
    if status == 0:
        assert tree(out) == outputs and (work / "i_and_min.dat").read_bytes() == b" 4\n"
        return
    assert "sweep incomplete: 1 step(s) failed (02); i_and_min.dat holds 2, rerun to complete" in r.stderr
    assert (out / "LandLe.dat").read_bytes() == b"".join(lines[:3])  # the rows before the failure
    assert (work / "i_and_min.dat").read_bytes() == b" 2\n" and (out / "Cpr000301.dat").exists()
    # steps 2 and 3 again: step 3 ran with another executable
    r = runner(work, "--workers", "2")
    assert r.returncode == 0 and "sweep: steps 2 to 3, 2 to run, 0 already done" in r.stdout
    assert (out / "LandLe.dat").read_bytes() == b"".join(lines[:3] + lines[:2] + lines[3:])
    assert (work / "i_and_min.dat").read_bytes() == b" 4\n"
    assert {n: b for n, b in tree(out).items() if n != "LandLe.dat"} == {
        n: b for n, b in outputs.items() if n != "LandLe.dat"}


# The runner itself interrupted while it gathers: WHEN:CALL:FILE:ACTION, where CALL is the os.replace
# (a file's rename), os.write (an append) or os.unlink of FILE, and ACTION a SIGKILL or a size limit
LAUNCHER = r"""
import os, resource, signal, sys
sys.path.insert(0, sys.argv[1])
when, call, name, action = sys.argv[2].split(":")
def act():
    if action == "kill":
        os.kill(os.getpid(), signal.SIGKILL)
    resource.setrlimit(resource.RLIMIT_FSIZE, (int(action), int(action)))
def hooked(fn, target):
    def run(*a, **k):
        hit = os.path.basename(target(*a)) == name
        if hit and when == "before":
            act()
        result = fn(*a, **k)
        if hit and when == "after":
            act()
        return result
    return run
os.replace = hooked(os.replace, lambda src, dst, *a: os.fspath(dst))
os.write = hooked(os.write, lambda fd, *a: os.readlink("/proc/self/fd/%d" % fd))
os.unlink = hooked(os.unlink, lambda path, *a: os.fspath(path))
from fiamma.sweep_command import main
sys.exit(main(sys.argv[3:]))
"""


def interrupted_runner(folder, point):
    return subprocess.run([sys.executable, "-c", LAUNCHER, str(ROOT / "python"), point, "-C", str(folder),
                           "--fiamma", str(EXE), "--workers", "2"], capture_output=True, text=True, timeout=120)


@pytest.fixture(scope="module")
def steps_run(tmp_path_factory):
    """A sweep whose runner was killed after its three runs, before it gathered a file."""
    folder = tmp_path_factory.mktemp("steps_run")
    shortened_sweep(folder)
    assert interrupted_runner(folder, "before:replace:Apr000000.dat:kill").returncode == -signal.SIGKILL
    return folder


@pytest.mark.parametrize("points", [
    ["after:replace:Bpr000301.dat:kill"],  # some files gathered
    ["before:replace:gather.json:kill"],  # every file, the appends not written down yet
    ["after:write:LandLe.dat:kill"],  # appended, the index not written
    ["before:write:LandLe.dat:kill", "after:write:LandLe.dat:kill"],  # and again while the rerun completes it
    ["after:replace:i_and_min.dat:kill"],  # the index written
    ["after:unlink:gather.json:kill"],  # gathered, the steps' copies not removed
    ["before:replace:Apr000000.dat:2000"],  # a size limit: the second snapshot does not fit
])
def test_runner_stopped_while_gathering_then_rerun(tmp_path, sequential, steps_run, points):
    work = tmp_path / "work"
    shutil.copytree(steps_run, work)
    for point in points:
        r = interrupted_runner(work, point)
        if point.endswith(":kill"):
            assert r.returncode == -signal.SIGKILL, r.stderr
        else:
            assert r.returncode == 5 and r.stderr.endswith("Apr000100.dat: File too large; rerun to complete\n")
        # whole files only: each step's own as the sequential sweep leaves it, the table without or with the
        # whole block (the files that every step replaces are checked at the end)
        assert all(data in (sequential[name], b"" if name == "LandLe.dat" else None)
                   for name, data in tree(work).items() if name[0] in "ABCL")
    r = runner(work, "--workers", "2")
    assert r.returncode == 0, r.stderr
    assert not re.search(r"[1-9] to run", r.stdout)  # no step runs again
    assert tree(work) == sequential and not list((work / "fiamma-sweep").glob("*.files"))


def test_second_runner_in_the_folder_is_refused(tmp_path):
    shortened_sweep(tmp_path, {74: "0"})
    slow = script(tmp_path / "slow", '[ "$1" = --print-config ] && exec EXE "$@"\necho $$ > "$0.pid"; exec /bin/sleep 60')
    pid_file = tmp_path / "slow.pid"

    def start_slow(env=None):
        pid_file.unlink(missing_ok=True)
        proc = subprocess.Popen([sys.executable, RUNNER, "-C", str(tmp_path), "--fiamma", str(slow), "--workers", "1",
                                 "--vary", "Lewis=1.0"], stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True,
                                env=env)
        wait_for(lambda: pid_file.exists() and pid_file.read_text().endswith("\n"))
        return proc, int(pid_file.read_text())

    first, run = start_slow()
    scratch = list((tmp_path / "fiamma-sweep").glob("scratch-*"))
    for args in (["--vary", "Lewis=1.1"], []):  # a campaign, a sweep: both refused at once
        r = runner(tmp_path, *args)
        assert r.returncode == 2 and r.stderr.startswith(
            "fiamma-sweep: %s: another fiamma-sweep works in this folder (pid %d on %s, started " %
            (tmp_path, first.pid, socket.gethostname())), r.stderr
    assert len(scratch) == 1 and scratch == list((tmp_path / "fiamma-sweep").glob("scratch-*"))
    # stopped, the first takes its run with it and removes its scratch folder
    first.send_signal(signal.SIGTERM)
    assert first.wait(timeout=30) == 143 and "interrupted by SIGTERM; rerun to complete" in first.stderr.read()
    first.stderr.close()
    wait_for(lambda: gone(run), 10)
    assert not scratch[0].exists()
    # killed outright, a runner takes its run with it too (without setpriv on the PATH as well), and leaves
    # the folder free
    killed, run = start_slow(dict(os.environ, PATH=""))
    killed.kill()
    killed.wait()
    killed.stderr.close()
    wait_for(lambda: gone(run), 10)
    assert runner(tmp_path, "--vary", "Lewis=1.1").returncode == 0


def test_dask_worker_killed_then_cluster_emptied(tmp_path, sequential):
    # a real scheduler and two workers, in folders of their own, without this package, fiamma on their PATH;
    # allowed-failures 0: a worker's death reaches the runner at once (KilledWorker), not after the
    # scheduler's own reruns
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        address = "tcp://127.0.0.1:%d" % s.getsockname()[1]
    env = dict(os.environ, PATH=f"{EXE.parent}:{os.environ['PATH']}", DASK_DISTRIBUTED__SCHEDULER__ALLOWED_FAILURES="0")
    procs = [subprocess.Popen(["/usr/bin/dask-scheduler", "--host", "127.0.0.1", "--port", address.rsplit(":", 1)[1],
                               "--no-dashboard"], env=env, **QUIET)]
    try:
        for w in ("w1", "w2"):
            (tmp_path / w).mkdir()
            procs.append(subprocess.Popen(
                ["/usr/bin/dask-worker", address, "--nthreads", "1", "--no-nanny", "--no-dashboard",
                 "--host", "127.0.0.1", "--local-directory", str(tmp_path / w)], cwd=tmp_path / w, env=env, **QUIET))
        from distributed import Client

        with Client(address, timeout="60s") as client:
            client.wait_for_workers(2, timeout=60)
        # step 2 kills its worker the first time: run again on the other, the sweep completes
        once = script(tmp_path / "fiamma-once", '[ "$1 $2" = "--sweep-step 2" ] && [ ! -e "$0.died" ] && '
                                                '{ touch "$0.died"; kill -KILL $PPID; sleep 9; }\nexec fiamma "$@"')
        shortened_sweep(tmp_path / "work")
        r = subprocess.run([sys.executable, RUNNER, "-C", str(tmp_path / "work"), "--scheduler", address,
                            "--fiamma", str(once)], capture_output=True, text=True, timeout=120)
        assert r.returncode == 0 and "step 2: its worker died (KilledWorker); submitted again (1 of 2)" in r.stderr
        assert tree(tmp_path / "work") == sequential
        # the last worker killed while it runs a step: the runner gives up after the time it was given
        hold = script(tmp_path / "fiamma-hold", '[ "$1" = --print-config ] && exec fiamma "$@"\n'
                                                'touch "$0.started"; exec sleep 60')
        shortened_sweep(tmp_path / "work2")
        proc = subprocess.Popen([sys.executable, RUNNER, "-C", str(tmp_path / "work2"), "--scheduler", address,
                                 "--fiamma", str(hold), "--no-worker-timeout", "3"], stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE, text=True)
        wait_for(lambda: os.path.exists(f"{hold}.started"))
        alive = [p for p in procs[1:] if p.poll() is None]
        for p in alive:
            p.kill()
        emptied = time.monotonic()
        out, err = proc.communicate(timeout=60)
        assert proc.returncode == 3 and 3 <= time.monotonic() - emptied < 15, err
        assert "no worker for 3 s: 3 step(s) not run (01, 02, 03); i_and_min.dat holds 1, rerun to complete" in err
    finally:
        for p in reversed(procs):
            p.kill()
            p.wait()


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


def test_campaign_table_and_a_failing_point_reported_while_the_others_complete(tmp_path):
    shortened_sweep(tmp_path, {9: "50"})  # a sweep configured: each point is a single run all the same
    args = ["--workers", "2", "--vary", "Lewis=1.0,abc", "--vary", "n=97,5"]
    exe = tmp_path / "bin" / "fiamma"
    exe.parent.mkdir()
    shutil.copy(EXE, exe)
    r = runner(tmp_path, *args, exe=exe)
    assert r.returncode == 1
    rows = csv_rows(tmp_path / "campaign" / "campaign.csv")
    assert list(rows[0]) == ["Lewis", "n", "M_l_num", "M_l_ana", "M_cons", "settled", "drift", "exit_status", "wall_time_s"]
    status = {(row["Lewis"], row["n"]): row["exit_status"] for row in rows}
    assert status == {("1.0", "97"): "0", ("1.0", "5"): "2", ("abc", "97"): "2", ("abc", "5"): "2"}
    point = tmp_path / "campaign" / "point-001"
    flame = json.loads((point / "Lsummary.json").read_text())["runs"][-1]["flame"]
    assert [float(rows[0][k]) for k in ("M_l_num", "M_l_ana", "M_cons")] == [flame[k] for k in ("M_l_num", "M_l_ana", "M_cons")]
    assert rows[0]["settled"] == ("1" if flame["settled"] else "0")
    assert not (point / "LandLe.dat").exists() and not (point / "eulero_test.dat").exists()
    assert (tmp_path / "campaign" / "campaign.png").read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"
    # the refusal names the record, in the report of the failing point
    assert "point-002 (Lewis=1.0, n=5) failed: exit status 2" in r.stderr
    assert "3 point(s) failed: point-002, point-003, point-004" in r.stderr
    assert "--set Lewis: record 49 (Lewis), riga 1: atteso un numero reale, trovato \"abc\"" in r.stderr
    assert "record 4 (n) = 5" in r.stderr
    assert (point / "Lpr000051.dat").exists()
    # the rerun runs the failed points again, not the finished one
    r = runner(tmp_path, *args, exe=exe)
    assert r.returncode == 1 and "3 to run, 1 already done" in r.stdout
    # a rebuilt executable, then a changed configuration, run every point again
    with open(exe, "ab") as f:
        f.write(b"\0")
    assert "4 to run, 0 already done" in runner(tmp_path, *args, exe=exe).stdout
    (tmp_path / "eulero_test.dat").write_text((tmp_path / "eulero_test.dat").read_text() + "\n")
    assert "4 to run, 0 already done" in runner(tmp_path, *args, exe=exe).stdout


@pytest.mark.parametrize("args,resume,message", [
    (["--set", "n=abc"], None, "record 4 (n), riga 1: atteso un numero intero, trovato \"abc\""),
    (["--vary", "Lewis_number=1,2"], None, "no record of the configuration is called \"Lewis_number\""),
    (["--vary", "Lewis=1:2"], None, "--vary Lewis=1:2: a range is start:stop:count with count >= 1"),
    (["--set", "sweep_mode=0"], None, "configures no sweep (sweep_mode = 0): use --vary for a campaign"),
    ([], "0\n", "i_and_min.dat: line 1: resume index 0: at least 1"),
    # points that would write into one folder
    (["--vary", "path_prefix_2='a/',\"../b/\""], None, "path prefixes '' '../b/': in a campaign"),
])
def test_refused_before_any_run(tmp_path, args, resume, message):
    shortened_sweep(tmp_path)
    if resume is not None:
        (tmp_path / "i_and_min.dat").write_text(resume)
    r = runner(tmp_path, *args)
    assert r.returncode == 2 and r.stderr.startswith("fiamma-sweep: ") and message in r.stderr
    assert sorted(p.name for p in tmp_path.iterdir() if p.name not in ("fiamma-sweep", ".fiamma-sweep.lock")) == sorted(
        ["eulero_test.dat"] + (["i_and_min.dat"] if resume else []))
