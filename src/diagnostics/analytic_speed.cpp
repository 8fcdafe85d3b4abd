#include "diagnostics/analytic_speed.hpp"

#include <cmath>

#include "core/free_format.hpp"

namespace fiamma {

void gamma_part(double x_max, double a, int n_q, double& g) {
  const double h = x_max / (n_q - 1);
  g = 0.5 * h * std::pow(x_max, a) * std::exp(-x_max);
  for (int i = 2; i <= n_q - 1; ++i) {
    const double x = (i - 1) * h;
    g = g + h * std::pow(x, a) * std::exp(-x);
  }
}

void calc_velspes_an(State& s, int /*n*/, const SlotFields& vvar, double ord_reaz, double& m, double& delta) {
  const Gass& g = s.gass;
  std::ostream& out = s.out();
  const Voice& v = s.voice;
  const double th_b = g.th_fresh + g.D_1 * g.y1_fresh;
  out << Line().text(v("th_bru analitica: "_it)).real(th_b);
  const double rho_u =
      s.tempo.it == s.tempo.it_start ? g.gamma * 10000.0 / ((g.gamma - 1.0) * g.th_fresh) : vvar[1][1];
  const double ze = g.Zeldovich;
  const double m1 = std::sqrt(2.0 * g.Lewis * g.Damkohler * rho_u * g.th_fresh / th_b) * 0.0001 * th_b * th_b /
                    (ze * g.y1_fresh * std::exp(ze / (2.0 * th_b)));
  out << Line().text(v("1. Portata analitica del fronte pari a: "_it)).real(m1);
  double gp = 0.0;
  gamma_part(50.0, ord_reaz, 50000, gp);
  out << Line().text("ord_reaz: ").real(ord_reaz) << Line().text("gamma_parz: ").real(gp);
  m = m1 * std::sqrt(std::pow(ze, 1.0 - ord_reaz) * gp);
  delta = 1.0 / m;
  out << Line().text(v("Portata analitica del fronte pari a: "_it)).real(m)
      << Line().text(v("Velocita analitica del fronte"_it))
      << Line().text(v("(valutata dentro quindi rho_sx e non rho_ST(1)) pari a: "_it)).real(m / rho_u)
      << Line().text(v("Spessore analitico del fronte pari a: "_it)).real(delta);
}

}  // namespace fiamma
