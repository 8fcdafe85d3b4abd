"""``fiamma-sweep``: a configured sweep's steps, or a campaign over a grid of
configured values, run concurrently on a local pool of processes or on a
running Dask cluster (docs/campaigns.md). Exit status 0 when every run
succeeded, 1 when some failed, 2 for a refusal before any run, 130 after Ctrl-C."""

import argparse
import os
import shutil
import sys

from fiamma.campaign import STATE_DIR, RunnerError, run_campaign, run_sweep
from fiamma.execution import Execution


def main(argv=None):
    p = argparse.ArgumentParser(
        prog="fiamma-sweep",
        description="Runs a configured sweep's remaining steps, or a campaign over a grid of configured "
                    "values, concurrently: on a local pool of processes or on a Dask cluster.")
    p.add_argument("-C", "--workdir", default=".", help="the working folder with eulero_test.dat (default: .)")
    p.add_argument("--vary", action="append", default=[], metavar="NAME=VALUES",
                   help="campaign: NAME=v1,v2,... or NAME=start:stop:count; repeat for a grid")
    p.add_argument("--set", action="append", default=[], metavar="NAME=VALUE",
                   help="an override for every run (as fiamma --set)")
    p.add_argument("--out", default="campaign", help="campaign folder, relative to the working folder")
    p.add_argument("--workers", type=int, default=os.cpu_count() or 1, help="local processes at once (default: one per core)")
    p.add_argument("--scheduler", metavar="tcp://HOST:PORT", help="a running Dask scheduler instead of the local pool")
    p.add_argument("--until-settled", nargs="?", const="", metavar="TOL",
                   help="each step or point ends once its burning rate is settled to TOL (default 1e-5), "
                        "as fiamma --until-settled; not time-accurate on the way")
    p.add_argument("--fiamma", help="the fiamma executable (default: $FIAMMA_EXE, else fiamma on the PATH; with "
                        "--scheduler: fiamma on each worker's PATH)")
    args = p.parse_args(argv)
    if args.workers < 1:
        p.error("--workers must be at least 1")
    workdir = os.path.abspath(args.workdir)
    # options handed to every run of the program
    options = [] if args.until_settled is None else \
        ["--until-settled" + ("=" + args.until_settled if args.until_settled else "")]
    if args.scheduler:
        fiamma = args.fiamma or "fiamma"  # the same path on every worker, or found on each worker's PATH
    else:
        fiamma = args.fiamma or os.environ.get("FIAMMA_EXE") or shutil.which("fiamma")
        if not fiamma:
            print("fiamma-sweep: no fiamma executable: put it on the PATH or name it with --fiamma", file=sys.stderr)
            return 2
        fiamma = os.path.abspath(fiamma)
    try:
        if args.scheduler:
            runs = Execution.dask(args.scheduler, fiamma)
        else:
            scratch = os.path.join(workdir, STATE_DIR if not args.vary else os.path.join(args.out), "scratch")
            os.makedirs(scratch, exist_ok=True)
            runs = Execution.local(args.workers, fiamma, scratch)
    except (OSError, IOError) as e:
        print("fiamma-sweep: %s" % e, file=sys.stderr)
        return 2
    try:
        if args.vary:
            return run_campaign(runs, workdir, args.set, args.vary, os.path.join(workdir, args.out), sys.stdout,
                                options)
        return run_sweep(runs, workdir, args.set, sys.stdout, options)
    except RunnerError as e:
        print("fiamma-sweep: %s" % e, file=sys.stderr)
        return 2
    except KeyboardInterrupt:
        print("\nfiamma-sweep: interrupted; rerun to complete", file=sys.stderr)
        return 130
    finally:
        runs.close()
        if runs.scratch:
            shutil.rmtree(runs.scratch, ignore_errors=True)
