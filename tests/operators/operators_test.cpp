// The assembled compact operators: row-by-row exactness on polynomials,
// convergence on a smooth field, boundary and end-value properties, and the
// set-up's refusals.
#include "operators/operators.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <memory>
#include <sstream>
#include <vector>

#include "core/errors.hpp"
#include "operator_test_support.hpp"
#include "operators/assembly.hpp"

namespace fiamma {
namespace {

using testing::exact_degree;
using testing::Points;
using testing::position;

std::unique_ptr<State> penta_state(int n, double dx, std::ostream& console) {
  auto s = std::make_unique<State>();
  s->console = &console;
  s->discr.i_thom = 2;
  s->discr.dx = dx;
  s->comp.c[1] = 2.0;
  s->comp.c[4] = 0.5;
  setup_operators(*s, n);
  return s;
}

struct BlockCase {
  const char* name;
  OperatorBlock Operators::*block;
  Points in, out;
  int order;
  // exact degree of rows 1, 2, 3, 4 and of the interior (mirrored at the end)
  std::vector<int> edge;
  int interior;
};

const std::vector<BlockCase>& block_cases() {
  static const std::vector<BlockCase> cases = {
      {"der_prima", &Operators::comp1, Points::Nodes, Points::Nodes, 1, {3, 4, 6, 8}, 10},
      {"der_prima_st", &Operators::comp2, Points::Staggered, Points::Staggered, 1, {3, 4, 6, 8}, 10},
      {"inter_ns_st", &Operators::comp3, Points::Nodes, Points::Staggered, 0, {4, 6}, 9},
      {"inter_st_ns", &Operators::comp4, Points::Staggered, Points::Nodes, 0, {4, 5, 7}, 9},
      {"der_prima_ns_st", &Operators::comp5, Points::Nodes, Points::Staggered, 1, {4, 6}, 10},
      {"der_prima_st_ns", &Operators::comp6, Points::Staggered, Points::Nodes, 1, {4, 5, 8}, 10},
      {"der_seconda", &Operators::comp7, Points::Nodes, Points::Nodes, 2, {4, 5, 7}, 11},
      {"der_seconda_st", &Operators::comp8, Points::Staggered, Points::Staggered, 2, {4, 5, 7}, 11},
  };
  return cases;
}

TEST(CompactOperators, EveryRowIsExactOnPolynomialsOfItsDegree) {
  std::ostringstream console;
  for (int n : {9, 10, 24}) {
    for (double dx : {1.0, 0.37}) {
      auto s = penta_state(n, dx, console);
      for (const auto& bc : block_cases()) {
        const OperatorBlock& k = s->ops.*bc.block;
        const int rows = bc.out == Points::Staggered ? n - 1 : n;
        auto xu = [&](int j) { return position(bc.out, j, dx); };
        auto xf = [&](int j) { return position(bc.in, j, dx); };
        for (int i = 1; i <= rows; ++i) {
          const int from_edge = std::min(i, rows + 1 - i);
          int expected = from_edge <= static_cast<int>(bc.edge.size()) ? bc.edge[from_edge - 1] : bc.interior;
          expected = std::min(expected, bc.interior);
          EXPECT_GE(exact_degree(k, i, xu, xf, bc.order, xu(i), dx, n), expected)
              << bc.name << " n=" << n << " dx=" << dx << " row " << i;
        }
        if (bc.out == Points::Staggered) {  // reproducing row n
          EXPECT_EQ(k.c[n], 1.0);
          EXPECT_DOUBLE_EQ(k.dB[n] * std::pow(dx, bc.order), 1.0) << bc.name;
        }
      }
    }
  }
}

TEST(CompactOperators, PressureOperatorRowsHoldTheirBoundaryConditions) {
  std::ostringstream console;
  const int n = 17;
  const double dx = 0.5;
  auto s = penta_state(n, dx, console);
  const OperatorBlock& k = s->ops.comp13;
  auto xs = [&](int j) { return position(Points::Staggered, j, dx); };
  // interior rows: sixth-order second derivative, row 2 and n-2 the Pade row
  for (int j = 2; j <= n - 2; ++j) {
    EXPECT_GE(exact_degree(k, j, xs, xs, 2, xs(j), dx, n), (j == 2 || j == n - 2) ? 5 : 7) << j;
  }
  // row 1: exact for 1, x^2, x^3, x^4 measured from node 1, not for x
  for (int deg : {0, 2, 3, 4}) {
    EXPECT_LT(testing::row_residual(k, 1, xs, xs, 2, deg, 0.0, dx, n), 1e-13) << deg;
  }
  EXPECT_GT(testing::row_residual(k, 1, xs, xs, 2, 1, 0.0, dx, n), 1e-3);
  // row n-1: exact for a linear function vanishing at node n
  const double xn = (n - 1) * dx;
  EXPECT_LT(testing::row_residual(k, n - 1, xs, xs, 2, 1, xn, dx, n), 1e-13);
  EXPECT_GT(testing::row_residual(k, n - 1, xs, xs, 2, 0, xn, dx, n), 1e-3);
}

// Maximum error over all points and over the middle third of the points of an
// operator applied to sin(2.3 x + 0.4) on [0, 2 pi].
struct Errors {
  double all, interior;
};

Errors smooth_errors(const BlockCase& bc, int n) {
  std::ostringstream console;
  const double length = 2.0 * 3.141592653589793;
  const double dx = length / (n - 1);
  auto s = penta_state(n, dx, console);
  auto f = std::make_unique<Field>();
  auto u = std::make_unique<Field>();
  const int in_points = bc.in == Points::Nodes ? n : n - 1;
  const int out_points = bc.out == Points::Nodes ? n : n - 1;
  for (int j = 1; j <= in_points; ++j) (*f)[j] = std::sin(2.3 * position(bc.in, j, dx) + 0.4);
  if (bc.in == Points::Staggered) (*f)[n] = 0.0;
  using Apply = void (*)(State&, int, const Field&, Field&);
  static const std::pair<const char*, Apply> apps[] = {
      {"der_prima", der_prima},       {"der_prima_st", der_prima_st},       {"inter_ns_st", inter_ns_st},
      {"inter_st_ns", inter_st_ns},   {"der_prima_ns_st", der_prima_ns_st}, {"der_prima_st_ns", der_prima_st_ns},
      {"der_seconda", der_seconda},   {"der_seconda_st", der_seconda_st}};
  for (const auto& [name, apply] : apps) {
    if (std::string(name) == bc.name) apply(*s, n, *f, *u);
  }
  Errors e{0.0, 0.0};
  for (int j = 1; j <= out_points; ++j) {
    const double x = position(bc.out, j, dx);
    const double exact = bc.order == 0   ? std::sin(2.3 * x + 0.4)
                         : bc.order == 1 ? 2.3 * std::cos(2.3 * x + 0.4)
                                         : -2.3 * 2.3 * std::sin(2.3 * x + 0.4);
    const double err = std::fabs((*u)[j] - exact);
    e.all = std::max(e.all, err);
    if (3 * j > out_points && 3 * j <= 2 * out_points) e.interior = std::max(e.interior, err);
  }
  return e;
}

TEST(CompactOperators, ConvergeAtTheirSchemeOrders) {
  // Floors with margin below the orders the schemes imply: the boundary
  // closures set the order of the maximum error, the interior schemes that of
  // the error in the middle of the domain (measured on coarse grids, before
  // it reaches rounding).
  const std::map<std::string, std::pair<double, double>> floors = {
      {"der_prima", {2.8, 8.0}},       {"der_prima_st", {2.8, 8.0}},    {"inter_ns_st", {3.8, 7.5}},
      {"inter_st_ns", {3.8, 7.5}},     {"der_prima_ns_st", {3.8, 8.0}}, {"der_prima_st_ns", {3.8, 8.0}},
      {"der_seconda", {2.6, 8.0}},     {"der_seconda_st", {2.6, 8.0}}};
  const int sizes[] = {33, 65, 129, 257, 513, 1025};
  for (const auto& bc : block_cases()) {
    std::vector<Errors> e;
    for (int n : sizes) e.push_back(smooth_errors(bc, n));
    // refinement ratio (n - 1) doubles: log2 of the error ratio
    const double order_all = std::log2(e[4].all / e[5].all);
    const double order_interior = std::log2(e[0].interior / e[1].interior);
    std::printf("%-16s max-error orders", bc.name);
    for (int k = 0; k + 1 < 6; ++k) std::printf(" %.2f", std::log2(e[k].all / e[k + 1].all));
    std::printf("  interior orders");
    for (int k = 0; k + 1 < 6; ++k) std::printf(" %.2f", std::log2(e[k].interior / e[k + 1].interior));
    std::printf("  interior errors %.1e %.1e %.1e\n", e[1].interior, e[2].interior, e[5].interior);
    EXPECT_GE(order_all, floors.at(bc.name).first) << bc.name;
    EXPECT_GE(order_interior, floors.at(bc.name).second) << bc.name;
  }
}

TEST(CompactOperators, ZeroAndConstantFields) {
  std::ostringstream console;
  const int n = 33;
  const double dx = 0.1;
  auto s = penta_state(n, dx, console);
  auto f = std::make_unique<Field>();
  auto u = std::make_unique<Field>();
  for (auto apply : {der_prima, der_seconda, der_prima_st, der_seconda_st, der_prima_ns_st, der_prima_st_ns,
                     inter_ns_st, inter_st_ns}) {
    f->fill(0.0);
    apply(*s, n, *f, *u);
    for (int j = 1; j <= n; ++j) EXPECT_EQ((*u)[j], 0.0);
  }
  f->fill(2.5);
  inter_ns_st(*s, n, *f, *u);
  for (int j = 1; j < n; ++j) EXPECT_NEAR((*u)[j], 2.5, 1e-13) << j;
  EXPECT_NEAR((*u)[n], 2.5, 1e-13);
  inter_st_ns(*s, n, *f, *u);
  for (int j = 1; j <= n; ++j) EXPECT_NEAR((*u)[j], 2.5, 1e-13) << j;
  for (auto apply : {der_prima, der_prima_st, der_prima_ns_st, der_prima_st_ns, der_seconda, der_seconda_st}) {
    apply(*s, n, *f, *u);
    for (int j = 1; j < n; ++j) EXPECT_NEAR((*u)[j], 0.0, 1e-10) << j;
  }
  // a linear field: derivative to staggered points and back to the nodes
  auto g = std::make_unique<Field>();
  for (int j = 1; j <= n; ++j) (*f)[j] = 3.0 * (j - 1) * dx - 1.0;
  der_prima_ns_st(*s, n, *f, *g);
  inter_st_ns(*s, n, *g, *u);
  for (int j = 1; j <= n; ++j) EXPECT_NEAR((*u)[j], 3.0, 1e-11) << j;
  der_prima(*s, n, *f, *u);
  for (int j = 1; j <= n; ++j) EXPECT_NEAR((*u)[j], 3.0, 1e-11) << j;
}

TEST(CompactOperators, HomogeneousSolutionsHoldTheirEndValuesExactly) {
  std::ostringstream console;
  const int n = 40;
  auto s = penta_state(n, 0.2, console);
  for (const OperatorBlock* k : {&s->ops.comp1, &s->ops.comp2, &s->ops.comp7}) {
    EXPECT_EQ(k->homog_1[1], 0.1);
    EXPECT_EQ(k->homog_1[n], 0.0);
    EXPECT_EQ(k->homog_2[1], 0.0);
    EXPECT_EQ(k->homog_2[n], 0.1);
  }
  const OperatorBlock& p = s->ops.comp13;
  EXPECT_EQ(p.homog_1[1], 0.1);
  EXPECT_EQ(p.homog_1[n - 1], 0.0);
  EXPECT_EQ(p.homog_1[n], 0.0);
  EXPECT_EQ(p.homog_2[1], 0.0);
  EXPECT_EQ(p.homog_2[n - 1], 0.1);
  EXPECT_EQ(p.homog_2[n], 0.0);
}

TEST(CompactOperators, PoissonSolveWithZeroSlopeAtInflowAndZeroValueAtOutflow) {
  std::ostringstream console;
  double previous = 0.0;
  for (int n : {65, 129, 257}) {
    const double length = 3.0;
    const double dx = length / (n - 1);
    auto s = penta_state(n, dx, console);
    auto f = std::make_unique<Field>();
    auto phi = std::make_unique<Field>();
    const double kw = 3.141592653589793 / (2.0 * length);  // cos(kw x): phi'(0) = 0, phi(L) = 0
    for (int j = 1; j < n; ++j) (*f)[j] = -kw * kw * std::cos(kw * (j - 0.5) * dx);
    poisson_neu_st_new(*s, n, *f, *phi);
    double err = 0.0;
    for (int j = 1; j < n; ++j) err = std::max(err, std::fabs((*phi)[j] - std::cos(kw * (j - 0.5) * dx)));
    EXPECT_EQ((*phi)[n], 0.0);
    EXPECT_LT(err, 1e-5) << n;
    if (previous > 0.0) EXPECT_GT(std::log2(previous / err), 2.5) << n;
    previous = err;
  }
}

TEST(CompactOperators, SetUpRefusesConfigurationsWithoutStaggeredOperators) {
  {
    std::ostringstream console;
    auto s = std::make_unique<State>();
    s->console = &console;
    s->discr.i_thom = 2;
    s->grid = 1;
    EXPECT_THROW(setup_operators(*s, 17), RunStopped);
    EXPECT_EQ(console.str(),
              " Derivate compatte pentadiagonali\n per griglie non uniformi da implementare\n"
              " Per ora disponibili solo tridiagonali (i_thom=1)\n PROGRAMMA INTERROTTO\n");
  }
  {
    std::ostringstream console;
    auto s = std::make_unique<State>();
    s->console = &console;
    s->discr.i_thom = 1;
    s->discr.dx = 0.1;
    EXPECT_THROW(setup_operators(*s, 17), RunStopped);
    EXPECT_NE(console.str().find("i_thom"), std::string::npos);
    EXPECT_FALSE(s->ops.staggered_ready);
  }
}

TEST(CompactOperators, TridiagonalNodeOperators) {
  std::ostringstream console;
  const int n = 21;
  const double dx = 0.3;
  auto s = std::make_unique<State>();
  s->console = &console;
  s->discr.i_thom = 1;
  s->discr.dx = dx;
  s->comp.c[1] = 2.0;
  s->comp.c[4] = 0.25;
  setup_node_operators(*s, n);
  auto xn = [&](int j) { return position(Points::Nodes, j, dx); };
  for (int i = 1; i <= n; ++i) {
    const int from_edge = std::min(i, n + 1 - i);
    EXPECT_GE(exact_degree(s->ops.comp1, i, xn, xn, 1, xn(i), dx, n), from_edge == 1 ? 3 : 4) << i;
    EXPECT_GE(exact_degree(s->ops.comp7, i, xn, xn, 2, xn(i), dx, n), from_edge == 1 ? 4 : 5) << i;
  }
  EXPECT_EQ(s->ops.comp1.homog_1[1], 0.5);
  EXPECT_EQ(s->ops.comp1.homog_2[n], -0.5);
  auto f = std::make_unique<Field>();
  auto u = std::make_unique<Field>();
  for (int j = 1; j <= n; ++j) (*f)[j] = 0.5 * xn(j) * xn(j);
  der_seconda(*s, n, *f, *u);
  for (int j = 1; j <= n; ++j) EXPECT_NEAR((*u)[j], 1.0, 1e-11) << j;
}

// A stretched grid: x = sinh-like clustering.
void stretched_grid(State& s, int n, double length) {
  for (int i = 1; i <= n; ++i) {
    const double t = static_cast<double>(i - 1) / (n - 1);
    s.grid2.x[i] = length * (t + 0.15 * std::sin(3.141592653589793 * t));
  }
  for (int i = 1; i < n; ++i) s.grid2.spacing[i] = s.grid2.x[i + 1] - s.grid2.x[i];
}

TEST(CompactOperators, NonUniformRowsAreExactAtTheActualNodes) {
  std::ostringstream console;
  const int n = 19;
  auto s = std::make_unique<State>();
  s->console = &console;
  stretched_grid(*s, n, 2.0);
  OperatorBlock& d1 = s->ops.comp1;
  OperatorBlock& d2 = s->ops.comp7;
  mat_eva_trid_nu(*s, n, d1);
  mat_eva_trid_nu_ds(*s, n, d2);
  auto x = [&](int j) { return s->grid2.x[j]; };
  const double h = 2.0 / (n - 1);
  for (int i = 1; i <= n; ++i) {
    const int from_edge = std::min(i, n + 1 - i);
    EXPECT_GE(exact_degree(d1, i, x, x, 1, x(i), h, n), from_edge == 1 ? 3 : 4) << i;
    EXPECT_GE(exact_degree(d2, i, x, x, 2, x(i), h, n), from_edge <= 2 ? 3 : 4) << i;
  }
  EXPECT_EQ(s->comp.c[1], 2.0 / 11.0);
  // on a uniform grid they reduce to the uniform schemes
  const double dx = 0.25;
  for (int i = 1; i <= n; ++i) s->grid2.x[i] = (i - 1) * dx;
  for (int i = 1; i < n; ++i) s->grid2.spacing[i] = dx;
  mat_eva_trid_nu(*s, n, d1);
  mat_eva_trid_nu_ds(*s, n, d2);
  EXPECT_DOUBLE_EQ(d1.b[2], 0.25);
  EXPECT_DOUBLE_EQ(d1.d[2], 0.25);
  EXPECT_DOUBLE_EQ(d1.cB[2], -0.75 / dx);
  EXPECT_DOUBLE_EQ(d1.eB[2], 0.75 / dx);
  EXPECT_DOUBLE_EQ(d1.d[1], 2.0);
  const double h2 = dx * dx;
  EXPECT_NEAR(d2.dB[1] * h2, 13.0, 1e-10);
  EXPECT_NEAR(d2.eB[1] * h2, -27.0, 1e-10);
  EXPECT_NEAR(d2.fB[1] * h2, 15.0, 1e-10);
  EXPECT_NEAR(d2.gB[1] * h2, -1.0, 1e-10);
  auto u = std::make_unique<State>();
  u->console = &console;
  u->discr.i_thom = 1;
  u->discr.dx = dx;
  mat_eva_trid_ds(*u, n, u->ops.comp7);
  for (int i = 3; i <= n - 2; ++i) {
    EXPECT_NEAR(d2.bB[i], u->ops.comp7.bB[i], 1e-10 / h2);
    EXPECT_NEAR(d2.dB[i], u->ops.comp7.dB[i], 1e-10 / h2);
  }
}

}  // namespace
}  // namespace fiamma
