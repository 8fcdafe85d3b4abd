"""Fiamma1D's Python tools: readers of every output file, figures, ParaView and CSV export.

    from fiamma.readers import read_snapshot, read_history, read_sweep_table
"""

__version__ = "0.1.0"
