"""fiamma-plot when a file cannot be written (a size limit, a full disk, a
read-only folder), for figures, ParaView files and CSV: exit 5, one line
naming the file, no file cut under its name."""

import re
import resource
import signal
import subprocess
from pathlib import Path

import pytest

from conftest import ROOT
from fiamma.plot_command import main

PLOT = str(ROOT / "python" / "bin" / "fiamma-plot")


# A full disk and a read-only folder are file systems of their own (tmpfs) mounted on the --out folder in
# a mount namespace; what the command leaves there is copied out before the namespace ends.
MOUNTED = 'mount -t tmpfs -o "$1" none "$2" || exit 99; out=$2 save=$3; shift 3; "$@"; s=$?; cp -a "$out"/. "$save"; exit $s'
FAULTS = {"size limit": "File too large", "full disk": "No space left on device",
          "read-only folder": "Read-only file system"}


def size_limit():
    resource.setrlimit(resource.RLIMIT_FSIZE, (1000, 1000))
    signal.signal(signal.SIGXFSZ, signal.SIG_DFL)


def outputs(folder):  # every file by relative path, the .vtr without the addresses VTK gives unnamed arrays
    return {str(p.relative_to(folder)): re.sub(rb'"Array 0x[0-9a-f]+"', b"", p.read_bytes())
            for p in Path(folder).rglob("*") if p.is_file()}


@pytest.fixture(scope="module")
def whole(flame_dir, tmp_path_factory):
    out = tmp_path_factory.mktemp("whole")
    assert main(["--png", "--paraview", "--csv", "--last", "-q", "--out", str(out), str(flame_dir)]) == 0
    return outputs(out)


@pytest.mark.parametrize("fault", FAULTS)
@pytest.mark.parametrize("kind", ["figures", "paraview", "csv"])
def test_write_failure_is_one_line_and_leaves_no_cut_file(flame_dir, whole, tmp_path, fault, kind):
    out, save = tmp_path / "out", tmp_path / "save"
    out.mkdir(), save.mkdir()
    command = [PLOT, {"figures": "--png"}.get(kind, "--" + kind), "--last", "-q", "--out", str(out), str(flame_dir)]
    if fault == "size limit":  # the signal at its default disposition: the command itself must turn it into an error
        done = subprocess.run(command, preexec_fn=size_limit, capture_output=True, text=True, timeout=120)
        save = out
    else:
        options = "size=4k" if fault == "full disk" else "ro"
        done = subprocess.run(["unshare", "-rm", "sh", "-c", MOUNTED, "sh", options, out, save, *command],
                              capture_output=True, text=True, timeout=120)
        if done.returncode == 99 or "unshare" in done.stderr:
            pytest.skip("no mount namespace here: " + done.stderr.strip())
    m = re.fullmatch(r"fiamma-plot: (\S+): (.+)\n", done.stderr)
    assert done.returncode == 5 and m and m.group(2) == FAULTS[fault], done.stderr
    named = Path(m.group(1)).relative_to(out)
    assert named.parts[0] == kind and (len(named.parts) == 1 or str(named) in whole)  # a folder or a final name
    assert all(whole[name] == data for name, data in outputs(save).items())  # whole files only, no temporary
