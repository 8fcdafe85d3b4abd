#include "driver/settling.hpp"

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>

#include "diagnostics/settled.hpp"
#include "initial/other_states.hpp"
#include "driver/simulation.hpp"
#include "operators/operators.hpp"

namespace fiamma {

namespace {

// The approach, in flame times of the analytic estimate: explicit steps for
// the first tenth (the pseudo-time step diverges from a flame not yet
// formed: measured stable from a tenth at n = 257 and 1025, not from a
// fortieth at 1025) and at least 50 steps; pseudo-time steps of a 22nd; the
// first polish at 2, then every half.
constexpr double kForming = 0.1;
constexpr int kFormingSteps = 50;
constexpr double kPseudoStepsPerFlameTime = 22.0;
constexpr double kFirstAttempt = 2.0;
constexpr double kRetryInterval = 0.5;
constexpr double kAnchorReach = 0.5;          // thermal lengths between the front and the anchor at a polish
// A pseudo-time step changing a scaled unknown by more than this is taken
// back and the step shortened fourfold (an explicit step meanwhile); an
// accepted one lengthens it by a tenth, up to the 22nd of a flame time.
constexpr double kPseudoShrink = 0.25, kPseudoGrow = 1.1;
// The approach converged without a polish (its windows' estimate this
// fraction of the tolerance): its state is verified like a polished one.
constexpr double kApproachConverged = 0.1;
constexpr double kVerifyFraction = 0.005;     // flame times of each half of the verification window
constexpr int kVerifyMinimum = 50;            // steps of each half, at least
constexpr double kRelaxationFlameTimes = 5.0; // the slowest relaxation: drift per flame time times this

double burning_rate(const State& s, const MainValues& mv) { return s.vvar[1][1] * (mv.front.w_in - mv.front.s); }

double flame_time(const State& s, double rate) { return s.vvar[1][1] / (rate * rate); }

// The approach's tolerance: the default, since its steps do not enter the
// answer; the run's own from the verification on.
void loosen(State& s) {
  s.options.correction_tolerance = kCorrectionTolerance;
  s.options.correction_relative = false;
}
void tighten(State& s, const SettleRoute& r) {
  s.options.correction_tolerance = r.tolerance;
  s.options.correction_relative = r.relative;
}

double max_pseudo_span(const SettleRoute& r) { return r.flame_time / kPseudoStepsPerFlameTime; }

// Explicit steps with the controller at rest, the candidate rate that of a
// polished (or converged) state: the inflow is held and the rate changes
// only as the front moves, without the controller's answers to the noise of
// the measured speed (a few 1e-8 of the rate at n = 1025).
void start_verification(State& s, MainValues& mv, SettleRoute& r, double candidate) {
  r.phase = SettleRoute::Phase::Verify;
  r.verify_start = s.tempo.it;
  r.candidate_rate = candidate;
  const double tau = flame_time(s, candidate);
  r.half = std::max(kVerifyMinimum, static_cast<int>(std::lround(kVerifyFraction * tau / s.tempo.dt)));
  r.sum_first = r.sum_second = 0.0;
  r.controller_resting = true;
  tighten(s, r);
  mv.rate_windows.reset(s.settings.n_stab);
}

void resume_approach(State& s, MainValues& mv, SettleRoute& r) {
  r.phase = SettleRoute::Phase::Approach;
  r.controller_resting = false;
  r.next_attempt_t = s.tempo.t + kRetryInterval * r.flame_time;
  r.approach.reset(static_cast<int>(kPseudoStepsPerFlameTime / 2));
  r.steady->forget_jacobian();
  loosen(s);
  mv.rate_windows.reset(s.settings.n_stab);
}

// True when the polish converged (the verification then begins).
bool try_polish(State& s, MainValues& mv, SettleRoute& r) {
  ++r.attempts;
  const PolishReport p = r.steady->polish();
  r.polish_steps += p.evaluations;
  r.next_attempt_t = s.tempo.t + kRetryInterval * r.flame_time;
  if (!p.converged) return false;
  ++r.polishes;
  // the next measured speed from the polished front, not from the jump to it
  mv.front.x_m_prev = mv.front.x_m_prev2 = r.steady->front_position();
  // the rate as the tracker will measure it, rho_in (w_in - s) with s = 0
  mv.operators->apply(Operator::inter_st_ns, s.vvar[1], mv.rho_nodes);
  start_verification(s, mv, r, s.vvar[1][1] * mv.inflow_momentum / mv.rho_nodes[1]);
  return true;
}

void approach(State& s, MainValues& mv, SettleRoute& r) {
  const double rate = burning_rate(s, mv);
  const double tol = s.options.settled_tolerance;
  if (!r.held) {
    // stepping alone: the rate's own windows decide
    const double gap = mv.rate_windows.gap(rate);
    if (settled_within(gap, tol)) {
      r.gap = gap;
      r.phase = SettleRoute::Phase::Done;
    }
    return;
  }
  const bool near_anchor = std::fabs(mv.front.x_m - s.settings.x_anchor) * std::fabs(rate) <= kAnchorReach;
  if (s.tempo.t >= r.next_attempt_t && s.tempo.it > s.tempo.it_start + 1 && near_anchor && try_polish(s, mv, r)) {
    return;
  }
  if (settled_within(r.approach.gap(rate), kApproachConverged * tol)) start_verification(s, mv, r, rate);
}

void verify(State& s, MainValues& mv, SettleRoute& r) {
  const int k = s.tempo.it - r.verify_start;
  const double rate = burning_rate(s, mv);
  (k <= r.half ? r.sum_first : r.sum_second) += rate;
  if (k < 2 * r.half) return;
  const double m1 = r.sum_first / r.half, m2 = r.sum_second / r.half;
  const double drift = (m2 - m1) / m2 * flame_time(s, m2) / (r.half * s.tempo.dt);
  // A state just polished holds only the modes of its own rounding: the
  // change it shows is what it has still to go, over the slowest relaxation.
  r.gap = kRelaxationFlameTimes * std::fabs(drift) + std::fabs(m2 - r.candidate_rate) / m2 + std::fabs(rate - m2) / m2;
  r.controller_resting = false;
  if (settled_within(r.gap, s.options.settled_tolerance)) {
    r.phase = SettleRoute::Phase::Done;
  } else {
    resume_approach(s, mv, r);
  }
}

// A linearly implicit step of the approach, with the tracking and the
// controller over it (its gains, per step, scaled with the step's length);
// an explicit step when the pseudo-time step is taken back.
void pseudo_step(State& s, MainValues& mv, SettleRoute& r) {
  Solver& solver = *mv.solver;
  const int n = s.settings.n, ns = s.settings.n_species;
  solver.cfl_eva2(s, n, ns, s.settings.cfl, s.settings.stab, mv.limits);  // the explicit dt the map steps with
  const double dt = s.tempo.dt;
  if (!r.steady->pseudo_time_step(r.pseudo_span)) {
    ++r.pseudo_rejected;
    r.pseudo_span *= kPseudoShrink;
    if (r.pseudo_span < 2.0 * dt) r.pseudo_span = 0.0;  // explicit steps from now on
    r.approach.reset(static_cast<int>(kPseudoStepsPerFlameTime / 2));
    time_step(s, mv);
    return;
  }
  s.tempo.t += r.pseudo_span;
  s.tempo.dt = r.pseudo_span;
  track_front(s, mv);
  anchor_flame(s, mv, r.pseudo_span / dt);
  s.tempo.dt = dt;
  solver.cfl_eva2(s, n, ns, s.settings.cfl, s.settings.stab, mv.limits);
  ++mv.steps;
  ++r.pseudo_steps;
  r.approach.add(burning_rate(s, mv));
  r.pseudo_span = std::min(r.pseudo_span * kPseudoGrow, max_pseudo_span(r));
}

}  // namespace

bool continue_settled_flame(State& s, MainValues& mv) {
  const SettledFlame& f = mv.settled_flame;
  const int n = s.settings.n;
  if (!f.valid || f.n != n || f.domain_length != s.discr.domain_length || f.pressure != s.vvar_2) return false;
  // the same fresh gas, up to what the approach moved the inflow point by
  // (a few 1e-7 of itself); a swept th_fresh or y1_fresh changes it by far more
  const auto near = [](double a, double b) { return std::fabs(a - b) <= 1e-6 * std::fabs(b); };
  if (!near(f.vvar[1][1], s.vvar[1][1]) || !near(f.vvar[2][1], s.vvar[2][1])) return false;
  s.vvar = f.vvar;
  th_lm_calc(n, s.vvar[1], s.vvar_2, s.vvar_temp_div[2]);
  return true;
}

bool start_from_snapshot(State& s, MainValues& mv) {
  const std::string& name = s.options.start_from;
  if (name.empty()) return false;
  const int n = s.settings.n;
  const double rho = s.vvar[1][1], fuel = s.vvar[2][1], pressure = s.vvar_2;
  auto profile = std::make_unique<SlotFields>(s.vvar);
  read_snapshot_state(s, name, n, mv.operators.get(), Message(std::string("--start-from")));
  const auto near = [](double a, double b) { return std::fabs(a - b) <= 1e-6 * std::fabs(b); };
  if (near(s.vvar[1][1], rho) && near(s.vvar[2][1], fuel) && near(s.vvar_2, pressure)) return true;
  *s.diagnostics << ' ' << s.voice("attenzione: "_it)
                 << s.voice("{1}: il gas fresco dell'istantanea non e' quello della configurazione; si parte dal "
                            "profilo iniziale"_it, {name})
                 << '\n';
  s.vvar = *profile;
  s.vvar_2 = pressure;
  th_lm_calc(n, s.vvar[1], s.vvar_2, s.vvar_temp_div[2]);
  return false;
}

void settle_begin(State& s, MainValues& mv, bool from_settled) {
  auto r = std::make_unique<SettleRoute>();
  r->held = s.bc_kkind.follow_mode == 15;
  r->continued = from_settled && s.rrestart.ires == 0;
  r->tolerance = s.options.correction_tolerance;
  r->relative = s.options.correction_relative;
  r->t_start = s.tempo.t;
  r->flame_time = mv.M_l_ana > 0.0 ? s.vvar[1][1] / (mv.M_l_ana * mv.M_l_ana) : 0.0;
  if (r->held) {
    r->steady = std::make_unique<SteadyState>(s, *mv.solver, mv);
    r->steady->hold_inflow_point(s.vvar[1][1], s.vvar[2][1], mv.M_l_ana);
    r->pseudo_span = max_pseudo_span(*r);
    r->next_attempt_t = from_settled ? s.tempo.t : s.tempo.t + kFirstAttempt * r->flame_time;
    r->approach.reset(static_cast<int>(kPseudoStepsPerFlameTime / 2));
    loosen(s);
  }
  mv.route = std::move(r);
}

void settle_step(State& s, MainValues& mv) {
  SettleRoute& r = *mv.route;
  const bool forming =
      s.tempo.it <= s.tempo.it_start + kFormingSteps || s.tempo.t < r.t_start + kForming * r.flame_time;
  if (r.held && r.phase == SettleRoute::Phase::Approach && !forming && r.pseudo_span > 0.0) {
    pseudo_step(s, mv, r);
  } else {
    time_step(s, mv);
  }
}

bool settle_after_step(State& s, MainValues& mv) {
  SettleRoute& r = *mv.route;
  switch (r.phase) {
    case SettleRoute::Phase::Approach: approach(s, mv, r); break;
    case SettleRoute::Phase::Verify: verify(s, mv, r); break;
    case SettleRoute::Phase::Done: break;
  }
  return r.phase == SettleRoute::Phase::Done;
}

void settle_end(State& s, MainValues& mv) {
  SettleRoute& r = *mv.route;
  if (r.held) tighten(s, r);
  r.controller_resting = false;
  if (r.phase != SettleRoute::Phase::Done) return;
  SettledFlame& f = mv.settled_flame;
  f.valid = true;
  f.n = s.settings.n;
  f.domain_length = s.discr.domain_length;
  f.vvar = s.vvar;
  f.vvar[4][1] = f.vvar[5][1] = mv.inflow_momentum;
  f.pressure = s.vvar_2;
}

}  // namespace fiamma
