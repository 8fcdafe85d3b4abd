// One time step of the fields: the Runge-Kutta stages with their velocity
// corrections, the step update and the step-end constraint, at the time step
// in force. The time loop adds the time-step control, the front tracking and
// the anchoring around it; the steady-state solver takes it as the map whose
// fixed point it seeks.
#pragma once

#include "core/shared_state.hpp"
#include "solver/solver.hpp"

namespace fiamma {

// What a step reads and hands on besides the fields: the Runge-Kutta table,
// the inflow momentum held at node 1, the boundary momenta handed to the
// corrections, the outflow velocity of the pressure balance and the stage
// density at the nodes.
struct StepValues {
  RungeKutta rk;
  double inflow_momentum = 0.0;
  double bm_in = 0.0, bm_out = 0.0;  // boundary momenta handed to the correction
  double v_out = 0.0;
  Field rho_nodes{};
};

// The low-Mach constraint on the step fields (vvar): temperature, pressure
// balance, divergence and velocity correction; with `hold_inflow` the held
// inflow momentum takes node 1's momentum before the correction.
void constrain_step_fields(State& s, Solver& solver, StepValues& v, bool hold_inflow);

// The stages, t + dt, the update and the step-end constraint.
void advance_fields(State& s, Solver& solver, StepValues& v);

}  // namespace fiamma
