#include "initial/flame_profile.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <sstream>

#include "operators/operators.hpp"

namespace fiamma {
namespace {

TEST(FlameProfile, FrontFreshAndBurntStates) {
  std::ostringstream console;
  const int n = 65;
  auto s = std::make_unique<State>();
  s->console = &console;
  s->discr.i_thom = 2;
  s->discr.dx = 0.25;
  s->comp.c[1] = 2.0;
  s->comp.c[4] = 0.5;
  auto ops = setup_operators(*s, n);
  Gass& g = s->gass;
  g.gamma = 1.4; g.th_fresh = 300.0; g.th_burnt = 900.0; g.y1_fresh = 0.06; g.y1_burnt = 0.0;
  g.equivalence_ratio = 1.0;
  s->ic_kkind.reaction_order = 1;
  s->ff_fnz.x0_ff_2 = 8.0;  // node 33
  s->ff_fnz.hx_ff_2 = 4.0;
  ini_fiamma_new(*s, *ops, n, 2);
  EXPECT_DOUBLE_EQ(s->vvar_2, 35000.0);
  auto nodes = std::make_unique<NodeValues>();
  const NodeValues& w = *nodes;
  flame_node_values(*s, n, *nodes);
  EXPECT_EQ(w.ini_th[33], 600.0);  // mid-front
  for (int i = 1; i <= n; ++i) EXPECT_NEAR(w.ini_rho[i] * w.ini_th[i], 35000.0, 1e-9) << i;
  EXPECT_NEAR(w.ini_y1[1] / w.ini_rho[1], 0.06, 1e-9);
  EXPECT_NEAR(w.ini_y1[n] / w.ini_rho[n], 0.0, 1e-9);
  EXPECT_NEAR(s->vvar[1][1], 35000.0 / 300.0, 1e-6);
  EXPECT_EQ(s->vvar[1][n], 1.0);
  EXPECT_EQ(s->vvar_temp_div_rk[2][n], 1.0);
  for (int slot = 4; slot <= 7; ++slot) for (int i = 1; i <= n; ++i) EXPECT_EQ(s->vvar[slot][i], 0.0);
  for (int i = 1; i < n; ++i) EXPECT_EQ(s->vvar[3][i], 0.0);
  // a lean mixture burns all its fuel
  g.equivalence_ratio = 0.5;
  flame_node_values(*s, n, *nodes);
  EXPECT_NEAR(w.ini_y1[1] / w.ini_rho[1], 0.01453 / 1.01453, 1e-9);
  EXPECT_NEAR(w.ini_y1[n] / w.ini_rho[n], 0.0, 1e-9);
}

}  // namespace
}  // namespace fiamma
