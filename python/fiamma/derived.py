"""The quantities a run derives from its configuration, computed as the
program computes them, in one place for every tool."""

from __future__ import annotations

import math

D_1 = 10000.0  # heat release per unit fuel mass fraction of a flame run
SETTLED_VARIANCE = 1e-12  # a sweep step's flame is settled (fl_st 1) at or below this window variance


def stored_zeldovich(gamma: float, zeldovich: float) -> float:
    """The activation temperature stored for a configured Zeldovich number: γ·z/(γ − 1)."""
    return gamma * zeldovich / (gamma - 1.0)


def flame_pressure(gamma: float) -> float:
    """The thermodynamic pressure of a flame run, 10000·γ/(γ − 1) (th = P/rho)."""
    return 10000.0 * gamma / (gamma - 1.0)


def adiabatic_temperature(th_fresh: float, y1_fresh: float, d_1: float = D_1) -> float:
    """The temperature of the burnt gas when all the fuel has burnt: th_fresh + D_1·y1_fresh."""
    return th_fresh + d_1 * y1_fresh


def anchor(config: dict, domain_length: float) -> float:
    """The abscissa the controller holds the flame at, from the configured values."""
    if config["sweep_mode"] == 1 or config["x_anchor"] == 0.0:
        return config["x_anchor_fraction"] * domain_length
    return 2.0 * math.pi * config["x_anchor"]
