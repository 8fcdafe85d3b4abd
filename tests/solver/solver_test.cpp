// Solver pieces on constructed states: Runge-Kutta orders, thermodynamic
// closures, right-hand sides at rest, the time-step control.
#include "solver/solver.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <sstream>

#include "core/errors.hpp"
#include "operators/operators.hpp"

namespace fiamma {
namespace {

// y' = y integrated to t = 1 with the stage and step updates (slot 1, point 1).
double integrate_exponential(State& s, int scheme, int steps) {
  RungeKutta rk;
  r_k_coe(s, scheme, rk);
  const int n = 1;
  s.vvar[1][1] = 1.0;
  s.tempo.dt = 1.0 / steps;
  r_k_init(s, n, 2);
  for (int step = 0; step < steps; ++step) {
    for (int k = 1; k <= rk.n_stages; ++k) {
      u_k_eva(s, n, 2, rk.alpha[k]);
      s.rrhs_rk[1][1] = s.vvar_rk[1][1];
      rhs_u_sum(s, n, 2, rk.beta[k]);
    }
    u_eva(s, n, 2);
  }
  return s.vvar[1][1];
}

TEST(RungeKutta, SchemesShowTheirOrders) {
  std::ostringstream console;
  auto s = std::make_unique<State>();
  s->console = &console;
  const int orders[] = {1, 2, 2, 3, 4};
  for (int scheme = 1; scheme <= 5; ++scheme) {
    const double e1 = std::fabs(integrate_exponential(*s, scheme, 20) - std::exp(1.0));
    const double e2 = std::fabs(integrate_exponential(*s, scheme, 40) - std::exp(1.0));
    EXPECT_NEAR(std::log2(e1 / e2), orders[scheme - 1], 0.15) << scheme;
  }
  // the classical scheme is the Taylor polynomial of degree 4 for one step
  const double h = 0.1;
  s->tempo.dt = h;
  RungeKutta rk;
  r_k_coe(*s, 5, rk);
  s->vvar[1][1] = 1.0;
  r_k_init(*s, 1, 2);
  for (int k = 1; k <= rk.n_stages; ++k) {
    u_k_eva(*s, 1, 2, rk.alpha[k]);
    s->rrhs_rk[1][1] = s->vvar_rk[1][1];
    rhs_u_sum(*s, 1, 2, rk.beta[k]);
  }
  u_eva(*s, 1, 2);
  EXPECT_NEAR(s->vvar[1][1], 1 + h + h * h / 2 + h * h * h / 6 + h * h * h * h / 24, 1e-16);
  EXPECT_EQ(s->rrhs[1][1], 0.0);
  EXPECT_NE(console.str().find(" R_K_coe: schema Runge-Kutta di ordine 4\n coefficienti:\n"), std::string::npos);
  std::ostringstream one;
  s->console = &one;
  r_k_coe(*s, 3, rk);
  EXPECT_EQ(one.str().substr(0, 41), " R_K_coe: schema Runge-Kutta di ordine 2\n");
}

std::unique_ptr<State> uniform_state(int n, double dx, std::ostream& console) {
  auto s = std::make_unique<State>();
  s->console = &console;
  s->discr.i_thom = 2;
  s->discr.dx = dx;
  s->discr.domain_length = (n - 1) * dx;
  s->comp.c[1] = 2.0;
  s->comp.c[4] = 0.5;
  for (int i = 1; i <= n; ++i) s->grid2.spacing[i] = dx;
  s->gass.gamma = 1.4;
  s->gass.Prandtl = 0.75;
  s->gass.Lewis = 1.0;
  s->gass.Damkohler = 1e5;
  s->gass.Zeldovich = 10800.0;
  s->gass.D_1 = 10000.0;
  s->ic_kkind.reaction_order = 1;
  setup_operators(*s, n);
  return s;
}

TEST(Thermodynamics, QuadraticTemperatureGivesUniformDivergence) {
  std::ostringstream console;
  const int n = 33;
  const double dx = 0.25;
  auto s = uniform_state(n, dx, console);
  const double p = 35000.0, a = 300.0, b = 2.0;
  auto& q = s->vvar;
  auto th = std::make_unique<Field>();
  for (int j = 1; j < n; ++j) {
    const double x = (j - 0.5) * dx;
    (*th)[j] = a + b * x * x;
    q[1][j] = p / (*th)[j];
  }
  q[1][n] = 1.0;
  th_lm_calc(n, q[1], p, *th);
  double dp_dt = 0.0, v_out = 0.0;
  rhs_p_lm_eval(*s, n, 2, q[1], q[2], q[4], p, *th, dp_dt, v_out);
  auto div = std::make_unique<Field>();
  diverg_u_calc(*s, n, 2, *div, q[1], q[2], *th, p, 0.0);
  for (int j = 1; j < n; ++j) EXPECT_NEAR((*div)[j], 2.0 * b / p, 1e-9 * 2.0 * b / p) << j;
  EXPECT_NEAR(v_out, 2.0 * b * s->discr.domain_length / p, 1e-8);
}

TEST(RightHandSides, AFluidAtRestStaysAtRest) {
  std::ostringstream console;
  const int n = 20;
  auto s = uniform_state(n, 0.1, console);
  for (int j = 1; j <= n; ++j) {
    s->vvar_rk[1][j] = 2.0;
    s->vvar_temp_div_rk[2][j] = 300.0;
  }
  rhs_u_eval_new(*s, n, 2);
  bc_low_mach_rhs_short(n, 2, s->vvar_rk[1], s->vvar_rk[2], s->vvar_rk[4], s->rrhs_rk[1], s->rrhs_rk[4],
                        s->rrhs_rk[5], s->rrhs_rk[2], s->rrhs_rk[3]);
  for (int slot = 1; slot <= 7; ++slot) {
    for (int j = 1; j <= n; ++j) EXPECT_NEAR(s->rrhs_rk[slot][j], 0.0, 1e-12) << slot << " " << j;
  }
  // with fuel and no gradients only the reaction sink remains
  for (int j = 1; j <= n; ++j) s->vvar_rk[2][j] = 2.0 * 0.05;
  s->vvar_temp_div_rk[2].fill(900.0);
  rhs_u_eval_new(*s, n, 2);
  bc_low_mach_rhs_short(n, 2, s->vvar_rk[1], s->vvar_rk[2], s->vvar_rk[4], s->rrhs_rk[1], s->rrhs_rk[4],
                        s->rrhs_rk[5], s->rrhs_rk[2], s->rrhs_rk[3]);
  const double sink = -1e5 * 0.1 * std::exp(-10800.0 / 900.0);
  for (int j = 2; j < n; ++j) EXPECT_NEAR(s->rrhs_rk[2][j], sink, 1e-9 * std::fabs(sink)) << j;
  EXPECT_NEAR(s->rrhs_rk[2][1], sink / 3.0, 1e-9 * std::fabs(sink));
  EXPECT_EQ(s->rrhs_rk[2][n], 0.0);
}

TEST(TimeStep, LimitsAndTheUnattendedPause) {
  std::ostringstream console;
  const int n = 20;
  auto s = uniform_state(n, 0.1, console);
  for (int j = 1; j <= n; ++j) s->vvar[1][j] = 2.0;
  StepLimits limits;
  s->discr.dt_mode = 1;
  cfl_eva2(*s, n, 2, 0.5, 0.25, limits);
  EXPECT_EQ(limits.conv_rate_max, 1e-05);
  EXPECT_EQ(limits.stab_lim, "diffusivo ");
  EXPECT_NEAR(s->tempo.dt, 0.01 * 0.25 * 2.0, 1e-15);  // rho_min from the interpolated density
  EXPECT_EQ(limits.mach_m, 1e32);
  // a fixed step beyond the limit: one warning, and an operator input at its
  // end lets the run go on
  std::istringstream no_operator("");
  s->operator_input = &no_operator;
  s->discr.dt_mode = 0;
  s->tempo.dt = 1.0;
  cfl_eva2(*s, n, 2, 0.5, 0.25, limits);
  EXPECT_EQ(console.str().find("oltrepassato"), console.str().rfind("oltrepassato"));
  EXPECT_NE(console.str().find(" limite di stabilità oltrepassato. Continuare?\n per continuare premere invio\n"),
            std::string::npos);
  EXPECT_EQ(s->tempo.dt, 1.0);
  EXPECT_NEAR(limits.stab_calc, 1.0 / (0.01 * 2.0), 1e-11);
}

}  // namespace
}  // namespace fiamma

namespace fiamma {
namespace {

TEST(VelocityCorrection, StopsAfterTwoIterationsOrReportsNonConvergence) {
  std::ostringstream console;
  const int n = 17;
  auto s = uniform_state(n, 0.1, console);
  auto& q = s->vvar;
  // constant density, no divergence, uniform momentum: two iterations
  for (int j = 1; j <= n; ++j) {
    q[1][j] = 2.0;
    q[5][j] = 0.3;
    q[6][j] = q[7][j] = 0.1;
    s->vvar_temp_div[1][j] = 0.0;
  }
  s->scratch.correction_iterations = 0;
  correggi_qm_lm_neu(*s, n, q[1], q[4], q[5], q[6], q[7], s->vvar_temp_div[1], 0.0, 0.0, s->rrhs[4]);
  EXPECT_EQ(s->scratch.correction_iterations, 2);
  for (int j = 1; j <= n; ++j) {
    EXPECT_NEAR(q[4][j], 0.3, 1e-10) << j;
    EXPECT_EQ(q[4][j], q[5][j]);
    EXPECT_EQ(q[6][j], 0.0);
  }
  // a density bump makes the fixed point slow: with a low limit it stops
  for (int j = 1; j <= n; ++j) {
    q[1][j] = 1.0 + 10.0 * std::exp(-(j - 8.0) * (j - 8.0));
    q[5][j] = 0.0;
    s->vvar_temp_div[1][j] = 1.0;
  }
  s->scratch.correction_max_iterations = 3;
  EXPECT_THROW(correggi_qm_lm_neu(*s, n, q[1], q[4], q[5], q[6], q[7], s->vvar_temp_div[1], 0.0, 0.0, s->rrhs[4]),
               RunStopped);
  const std::string out = console.str();
  EXPECT_NE(out.find(" Convergenza iterazione Low Mach non raggiunta\n Errore iterativo pari a: "), std::string::npos);
  EXPECT_NE(out.find(" > 5.0000000000000002E-05\n Codice interrotto\n"), std::string::npos) << out;
}

}  // namespace
}  // namespace fiamma
