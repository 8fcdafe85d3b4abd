#include "diagnostics/analytic_speed.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <sstream>

namespace fiamma {
namespace {

TEST(AnalyticSpeed, PartialGammaIntegral) {
  double g = 0.0;
  gamma_part(50.0, 1.0, 50000, g);
  EXPECT_NEAR(g, 1.0, 1e-6);  // Gamma(2)
  gamma_part(50.0, 2.0, 50000, g);
  EXPECT_NEAR(g, 2.0, 1e-6);  // Gamma(3)
  gamma_part(50.0, 0.0, 50000, g);
  const double h = 50.0 / 49999.0;
  EXPECT_NEAR(g, 1.0 - 0.5 * h, 1e-7);  // the end point x = 0 is left out
}

TEST(AnalyticSpeed, ExampleFlameEstimate) {
  std::ostringstream console;
  auto s = std::make_unique<State>();
  s->console = &console;
  Gass& g = s->gass;
  g.gamma = 1.4; g.Lewis = 1.0; g.Damkohler = 1e5; g.Zeldovich = 10800.0;
  g.th_fresh = 300.0; g.y1_fresh = 0.06; g.D_1 = 10000.0;
  double m = 0.0, delta = 0.0;
  calc_velspes_an(*s, 9, s->vvar, 1.0, m, delta);
  // by hand: rho_u = 14000 / 120, th_b = 900, Ze/(2 th_b) = 6
  const double rho_u = 14000.0 / 120.0;
  const double m1 = std::sqrt(2.0 * 1e5 * rho_u / 3.0) * 1e-4 * 810000.0 / (10800.0 * 0.06 * std::exp(6.0));
  EXPECT_NEAR(m, m1, 1e-7 * m1);
  EXPECT_NEAR(m, 0.8641137, 1e-6);
  EXPECT_DOUBLE_EQ(delta, 1.0 / m);
  EXPECT_NE(console.str().find(" th_bru analitica: 900.00000000000000\n"), std::string::npos);
  // after the time loop the inflow density of the field is used
  s->tempo.it = 5;
  s->vvar[1][1] = 4.0 * rho_u;
  double m4 = 0.0;
  calc_velspes_an(*s, 9, s->vvar, 1.0, m4, delta);
  EXPECT_NEAR(m4, 2.0 * m, 1e-12 * m);
}

}  // namespace
}  // namespace fiamma
