// How well a held flame keeps what the steady flame conserves, read from the
// state at the end of a simulation, and how far its inflow boundary lies from
// the front.
#pragma once

#include "core/shared_state.hpp"
#include "diagnostics/front_tracking.hpp"
#include "operators/operators.hpp"

namespace fiamma {

// Conservation of a flame at the end of a simulation. NaN where a quantity
// cannot be formed (no window, no burning rate).
struct FlameConservation {
  // (th at the last staggered point - th_fresh - D_1 y1_fresh) / (th_fresh + D_1 y1_fresh)
  double burnt_temperature_relative = 0.0;
  // (max - min) / mean over the nodes of the mass flux through the front, rho (v - s)
  double mass_flux_spread = 0.0;
  // (rho_in s_cons - rho_in (w_in - s)) / (rho_in (w_in - s)): consumption against inflow
  double consumption_vs_inflow = 0.0;
  // relative change of w_in - s across the tracker's window, per flame time
  // tau = rho_in / M^2 (thermal length 1/M over the speed M / rho_in, M = rho_in (w_in - s))
  double drift_per_flame_time = 0.0;
  double flame_time = 0.0;
};

// window_steps: measuring steps the tracker has taken in this simulation (the
// window is used only once it is full); dt: the time step of the window.
FlameConservation flame_conservation(State& s, OperatorSet& ops, const FrontTracker& f, int n_stab, int window_steps,
                                     double dt);

// Distances from the inflow (x = 0) to the initial front and to the anchor,
// in thermal lengths 1/M and fuel decay lengths 1/(Le M) of the analytic
// burning rate M.
struct DomainGuidance {
  double thermal_length = 0.0, fuel_length = 0.0;
  double front_thermal = 0.0, front_fuel = 0.0;    // initial front
  double anchor_thermal = 0.0, anchor_fuel = 0.0;  // anchor
  // the smaller of the anchor's distances is below kDomainWarningLengths
  bool warn = false;
};

// Below this many decay lengths between the inflow and the held front the
// inflow cuts the flame's tail measurably: the settled burning rate falls
// short by 0.86 exp(-M d) (measured with the velocity correction converged
// at four anchors, docs/accuracy.md): 1.2e-5 at 11 lengths of the analytic
// estimate, e times more per length closer.
inline constexpr double kDomainWarningLengths = 11.0;

DomainGuidance domain_guidance(double M_ana, double lewis, double x_front, double x_anchor);

}  // namespace fiamma
