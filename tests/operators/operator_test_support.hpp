// The operators of a uniform grid for the tests, and row-by-row exactness of
// their matrices on polynomials.
#pragma once

#include <cmath>
#include <functional>
#include <memory>
#include <sstream>

#include "operators/operators.hpp"

namespace fiamma::testing {

// The pentadiagonal operators (interior parameter 1/2, boundary parameter 2)
// of n points spaced dx, in the given form.
struct Ops {
  std::ostringstream console;
  std::unique_ptr<State> s = std::make_unique<State>();
  std::unique_ptr<OperatorSet> set;
  Ops(int n, double dx, OperatorForm form = OperatorForm::prepared) {
    s->console = &console;
    s->discr.i_thom = 2;
    s->discr.dx = dx;
    s->comp.c[1] = 2.0;
    s->comp.c[4] = 0.5;
    s->options.operator_form = form;
    set = setup_operators(*s, n);
  }
};

enum class Points { Nodes, Staggered };
inline double position(Points p, int j, double dx) { return p == Points::Nodes ? (j - 1) * dx : (j - 0.5) * dx; }

// Relative residual of row i of A u = B f for f = p, u = the order-th
// derivative of p, p(x) = ((x - xc) / dx)^k; huge when a band reaches past
// the n points.
inline double row_residual(const OperatorBlock& blk, int i, const std::function<double(int)>& xu,
                           const std::function<double(int)>& xf, int order, int k, double xc, double dx, int n) {
  auto dp = [&](double x, int d) {
    const double t = (x - xc) / dx;
    double c = 1.0;
    for (int j = 0; j < d; ++j) c *= (k - j) / dx;
    return k < d ? 0.0 : c * std::pow(t, k - d);
  };
  const double* left[5] = {blk.a.data(), blk.b.data(), blk.c.data(), blk.d.data(), blk.e.data()};
  const double* right[7] = {blk.aB.data(), blk.bB.data(), blk.cB.data(), blk.dB.data(),
                            blk.eB.data(), blk.fB.data(), blk.gB.data()};
  double lhs = 0.0, rhs = 0.0, size = 0.0;
  for (int q = 0; q < 5; ++q) {
    const double v = left[q][i] == 0.0 ? 0.0 : left[q][i] * dp(xu(i - 2 + q), order);
    lhs += v;
    size += std::fabs(v);
  }
  for (int q = 0; q < 7; ++q) {
    const int j = i - 3 + q;
    if (right[q][i] == 0.0) continue;
    if (j < 1 || j > n) return 1e300;
    const double v = right[q][i] * dp(xf(j), 0);
    rhs += v;
    size += std::fabs(v);
  }
  return std::fabs(lhs - rhs) / (size > 0 ? size : 1.0);
}

// Highest degree up to which row i is exact (all lower degrees included).
inline int exact_degree(const OperatorBlock& blk, int i, const std::function<double(int)>& xu,
                        const std::function<double(int)>& xf, int order, double xc, double dx, int n) {
  int deg = -1;
  while (deg < 12 && row_residual(blk, i, xu, xf, order, deg + 1, xc, dx, n) <= 1e-11) ++deg;
  return deg;
}

}  // namespace fiamma::testing
