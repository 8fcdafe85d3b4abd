// The assembled compact operators: every row exact on polynomials of its
// degree, the applications converging at their schemes' orders, the
// homogeneous solutions, the pressure solve, the tridiagonal and non-uniform
// families, and the set-up's refusals.
#include "operators/operators.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <vector>

#include "core/errors.hpp"
#include "operator_test_support.hpp"
#include "operators/assembly.hpp"

namespace fiamma {
namespace {

using testing::exact_degree;
using testing::Ops;
using testing::Points;
using testing::position;

struct Case {
  Operator op;
  Points in, out;
  int order;
  std::vector<int> edge;  // exact degree of rows 1, 2, ... from either end
  int interior;           // and of the rows beyond
  double order_all, order_interior;  // floors of the observed convergence orders
};

const Case kCases[] = {
    {Operator::der_prima, Points::Nodes, Points::Nodes, 1, {3, 4, 6, 8}, 10, 2.8, 8.0},
    {Operator::der_prima_st, Points::Staggered, Points::Staggered, 1, {3, 4, 6, 8}, 10, 2.8, 8.0},
    {Operator::inter_ns_st, Points::Nodes, Points::Staggered, 0, {4, 6}, 9, 3.8, 7.5},
    {Operator::inter_st_ns, Points::Staggered, Points::Nodes, 0, {4, 5, 7}, 9, 3.8, 7.5},
    {Operator::der_prima_ns_st, Points::Nodes, Points::Staggered, 1, {4, 6}, 10, 3.8, 8.0},
    {Operator::der_prima_st_ns, Points::Staggered, Points::Nodes, 1, {4, 5, 8}, 10, 3.8, 8.0},
    {Operator::der_seconda, Points::Nodes, Points::Nodes, 2, {4, 5, 7}, 11, 2.6, 8.0},
    {Operator::der_seconda_st, Points::Staggered, Points::Staggered, 2, {4, 5, 7}, 11, 2.6, 8.0},
};

TEST(CompactOperators, EveryRowIsExactOnPolynomialsOfItsDegree) {
  for (int n : {9, 10, 24}) {
    for (double dx : {1.0, 0.37}) {
      Ops o(n, dx);
      for (const Case& c : kCases) {
        const OperatorBlock& k = o.set->blocks()[c.op];
        const int rows = c.out == Points::Staggered ? n - 1 : n;
        auto xu = [&](int j) { return position(c.out, j, dx); };
        auto xf = [&](int j) { return position(c.in, j, dx); };
        for (int i = 1; i <= rows; ++i) {
          const std::size_t from_edge = std::min(i, rows + 1 - i);
          const int expected = std::min(from_edge <= c.edge.size() ? c.edge[from_edge - 1] : c.interior, c.interior);
          EXPECT_GE(exact_degree(k, i, xu, xf, c.order, xu(i), dx, n), expected)
              << name_of(c.op) << " n=" << n << " dx=" << dx << " row " << i;
        }
        if (c.out == Points::Staggered) {  // the reproducing row n
          EXPECT_EQ(k.c[n], 1.0);
          EXPECT_DOUBLE_EQ(k.dB[n] * std::pow(dx, c.order), 1.0) << name_of(c.op);
        }
      }
    }
  }
}

TEST(CompactOperators, PressureOperatorRowsHoldTheirBoundaryConditions) {
  const int n = 17;
  const double dx = 0.5;
  Ops o(n, dx);
  const OperatorBlock& k = o.set->blocks()[Operator::poisson_neu_st_new];
  auto xs = [&](int j) { return position(Points::Staggered, j, dx); };
  auto residual = [&](int row, int degree, double xc) {
    return testing::row_residual(k, row, xs, xs, 2, degree, xc, dx, n);
  };
  // interior rows: sixth-order second derivative, rows 2 and n-2 the Pade row
  for (int j = 2; j <= n - 2; ++j) EXPECT_GE(exact_degree(k, j, xs, xs, 2, xs(j), dx, n), j == 2 || j == n - 2 ? 5 : 7);
  // row 1: exact for 1, x^2, x^3, x^4 from node 1, not for x; row n-1: for
  // a linear function vanishing at node n, not for a constant
  for (int degree : {0, 2, 3, 4}) EXPECT_LT(residual(1, degree, 0.0), 1e-13) << degree;
  EXPECT_GT(residual(1, 1, 0.0), 1e-3);
  EXPECT_LT(residual(n - 1, 1, (n - 1) * dx), 1e-13);
  EXPECT_GT(residual(n - 1, 0, (n - 1) * dx), 1e-3);
}

// Each operator applied to sin(2.3 x + 0.4) on [0, 2 pi] with n = 33 ... 1025:
// the maximum error converges at the order of the boundary closures, the
// error over the middle third at that of the interior scheme (on the coarse
// grids, before it reaches rounding). The figures are in bench/README.md.
TEST(CompactOperators, ConvergeAtTheirSchemeOrders) {
  const int sizes[] = {33, 65, 129, 257, 513, 1025};
  for (const Case& c : kCases) {
    std::vector<double> all, interior;
    for (int n : sizes) {
      const double dx = 2.0 * M_PI / (n - 1);
      Ops o(n, dx);
      auto f = std::make_unique<Field>();
      auto u = std::make_unique<Field>();
      for (int j = 1; j <= n; ++j) (*f)[j] = std::sin(2.3 * position(c.in, j, dx) + 0.4);
      if (c.in == Points::Staggered) (*f)[n] = 0.0;
      o.set->apply(c.op, *f, *u);
      const int points = c.out == Points::Nodes ? n : n - 1;
      double e_all = 0.0, e_mid = 0.0;
      for (int j = 1; j <= points; ++j) {
        const double x = 2.3 * position(c.out, j, dx) + 0.4;
        const double exact = c.order == 0 ? std::sin(x) : c.order == 1 ? 2.3 * std::cos(x) : -2.3 * 2.3 * std::sin(x);
        const double e = std::fabs((*u)[j] - exact);
        e_all = std::max(e_all, e);
        if (3 * j > points && 3 * j <= 2 * points) e_mid = std::max(e_mid, e);
      }
      all.push_back(e_all);
      interior.push_back(e_mid);
    }
    std::printf("%-16s max-error orders", name_of(c.op));
    for (int k = 0; k < 5; ++k) std::printf(" %.2f", std::log2(all[k] / all[k + 1]));
    std::printf("  interior orders");
    for (int k = 0; k < 5; ++k) std::printf(" %.2f", std::log2(interior[k] / interior[k + 1]));
    std::printf("  interior errors %.1e %.1e %.1e\n", interior[1], interior[2], interior[5]);
    EXPECT_GE(std::log2(all[4] / all[5]), c.order_all) << name_of(c.op);
    EXPECT_GE(std::log2(interior[0] / interior[1]), c.order_interior) << name_of(c.op);
  }
}

TEST(CompactOperators, HomogeneousSolutionsHoldTheirEndValuesExactly) {
  const int n = 40;
  Ops o(n, 0.2);
  for (Operator op : kAllOperators) {
    const OperatorBlock& k = o.set->blocks()[op];
    const int m = op == Operator::poisson_neu_st_new ? n - 1 : n;
    EXPECT_TRUE(k.homog_1[1] == 0.1 && k.homog_1[m] == 0.0 && k.homog_1[n] == 0.0) << name_of(op);
    EXPECT_TRUE(k.homog_2[1] == 0.0 && k.homog_2[m] == 0.1 && k.homog_2[n] == (m == n ? 0.1 : 0.0)) << name_of(op);
  }
}

// phi'' = f with phi'(0) = 0, phi(L) = 0: phi = cos(pi x / 2L), in either form.
TEST(CompactOperators, PoissonSolveConvergesWithItsBoundaryConditions) {
  for (OperatorForm form : {OperatorForm::prepared, OperatorForm::straightforward}) {
    double previous = 0.0;
    for (int n : {65, 129, 257}) {
      const double length = 3.0, dx = length / (n - 1), kw = M_PI / (2.0 * length);
      Ops o(n, dx, form);
      auto f = std::make_unique<Field>();
      auto phi = std::make_unique<Field>();
      for (int j = 1; j < n; ++j) (*f)[j] = -kw * kw * std::cos(kw * (j - 0.5) * dx);
      o.set->apply(Operator::poisson_neu_st_new, *f, *phi);
      double err = 0.0;
      for (int j = 1; j < n; ++j) err = std::max(err, std::fabs((*phi)[j] - std::cos(kw * (j - 0.5) * dx)));
      EXPECT_EQ((*phi)[n], 0.0);
      EXPECT_LT(err, 1e-5) << n;
      EXPECT_TRUE(previous == 0.0 || std::log2(previous / err) > 2.5) << n;
      previous = err;
    }
  }
}

TEST(CompactOperators, SetUpRefusesConfigurationsWithoutStaggeredOperators) {
  for (int i_thom : {2, 1}) {
    std::ostringstream console;
    auto s = std::make_unique<State>();
    s->console = &console;
    s->discr.i_thom = i_thom;
    s->discr.dx = 0.1;
    s->grid = i_thom == 2 ? 1 : 0;
    EXPECT_THROW(setup_operators(*s, 17), RunStopped);
    EXPECT_EQ(console.str(), i_thom == 2 ? " Derivate compatte pentadiagonali\n per griglie non uniformi da implementare\n"
                                           " Per ora disponibili solo tridiagonali (i_thom=1)\n PROGRAMMA INTERROTTO\n"
                                         : " Operatori compatti con i_thom diverso da 2: mancano gli operatori sui "
                                           "punti\n sfalsati e l'operatore di pressione, necessari alla simulazione.\n"
                                           " Usare i_thom=2 su griglia uniforme (grid=0)\n PROGRAMMA INTERROTTO\n");
  }
}

// The tridiagonal family: fourth-order rows (third at the boundary), the
// homogeneous solutions with end values 1/2, and x^2/2 differentiated twice.
TEST(CompactOperators, TridiagonalNodeOperators) {
  const int n = 21;
  const double dx = 0.3;
  std::ostringstream console;
  auto s = std::make_unique<State>();
  s->console = &console;
  s->discr.i_thom = 1;
  s->discr.dx = dx;
  s->comp.c[1] = 2.0;
  s->comp.c[4] = 0.25;
  auto set = make_operator_set(assemble_node_operators(*s, n), OperatorForm::prepared, console);
  const OperatorBlocks& k = set->blocks();
  auto xn = [&](int j) { return position(Points::Nodes, j, dx); };
  for (int i = 1; i <= n; ++i) {
    const bool edge = i == 1 || i == n;
    EXPECT_GE(exact_degree(k.comp1, i, xn, xn, 1, xn(i), dx, n), edge ? 3 : 4) << i;
    EXPECT_GE(exact_degree(k.comp7, i, xn, xn, 2, xn(i), dx, n), edge ? 4 : 5) << i;
  }
  EXPECT_EQ(k.comp1.homog_1[1], 0.5);
  EXPECT_EQ(k.comp1.homog_2[n], -0.5);
  auto f = std::make_unique<Field>();
  auto u = std::make_unique<Field>();
  for (int j = 1; j <= n; ++j) (*f)[j] = 0.5 * xn(j) * xn(j);
  set->apply(Operator::der_seconda, *f, *u);
  for (int j = 1; j <= n; ++j) EXPECT_NEAR((*u)[j], 1.0, 1e-11) << j;
}

// A stretched grid: rows exact at the actual nodes; on a uniform grid the
// rows of the uniform schemes.
TEST(CompactOperators, NonUniformRowsAreExactAtTheActualNodes) {
  const int n = 19;
  const double h = 2.0 / (n - 1), h2 = h * h;
  auto s = std::make_unique<State>();
  auto d1 = std::make_unique<OperatorBlock>(), d2 = std::make_unique<OperatorBlock>();
  for (double stretch : {0.15, 0.0}) {
    for (int i = 1; i <= n; ++i) {
      const double t = static_cast<double>(i - 1) / (n - 1);
      s->grid2.x[i] = 2.0 * (t + stretch * std::sin(M_PI * t));
    }
    for (int i = 1; i < n; ++i) s->grid2.spacing[i] = s->grid2.x[i + 1] - s->grid2.x[i];
    mat_eva_trid_nu(*s, n, *d1);
    mat_eva_trid_nu_ds(*s, n, *d2);
    auto x = [&](int j) { return s->grid2.x[j]; };
    for (int i = 1; i <= n; ++i) {
      const int from_edge = std::min(i, n + 1 - i);
      EXPECT_GE(exact_degree(*d1, i, x, x, 1, x(i), h, n), from_edge == 1 ? 3 : 4) << i;
      EXPECT_GE(exact_degree(*d2, i, x, x, 2, x(i), h, n), from_edge <= 2 ? 3 : 4) << i;
    }
  }
  EXPECT_DOUBLE_EQ(d1->b[2], 0.25);
  EXPECT_DOUBLE_EQ(d1->d[2], 0.25);
  EXPECT_DOUBLE_EQ(d1->eB[2], 0.75 / h);
  EXPECT_DOUBLE_EQ(d1->d[1], 2.0);
  const double row1[] = {13.0, -27.0, 15.0, -1.0};
  const Field* right[] = {&d2->dB, &d2->eB, &d2->fB, &d2->gB};
  for (int q = 0; q < 4; ++q) EXPECT_NEAR((*right[q])[1] * h2, row1[q], 1e-10);
  auto uniform = std::make_unique<OperatorBlock>();
  s->discr.i_thom = 1;
  s->discr.dx = h;
  mat_eva_trid_ds(*s, n, *uniform);
  for (int i = 3; i <= n - 2; ++i) EXPECT_NEAR(d2->cB[i] * h2, uniform->cB[i] * h2, 1e-10) << i;
}

}  // namespace
}  // namespace fiamma
