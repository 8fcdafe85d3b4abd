// Solver pieces on constructed states: Runge-Kutta orders, the thermodynamic
// closures, right-hand sides at rest, the time-step control and the velocity
// correction's iteration.
#include "solver/solver.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <sstream>

#include "core/errors.hpp"
#include "operators/operator_test_support.hpp"

namespace fiamma {
namespace {

// y' = y over [0, 1] in `steps` steps of the stage and step updates (slot 1,
// point 1): the error at 20 and 40 steps shows the order.
TEST(RungeKutta, SchemesShowTheirOrders) {
  std::ostringstream console;
  auto s = std::make_unique<State>();
  s->console = &console;
  auto integrate = [&](int scheme, int steps) {
    RungeKutta rk;
    r_k_coe(*s, scheme, rk);
    s->vvar[1][1] = 1.0;
    s->tempo.dt = 1.0 / steps;
    r_k_init(*s, 1, 2);
    for (int step = 0; step < steps; ++step) {
      for (int k = 1; k <= rk.n_stages; ++k) {
        u_k_eva(*s, 1, 2, rk.alpha[k]);
        s->rrhs_rk[1][1] = s->vvar_rk[1][1];
        rhs_u_sum(*s, 1, 2, rk.beta[k]);
      }
      u_eva(*s, 1, 2);
    }
    return s->vvar[1][1];
  };
  const int orders[] = {1, 2, 2, 3, 4};
  for (int scheme = 1; scheme <= 5; ++scheme) {
    const double ratio = (integrate(scheme, 20) - std::exp(1.0)) / (integrate(scheme, 40) - std::exp(1.0));
    EXPECT_NEAR(std::log2(ratio), orders[scheme - 1], 0.15) << scheme;
  }
  EXPECT_EQ(s->rrhs[1][1], 0.0);  // the step's accumulator cleared
  // the midpoint method: two stages
  EXPECT_NE(console.str().find(" R_K_coe: schema Runge-Kutta di ordine 2\n coefficienti:\n alpha = 0.0000000000000000 "
                               "0.50000000000000000\n beta  = 0.0000000000000000 1.0000000000000000\n"),
            std::string::npos);
}

// The operators of n nodes spaced dx, the gas of the example and a solver.
struct SolverCase {
  testing::Ops o;
  State& s = *o.s;
  Solver solver{*o.set};
  SolverCase(int n, double dx) : o(n, dx) {
    s.discr.domain_length = (n - 1) * dx;
    for (int i = 1; i <= n; ++i) s.grid2.spacing[i] = dx;
    Gass& g = s.gass;
    g.gamma = 1.4; g.Prandtl = 0.75; g.Lewis = 1.0; g.Damkohler = 1e5; g.Zeldovich = 10800.0; g.D_1 = 10000.0;
    s.ic_kkind.reaction_order = 1;
  }
};

// th = a + b x^2 and no fuel: divergence 2 b / P everywhere, the outflow
// velocity its integral 2 b L / P. The two-species model stops there.
TEST(Thermodynamics, QuadraticTemperatureGivesUniformDivergence) {
  const int n = 33;
  const double dx = 0.25, p = 35000.0, b = 2.0;
  SolverCase c(n, dx);
  auto& q = c.s.vvar;
  auto th = std::make_unique<Field>(), div = std::make_unique<Field>();
  for (int j = 1; j < n; ++j) q[1][j] = p / (300.0 + b * ((j - 0.5) * dx) * ((j - 0.5) * dx));
  q[1][n] = 1.0;
  th_lm_calc(n, q[1], p, *th);
  double dp_dt = 0.0, v_out = 0.0;
  c.solver.rhs_p_lm_eval(c.s, n, 2, q[1], q[2], q[4], p, *th, dp_dt, v_out);
  c.solver.diverg_u_calc(c.s, n, 2, *div, q[1], q[2], *th, p, 0.0);
  for (int j = 1; j < n; ++j) EXPECT_NEAR((*div)[j], 2.0 * b / p, 1e-9 * 2.0 * b / p) << j;
  EXPECT_NEAR(v_out, 2.0 * b * c.s.discr.domain_length / p, 1e-8);
  EXPECT_EQ((*th)[n], p);
  c.s.ic_kkind.reaction_order = 2;
  EXPECT_THROW(c.solver.rhs_p_lm_eval(c.s, n, 2, q[1], q[2], q[4], p, *th, dp_dt, v_out), RunStopped);
  EXPECT_EQ(c.o.console.str(), " DUE SPECIE LOW MACH DA IMPLEMENTARE\n STOP\n");
}

// A uniform fluid at rest stays at rest; with fuel only the reaction sink
// remains, one third of it at the inflow point. The inflow closure: a third
// of point 2 for the staggered slots, zero for the momenta.
TEST(RightHandSides, AFluidAtRestStaysAtRest) {
  const int n = 20;
  SolverCase c(n, 0.1);
  State& s = c.s;
  auto& r = s.rrhs_rk;
  for (double y1 : {0.0, 0.05}) {
    for (int j = 1; j <= n; ++j) s.vvar_rk[2][j] = 2.0 * y1, s.vvar_rk[1][j] = 2.0;
    s.vvar_temp_div_rk[2].fill(y1 == 0.0 ? 300.0 : 900.0);
    c.solver.rhs_u_eval_new(s, n, 2);
    bc_low_mach_rhs_short(n, 2, s.vvar_rk[1], s.vvar_rk[2], s.vvar_rk[4], r[1], r[4], r[5], r[2], r[3]);
    const double sink = -1e5 * 2.0 * y1 * std::exp(-10800.0 / 900.0);
    for (int slot = 1; slot <= 7; ++slot) {
      for (int j = 1; j <= n; ++j) {
        const double expected = slot != 2 || j == n ? 0.0 : j == 1 ? sink / 3.0 : sink;
        EXPECT_NEAR(r[slot][j], expected, 1e-12 + 1e-9 * std::fabs(sink)) << slot << " " << j;
      }
    }
  }
  for (int slot = 1; slot <= 5; ++slot) r[slot][1] = 7.0, r[slot][2] = 3.0 * slot;
  bc_low_mach_rhs_short(n, 2, s.vvar_rk[1], s.vvar_rk[2], s.vvar_rk[4], r[1], r[4], r[5], r[2], r[3]);
  EXPECT_TRUE(r[1][1] == 1.0 && r[2][1] == 2.0 && r[3][1] == 3.0 && r[4][1] == 0.0 && r[5][1] == 0.0);
}

TEST(TimeStep, LimitsAndTheUnattendedPause) {
  const int n = 20;
  SolverCase c(n, 0.1);
  State& s = c.s;
  for (int j = 1; j <= n; ++j) s.vvar[1][j] = 2.0;
  StepLimits limits;
  s.discr.dt_mode = 1;
  c.solver.cfl_eva2(s, n, 2, 0.5, 0.25, limits);
  EXPECT_TRUE(limits.conv_rate_max == 1e-05 && limits.stab_lim == "diffusivo ");
  EXPECT_NEAR(s.tempo.dt, 0.01 * 0.25 * 2.0, 1e-15);  // rho_min from the interpolated density
  // a fixed step beyond the limit: the warning, and an operator input at its
  // end lets the run go on
  std::istringstream no_operator("");
  s.operator_input = &no_operator;
  s.discr.dt_mode = 0;
  s.tempo.dt = 1.0;
  c.solver.cfl_eva2(s, n, 2, 0.5, 0.25, limits);
  EXPECT_EQ(c.o.console.str(), " limite di stabilità oltrepassato. Continuare?\n per continuare premere invio\n");
  EXPECT_EQ(s.tempo.dt, 1.0);
  EXPECT_NEAR(limits.stab_calc, 1.0 / (0.01 * 2.0), 1e-11);
}

// Constant density, no divergence, uniform momentum: exactly two
// iterations, the momentum unchanged, slots 6 and 7 cleared. A density bump
// with a low iteration limit: the three lines of the stop.
TEST(VelocityCorrection, StopsAfterTwoIterationsOrReportsNonConvergence) {
  const int n = 17;
  SolverCase c(n, 0.1);
  auto& q = c.s.vvar;
  auto correct = [&] {
    c.solver.correggi_qm_lm_neu(c.s, n, q[1], q[4], q[5], q[6], q[7], c.s.vvar_temp_div[1], 0.0, 0.0, c.s.rrhs[4]);
  };
  for (int j = 1; j <= n; ++j) q[1][j] = 2.0, q[5][j] = 0.3, q[6][j] = q[7][j] = 0.1;
  correct();
  EXPECT_EQ(c.solver.corrections().iterations, 2);
  for (int j = 1; j <= n; ++j) {
    EXPECT_NEAR(q[4][j], 0.3, 1e-10) << j;
    EXPECT_TRUE(q[4][j] == q[5][j] && q[6][j] == 0.0 && q[7][j] == 0.0) << j;
  }
  for (int j = 1; j <= n; ++j) {
    q[1][j] = 1.0 + 10.0 * std::exp(-(j - 8.0) * (j - 8.0));
    q[5][j] = 0.0;
    c.s.vvar_temp_div[1][j] = 1.0;
  }
  c.solver.correction_max_iterations = 3;
  EXPECT_THROW(correct(), RunStopped);
  const std::string out = c.o.console.str();
  EXPECT_TRUE(out.starts_with(" Convergenza iterazione Low Mach non raggiunta\n Errore iterativo pari a: ") &&
              out.ends_with(" > 5.0000000000000002E-05\n Codice interrotto\n")) << out;
  EXPECT_EQ(c.solver.corrections().iterations_max, 3);
}

}  // namespace
}  // namespace fiamma
