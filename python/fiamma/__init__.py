"""Fiamma1D's Python tools: run the simulator and read a run back
(``fiamma.run``, ``fiamma.open``, docs/python.md), readers of every output
file, figures, ParaView and CSV export, sweeps and campaigns.

    import fiamma
    r = fiamma.run("work", set={"Lewis": 1.2})
    r.burning_rate, r.history, r.figure("history")

    from fiamma.readers import read_snapshot, read_history, read_sweep_table
"""

__version__ = "0.1.0"
__all__ = ["run", "open", "Run", "RunError"]


def __getattr__(name):
    # the API on first use: importing the package (a pool process of fiamma-sweep) stays light
    if name in __all__:
        from . import api

        return getattr(api, name)
    raise AttributeError(f"module 'fiamma' has no attribute {name!r}")
