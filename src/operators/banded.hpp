// Banded kernels of the compact operators: a seven-band product, five- and
// three-band solves with imposed end values, and the boundary correction by
// two homogeneous solutions. Arrays are indexed from 1 (entry 0 unused) and
// belong to the caller; nothing is allocated.
#pragma once

#include <iosfwd>

#include "core/messages.hpp"
#include "core/shared_state.hpp"

namespace fiamma {

// The five bands of a left-hand matrix: a on i-2 ... e on i+2.
struct FiveBands {
  const double* a;
  const double* b;
  const double* c;
  const double* d;
  const double* e;
};

// The seven bands of a right-hand matrix: aB on i-3 ... gB on i+3.
struct SevenBands {
  const double* aB;
  const double* bB;
  const double* cB;
  const double* dB;
  const double* eB;
  const double* fB;
  const double* gB;
};

// Work arrays of one five-band solve: the bands and right-hand side after the
// second sub-diagonal has been eliminated, and the sweep coefficients.
struct PentaWork {
  Field elim_a, elim_b, elim_c, elim_d, elim_e, elim_rhs;
  Field sweep_s, sweep_u, sweep_v;
};

void zero_t(int n, double* v);

// out = B f, rows 1..n (n >= 6); sums left to right in band order.
void tp_eva2(int n, const SevenBands& B, const double* f, double* out);

// Solves rows 2..n-1 of A x = rhs with x(1) = x_first, x(n) = x_last. rhs and
// x may be the same array. A zero pivot with a non-zero entry to eliminate
// falls back on the row above it (eight lines on `console`) or, when that is
// not possible, prints "Pentadiag ha fallito" and stops the run.
void pentadiag(int n, double x_first, double x_last, const FiveBands& A, PentaWork& w,
               const double* rhs, double* x, std::ostream& console, Voice voice = {});

// The same on the staggered points 1..n-1: x(1) = x_first, x(n-1) = x_last,
// x(n) = 0.
void pentadiag_n_meno_1(int n, double x_first, double x_last, const FiveBands& A, PentaWork& w,
                        const double* rhs, double* x, std::ostream& console, Voice voice = {});

// Thomas algorithm: rows 2..n-1 with x(1) = x_first, x(n) = x_last.
void tridiag(int n, double x_first, double x_last, const double* sub, const double* main,
             const double* super, const double* rhs, double* sweep_alpha, double* sweep_beta,
             double* x);

// out = x + alpha g1 + beta g2 (i = 1..m) with alpha, beta such that the first
// equation (r1, r2, r3 on entries 1..3) gives rhs_first and the last one
// (s1, s2, s3 on entries m-2..m) gives rhs_last. x and out may coincide.
void sol_eva(int m, const double* x, const double* g1, const double* g2, double r1, double r2,
             double r3, double s1, double s2, double s3, double rhs_first, double rhs_last,
             double* out);

}  // namespace fiamma
