// The steady state of a held flame, found from the program's own time step
// instead of by stepping until the transient has died.
//
// Unknowns: the density and the fuel partial density on the staggered points
// 1..n-1, the momentum on the nodes 2..n and the held inflow momentum (the
// burning rate, an eigenvalue): 3n - 2 values, scaled by the inflow density,
// the inflow fuel density and the burning rate. Equations: the change of
// each field over one step of the program (Runge-Kutta stages and velocity
// corrections, at a fixed dt) divided by dt, and in place of the inflow
// momentum's own equation (the step holds it) the anchoring condition
// x_m = x_anchor on the front as the tracker locates it. A steady state of
// the step is one of the semi-discrete equations, the state the held flame
// settles to: the controller is at rest there (s = 0, x_m = x_anchor).
//
// Two quantities the step leaves free are held: the inflow point's density
// and fuel (they change by a third of the next point's change, so any value
// is steady once the rest is) at the values the simulation started from, and
// the last density, which fixes the amount of the burnt gas's boundary layer
// exp(v x / D) at the outflow, a mode decaying over a thousand flame times.
// The momentum equations are differenced along x: a node's momentum is the
// inflow's plus the integral of the divergence, so its change depends on
// every point upstream while the change of the difference depends on the
// points near it (the same zeros; a Jacobian that is nearly a band).
//
// Newton-Krylov: GMRES takes the Jacobian's products by a difference of two
// steps, preconditioned by the Jacobian with the couplings beyond 8 points
// dropped (coloured differences, a band LU bordered by the inflow column and
// the anchoring row). The velocity correction takes a fixed 14 iterations
// meanwhile, so that the step is a smooth function of its fields. Every
// array is made by the constructor; nothing is allocated afterwards.
#pragma once

#include <memory>

#include "core/shared_state.hpp"
#include "solver/solver.hpp"
#include "solver/stepping.hpp"

namespace fiamma {

// Fixed iterations of each velocity correction inside the steady state's
// steps: enough for the bias of the correction to fall below 1e-8 of the
// burning rate at n = 257 to 1025.
inline constexpr int kSteadyCorrectionIterations = 14;

struct PolishReport {
  bool converged = false;
  int newton_iterations = 0;
  long long evaluations = 0;        // steps of the program taken
  long long krylov_iterations = 0;
  double residual_start = 0.0;      // largest relative change per flame time
  double residual_end = 0.0;
};

class SteadyState {
 public:
  // For the grid and fields of `s` (n points), the step of `solver` with the
  // values `step` (the held inflow momentum among them).
  SteadyState(State& s, Solver& solver, StepValues& step);
  ~SteadyState();
  SteadyState(const SteadyState&) = delete;
  SteadyState& operator=(const SteadyState&) = delete;

  // The inflow point's density and fuel partial density to hold, and an
  // estimate of the burning rate (the scale of the momenta while the held
  // inflow momentum is still far below it).
  void hold_inflow_point(double rho, double fuel, double rate_estimate);

  // Newton-Krylov from the state as it is. Converged: the state, the held
  // inflow momentum and the temperature are the steady ones; otherwise they
  // are left as they were. Time, dt and the step counter are left as they
  // were either way.
  PolishReport polish();

  // One linearly implicit step of pseudo-time `span` in place of the
  // program's explicit step: the rate of change G of one explicit step at
  // the dt in force, then (I / span - J) d = G with the band Jacobian J
  // (rebuilt every 20 such steps), the inflow momentum held. Not
  // time-accurate: a transient towards the steady state, stable from a
  // formed flame with span up to a tenth of a flame time or so. The time is
  // not advanced. False when the band Jacobian cannot be factored.
  bool pseudo_time_step(double span);
  // The next pseudo-time step rebuilds the Jacobian.
  void forget_jacobian();

  // The front abscissa of the current state as the tracker locates it.
  double front_position();

  // The arrays, made once (opaque).
  struct Work;

 private:
  State& s_;
  Solver& solver_;
  StepValues& step_;
  std::unique_ptr<Work> w_;
};

}  // namespace fiamma
