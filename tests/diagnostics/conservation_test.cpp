// Conservation of a flame at the end of a simulation, and the distances of
// the inflow from the front in the flame's decay lengths.
#include "diagnostics/conservation.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <sstream>

#include "operators/operators.hpp"
#include "test_support.hpp"

namespace fiamma {
namespace {

TEST(Conservation, QuantitiesOfAKnownFlameState) {
  // The example set up, its fields replaced by a flame whose every quantity
  // is known.
  testing::ScratchDir dir;
  std::ostringstream console;
  auto s = testing::flame_set_up(dir.path(), console);
  State& st = *s;
  const int n = st.settings.n;
  std::unique_ptr<OperatorSet> ops = setup_operators(st, n);
  const double P = st.vvar_2, L = st.discr.domain_length;
  for (int j = 1; j <= n - 1; ++j) {
    const double x = (j - 0.5) * st.discr.dx;
    st.vvar[1][j] = P / (300.0 + 600.0 * 0.5 * (1.0 + std::tanh((x - 0.5 * L) / 1.2)));
  }
  st.vvar[1][n - 1] = P / (900.0 * (1.0 + 3e-6));  // burnt 3e-6 above the adiabatic 900
  auto f = std::make_unique<FrontTracker>();
  f->s = 2e-4;
  f->w_in = 0.0075 + f->s;
  f->s_cons = 0.0075 * (1.0 - 2e-5);
  Field rho_ns{};
  ops->apply(Operator::inter_st_ns, st.vvar[1], rho_ns);
  const double M = st.vvar[1][1] * 0.0075;
  // a mass flux through the front uniform but for a step of 1e-4 downstream
  for (int i = 1; i <= n; ++i) st.vvar[4][i] = rho_ns[i] * f->s + M * (i > n / 2 ? 1.0 + 1e-4 : 1.0);
  // the rate w_in - s grows linearly by 1e-6 relative across a window of 100 steps
  const int N = 100;
  const double dt = 0.137;
  for (int k = 1; k <= N; ++k) f->w_ass_last[k] = 0.0075 * (1.0 - 1e-6 + 1e-6 * (k - 1) / (N - 1));

  const FlameConservation c = flame_conservation(st, *ops, *f, N, N, dt);
  EXPECT_NEAR(c.burnt_temperature_relative, 3e-6, 1e-12);
  EXPECT_NEAR(c.mass_flux_spread, 1e-4 / (1.0 + 1e-4 * (n - n / 2) / n), 1e-10);  // step over the mean
  EXPECT_NEAR(c.consumption_vs_inflow, -2e-5, 1e-12);
  const double tau = st.vvar[1][1] / (M * M);
  EXPECT_NEAR(c.flame_time, tau, 1e-9 * tau);
  EXPECT_NEAR(c.drift_per_flame_time, 1e-6 * tau / ((N - 1) * dt), 1e-12);
  // a window not yet full, or none, gives no drift
  const FlameConservation early = flame_conservation(st, *ops, *f, N, N - 1, dt);
  EXPECT_TRUE(std::isnan(early.drift_per_flame_time));
  EXPECT_TRUE(std::isnan(flame_conservation(st, *ops, *f, 1, 5000, dt).drift_per_flame_time));
}

TEST(DomainGuidance, DistancesInThermalAndFuelLengths) {
  const DomainGuidance g = domain_guidance(0.5, 2.0, 30.0, 24.0);
  EXPECT_DOUBLE_EQ(g.thermal_length, 2.0);
  EXPECT_DOUBLE_EQ(g.fuel_length, 1.0);
  EXPECT_DOUBLE_EQ(g.front_thermal, 15.0);
  EXPECT_DOUBLE_EQ(g.front_fuel, 30.0);
  EXPECT_DOUBLE_EQ(g.anchor_thermal, 12.0);
  EXPECT_DOUBLE_EQ(g.anchor_fuel, 24.0);
  EXPECT_FALSE(g.warn);
  // below 11 lengths of the shorter kind the anchor is too close; with Le < 1
  // the fuel length is the longer one
  EXPECT_TRUE(domain_guidance(0.5, 0.5, 30.0, 24.0).warn);  // 12 and 6 lengths
  EXPECT_TRUE(domain_guidance(0.5, 1.0, 30.0, 21.0).warn);  // 10.5
  EXPECT_FALSE(domain_guidance(0.5, 1.0, 30.0, 22.0).warn);  // 11

  // through --check-config: the example's front at 60 % and anchor at 50 %
  // of 24 analytic thicknesses 1/M, Le = 1
  testing::ScratchDir dir;
  testing::write_file(dir / "eulero_test.dat", testing::flame_config());
  const std::string file = (dir / "eulero_test.dat").string();
  std::ostringstream out, err, out2, err2;
  EXPECT_EQ(fiamma_main({"--check-config", file}, out, err), 0) << err.str();
  EXPECT_NE(out.str().find("fronte iniziale 14.399999999999999 e 14.399999999999999, ancoraggio "
                           "12.000000000000000 e 12.000000000000000 lunghezze."),
            std::string::npos)
      << out.str();
  EXPECT_EQ(out.str().find("Attenzione"), std::string::npos);
  EXPECT_EQ(fiamma_main({"--set", "x_anchor_fraction=0.3", "--set", "Lewis=0.7", "--check-config", file}, out2, err2), 0);
  EXPECT_NE(out2.str().find("Attenzione: l'ancoraggio dista dall'ingresso meno di 11.000000000000000 lunghezze"),
            std::string::npos)
      << out2.str();
}

}  // namespace
}  // namespace fiamma
