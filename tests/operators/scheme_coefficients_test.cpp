// The scheme coefficients: the stated double-precision values, bit for bit.
#include "operators/scheme_coefficients.hpp"

#include <gtest/gtest.h>

#include <memory>

namespace fiamma {
namespace {

std::unique_ptr<State> scheme(int i_thom, double alpha, double alpha_b) {
  auto s = std::make_unique<State>();
  s->discr.i_thom = i_thom;
  s->comp.c[cs::boundary_scheme_parameter] = alpha_b;
  s->comp.c[cs::interior_scheme_parameter] = alpha;
  def_scheme2(*s);
  return s;
}

TEST(SchemeCoefficients, PentadiagonalFamilyAtHalf) {
  auto s = scheme(2, 0.5, 2.0);
  const auto& c = s->comp.c;
  using namespace cs;
  EXPECT_EQ(c[boundary_c1], -2.5);
  EXPECT_EQ(c[boundary_c2], 2.0);
  EXPECT_EQ(c[boundary_c3], 0.5);
  EXPECT_EQ(c[boundary_c4], 0.0);
  EXPECT_EQ(c[row4_alpha], 0.499211356466877);
  EXPECT_EQ(c[aux_r], 0.15933333333333366);
  EXPECT_EQ(c[aux_s], 0.7116666666666667);
  EXPECT_EQ(c[row3_alpha], 0.5022790931687284);
  EXPECT_EQ(c[row1_weight], 0.5249999999999999);
  EXPECT_EQ(c[row2_weight], 0.6826111111111108);
  EXPECT_EQ(c[row3_weight], 0.9864222222222222);
  EXPECT_EQ(c[row4_weight], 1.0143999999999993);
  EXPECT_EQ(c[stag_alpha], 0.3356681650717952);
  EXPECT_EQ(c[stag_c], 0.03988564985379864);
  EXPECT_EQ(c[d2_penta_beta], 43.0 / 1798.0);
  // exactness of the staggered and midpoint constants for a linear field
  EXPECT_NEAR(1 + 2 * c[stag_alpha] + 2 * c[stag_beta], c[stag_a] + c[stag_b] + c[stag_c], 1e-15);
  EXPECT_NEAR(1 + 2 * c[mid_alpha] + 2 * c[mid_beta], c[mid_a] + c[mid_b] + c[mid_c], 1e-15);
  // a second call changes nothing
  const auto before = s->comp.c;
  def_scheme2(*s);
  EXPECT_EQ(s->comp.c, before);
}

TEST(SchemeCoefficients, TridiagonalFamilyAtQuarter) {
  auto s = scheme(1, 0.25, 2.0);
  const auto& c = s->comp.c;
  using namespace cs;
  EXPECT_EQ(c[row3_alpha], 0.25);
  EXPECT_EQ(c[row1_weight], 0.375);
  EXPECT_EQ(c[row2_weight], 0.75);
  EXPECT_EQ(c[row3_weight], 1.0);
  EXPECT_EQ(c[d2_interior_alpha], 2.0 / 11.0);
  // entries of the other family are not written
  for (int slot : {5, 6, 7, 8, 16, 17, 18, 21, 25, 26, 27, 31, 38, 42}) EXPECT_EQ(c[slot], 0.0) << slot;
}

}  // namespace
}  // namespace fiamma
