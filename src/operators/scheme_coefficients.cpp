#include "operators/scheme_coefficients.hpp"

namespace fiamma {

namespace {
// Reciprocals used in place of the divisions by 20, 12, 600, 300, 9, 72, 3.
constexpr double k1_20 = 0.05;
constexpr double k1_12 = 0.08333333333333333;
constexpr double k1_600 = 0.0016666666666666668;
constexpr double k1_300 = 0.0033333333333333335;
constexpr double k1_9 = 0.1111111111111111;
constexpr double k1_72 = 0.013888888888888888;
constexpr double k1_3 = 0.3333333333333333;
constexpr double k4_3 = 1.3333333333333333;
}  // namespace

void def_scheme2(State& s) {
  auto& c = s.comp.c;
  using namespace cs;
  const double ab = c[boundary_scheme_parameter];
  const double al = c[interior_scheme_parameter];
  c[boundary_c1] = -((ab + ab + 11.0) / 6.0);
  c[boundary_c2] = (6.0 - ab) * 0.5;
  c[boundary_c3] = ((ab + ab) - 3.0) * 0.5;
  c[boundary_c4] = (2.0 - ab) / 6.0;
  c[pade_alpha] = 0.25;
  c[pade_rhs] = 0.75;
  const double p = c[boundary_c2], q = c[boundary_c3], r = c[boundary_c4];

  if (s.discr.i_thom == 1) {
    const double a3 = (p * (40.0 * al - 1.0) + (4.0 * al - 1.0) * 7.0 * r) /
                      (p * (al + 2.0) * 16.0 + (1.0 - 4.0 * al) * 8.0 * r);
    c[row3_alpha] = a3;
    c[row3_a] = (a3 + 2.0) * k1_3;
    c[row3_b] = (4.0 * a3 - 1.0) * k1_12;
    c[interior_a] = (al + 2.0) * k1_3;
    c[interior_b] = (4.0 * al - 1.0) * k1_12;
    c[row1_weight] = (2.0 * al + 1.0) / (2.0 * (p + r));
    c[row2_weight] =
        (p * (8.0 * al + 7.0) - 6.0 * (2.0 * al + 1.0) * q + r * (8.0 * al + 7.0)) * k1_9 / (p + r);
    c[row3_weight] = (4.0 * p * (al + 2.0) + 2.0 * r * (1.0 - 4.0 * al)) * k1_9 / (p + r);
    c[d2_boundary_alpha] = 11.0;
    c[d2_pade_alpha] = 1.0 / 10.0;
    c[d2_interior_alpha] = 2.0 / 11.0;
    return;
  }
  if (s.discr.i_thom != 2) return;

  c[interior_beta] = (8.0 * al - 3.0) * k1_20;
  const double A = c[interior_a] = (12.0 - 7.0 * al) * k1_12;
  const double B = c[interior_b] = (568.0 * al - 183.0) * k1_600;
  const double C = c[interior_c] = (9.0 * al - 4.0) * k1_300;
  const double a4 = c[row4_alpha] = (175.0 * C - 8.0 * B) / (550.0 * C - 18.0 * B);
  c[row4_beta] = (8.0 * a4 - 3.0) * k1_20;
  const double A4 = c[row4_a] = (12.0 - 7.0 * a4) * k1_12;
  c[row4_b] = (568.0 * a4 - 183.0) * k1_600;
  const double C4 = c[row4_c] = (9.0 * a4 - 4.0) * k1_300;
  const double R = c[aux_r] = A + B + (1.0 - A4 / C4) * C;
  const double S = c[aux_s] = ((p - r) * (A + C) + (p - 2.0 * r) * C) / (p + r);
  const double a3 = c[row3_alpha] = (576.0 * R + 153.0 * S) / (513.0 * S + 216.0 * R);
  c[row3_beta] = (3.0 * a3 - 1.0) * k1_12;
  c[row3_a] = (8.0 - 3.0 * a3) * k1_9;
  const double B3 = c[row3_b] = (57.0 * a3 - 17.0) * k1_72;
  const double T = A + B + B + 3.0 * C;
  c[row1_weight] = T / (p + r);
  c[row2_weight] = (C + B * k4_3) - T * (q / (p + r)) + C * A4 / C4;
  c[row3_weight] = R / B3;
  c[row4_weight] = C / C4;
  c[d2_boundary_alpha] = 11.0;
  c[d2_pade_alpha] = 1.0 / 10.0;
  c[d2_interior_alpha] = 2.0 / 11.0;
  c[d2_penta_alpha] = 334.0 / 899.0;
  c[d2_penta_beta] = 43.0 / 1798.0;
  c[mid_alpha] = 10.0 / 21.0;
  c[mid_beta] = 5.0 / 126.0;
  c[mid_a] = 5.0 / 3.0;
  c[mid_b] = 5.0 / 14.0;
  c[mid_c] = 1.0 / 126.0;
  c[stag_alpha] = 0.3356681650717952;
  c[stag_beta] = 0.016766078972997516;
  c[stag_a] = 0.7895509059170251;
  c[stag_b] = 0.8754319323187617;
  c[stag_c] = 0.03988564985379864;
}

}  // namespace fiamma
