// Row-by-row exactness of assembled compact operators on polynomials.
#pragma once

#include <cmath>
#include <functional>

#include "core/shared_state.hpp"

namespace fiamma::testing {

// Where the points of an operator's input or result lie.
enum class Points { Nodes, Staggered };

inline double position(Points p, int j, double dx) {
  return p == Points::Nodes ? (j - 1) * dx : (j - 0.5) * dx;
}

// Relative residual of row i of A u = B f for f = p, u = the order-th
// derivative of p, with p(x) = ((x - xc) / dx)^k.
inline double row_residual(const OperatorBlock& blk, int i, const std::function<double(int)>& xu,
                           const std::function<double(int)>& xf, int order, int k, double xc,
                           double dx, int n) {
  auto p = [&](double x) { return std::pow((x - xc) / dx, k); };
  auto dp = [&](double x) {
    const double t = (x - xc) / dx;
    if (order == 0) return std::pow(t, k);
    if (order == 1) return k == 0 ? 0.0 : k * std::pow(t, k - 1) / dx;
    return k < 2 ? 0.0 : k * (k - 1) * std::pow(t, k - 2) / (dx * dx);
  };
  const double* left[5] = {blk.a.data(), blk.b.data(), blk.c.data(), blk.d.data(), blk.e.data()};
  const double* right[7] = {blk.aB.data(), blk.bB.data(), blk.cB.data(), blk.dB.data(),
                            blk.eB.data(), blk.fB.data(), blk.gB.data()};
  double lhs = 0.0, rhs = 0.0, size = 0.0;
  for (int q = 0; q < 5; ++q) {
    const int j = i - 2 + q;
    if (left[q][i] == 0.0) continue;
    const double v = left[q][i] * dp(xu(j));
    lhs += v;
    size += std::fabs(v);
  }
  for (int q = 0; q < 7; ++q) {
    const int j = i - 3 + q;
    if (right[q][i] == 0.0) continue;
    if (j < 1 || j > n) return 1e300;  // a band outside the point range
    const double v = right[q][i] * p(xf(j));
    rhs += v;
    size += std::fabs(v);
  }
  return std::fabs(lhs - rhs) / (size > 0 ? size : 1.0);
}

// Highest degree up to which row i is exact (all lower degrees included).
inline int exact_degree(const OperatorBlock& blk, int i, const std::function<double(int)>& xu,
                        const std::function<double(int)>& xf, int order, double xc, double dx,
                        int n, int max_degree = 12) {
  int deg = -1;
  for (int k = 0; k <= max_degree; ++k) {
    if (row_residual(blk, i, xu, xf, order, k, xc, dx, n) > 1e-11) break;
    deg = k;
  }
  return deg;
}

}  // namespace fiamma::testing
