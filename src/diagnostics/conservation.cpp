#include "diagnostics/conservation.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include "operators/operators.hpp"

namespace fiamma {

namespace {
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
}

FlameConservation flame_conservation(State& s, OperatorSet& ops, const FrontTracker& f, int n_stab, int window_steps,
                                     double dt) {
  FlameConservation c;
  const int n = s.settings.n;
  const Gass& g = s.gass;
  const double th_ad = g.th_fresh + g.D_1 * g.y1_fresh;
  c.burnt_temperature_relative = (s.vvar_2 / s.vvar[1][n - 1] - th_ad) / th_ad;

  Field rho_ns;
  ops.apply(Operator::inter_st_ns, s.vvar[1], rho_ns);
  double lo = std::numeric_limits<double>::infinity(), hi = -lo, sum = 0.0;
  for (int i = 1; i <= n; ++i) {
    const double m = s.vvar[4][i] - rho_ns[i] * f.s;
    lo = std::min(lo, m);
    hi = std::max(hi, m);
    sum += m;
  }
  c.mass_flux_spread = (hi - lo) / (sum / n);

  const double rho_in = s.vvar[1][1];
  const double rate = f.w_in - f.s;
  c.consumption_vs_inflow = (f.s_cons - rate) / rate;

  const double M = rho_in * rate;
  c.flame_time = rho_in / (M * M);
  c.drift_per_flame_time = kNaN;
  if (n_stab >= 2 && window_steps >= n_stab && dt > 0.0) {
    const double newest = f.w_ass_last[n_stab], oldest = f.w_ass_last[1];
    const double span = (n_stab - 1) * dt;
    c.drift_per_flame_time = (newest - oldest) / newest * c.flame_time / span;
  }
  return c;
}

DomainGuidance domain_guidance(double M_ana, double lewis, double x_front, double x_anchor) {
  DomainGuidance d;
  d.thermal_length = 1.0 / M_ana;
  d.fuel_length = 1.0 / (lewis * M_ana);
  d.front_thermal = x_front / d.thermal_length;
  d.front_fuel = x_front / d.fuel_length;
  d.anchor_thermal = x_anchor / d.thermal_length;
  d.anchor_fuel = x_anchor / d.fuel_length;
  d.warn = !(std::min(d.anchor_thermal, d.anchor_fuel) >= kDomainWarningLengths);
  return d;
}

}  // namespace fiamma
