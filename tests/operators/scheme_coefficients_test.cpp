// The scheme coefficients: the stated double-precision values, bit for bit.
#include "operators/scheme_coefficients.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <utility>
#include <vector>

namespace fiamma {
namespace {

using namespace cs;

std::unique_ptr<State> scheme(int i_thom, double alpha, double alpha_b) {
  auto s = std::make_unique<State>();
  s->discr.i_thom = i_thom;
  s->comp.c[boundary_scheme_parameter] = alpha_b;
  s->comp.c[interior_scheme_parameter] = alpha;
  def_scheme2(*s);
  return s;
}

TEST(SchemeCoefficients, TheStatedValuesOfBothFamilies) {
  const std::vector<std::pair<Slot, double>> penta = {
      {boundary_c1, -2.5}, {boundary_c2, 2.0}, {boundary_c3, 0.5}, {boundary_c4, 0.0},
      {row4_alpha, 0.499211356466877}, {aux_r, 0.15933333333333366}, {aux_s, 0.7116666666666667},
      {row3_alpha, 0.5022790931687284}, {row1_weight, 0.5249999999999999}, {row2_weight, 0.6826111111111108},
      {row3_weight, 0.9864222222222222}, {row4_weight, 1.0143999999999993}, {stag_alpha, 0.3356681650717952},
      {stag_c, 0.03988564985379864}, {d2_penta_beta, 43.0 / 1798.0}, {mid_beta, 5.0 / 126.0}};
  auto s = scheme(2, 0.5, 2.0);
  for (const auto& [slot, value] : penta) EXPECT_EQ(s->comp.c[slot], value) << slot;
  const auto& c = s->comp.c;
  // exactness of the staggered and midpoint constants for a linear field
  EXPECT_NEAR(1 + 2 * c[stag_alpha] + 2 * c[stag_beta], c[stag_a] + c[stag_b] + c[stag_c], 1e-15);
  EXPECT_NEAR(1 + 2 * c[mid_alpha] + 2 * c[mid_beta], c[mid_a] + c[mid_b] + c[mid_c], 1e-15);
  const auto before = c;
  def_scheme2(*s);
  EXPECT_EQ(s->comp.c, before);  // a second call changes nothing

  const std::vector<std::pair<Slot, double>> trid = {{row3_alpha, 0.25},  {row1_weight, 0.375}, {row2_weight, 0.75},
                                                     {row3_weight, 1.0},  {d2_interior_alpha, 2.0 / 11.0}};
  auto t = scheme(1, 0.25, 2.0);
  for (const auto& [slot, value] : trid) EXPECT_EQ(t->comp.c[slot], value) << slot;
  // entries of the other family are not written
  for (int slot : {5, 6, 7, 8, 16, 17, 18, 21, 25, 26, 27, 31, 38, 42}) EXPECT_EQ(t->comp.c[slot], 0.0) << slot;
}

}  // namespace
}  // namespace fiamma
