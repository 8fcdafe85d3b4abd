// The main sequence of a run: the sweep loop around one complete simulation,
// and the time loop with its output cadence and console report.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "core/shared_state.hpp"
#include "diagnostics/conservation.hpp"
#include "diagnostics/front_tracking.hpp"
#include "diagnostics/settled.hpp"
#include "driver/settling.hpp"
#include "driver/progress.hpp"
#include "operators/operators.hpp"
#include "output/summary.hpp"
#include "output/sweep_table.hpp"
#include "solver/solver.hpp"
#include "solver/stepping.hpp"

namespace fiamma {

inline constexpr const char* kResumeFile = "i_and_min.dat";

// Values owned by the main program between the calls it makes; those a time
// step reads and hands on (the Runge-Kutta table, the held inflow momentum,
// ...) are its StepValues.
struct MainValues : StepValues {
  // The compact operators and the solver of the simulation under way, made
  // once per simulation (the grid's spacing may change between sweep steps).
  std::unique_ptr<OperatorSet> operators;
  std::unique_ptr<Solver> solver;
  int i_and = 0;
  Field dthdx{};
  Field th_tracked{};  // temperature handed to the gradient of the tracker
  StepLimits limits;
  // front tracking: outputs (0 until the first measuring call) and state
  FrontTracker front;
  double M_l_ana = 0.0, d_l_ana = 0.0, M_l_num = 0.0;
  int fl_st = 0;
  double blow = 0.0;
  long long steps = 0;  // time steps taken in this program run
  // velocity corrections of the last finished simulation and their iterations
  CorrectionCount correction;
  // a flame's conservation at the end of the simulation
  FlameConservation conservation;
  // the burning rate's window means, for the settled verdict
  RateWindows rate_windows;
  // --until-settled: the route of the simulation under way, and the last
  // settled flame of the run
  std::unique_ptr<SettleRoute> route;
  SettledFlame settled_flame;
  SweepTable table;     // open for the whole sweep
  RunRecord record;     // what the run summary states
  Progress progress;    // the progress line on a terminal
  std::filesystem::path last_snapshot;  // the newest whole snapshot
  int last_snapshot_it = 0;             // the iteration whose end state it holds
  std::filesystem::path last_companion; // its companion, written by this simulation
  std::filesystem::path restart_source; // a restart's snapshot, never written over
};

// The resume index of "i_and_min.dat": 1 when the file is missing or
// blank; an index below 1, or a file that is not a regular one, is an
// InputError.
int read_resume_index(State& s);

// The closing line of a simulation on standard error: corrections, mean and
// largest iterations per correction, and the tolerance in force.
void report_corrections(const State& s, const CorrectionCount& c);
// A flame's distances from the inflow to the front and the anchor in decay
// lengths, with a warning when the anchor is too close (standard error).
void report_domain(const State& s, const MainValues& mv);
// A flame's conservation at the end of the simulation (standard error).
void report_conservation(const State& s, const MainValues& mv);
// A flame's burning rate at the end of the simulation, its gap to the
// analytic estimate and whether it is settled (standard error).
void report_burning_rate(const State& s, const MainValues& mv);
// Everything after the start-up: resume index, sweep loop, simulations; or,
// with --sweep-step k, step k alone.
void run_sweeps(State& s, MainValues& mv);
// Step k of the configured sweep by itself, as the sweep would run it from
// the folder's resume index, with a table of its own; the resume index is
// read, never written.
void run_sweep_step(State& s, MainValues& mv, int k);
// The domain length of a flame configured with length 0: hlx predicted
// thicknesses (0.625 n when hlx is 0); the initial flame's position and width
// become lengths.
void choose_domain_length(State& s, double d_l_ana);
// One complete simulation (one sweep step).
void simulate(State& s, MainValues& mv);
// One time step of the time loop, iteration number s.tempo.it: the stages,
// the step-end constraint and, for a flame, tracking and anchoring.
void time_step(State& s, MainValues& mv);
// The front-tracking call for the grid kind.
void track_front(State& s, MainValues& mv);
// The anchoring controller after the tracking of a step; `scale`: steps of
// the explicit time step the step stands for (its per-step gains scaled).
void anchor_flame(State& s, MainValues& mv, double scale = 1.0);
// The initial projection onto the low-Mach constraint and the inflow shift.
void initial_projection(State& s, MainValues& mv);
// Closes the record of the simulation under way, if any, as ended by `end`:
// where it stopped and, for a flame, the front and burning rate as they are.
void close_simulation_record(State& s, MainValues& mv, RunEnd end);

}  // namespace fiamma
