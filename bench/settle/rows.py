"""Each row of a finished Lewis sweep against the steady flame's eigenvalue.

    PYTHONPATH=python /usr/bin/python3 bench/settle/rows.py build/release/fiamma RUN_DIR

prints, per step: Le, M_l_num, its relative error against the eigenvalue of
fiamma.steady (collocation, tolerance 1e-10), it_fin, the steps and flame
times of the simulation and, with --until-settled, the polishes and
pseudo-time steps (from the run summary)."""

import sys
from pathlib import Path

from fiamma.config import print_config
from fiamma.readers import read_summary, read_sweep_table
from fiamma.steady import flame_from_configuration


def main(exe, run_dir):
    run_dir = Path(run_dir)
    values = print_config(Path(exe).resolve(), run_dir)
    table = read_sweep_table(next(p for p in run_dir.glob("?and??.dat")))
    runs = read_summary(next(run_dir.glob("*summary.json")))["runs"]
    print("Le, M_l_num, error, it_fin, steps, flame_times, settled, polishes, pseudo_steps")
    for row, run in zip(table.itertuples(), runs):
        M = flame_from_configuration({**values, "Lewis": row.Le}).solve(tol=1e-10)[0]
        f, st = run["flame"], run.get("settling") or {}
        print(f"{row.Le:.2f}, {row.M_l_num:.10f}, {(row.M_l_num - M) / M:+.2e}, {row.it_fin}, {run['steps']}, "
              f"{f['flame_times']:.2f}, {f['settled']}, {st.get('polishes', '')}, {st.get('pseudo_steps', '')}")


if __name__ == "__main__":
    main(*sys.argv[1:3])
