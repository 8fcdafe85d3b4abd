// When a flame's answer is done: the one meaning of "settled". A simulation
// is settled to a tolerance TOL when the estimated distance of its burning
// rate M = rho_in (w_in - s) from the value it settles to, relative, is at
// most TOL / 2. The estimate comes from the simulation's own stepping: means
// of the rate over consecutive windows and the geometric decay of their
// differences (below), or, after a Newton polish of the steady state, a
// verification window (steady/, driver/settling). A simulation that ended
// abnormally, or has no estimate (fewer than three windows), is not settled.
#pragma once

#include <array>

namespace fiamma {

// The tolerance of the verdict when none is given (--settled-tolerance,
// --until-settled=TOL).
inline constexpr double kDefaultSettledTolerance = 1e-5;

// Settled to `tolerance`: the estimated relative distance `gap` is known
// and at most half the tolerance.
bool settled_within(double gap, double tolerance);

// The burning rate's remaining change estimated from means over windows of
// `window` steps. With three consecutive means m1, m2, m3 and their
// differences d1 = m2 - m1, d2 = m3 - m2, the ratio r = d2 / d1 is the decay
// of an exponential approach per window: for 0 < r < 1 the newest mean
// still has |d2| r / (1 - r) to go, plus half a window's change |d2| / 2
// between the mean and the end of its window (a slow decay, r near 1, is
// judged far from done however small the change). Any other r (noise, an
// oscillation, differences that grow) gives 10 |d2|: only a change far below
// the tolerance passes. The newest rate's own distance from the newest mean
// is added.
class RateWindows {
 public:
  // Forgets every window; windows of `window` steps from now (fewer than 2:
  // no estimate ever).
  void reset(int window);
  // One step's burning rate.
  void add(double rate);
  // The relative distance of `newest` from the settled rate, estimated from
  // the last three whole windows; NaN while there are fewer.
  double gap(double newest) const;
  int windows() const { return windows_; }

 private:
  int window_ = 0;
  int in_window_ = 0;
  double sum_ = 0.0;
  std::array<double, 3> means_{};  // oldest first
  int windows_ = 0;
};

}  // namespace fiamma
