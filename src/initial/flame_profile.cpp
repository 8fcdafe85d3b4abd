#include "initial/flame_profile.hpp"

#include <cmath>
#include <memory>

#include "config/grid.hpp"

namespace fiamma {

void ff_function_2(const State& s, double x, double& value, double& d1, double& d2) {
  const FfFnz& ff = s.ff_fnz;
  const double a = 10.0 * (x - ff.x0_ff_2) / ff.hx_ff_2;
  const double sinh_a = (std::exp(a) - std::exp(-a)) / 2.0;
  value = 0.5 * ff.ff2_amplitude * (1.0 + 0.6366197723675814 * std::atan(2.0 * sinh_a));
  d1 = 0.0;
  d2 = 0.0;
}

void flame_node_values(State& s, int n, NodeValues& v) {
  Gass& g = s.gass;
  const double phi = g.equivalence_ratio;
  const double p = 10000.0 * g.gamma / (g.gamma - 1.0);
  const double f = 0.02906 * phi;
  const double yf_u = f / (1.0 + f);
  s.vvar_2 = p;
  for (int i = 1; i <= n; ++i) {
    const double x = node_abscissa(s, i);
    double value = 0.0, d1 = 0.0, d2 = 0.0;
    s.ff_fnz.ff2_amplitude = g.th_burnt - g.th_fresh;
    ff_function_2(s, x, value, d1, d2);
    const double th = g.th_fresh + value;
    const double rho = p / th;
    double y1;
    if (phi >= 1.0) {
      s.ff_fnz.ff2_amplitude = g.y1_fresh - g.y1_burnt;
      ff_function_2(s, x, value, d1, d2);
      y1 = g.y1_fresh - value;
    } else {
      s.ff_fnz.ff2_amplitude = yf_u;
      ff_function_2(s, x, value, d1, d2);
      y1 = yf_u - value;
    }
    double y2 = 0.0;
    if (s.ic_kkind.reaction_order == 2) {
      if (phi >= 1.0) {
        s.ff_fnz.ff2_amplitude = g.y2_fresh - g.y2_burnt;
        ff_function_2(s, x, value, d1, d2);
        y2 = g.y2_fresh - value;
      } else {
        s.ff_fnz.ff2_amplitude = 8.0 * yf_u;
        ff_function_2(s, x, value, d1, d2);
        y2 = 1.0 / (4.401 * (1.0 + f)) - value;
      }
    }
    v.ini_rho[i] = rho;
    v.ini_y1[i] = rho * y1;
    v.ini_y2[i] = rho * y2;
    v.ini_th[i] = p / rho;
    for (int slot = 4; slot <= 7; ++slot) s.vvar[slot][i] = 0.0;
    s.vvar_rk[4][i] = 0.0;
  }
}

void ini_fiamma_new(State& s, OperatorSet& ops, int n, int /*n_species*/) {
  auto w = std::make_unique<NodeValues>();
  flame_node_values(s, n, *w);
  carry_to_staggered(s, ops, *w, n, true);
  set_staggered_spares(s, n);
}

}  // namespace fiamma
