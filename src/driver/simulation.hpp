// The main sequence of a run: the sweep loop around one complete simulation,
// and the time loop with its output cadence and console report.
#pragma once

#include <filesystem>
#include <string>

#include "diagnostics/front_tracking.hpp"
#include "driver/shared_state.hpp"
#include "driver/sweep.hpp"
#include "solver/solver.hpp"

namespace fiamma {

inline constexpr const char* kResumeFile = "i_and_min.dat";

// Values owned by the main program between the calls it makes.
struct MainValues {
  int i_and = 0;
  RungeKutta rk;
  double inflow_momentum = 0.0;
  double bm_in = 0.0, bm_out = 0.0;  // boundary momenta handed to the correction
  double v_out = 0.0;
  Field dthdx{};
  Field th_tracked{};  // temperature handed to the gradient of the tracker
  Field rho_nodes{};
  StepLimits limits;
  // front tracking: outputs (0 until the first measuring call) and state
  FrontTracker front;
  double M_l_ana = 0.0, d_l_ana = 0.0, M_l_num = 0.0;
  int fl_st = 0;
  double blow = 0.0;
  long long steps = 0;  // time steps taken in this program run
  SweepTable table;     // open for the whole sweep
  std::filesystem::path last_snapshot;  // the newest whole snapshot
};

// The resume index of "i_and_min.dat": 1 when the file is missing or
// blank; an index below 1, or a file that is not a regular one, is an
// InputError.
int read_resume_index(State& s);

// Everything after the start-up: resume index, sweep loop, simulations.
void run_sweeps(State& s, MainValues& mv);
// One complete simulation (one sweep step).
void simulate(State& s, MainValues& mv);
// One time step of the time loop, iteration number s.tempo.it: the stages,
// the step-end constraint and, for a flame, tracking and anchoring.
void time_step(State& s, MainValues& mv);
// The front-tracking call for the grid kind.
void track_front(State& s, MainValues& mv);
// The initial projection onto the low-Mach constraint and the inflow shift.
void initial_projection(State& s, MainValues& mv);

}  // namespace fiamma
