// The premixed-flame initial profile: the front at its abscissa, fresh and
// burnt states at the ends, the gas at rest and at one pressure.
#include "initial/flame_profile.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <sstream>

#include "test_support.hpp"

namespace fiamma {
namespace {

TEST(FlameProfile, FrontFreshAndBurntStates) {
  testing::ScratchDir dir;
  std::ostringstream console;
  auto s = testing::flame_set_up(dir.path(), console);
  const int n = s->settings.n;
  auto ops = setup_operators(*s, n);
  auto nodes = std::make_unique<NodeValues>();
  const NodeValues& w = *nodes;
  s->ff_fnz.x0_ff_2 = 128 * s->discr.dx;  // node 129
  s->ff_fnz.hx_ff_2 = 16 * s->discr.dx;
  for (const double phi : {1.0, 0.5}) {
    s->gass.equivalence_ratio = phi;
    ini_fiamma_new(*s, *ops, n, 2);
    EXPECT_DOUBLE_EQ(s->vvar_2, 35000.0);  // 10000 gamma / (gamma - 1) with gamma 1.4
    flame_node_values(*s, n, *nodes);
    EXPECT_EQ(w.ini_th[129], 600.0);  // mid-front between 300 and 900
    for (int i = 1; i <= n; ++i) EXPECT_NEAR(w.ini_rho[i] * w.ini_th[i], 35000.0, 1e-9) << i;
    // a lean mixture burns all its fuel: 0.01453 / 1.01453 fresh
    EXPECT_NEAR(w.ini_y1[1] / w.ini_rho[1], phi == 1.0 ? 0.06 : 0.01453 / 1.01453, 1e-9);
    EXPECT_NEAR(w.ini_y1[n] / w.ini_rho[n], 0.0, 1e-9);
    EXPECT_NEAR(s->vvar[1][1], 35000.0 / 300.0, 1e-6);
    EXPECT_EQ(s->vvar[1][n], 1.0);
    EXPECT_EQ(s->vvar_temp_div_rk[2][n], 1.0);
    for (int slot = 4; slot <= 7; ++slot) {
      for (int i = 1; i <= n; ++i) EXPECT_EQ(s->vvar[slot][i], 0.0);
    }
    for (int i = 1; i < n; ++i) EXPECT_EQ(s->vvar[3][i], 0.0);
  }
}

}  // namespace
}  // namespace fiamma
