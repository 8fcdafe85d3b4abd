"""The steady travelling flame of the solver's equations, for any Lewis number.

In the frame of the flame the mass flux M = rho v is uniform, and the low-Mach
equations of fiamma (unit conductivity, fuel diffusion d2(y1)/dx2 / Le,
one-step reaction w = Da rho y1 exp(-Ta/th), rho = P/th) reduce to

    M th' = th'' + D1 w,        M y1' = y1''/Le - w,

with th = th_fresh, y1 = y1_fresh far upstream and y1 -> 0, th' -> 0 far
downstream. M is the eigenvalue of this two-point problem. In the scaled
variables u = (th - th_fresh)/(D1 y1_fresh) and Y = y1/y1_fresh (D1 y1_fresh is
the temperature rise) it reads

    u'' = M u' - W,   Y'' = Le (M Y' + W),   W = Da (P/th) Y exp(-Ta/th).

It is solved by collocation (scipy's solve_bvp) on [0, L] with M as an unknown
parameter. At x = 0 the gas is still cold (u = 1e-3, where W is far below the
round-off of the peak rate), so the reaction-free solutions hold exactly there:
u' = M u and Y' = Le M (Y - 1); u(0) = 1e-3 fixes the translation. At x = L the
gas is burnt: u' = 0 and Y' = -lam Y with lam the decay rate of the fuel in
burnt gas at the burnt temperature.

Command line: python3 -m fiamma.steady eulero_test.dat [--set NAME=VALUE ...]
prints the eigenvalue for the configuration (the derived quantities Ta, D1
and P as the program derives them for a flame, fiamma.derived).
"""

from __future__ import annotations

import argparse
import math
import os
import subprocess
import time
from dataclasses import dataclass

import numpy as np
from scipy.integrate import solve_bvp

from . import derived
from .config import output_path, overrides, print_config
from .readers import read_history, read_snapshot, read_summary

U_COLD = 1e-3  # u at the upstream end of the computed interval
SNAPSHOT_HEADER = ' VARIABLES = "x", "rho", "v", "th","vh","vp","vm","y1","y2","wwx"'


@dataclass
class SteadyFlame:
    P: float       # thermodynamic pressure, th = P / rho
    Da: float      # pre-exponential factor
    Ta: float      # activation temperature (the stored Zeldovich entry)
    th_fresh: float
    D1: float      # heat release per unit fuel mass fraction
    y1_fresh: float
    Le: float

    @property
    def th_burnt(self) -> float:
        return derived.adiabatic_temperature(self.th_fresh, self.y1_fresh, self.D1)

    def rate(self, u, Y):
        """W = Da (P/th) Y exp(-Ta/th), scaled like Y (the fuel sink over y1_fresh)."""
        # iterates far from the solution may leave the physical range
        th = self.th_fresh + (self.th_burnt - self.th_fresh) * np.clip(u, -0.4, 2.0)
        return self.Da * (self.P / th) * Y * np.exp(-self.Ta / th)

    def large_activation_estimate(self) -> float:
        """The large-activation-energy mass flux of the program's estimate (a starting guess)."""
        thb, thf = self.th_burnt, self.th_fresh
        rho_u = self.P / thf
        return math.sqrt(2 * self.Le * self.Da * rho_u * thf / thb) * 1e-4 * thb**2 / (
            self.Ta * self.y1_fresh * math.exp(self.Ta / (2 * thb)))

    def solve(self, tol: float = 1e-9, M_guess: float | None = None, length: float = 40.0):
        """The eigenvalue M and the profiles (x, th, y1) on the collocation mesh.

        length is the interval in thermal lengths 1/M_guess."""
        M0 = M_guess if M_guess is not None else self.large_activation_estimate()
        Le = self.Le
        thb = self.th_burnt
        k_b = self.Da * self.P / thb * math.exp(-self.Ta / thb)  # fuel decay in burnt gas
        L = length / M0

        def rhs(x, y, p):
            M = p[0]
            u, du, Y, dY = y
            W = self.rate(u, Y)
            return np.vstack([du, M * du - W, dY, Le * (M * dY + W)])

        def bc(ya, yb, p):
            M = p[0]
            lam = 0.5 * (-Le * M + math.sqrt((Le * M) ** 2 + 4 * Le * k_b))
            return np.array([ya[0] - U_COLD, ya[1] - M * ya[0], ya[3] - Le * M * (ya[2] - 1.0),
                             yb[1], yb[3] + lam * yb[2]])

        # start: the reaction-free preheat profile up to the front, burnt beyond
        x = np.linspace(0.0, L, 2001)
        x_front = math.log(1.0 / U_COLD) / M0
        u = np.where(x < x_front, U_COLD * np.exp(M0 * x), 1.0)
        du = np.where(x < x_front, M0 * u, 0.0)
        Y = np.where(x < x_front, 1.0 - u, 0.0)
        dY = np.where(x < x_front, -M0 * u, 0.0)
        sol = solve_bvp(rhs, bc, x, np.vstack([u, du, Y, dY]), p=[M0], tol=tol, max_nodes=2_000_000)
        if not sol.success:
            raise RuntimeError("steady flame: collocation did not converge: " + sol.message)
        self._sol = sol
        M = float(sol.p[0])
        th = self.th_fresh + (thb - self.th_fresh) * sol.y[0]
        y1 = self.y1_fresh * sol.y[2]
        return M, sol.x, th, y1


def flame_from_configuration(values: dict) -> SteadyFlame:
    """The steady flame of a configuration, given its values by --print-config name."""
    gamma = values["gamma"]
    return SteadyFlame(P=derived.flame_pressure(gamma), Da=values["Damkohler"],
                       Ta=derived.stored_zeldovich(gamma, values["Zeldovich"]), th_fresh=values["th_fresh"],
                       D1=derived.D_1, y1_fresh=values["y1_fresh"], Le=values["Lewis"])


def snapshot_lines(flame: SteadyFlame, M: float, nodes, x_front: float) -> list[str]:
    """A field snapshot (the restart layout) of the last solved steady flame on
    the given node abscissae, its steepest temperature gradient at x_front,
    the gas entering at the flame speed (the mass flux M everywhere)."""
    sol = flame._sol
    # the steepest gradient: u' is a component of the solution
    xf = np.linspace(sol.x[0], sol.x[-1], 400001)
    du = sol.sol(xf)[1]
    k = int(np.argmax(du))
    h = xf[1] - xf[0]
    f0, f1, f2 = du[k - 1], du[k], du[k + 1]
    x_peak = xf[k] + 0.5 * h * (f0 - f2) / (f0 - 2 * f1 + f2)
    x_local = np.asarray(nodes, dtype=float) - (x_front - x_peak)
    inside = np.clip(x_local, sol.x[0], sol.x[-1])
    u, _, Y, _ = sol.sol(inside)
    # outside the computed interval: the reaction-free exponentials upstream,
    # the burnt state downstream
    up = x_local < sol.x[0]
    u0, Y0 = sol.y[0][0], sol.y[2][0]
    u[up] = u0 * np.exp(M * (x_local[up] - sol.x[0]))
    Y[up] = 1.0 - (1.0 - Y0) * np.exp(flame.Le * M * (x_local[up] - sol.x[0]))
    th_n = flame.th_fresh + (flame.th_burnt - flame.th_fresh) * u
    y1_n = flame.y1_fresh * Y
    rho = flame.P / th_n
    v = M / rho
    w = flame.Da * rho * y1_n * np.exp(-flame.Ta / th_n)
    n = len(nodes)
    out = [SNAPSHOT_HEADER, f" ZONE I ={n:04d}"]
    for i in range(n):
        out.append(" " + " ".join(repr(float(a)) for a in
                                  (nodes[i], rho[i], v[i], th_n[i], v[i], 0.0, 0.0, y1_n[i], 0.0, w[i])))
    return out


# ---------------------------------------------------------------- runs of the program

def _fiamma(exe, workdir, args):
    return subprocess.run([str(exe), *args], cwd=workdir, check=True, capture_output=True, text=True)


def held_from_steady(exe, workdir, sets=(), steps=400, options=(), t_follow=2.0, tol=1e-9):
    """Lays the steady flame of the configuration in workdir (with --set sets) at
    the anchor, restarts the program from it for the given steps and returns
    (M_exact, M_num, th_burnt, th_adiabatic, stderr of the run); the run's
    wall time is left in held_from_steady.run_seconds.

    The controller waits until t_follow, past the first measuring steps (whose
    front speed has no earlier position behind it)."""
    base = overrides(sets)
    values = print_config(exe, workdir, sets)

    def output(name):
        return os.path.join(workdir, output_path(values, values["run_tag"] + name))

    def flame_state(key):
        return read_summary(output("summary.json"))["runs"][-1]["flame"][key]

    _fiamma(exe, workdir, base + ["--set", "it_end=0", "--set", "it_start=0", "--set", "ires=0"])
    anchor = flame_state("x_anchor")
    snap = read_snapshot(output("pr000000.dat"))
    flame = flame_from_configuration(values)
    flame.P = snap["rho"][0] * snap["th"][0]
    M, xs, th, y1 = flame.solve(tol=tol)

    def lay(x_front):
        with open(os.path.join(workdir, values["restart_name_1"]), "w") as f:
            f.write("\n".join(snapshot_lines(flame, M, snap["x"], x_front)) + "\n")

    # The tracker locates the front on the grid a fraction of a spacing away
    # from the steepest gradient of the continuous profile: one step measures
    # where it puts this profile, and the profile is laid again so that the
    # tracker finds it at the anchor and the controller has nothing to do.
    lay(anchor)
    _fiamma(exe, workdir, base + ["--set", "ires=1", "--set", "it_start=0", "--set", "it_end=1",
                                  "--set", "it_out=1", "--set", "follow_mode=0", *options])
    lay(2 * anchor - flame_state("x_m"))
    started = time.monotonic()
    run = _fiamma(exe, workdir, base + ["--set", "ires=1", "--set", "it_start=0", "--set", f"it_end={steps}",
                                        "--set", f"it_out={steps}", "--set", f"t_follow={t_follow}",
                                        *options])
    held_from_steady.run_seconds = time.monotonic() - started
    last = read_history(output("sf_delta.dat")).iloc[-1]
    final = read_snapshot(output(f"pr{steps + 1:06d}.dat"))
    M_num = final["rho"][0] * (last["w_in"] - last["s"])
    return M, M_num, final["th"][-1], flame.th_burnt, run.stderr


def main(argv=None) -> int:
    ap = argparse.ArgumentParser(description="The eigenvalue M of the steady flame of a configuration.")
    ap.add_argument("config", help="configuration file (read through fiamma --print-config)")
    ap.add_argument("--exe", default="fiamma", help="the fiamma executable")
    ap.add_argument("--set", action="append", default=[], metavar="NAME=VALUE")
    ap.add_argument("--tol", type=float, default=1e-9)
    a = ap.parse_args(argv)
    flame = flame_from_configuration(print_config(a.exe, os.getcwd(), a.set, a.config))
    M, *_ = flame.solve(tol=a.tol)
    print(f"{M:.12g}")
    return 0


if __name__ == "__main__":
    raise SystemExit(main())
