// The settled verdict's estimate on burning rates whose remaining distance is
// known: exponential approaches, a slow oscillation, too few windows.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "diagnostics/settled.hpp"

namespace fiamma {
namespace {

constexpr double kRate = 0.877;  // the settled rate
constexpr double kTol = 1e-5;

struct Case {
  std::string name;
  int window;
  int steps;
  // relative deviation of step k's rate from the settled one
  std::function<double(int)> deviation;
  bool settled;
};

TEST(SettledEstimate, KnownApproaches) {
  // an exponential approach A q^k with q^window = r, so that the newest
  // rate's distance A q^steps is known
  const auto approach = [](double a, double r, int window) {
    return [=](int k) { return a * std::pow(r, static_cast<double>(k) / window); };
  };
  const std::vector<Case> cases = {
      {"far: 6e-4 to go", 100, 400, approach(1e-2, 0.5, 100), false},
      {"slow decay, r 0.97", 100, 1500, approach(1e-4, 0.97, 100), false},
      {"0.6 TOL to go", 100, 1000, approach(0.6 * kTol / std::pow(0.5, 10), 0.5, 100), false},
      {"0.05 TOL to go", 100, 1000, approach(0.05 * kTol / std::pow(0.5, 10), 0.5, 100), true},
      {"from below, 0.05 TOL to go", 50, 600, approach(-0.05 * kTol / std::pow(0.3, 12), 0.3, 50), true},
      {"done long ago", 100, 1500, approach(1e-2, 0.3, 100), true},
      // a slow oscillation of amplitude TOL: no geometric decay to trust
      {"oscillation", 100, 1000, [](int k) { return kTol * std::sin(2.0 * M_PI * k / 250.0); }, false},
  };
  for (const Case& c : cases) {
    RateWindows w;
    w.reset(c.window);
    double newest = 0.0;
    for (int k = 1; k <= c.steps; ++k) {
      newest = kRate * (1.0 + c.deviation(k));
      w.add(newest);
      if (k < 3 * c.window) {
        EXPECT_TRUE(std::isnan(w.gap(newest))) << c.name << ": fewer than three windows";
      }
    }
    const double gap = w.gap(newest);
    const double remaining = std::fabs(c.deviation(c.steps));
    EXPECT_EQ(settled_within(gap, kTol), c.settled) << c.name << ": estimate " << gap << ", remaining " << remaining;
    // never below the distance the newest rate still has to go, and for an
    // approach not more than a few times it
    EXPECT_GE(gap, remaining) << c.name;
    if (c.name != "oscillation") {
      EXPECT_LE(gap, 10.0 * remaining) << c.name;
    }
  }
  // windows shorter than two steps give no estimate at all
  RateWindows none;
  none.reset(1);
  for (int k = 0; k < 100; ++k) none.add(kRate);
  EXPECT_TRUE(std::isnan(none.gap(kRate)));
  EXPECT_FALSE(settled_within(none.gap(kRate), kTol));
}

}  // namespace
}  // namespace fiamma
