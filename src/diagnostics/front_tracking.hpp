// Flame-front tracking: where the front is, how fast it moves, how thick it
// is, how fast the fresh gas enters and (uniform grid) how fast fuel burns,
// with moving-window and cumulative statistics and the history file
// "sf_delta.dat" (a record every 50 steps).
#pragma once

#include <array>
#include <filesystem>

#include "core/file_writer.hpp"
#include "core/shared_state.hpp"
#include "operators/operators.hpp"

namespace fiamma {

inline constexpr int kHistoryInterval = 50;  // steps between history records
inline constexpr const char* kHistoryName = "sf_delta.dat";

using History = std::array<double, kHistoryCapacity + 1>;  // entries 1..capacity

// Where the front lies in one state, as a measuring call finds it, with the
// node values and the detection function its search reads.
struct FrontLocation {
  double x_m = 0.0;     // front abscissa
  double del = 0.0;     // front thickness
  double s_cons = 0.0;  // consumption speed (uniform grid only)
  double dt_m = 0.0;    // peak value of the detection function (0 with criterion 4)
  // node values and work arrays
  Field rho{}, rho_y1{}, dth{}, th{}, w{}, detect_fn{}, progress_var{};
};

// The tracker's state and outputs, owned by the main program and handed to
// every call. Reset only by the initialising call (it = it_start), unless it
// was restored for a restart that continues an earlier run.
struct FrontTracker : FrontLocation {
  // outputs of a measuring call besides the location
  double s = 0.0;       // front speed in the frame of the grid
  double w_in = 0.0;    // inflow velocity at node 1
  double a_f = 0.0;     // second difference of the front position over 2 dt
  // running state
  double x_m_prev = 0.0, x_m_prev2 = 0.0;
  int n_avg = 0;
  double s_m = 0.0, de_m = 0.0, w_in_m = 0.0, w_a_m = 0.0;  // cumulative means
  double s_sta = 0.0, w_a_s = 0.0, var = 0.0;               // window statistics
  History s_last{}, w_ass_last{}, varianza_last{};           // entry 1 the oldest
  // the it_start of the run these statistics began in: its first measuring
  // step takes no speed, and the cumulative means count from it
  int first_it = 0;
  // restored from a companion: the initialising call keeps the state
  bool restored = false;
  // a restart: the history of the same name, when it is one, is continued
  // (its records up to it_start kept, no new header) instead of replaced
  bool continue_history = false;
  // the history file, open from the initialising call to the call at it_end
  AppendedFile history;
};

// The temperature gradient the tracker reads: der_prima of the staggered
// temperature 1..n-1, the spare entry n replaced by the outflow value so that
// the gradient sees no jump past the end of the domain (`th` is the copy
// handed to the operator).
void temperature_gradient(const State& s, OperatorSet& ops, int n, Field& th, Field& dthdx);

// The front of the state as a measuring call locates it: the node values,
// the detection function of `front_criterion`, its maximum refined by a
// parabola (criteria 1-3) or the burnt length (4), the thickness and the
// consumption speed. `ops` null: the non-uniform grid's point values.
void locate_front(State& s, OperatorSet* ops, int n, FrontLocation& f, int front_criterion, const Field& dthdx);

// Uniform grid: staggered fields interpolated to the nodes by `ops`,
// x(i) = (i-1) dx.
void calcola_vel_spes_fronte_lm(State& s, OperatorSet& ops, int n, int n_species, FrontTracker& f,
                                int front_criterion, int follow_mode, int capacity, int n_stab, const Field& dthdx);
// Non-uniform grid: point values as stored, abscissae and spacings of grid2.
void calcola_vel_spes_fronte_nu_lm(State& s, int n, int n_species, FrontTracker& f, int front_criterion,
                                   int follow_mode, int capacity, int n_stab, const Field& dthdx,
                                   double M_l_ana, double d_l_ana);

}  // namespace fiamma
