// The assembled compact operators: every row exact on polynomials of its
// degree, the applications converging at their schemes' orders, the
// homogeneous solutions, the pressure solve, the tridiagonal and non-uniform
// families, and the set-up's refusals.
#include "operators/operators.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <utility>
#include <vector>

#include "core/errors.hpp"
#include "operator_test_support.hpp"

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

// Every row on the polynomials of its degree, the reproducing row n of a
// staggered result, and the homogeneous solutions' end values (0.1, exactly).
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
        EXPECT_TRUE(c.out == Points::Nodes || (k.c[n] == 1.0 && std::fabs(k.dB[n] * std::pow(dx, c.order) - 1) < 1e-15));
        EXPECT_TRUE(k.homog_1[1] == 0.1 && k.homog_1[n] == 0.0 && k.homog_2[1] == 0.0 && k.homog_2[n] == 0.1);
      }
      // the pressure operator: interior rows of the sixth-order second
      // derivative (the Pade row next to the ends), row 1 exact for 1, x^2,
      // x^3, x^4 from node 1 but not x, row n-1 for a linear function
      // vanishing at node n but not a constant; solved on n-1 points
      const OperatorBlock& k = o.set->blocks()[Operator::poisson_neu_st_new];
      auto xs = [&](int j) { return position(Points::Staggered, j, dx); };
      auto residual = [&](int row, int degree, double xc) {
        return testing::row_residual(k, row, xs, xs, 2, degree, xc, dx, n);
      };
      for (int j = 2; j <= n - 2; ++j) EXPECT_GE(exact_degree(k, j, xs, xs, 2, xs(j), dx, n), j == 2 || j == n - 2 ? 5 : 7);
      for (int degree : {0, 2, 3, 4}) EXPECT_LT(residual(1, degree, 0.0), 1e-13) << degree;
      EXPECT_TRUE(residual(1, 1, 0.0) > 1e-3 && residual(n - 1, 0, (n - 1) * dx) > 1e-3);
      EXPECT_LT(residual(n - 1, 1, (n - 1) * dx), 1e-13);
      EXPECT_TRUE(k.homog_1[1] == 0.1 && k.homog_1[n - 1] == 0.0 && k.homog_2[n - 1] == 0.1 && k.homog_2[n] == 0.0);
    }
  }
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
      auto f = std::make_unique<Field>(), u = std::make_unique<Field>();
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
    EXPECT_GE(std::log2(all[4] / all[5]), c.order_all) << name_of(c.op);
    EXPECT_GE(std::log2(interior[0] / interior[1]), c.order_interior) << name_of(c.op);
  }
}

// phi'' = f with phi'(0) = 0, phi(L) = 0: phi = cos(pi x / 2L).
TEST(CompactOperators, PoissonSolveConvergesWithItsBoundaryConditions) {
  double previous = 0.0;
  for (int n : {65, 129, 257}) {
    const double length = 3.0, dx = length / (n - 1), kw = M_PI / (2.0 * length);
    Ops o(n, dx);
    auto f = std::make_unique<Field>(), phi = std::make_unique<Field>();
    for (int j = 1; j < n; ++j) (*f)[j] = -kw * kw * std::cos(kw * (j - 0.5) * dx);
    o.set->apply(Operator::poisson_neu_st_new, *f, *phi);
    double err = 0.0;
    for (int j = 1; j < n; ++j) err = std::max(err, std::fabs((*phi)[j] - std::cos(kw * (j - 0.5) * dx)));
    EXPECT_EQ((*phi)[n], 0.0);
    EXPECT_TRUE(err < 1e-5 && (previous == 0.0 || std::log2(previous / err) > 2.5)) << n << " " << err;
    previous = err;
  }
}

TEST(CompactOperators, SetUpRefusesConfigurationsWithoutStaggeredOperators) {
  for (int i_thom : {2, 1}) {
    std::ostringstream console;
    auto s = std::make_unique<State>();
    s->console = &console;
    s->discr.i_thom = i_thom; s->grid = i_thom == 2 ? 1 : 0;
    EXPECT_THROW(setup_operators(*s, 17), RunStopped);
    EXPECT_EQ(console.str().substr(0, 40), i_thom == 2 ? " Derivate compatte pentadiagonali\n per g"
                                                       : " Operatori compatti con i_thom diverso d");
    EXPECT_EQ(console.str().substr(console.str().size() - 22), " PROGRAMMA INTERROTTO\n");
  }
}

// The tridiagonal family (i_thom = 1), on a uniform grid and on a stretched
// one: rows exact at the actual nodes, the homogeneous solutions with end
// values 1/2; on a uniform grid read from file, the uniform schemes' rows.
TEST(CompactOperators, TridiagonalFamilyRowsAreExact) {
  const int n = 19;
  const double h = 2.0 / (n - 1);
  std::ostringstream console;
  auto s = std::make_unique<State>();
  s->console = &console;
  s->discr.i_thom = 1; s->discr.dx = h;
  s->comp.c[1] = 2.0; s->comp.c[4] = 0.25;
  for (int grid : {0, 1, 2}) {
    s->grid = grid == 0 ? 0 : 1;
    for (int i = 1; i <= n; ++i) s->grid2.x[i] = h * (i - 1) + (grid == 1 ? 0.3 * std::sin(M_PI * (i - 1) / (n - 1)) : 0.0);
    for (int i = 1; i < n; ++i) s->grid2.spacing[i] = s->grid2.x[i + 1] - s->grid2.x[i];
    const auto k = assemble_node_operators(*s, n);
    auto x = [&](int j) { return s->grid2.x[j]; };
    for (int i = 1; i <= n; ++i) {
      const int from_edge = std::min(i, n + 1 - i);
      EXPECT_GE(exact_degree(k->comp1, i, x, x, 1, x(i), h, n), from_edge == 1 ? 3 : 4) << grid << " " << i;
      EXPECT_GE(exact_degree(k->comp7, i, x, x, 2, x(i), h, n), grid == 0 ? 4 + (from_edge > 1) : 3 + (from_edge > 2));
    }
    EXPECT_TRUE(k->comp1.homog_1[1] == 0.5 && k->comp1.homog_1[n] == 0.5 && k->comp7.homog_2[n] == -0.5);
    if (grid < 2) continue;
    for (const auto& [value, expected] : {std::pair{k->comp1.b[2], 0.25}, {k->comp1.d[2], 0.25}, {k->comp1.d[1], 2.0},
                                          {k->comp1.eB[2] * h, 0.75}, {k->comp7.dB[1] * h * h, 13.0}}) {
      EXPECT_NEAR(value, expected, 1e-12);
    }
  }
}

}  // namespace
}  // namespace fiamma
