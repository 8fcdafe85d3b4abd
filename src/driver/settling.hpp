// --until-settled: the route of a flame simulation to its settled burning
// rate, and the end of the time loop as soon as it is there.
//
// From the initial profile (front laid at the anchor): 300 explicit steps
// form the flame; then linearly implicit pseudo-time steps of a 22nd of the
// analytic flame time (steady/: not time-accurate) carry it towards the
// steady state at a cost per flame time that does not grow with n; from two
// flame times on, with the front within half a thermal length of the anchor,
// a Newton polish of the steady state of the program's own step, retried
// every half flame time until it converges. From a settled neighbour (the
// sweep step before, same grid and fresh gas) or a restart snapshot the
// polish is tried at once. A converged polish is verified by explicit steps
// with the controller at rest and the velocity correction at the run's
// tolerance (TOL / 1000 relative unless given): two halves of a 200th of a
// flame time, at least 50 steps each; the estimated distance 5 |drift per
// flame time| + the distance from the polished rate must be at most TOL / 2,
// else the approach resumes. Before the first polish the steps use the
// default correction tolerance (they do not enter the answer).
#pragma once

#include <cmath>
#include <limits>
#include <memory>

#include "core/shared_state.hpp"
#include "diagnostics/settled.hpp"
#include "steady/steady_state.hpp"

namespace fiamma {

struct MainValues;

// A settled flame kept for the next simulation of the run.
struct SettledFlame {
  bool valid = false;
  int n = 0;
  double domain_length = 0.0;
  SlotFields vvar{};  // node 1's momentum the held inflow momentum
  double pressure = 0.0;
};

// Where the route of one simulation stands.
struct SettleRoute {
  enum class Phase { Approach, Verify, Done };
  Phase phase = Phase::Approach;
  // held: the controller holds the flame (follow_mode 15); otherwise the
  // route is explicit stepping alone, ended by the rate's windows
  bool held = true;
  std::unique_ptr<SteadyState> steady;
  double flame_time = 0.0;      // of the analytic estimate: the route's clock
  double t_start = 0.0;
  double pseudo_span = 0.0;     // the pseudo-time step (0: none)
  double next_attempt_t = 0.0;  // the earliest time of the next polish
  bool continued = false;       // started from the settled flame of the step before
  int attempts = 0, polishes = 0;
  long long polish_steps = 0, pseudo_steps = 0, pseudo_rejected = 0;
  // the rate over the approach's pseudo-time steps, in windows of half a flame time
  RateWindows approach;
  // the verification window: two halves of `half` steps from step verify_start + 1
  int verify_start = 0, half = 0;
  double sum_first = 0.0, sum_second = 0.0, candidate_rate = 0.0;
  double gap = std::numeric_limits<double>::quiet_NaN();  // the estimate that ended the route
  bool controller_resting = false;
  // the run's correction tolerance, loosened during the approach
  double tolerance = 0.0;
  bool relative = false;
};

// With --until-settled, for a flame built from its profile: the settled
// flame of the simulation before in place of the profile just laid, when it
// lies on the same grid and its fresh gas and pressure are the profile's.
// True when it was taken (the run then neither projects nor shifts it).
bool continue_settled_flame(State& s, MainValues& mv);
// With --until-settled and --start-from, for a flame built from its
// profile: the snapshot in place of the profile when its fresh gas and
// pressure are the profile's (otherwise a line on standard error says so and
// the profile stays). True when it was taken.
bool start_from_snapshot(State& s, MainValues& mv);
// Before the time loop: the route, from the state as it is.
void settle_begin(State& s, MainValues& mv, bool from_settled);
// One step of the time loop: explicit (time_step) or pseudo-time.
void settle_step(State& s, MainValues& mv);
// After the step and its output: polish, verification; true when settled.
bool settle_after_step(State& s, MainValues& mv);
// After the loop: the tolerance and the controller as the run has them, the
// settled flame kept for the next simulation.
void settle_end(State& s, MainValues& mv);

}  // namespace fiamma
