"""fiamma.run and fiamma.open against real short runs: the answer as the
summary and the sweep table state it, the files as frames and profiles, the
errors with the program's exit status and message."""

import shutil

import pytest
from matplotlib.figure import Figure

import fiamma
from conftest import ROOT, needs_exe
from fiamma.readers import read_history, read_summary, read_sweep_table

pytestmark = needs_exe


@pytest.fixture(scope="module")
def sweep_run(fiamma_exe, tmp_path_factory):
    """Two Lewis steps of 200 (Le 0.9, 1.0) with every output under out/ (a text --set must keep whole)."""
    d = tmp_path_factory.mktemp("api")
    shutil.copy(ROOT / "examples" / "sweep" / "eulero_test.dat", d)
    (d / "out").mkdir()
    settings = {"it_end": 200, "it_out": 100, "sweep_count": 2, "sweep_end": 1.1, "path_prefix_1": "out/"}
    return fiamma.run(d, set=settings, correction_tolerance=1e-10, relative=True, fiamma=fiamma_exe)


def test_the_answer_is_the_summarys_and_the_tables(sweep_run):
    r = sweep_run
    summary, table = read_summary(r.folder / "out" / "Lsummary.json"), read_sweep_table(r.folder / "out" / "LandLe.dat")
    assert r.summary == summary and (r.end, r.exit_status) == ("normal", 0)
    assert summary["options"]["correction_tolerance"] == 1e-10 and summary["options"]["correction_relative"] is True
    last = summary["runs"][-1]["flame"]
    # the rows are written to round-trip: the same doubles as the summary's
    assert r.burning_rate == last["M_l_num"] == table["M_l_num"].iloc[-1]
    assert r.settled is last["settled"] is False
    assert list(r.burning_rates) == list(table["M_l_num"]) and list(r.burning_rates.index) == list(table["Le"])
    assert r.burning_rates.index.name == "Le"
    assert r.sweep_table.equals(table)
    assert r.history.equals(read_history(r.folder / "out" / "Bsf_delta.dat")) and sorted(r.histories) == ["A", "B"]
    steps = [(p.tag, p.step) for p in r.snapshots]
    assert steps == [(t, s) for t in "AB" for s in (0, 100, 200, 201)] and len(r.snapshot_times) == 8
    assert r.snapshot_times[3] == r.snapshot_times[2] > r.snapshot_times[1] > 0.0
    for kind in ("profiles", "history", "sweep"):
        assert isinstance(r.figure(kind), Figure)
    opened = fiamma.open(r.folder)  # found in out/, where the prefix put it
    assert opened.summary_path == r.summary_path and opened.burning_rate == r.burning_rate


def test_a_failed_run_raises_with_its_status_and_message(fiamma_exe, tmp_path):
    shutil.copy(ROOT / "examples" / "flame" / "eulero_test.dat", tmp_path)
    # a run that got going: the summary's message, and the summary with it
    with pytest.raises(fiamma.RunError) as caught:
        fiamma.run(tmp_path, set={"stab": 3.0, "it_end": 20}, fiamma=fiamma_exe)
    message = "campo rho (densità) non finito (punto 1, iterazione 2); stato in Fpr000002.dat"
    assert (caught.value.status, caught.value.message) == (4, message)
    assert caught.value.summary == read_summary(tmp_path / "Fsummary.json") and caught.value.summary["message"] == message
    assert fiamma.open(tmp_path).end == "non_finite"
    # refused input writes no summary: the message from standard error, not the earlier run's summary
    with pytest.raises(fiamma.RunError) as caught:
        fiamma.run(tmp_path, set={"n": 5}, fiamma=fiamma_exe)
    assert (caught.value.status, caught.value.summary) == (2, None)
    assert caught.value.message == ("fiamma: eulero_test.dat: valori non ammessi\n"
                                    "  record 4 (n) = 5: deve essere compreso tra 9 e 1025")
