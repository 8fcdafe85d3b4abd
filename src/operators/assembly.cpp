#include "operators/assembly.hpp"

#include <array>
#include <cmath>
#include <utility>

#include "operators/scheme_coefficients.hpp"

namespace fiamma {

namespace {

using L5 = std::array<double, 5>;  // u(i-2) .. u(i+2)
using R7 = std::array<double, 7>;  // f(i-3) .. f(i+3)

void put(OperatorBlock& k, int i, const L5& l, const R7& r) {
  k.a[i] = l[0]; k.b[i] = l[1]; k.c[i] = l[2]; k.d[i] = l[3]; k.e[i] = l[4];
  k.aB[i] = r[0]; k.bB[i] = r[1]; k.cB[i] = r[2]; k.dB[i] = r[3];
  k.eB[i] = r[4]; k.fB[i] = r[5]; k.gB[i] = r[6];
}

// The row read from the other end: bands reversed, right-hand side negated
// for odd derivatives.
void put_mirrored(OperatorBlock& k, int i, const L5& l, const R7& r, double sign) {
  put(k, i, {l[4], l[3], l[2], l[1], l[0]},
      {sign * r[6], sign * r[5], sign * r[4], sign * r[3], sign * r[2], sign * r[1], sign * r[0]});
}

void scale_rhs(OperatorBlock& k, int n, double h) {
  for (Field* band : {&k.aB, &k.bB, &k.cB, &k.dB, &k.eB, &k.fB, &k.gB}) {
    for (int i = 1; i <= n; ++i) (*band)[i] /= h;
  }
}

void clear_rows(OperatorBlock& k) {
  for (Field* band : {&k.a, &k.b, &k.c, &k.d, &k.e, &k.aB, &k.bB, &k.cB, &k.dB, &k.eB, &k.fB, &k.gB}) {
    band->fill(0.0);
  }
}

// The row that reproduces its input, closing a staggered result at entry n.
void reproducing_row(OperatorBlock& k, int n) { put(k, n, {0, 0, 1, 0, 0}, {0, 0, 0, 1, 0, 0, 0}); }

// First derivative, pentadiagonal interior, on points 1..m (not scaled).
void penta_first_rows(const Comp& comp, int m, OperatorBlock& k) {
  using namespace cs;
  const auto& c = comp.c;
  const double ab = c[boundary_scheme_parameter];
  const double w1 = c[row1_weight], w2 = c[row2_weight], w3 = c[row3_weight], w4 = c[row4_weight];
  const L5 l1{0, 0, w1, w1 * ab, 0};
  const R7 r1{0, 0, 0, w1 * c[boundary_c1], w1 * c[boundary_c2], w1 * c[boundary_c3], w1 * c[boundary_c4]};
  const L5 l2{0, w2 * c[pade_alpha], w2, w2 * c[pade_alpha], 0};
  const R7 r2{0, 0, -w2 * c[pade_rhs], 0, w2 * c[pade_rhs], 0, 0};
  const L5 l3{w3 * c[row3_beta], w3 * c[row3_alpha], w3, w3 * c[row3_alpha], w3 * c[row3_beta]};
  const R7 r3{0, -w3 * c[row3_b], -w3 * c[row3_a], 0, w3 * c[row3_a], w3 * c[row3_b], 0};
  const L5 l4{w4 * c[row4_beta], w4 * c[row4_alpha], w4, w4 * c[row4_alpha], w4 * c[row4_beta]};
  const R7 r4{-w4 * c[row4_c], -w4 * c[row4_b], -w4 * c[row4_a], 0, w4 * c[row4_a], w4 * c[row4_b], w4 * c[row4_c]};
  put(k, 1, l1, r1);
  put(k, 2, l2, r2);
  put(k, 3, l3, r3);
  put(k, 4, l4, r4);
  const double al = c[interior_scheme_parameter], be = c[interior_beta];
  for (int i = 5; i <= m - 4; ++i) {
    put(k, i, {be, al, 1, al, be}, {-c[interior_c], -c[interior_b], -c[interior_a], 0, c[interior_a], c[interior_b], c[interior_c]});
  }
  put(k, m - 3, l4, r4);
  put(k, m - 2, l3, r3);
  put(k, m - 1, l2, r2);
  put_mirrored(k, m, l1, r1, -1.0);
}

// The tridiagonal second-derivative row for coefficient g.
void d2_row(OperatorBlock& k, int i, double g) {
  const double p2 = (10.0 * g - 1.0) * 0.3333333333333333 * 0.25;
  const double q2 = (1.0 - g) * 1.3333333333333333;
  put(k, i, {0, g, 1, g, 0}, {0, p2, q2, -(p2 + q2 + p2 + q2), q2, p2, 0});
}

// Second derivative boundary row 1, 11 with 13, -27, 15, -1.
void d2_boundary_rows(const Comp& comp, int m, OperatorBlock& k) {
  const double dl = comp.c[cs::d2_boundary_alpha];
  const L5 l{0, 0, 1, dl, 0};
  const R7 r{0, 0, 0, (11.0 * dl + 35.0) / 12.0, -((5.0 * dl + 26.0) / 3.0), (dl + 19.0) * 0.5, (dl - 14.0) / 3.0};
  put(k, 1, l, r);
  put_mirrored(k, m, l, r, 1.0);
}

// Second derivative, pentadiagonal interior, on points 1..m (not scaled).
void penta_second_rows(const Comp& comp, int m, OperatorBlock& k) {
  using namespace cs;
  const auto& c = comp.c;
  d2_boundary_rows(comp, m, k);
  d2_row(k, 2, c[d2_pade_alpha]);
  d2_row(k, 3, c[d2_interior_alpha]);
  const double a2 = c[d2_penta_alpha], b2 = c[d2_penta_beta];
  const double A1 = (696.0 - 1191.0 * a2) / 428.0;
  const double A2 = ((2454.0 * a2 - 294.0) * 0.25) / 535.0;
  const double A3 = ((1179.0 * a2 - 344.0) * 0.1111111111111111) / 2140.0;
  const double sum = A3 + A2 + A1;
  for (int i = 4; i <= m - 3; ++i) put(k, i, {b2, a2, 1, a2, b2}, {A3, A2, A1, -(sum + sum), A1, A2, A3});
  d2_row(k, m - 2, c[d2_interior_alpha]);
  d2_row(k, m - 1, c[d2_pade_alpha]);
}

// Right-hand coefficients on the nodes first..first+K-1 (as offsets from row
// i) that make the row exact for the polynomials of degree < K, given the
// left-hand coefficients on the nodes i-2..i+2; `order` is 1 or 2.
template <int K>
std::array<double, K> exact_rhs(const Field& x, int i, int first, const L5& l, int order) {
  const double h = i > 1 ? x[i] - x[i - 1] : x[i + 1] - x[i];  // local scale
  double m[K][K + 1];
  for (int j = 0; j < K; ++j) {  // p(t) = t^j, t = (x - x_i) / h
    for (int k = 0; k < K; ++k) m[j][k] = std::pow((x[first + k] - x[i]) / h, j);
    double rhs = 0.0;
    for (int q = 0; q < 5; ++q) {
      if (l[q] == 0.0) continue;
      const double t = (x[i - 2 + q] - x[i]) / h;
      double dp = 0.0;
      if (order == 1 && j >= 1) dp = j * std::pow(t, j - 1);
      if (order == 2 && j >= 2) dp = j * (j - 1) * std::pow(t, j - 2);
      rhs += l[q] * dp;
    }
    m[j][K] = rhs;
  }
  for (int col = 0; col < K; ++col) {  // Gaussian elimination, partial pivoting
    int piv = col;
    for (int r = col + 1; r < K; ++r) if (std::fabs(m[r][col]) > std::fabs(m[piv][col])) piv = r;
    for (int q = 0; q <= K; ++q) std::swap(m[col][q], m[piv][q]);
    for (int r = col + 1; r < K; ++r) {
      const double f = m[r][col] / m[col][col];
      for (int q = col; q <= K; ++q) m[r][q] -= f * m[col][q];
    }
  }
  std::array<double, K> out{};
  for (int r = K - 1; r >= 0; --r) {
    double v = m[r][K];
    for (int q = r + 1; q < K; ++q) v -= m[r][q] * out[q];
    out[r] = v / m[r][r];
  }
  const double scale = order == 1 ? h : h * h;
  for (auto& v : out) v /= scale;
  return out;
}

// Places K right-hand coefficients starting at node `first` into row i.
template <int K>
R7 at(int i, int first, const std::array<double, K>& v) {
  R7 r{};
  for (int k = 0; k < K; ++k) r[first - i + 3 + k] = v[k];
  return r;
}

}  // namespace

void mat_eva_penta(State& s, int n, OperatorBlock& k) {
  def_scheme2(s);
  clear_rows(k);
  penta_first_rows(s.comp, n, k);
  scale_rhs(k, n, s.discr.dx);
}

void mat_eva_trid(State& s, int n, OperatorBlock& k) {
  using namespace cs;
  def_scheme2(s);
  clear_rows(k);
  penta_first_rows(s.comp, n, k);  // rows 1, 2, n-1, n are shared
  const auto& c = s.comp.c;
  const double w3 = c[row3_weight];
  const L5 l3{0, w3 * c[row3_alpha], w3, w3 * c[row3_alpha], 0};
  const R7 r3{0, -w3 * c[row3_b], -w3 * c[row3_a], 0, w3 * c[row3_a], w3 * c[row3_b], 0};
  put(k, 3, l3, r3);
  const double al = c[interior_scheme_parameter];
  for (int i = 4; i <= n - 3; ++i) {
    put(k, i, {0, al, 1, al, 0}, {0, -c[interior_b], -c[interior_a], 0, c[interior_a], c[interior_b], 0});
  }
  put(k, n - 2, l3, r3);
  scale_rhs(k, n, s.discr.dx);
}

void mat_eva_penta_ds(State& s, int n, OperatorBlock& k) {
  def_scheme2(s);
  clear_rows(k);
  penta_second_rows(s.comp, n, k);
  scale_rhs(k, n, s.discr.dx * s.discr.dx);
}

void mat_eva_trid_ds(State& s, int n, OperatorBlock& k) {
  def_scheme2(s);
  clear_rows(k);
  d2_boundary_rows(s.comp, n, k);
  d2_row(k, 2, s.comp.c[cs::d2_pade_alpha]);
  for (int i = 3; i <= n - 2; ++i) d2_row(k, i, s.comp.c[cs::d2_interior_alpha]);
  d2_row(k, n - 1, s.comp.c[cs::d2_pade_alpha]);
  scale_rhs(k, n, s.discr.dx * s.discr.dx);
}

void mat_eva_trid_nu(State& s, int n, OperatorBlock& k) {
  clear_rows(k);
  const Field& x = s.grid2.x;
  auto D = [&](int i) { return s.grid2.spacing[i]; };
  const double third = 0.333333333;
  s.comp.c[cs::boundary_scheme_parameter] = third;
  {
    const double d1 = D(1), d2 = D(2), S = d1 + d2;
    put(k, 1, {0, 0, 1, S / d2, 0},
        {0, 0, 0, -(3 * d1 + 2 * d2) / (d1 * S), (2 * d2 - d1) * S / (d1 * d2 * d2), d1 * d1 / (S * d2 * d2), 0});
    const double S3 = S * S * S;
    put(k, 2, {0, d2 * d2 / (S * S), 1, d1 * d1 / (S * S), 0},
        {0, 0, -2 * d2 * d2 * (2 * d1 + d2) / (S3 * d1), 2 * (d2 - d1) / (d1 * d2),
         2 * d1 * d1 * (d1 + 2 * d2) / (S3 * d2), 0, 0});
  }
  {
    const double dm = D(n - 2), dn = D(n - 1), T = dm + dn, T3 = T * T * T;
    put(k, n - 1, {0, dn * dn / (T * T), 1, dm * dm / (T * T), 0},
        {0, 0, -2 * dn * dn * (2 * dm + dn) / (T3 * dm), 2 * (dn - dm) / (dm * dn),
         2 * dm * dm * (dm + 2 * dn) / (T3 * dn), 0, 0});
    put(k, n, {0, T / dm, 1, 0, 0},
        {0, -dn * dn / (dm * dm * T), -(2 * dm - dn) * T / (dn * dm * dm), (2 * dm + 3 * dn) / (dn * T), 0, 0, 0});
  }
  const L5 l{0, third, 1, third, 0};
  for (int i = 3; i <= n - 2; ++i) put(k, i, l, at<5>(i, i - 2, exact_rhs<5>(x, i, i - 2, l, 1)));
}

void mat_eva_trid_nu_ds(State& s, int n, OperatorBlock& k) {
  clear_rows(k);
  const Field& x = s.grid2.x;
  const double g = 2.0 / 11.0;
  s.comp.c[cs::boundary_scheme_parameter] = g;
  const L5 l1{0, 0, 1, 11, 0}, l2{0, 0.1, 1, 0.1, 0}, li{0, g, 1, g, 0}, ln{0, 11, 1, 0, 0};
  put(k, 1, l1, at<4>(1, 1, exact_rhs<4>(x, 1, 1, l1, 2)));
  put(k, 2, l2, at<4>(2, 1, exact_rhs<4>(x, 2, 1, l2, 2)));
  for (int i = 3; i <= n - 2; ++i) put(k, i, li, at<5>(i, i - 2, exact_rhs<5>(x, i, i - 2, li, 2)));
  put(k, n - 1, l2, at<4>(n - 1, n - 3, exact_rhs<4>(x, n - 1, n - 3, l2, 2)));
  put(k, n, ln, at<4>(n, n - 3, exact_rhs<4>(x, n, n - 3, ln, 2)));
}

void mat_eva_der_st(State& s, int n, OperatorBlock& k) {
  def_scheme2(s);
  clear_rows(k);
  penta_first_rows(s.comp, n - 1, k);
  reproducing_row(k, n);
  scale_rhs(k, n, s.discr.dx);
}

void mat_eva_der_ds_st(State& s, int n, OperatorBlock& k) {
  def_scheme2(s);
  clear_rows(k);
  penta_second_rows(s.comp, n - 1, k);
  reproducing_row(k, n);
  scale_rhs(k, n, s.discr.dx * s.discr.dx);
}

void mat_eva_inter_ns_st(State& s, int n, OperatorBlock& k) {
  using namespace cs;
  const auto& c = s.comp.c;
  clear_rows(k);
  put(k, 1, {0, 0, 1, 2, 1.0 / 5}, {0, 0, 0, 1.0 / 5, 2, 1, 0});
  put(k, 2, {0, 1.0 / 5, 1, 3.0 / 5, 1.0 / 35}, {0, 0, 1.0 / 35, 3.0 / 5, 1, 1.0 / 5, 0});
  const double ha = c[mid_a] * 0.5, hb = c[mid_b] * 0.5, hc = c[mid_c] * 0.5;
  for (int j = 3; j <= n - 3; ++j) {
    put(k, j, {c[mid_beta], c[mid_alpha], 1, c[mid_alpha], c[mid_beta]}, {0, hc, hb, ha, ha, hb, hc});
  }
  put(k, n - 2, {1.0 / 35, 3.0 / 5, 1, 1.0 / 5, 0}, {0, 0, 1.0 / 5, 1, 3.0 / 5, 1.0 / 35, 0});
  put(k, n - 1, {1.0 / 5, 2, 1, 0, 0}, {0, 0, 1, 2, 1.0 / 5, 0, 0});
  reproducing_row(k, n);
}

void mat_eva_inter_st_ns(State& s, int n, OperatorBlock& k) {
  using namespace cs;
  const auto& c = s.comp.c;
  clear_rows(k);
  put(k, 1, {0, 0, 1, 10, 5}, {0, 0, 0, 5, 10, 1, 0});
  put(k, 2, {0, 0.07196348334640895, 1, 0.8146114162090198, -0.0074887668497254116},
      {0, 0, 0.41853885837909804, 1.2406390414378432, 0.23315027458811782, -0.013242041699355729, 0});
  const L5 l3{1.0 / 70, 2.0 / 5, 1, 2.0 / 5, 1.0 / 70};
  const R7 r3{0, 4.0 / 35, 4.0 / 5, 4.0 / 5, 4.0 / 35, 0, 0};
  put(k, 3, l3, r3);
  const double ha = c[mid_a] * 0.5, hb = c[mid_b] * 0.5, hc = c[mid_c] * 0.5;
  for (int i = 4; i <= n - 3; ++i) {
    put(k, i, {c[mid_beta], c[mid_alpha], 1, c[mid_alpha], c[mid_beta]}, {hc, hb, ha, ha, hb, hc, 0});
  }
  put(k, n - 2, l3, r3);
  put(k, n - 1, {-0.0074887668497254116, 0.8146114162090198, 1, 0.07196348334640895, 0},
      {-0.013242041699355729, 0.23315027458811782, 1.2406390414378432, 0.41853885837909804, 0, 0, 0});
  put(k, n, {5, 10, 1, 0, 0}, {1, 10, 5, 0, 0, 0, 0});
}

void mat_eva_der_ns_st(State& s, int n, OperatorBlock& k) {
  using namespace cs;
  const auto& c = s.comp.c;
  clear_rows(k);
  put(k, 1, {0, 0, 1, 22, 1}, {0, 0, 0, 0, -24, 24, 0});
  const L5 l2{0, 9.0 / 62, 1, 9.0 / 62, 0};
  const R7 r2{0, 0, -17.0 / 186, -63.0 / 62, 63.0 / 62, 17.0 / 186, 0};
  put(k, 2, l2, r2);
  const double sa = c[stag_a], sb = c[stag_b] / 3.0, sc = c[stag_c] / 5.0;
  for (int j = 3; j <= n - 3; ++j) {
    put(k, j, {c[stag_beta], c[stag_alpha], 1, c[stag_alpha], c[stag_beta]}, {0, -sc, -sb, -sa, sa, sb, sc});
  }
  put(k, n - 2, l2, r2);
  put(k, n - 1, {1, 22, 1, 0, 0}, {0, 0, -24, 24, 0, 0, 0});
  reproducing_row(k, n);
  scale_rhs(k, n, s.discr.dx);
}

void mat_eva_der_st_ns_per_thomas(State& s, int n, OperatorBlock& k) {
  using namespace cs;
  const auto& c = s.comp.c;
  clear_rows(k);
  put(k, 1, {0, 0, 1, 22, 1}, {0, 0, 0, -24, 24, 0, 0});
  put(k, 2, {0, 1.0 / 21, 1, -1, -1.0 / 21}, {0, 0, -8.0 / 7, 16.0 / 7, -8.0 / 7, 0, 0});
  const double e3 = 0.0035646110093887568, a3 = 0.23818613892243562;
  const double p3 = 0.9116054384666329, q3 = 0.19063202046567196;
  const L5 l3{e3, a3, 1, a3, e3};
  const R7 r3{0, -q3, -p3, p3, q3, 0, 0};
  put(k, 3, l3, r3);
  const double sa = c[stag_a], sb = c[stag_b] / 3.0, sc = c[stag_c] / 5.0;
  for (int i = 4; i <= n - 3; ++i) {
    put(k, i, {c[stag_beta], c[stag_alpha], 1, c[stag_alpha], c[stag_beta]}, {-sc, -sb, -sa, sa, sb, sc, 0});
  }
  put(k, n - 2, l3, r3);
  put(k, n - 1, {-1.0 / 21, -1, 1, 1.0 / 21, 0}, {0, 8.0 / 7, -16.0 / 7, 8.0 / 7, 0, 0, 0});
  put(k, n, {1, 22, 1, 0, 0}, {0, -24, 24, 0, 0, 0, 0});
  scale_rhs(k, n, s.discr.dx);
}

void mat_eva_trid_ds_st_bc_ns_neumann_new(State& s, int n, OperatorBlock& k) {
  def_scheme2(s);
  clear_rows(k);
  const auto& c = s.comp.c;
  put(k, 1, {0, 0, 1, -11.0 / 23, 0}, {0, 0, 0, -36.0 / 23, 48.0 / 23, -12.0 / 23, 0});
  d2_row(k, 2, c[cs::d2_pade_alpha]);
  for (int j = 3; j <= n - 3; ++j) d2_row(k, j, c[cs::d2_interior_alpha]);
  d2_row(k, n - 2, c[cs::d2_pade_alpha]);
  put(k, n - 1, {0, 0, 1, 0, 0}, {0, 0, 2, -6, 0, 0, 0});
  reproducing_row(k, n);
  scale_rhs(k, n, s.discr.dx * s.discr.dx);
}

}  // namespace fiamma
