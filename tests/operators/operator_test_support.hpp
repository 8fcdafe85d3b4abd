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
    s->discr.i_thom = 2; s->discr.dx = dx;
    s->comp.c[1] = 2.0; s->comp.c[4] = 0.5;
    s->options.operator_form = form;
    set = setup_operators(*s, n);
  }
};

enum class Points { Nodes, Staggered };
inline double position(Points p, int j, double dx) { return p == Points::Nodes ? (j - 1) * dx : (j - 0.5) * dx; }
using Abscissa = std::function<double(int)>;

// Relative residual of row i of A u = B f for f = p, u = the order-th
// derivative of p, p(x) = ((x - xc) / dx)^k; huge when a band reaches past
// the n points.
inline double row_residual(const OperatorBlock& k, int i, const Abscissa& xu, const Abscissa& xf, int order, int power,
                           double xc, double dx, int n) {
  auto p = [&](double x, int d) {  // the d-th derivative
    double c = 1.0;
    for (int j = 0; j < d; ++j) c *= (power - j) / dx;
    return power < d ? 0.0 : c * std::pow((x - xc) / dx, power - d);
  };
  const Field* bands[12] = {&k.a, &k.b, &k.c, &k.d, &k.e, &k.aB, &k.bB, &k.cB, &k.dB, &k.eB, &k.fB, &k.gB};
  double sum = 0.0, size = 0.0;
  for (int q = 0; q < 12; ++q) {
    const int j = q < 5 ? i - 2 + q : i - 8 + q;
    if ((*bands[q])[i] == 0.0) continue;
    if (j < 1 || j > n) return 1e300;
    const double v = q < 5 ? (*bands[q])[i] * p(xu(j), order) : -(*bands[q])[i] * p(xf(j), 0);
    sum += v;
    size += std::fabs(v);
  }
  return std::fabs(sum) / (size > 0 ? size : 1.0);
}

// Highest degree up to which row i is exact (all lower degrees included).
inline int exact_degree(const OperatorBlock& k, int i, const Abscissa& xu, const Abscissa& xf, int order, double xc,
                        double dx, int n) {
  int degree = -1;
  while (degree < 12 && row_residual(k, i, xu, xf, order, degree + 1, xc, dx, n) <= 1e-11) ++degree;
  return degree;
}

}  // namespace fiamma::testing
