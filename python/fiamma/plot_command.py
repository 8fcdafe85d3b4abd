"""``fiamma-plot``: figures, ParaView files and CSV tables of a run directory.

Exit status: 0 written; 1 no output of a run found; 2 an input that cannot
be read or is malformed; 5 an output that cannot be written (a full disk, a
size limit, a folder that cannot be written); 130 Ctrl-C. Every
failure is one line on standard error, ``fiamma-plot: FILE: reason``, and
leaves no file cut under its final name (``fiamma.writing``).
"""

from __future__ import annotations

import argparse
import io
import signal
import sys
from pathlib import Path

from .catalog import Catalog, each_time_once
from .readers import FormatError, read_analytic, read_snapshot, read_sweep_table, summary_runs
from .writing import WriteError, write_atomically

USAGE = """\
fiamma-plot [--png] [--paraview] [--csv] [--each-snapshot] [--last] [--out DIR] [-q] RUN_DIR

Reads the files a Fiamma1D run wrote in RUN_DIR (the directory it ran in; the
outputs may lie where its path prefixes put them) and writes, by default, PNG
figures into RUN_DIR/figures:
  <tag>pr_profiles.png      th, rho, v, y1, wwx against x, every snapshot of the
                            run tag overlaid, coloured by time
  <tag>sf_delta_history.png x_m with the anchor, s, w_in, the burning rate
                            (numerical and analytic), var (log) against the step
  <tag>and<code>_sweep.png  burning rate, thermal thickness 1/M and measured front
                            thickness against the swept value; unsettled points
                            open, failed steps left out and named
  <tag>an<step>_compare.png analytic solution against the snapshot of its step
--each-snapshot also <snapshot>_profiles.png, one figure per snapshot
--last     only each run tag's last snapshot
--paraview writes RUN_DIR/paraview: one .vtr per snapshot and analytic file and
           a .pvd time series per run tag (<tag>pr.pvd, <tag>an.pvd), each time once
--csv      writes RUN_DIR/csv: <tag>sf_delta.csv, <tag>and<code>.csv, <tag>summary_runs.csv
--png      the figures too, when --paraview or --csv is given
--out DIR  write into DIR/figures, DIR/paraview, DIR/csv instead
-q         print nothing but errors
Exit status: 0 done, 1 no output of a run found, 2 a file that cannot be read,
5 a file that cannot be written (one line: fiamma-plot: FILE: reason), 130 Ctrl-C.
"""


def _known_time(cat, path, prof):
    time, source = cat.time_of(path, prof.step, prof.tag)
    return None if source == "step" else time


def _png(fig, target: Path) -> None:
    from . import figures
    import matplotlib.pyplot as plt

    data = io.BytesIO()
    fig.savefig(data, format="png", dpi=figures.DPI)
    plt.close(fig)
    write_atomically(target, data.getvalue())


def _csv(frame, target: Path) -> None:
    write_atomically(target, frame.to_csv(index=False).encode("utf-8"))


def snapshot_series(cat: Catalog, tag: str, only_last: bool = False):
    """(profiles, times, time label) of the snapshots of run tag ``tag`` in
    step order, each time once; the step numbers stand for the times when
    the times are not known."""
    paths = [p for p in cat.outputs.snapshots if p.name[0] == tag]
    entries = []
    for p in paths[-1:] if only_last else paths:
        prof = read_snapshot(p)
        entries.append((cat.time_of(p, prof.step, prof.tag), prof))
    known = all(source != "step" for (_, source), _ in entries)
    series = each_time_once([(t if known else float(prof.step), prof) for (t, _), prof in entries])
    return [prof for _, prof in series], [t for t, _ in series], "time t / t_ref" if known else "step it"


def profiles_figure(cat: Catalog, tag: str, only_last: bool = False):
    from . import figures

    profiles, times, label = snapshot_series(cat, tag, only_last)
    front, source = cat.front_of(profiles[-1])
    steps = f"step {profiles[0].step}" + (f" to {profiles[-1].step}" if len(profiles) > 1 else "")
    title = f"run tag {tag}: {len(profiles)} snapshot(s), {steps}"
    if front is not None:
        title += f"; dashed: the last one's front x_m ({source})"
    return figures.plot_profiles_in_time(profiles, times, label, front, title)


def history_figure(cat: Catalog, tag: str, name: str = ""):
    from . import figures

    return figures.plot_history(cat.histories[tag], cat.anchor_of(tag), f"{name}: front history of run tag {tag}",
                                cat.rho_in_of(tag), cat.flame_of(tag).get("M_l_ana"))


def sweep_figure(cat: Catalog, table, warn=None):
    """The sweep figure of a table; ``warn`` receives a line per failed step left out."""
    from . import figures

    flags, failed = cat.sweep_marks(table)
    for text in failed:
        if warn is not None:
            warn(f"{table.attrs['path']}: not in the figure, failed: {text}")
    return figures.plot_sweep(table, flags, failed, cat.criterion())


def write_figures(cat: Catalog, out: Path, log, only_last: bool = False, each: bool = False,
                  warn=None) -> list[Path]:
    from . import figures  # matplotlib only when figures are asked for

    written = []
    snapshots = {}
    for tag in dict.fromkeys(p.name[0] for p in cat.outputs.snapshots):
        target = out / f"{tag}pr_profiles.png"
        _png(profiles_figure(cat, tag, only_last), target)
        written.append(target)
    last = {}
    for p in cat.outputs.snapshots:
        last[p.name[0]] = p  # sorted by step within a tag
    for p in cat.outputs.snapshots:
        snap = read_snapshot(p)
        snapshots[(snap.tag, snap.step)] = snap
        if not each or (only_last and last[p.name[0]] != p):
            continue
        front, source = cat.front_of(snap)
        target = out / f"{p.stem}_profiles.png"
        _png(figures.plot_profiles(snap, front, source, _known_time(cat, p, snap)), target)
        written.append(target)
    for p in cat.outputs.histories:
        h = cat.histories.get(p.name[0])
        if h is None or h.empty:
            log(f"{p}: no records yet, no figure")
            continue
        target = out / f"{p.stem}_history.png"
        _png(history_figure(cat, p.name[0], p.name), target)
        written.append(target)
    for p in cat.outputs.sweep_tables:
        table = read_sweep_table(p)
        if table.empty:
            log(f"{p}: no rows (no finished flame step), no figure")
            continue
        target = out / f"{p.stem}_sweep.png"
        _png(sweep_figure(cat, table, warn), target)
        written.append(target)
    for p in cat.outputs.analytic:
        an = read_analytic(p)
        snap = snapshots.get((an.tag, an.step))
        time = _known_time(cat, p, an)
        target = out / f"{p.stem}_compare.png"
        _png(figures.plot_comparison(an, snap, time), target)
        written.append(target)
    return written


def write_paraview(cat: Catalog, out: Path, log) -> list[Path]:
    from . import paraview

    written = []
    series: dict = {}
    for kind, paths, reader in (("pr", cat.outputs.snapshots, read_snapshot),
                                ("an", cat.outputs.analytic, read_analytic)):
        for p in paths:
            prof = reader(p)
            time, source = cat.time_of(p, prof.step, prof.tag)
            target = out / f"{p.stem}.vtr"
            paraview.write_vtr(prof, target, time)
            written.append(target)
            series.setdefault((prof.tag or "_", kind), []).append((time, target, source))
    for (tag, kind), entries in sorted(series.items()):
        sources = sorted({s for _, _, s in entries})
        pvd = out / f"{tag}{kind}.pvd"
        paraview.write_pvd([(t if t is not None else i, f.name) for i, (t, f, _) in enumerate(entries)], pvd)
        written.append(pvd)
        log(f"{pvd}: {len(entries)} files, times from {', '.join(sources)}")
    return written


def write_csv(cat: Catalog, out: Path, log) -> list[Path]:
    written = []
    for p in cat.outputs.histories:
        h = cat.histories.get(p.name[0])
        if h is None:
            continue
        target = out / f"{p.stem}.csv"
        _csv(h.drop(columns=["line"]), target)
        written.append(target)
    for p in cat.outputs.sweep_tables:
        target = out / f"{p.stem}.csv"
        _csv(read_sweep_table(p).drop(columns=["line"]), target)
        written.append(target)
    for p, doc in zip(cat.outputs.summaries, cat.summaries):
        target = out / f"{p.stem}_runs.csv"
        _csv(summary_runs(doc), target)
        written.append(target)
    return written


def main(argv=None) -> int:
    parser = argparse.ArgumentParser(prog="fiamma-plot", usage=USAGE, add_help=True)
    parser.add_argument("run_dir", type=Path)
    parser.add_argument("--png", action="store_true")
    parser.add_argument("--paraview", action="store_true")
    parser.add_argument("--csv", action="store_true")
    parser.add_argument("--out", type=Path, default=None)
    parser.add_argument("--last", action="store_true")
    parser.add_argument("--each-snapshot", action="store_true")
    parser.add_argument("-q", "--quiet", action="store_true")
    args = parser.parse_args(argv)
    # past a size limit a write fails (EFBIG) and is reported, instead of the signal killing the process
    signal.signal(signal.SIGXFSZ, signal.SIG_IGN)

    def log(text):
        if not args.quiet:
            try:
                print(text, flush=True)
            except OSError as exc:
                raise WriteError("standard output", exc.strerror or str(exc)) from None

    png = args.png or not (args.paraview or args.csv)
    base = args.out if args.out is not None else args.run_dir
    try:
        cat = Catalog.of(args.run_dir)
        written = []
        if png:
            written += write_figures(cat, base / "figures", log, args.last, args.each_snapshot,
                                     lambda text: print(f"fiamma-plot: {text}", file=sys.stderr))
        if args.paraview:
            written += write_paraview(cat, base / "paraview", log)
        if args.csv:
            written += write_csv(cat, base / "csv", log)
        if not written:
            print(f"fiamma-plot: {args.run_dir}: no output files of a Fiamma1D run found", file=sys.stderr)
            return 1
        for w in written:
            log(str(w))
    except FormatError as exc:
        print(f"fiamma-plot: {exc}", file=sys.stderr)
        return 2
    except WriteError as exc:
        print(f"fiamma-plot: {exc}", file=sys.stderr)
        return 5
    except OSError as exc:  # an input that cannot be read
        print(f"fiamma-plot: {exc.filename}: {exc.strerror}" if exc.filename else f"fiamma-plot: {exc}",
              file=sys.stderr)
        return 2
    except KeyboardInterrupt:
        print("fiamma-plot: interrupted", file=sys.stderr)
        return 130
    return 0
