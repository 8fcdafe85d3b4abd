#include "operators/banded.hpp"

#include <cmath>
#include <ostream>

#include "core/errors.hpp"
#include "core/free_format.hpp"

namespace fiamma {

void zero_t(int n, double* v) {
  for (int i = 1; i <= n; ++i) v[i] = 0.0;
}

void tp_eva2(int n, const SevenBands& B, const double* f, double* o) {
  const double *aB = B.aB, *bB = B.bB, *cB = B.cB, *dB = B.dB, *eB = B.eB, *fB = B.fB, *gB = B.gB;
  o[1] = dB[1] * f[1] + eB[1] * f[2] + fB[1] * f[3] + gB[1] * f[4];
  o[2] = cB[2] * f[1] + dB[2] * f[2] + eB[2] * f[3] + fB[2] * f[4] + gB[2] * f[5];
  o[3] = bB[3] * f[1] + cB[3] * f[2] + dB[3] * f[3] + eB[3] * f[4] + fB[3] * f[5] + gB[3] * f[6];
  for (int i = 4; i <= n - 3; ++i) {
    o[i] = aB[i] * f[i - 3] + bB[i] * f[i - 2] + cB[i] * f[i - 1] + dB[i] * f[i] + eB[i] * f[i + 1] +
           fB[i] * f[i + 2] + gB[i] * f[i + 3];
  }
  int i = n - 2;
  o[i] = aB[i] * f[i - 3] + bB[i] * f[i - 2] + cB[i] * f[i - 1] + dB[i] * f[i] + eB[i] * f[i + 1] +
         fB[i] * f[i + 2];
  i = n - 1;
  o[i] = aB[i] * f[i - 3] + bB[i] * f[i - 2] + cB[i] * f[i - 1] + dB[i] * f[i] + eB[i] * f[i + 1];
  i = n;
  o[i] = aB[i] * f[i - 3] + bB[i] * f[i - 2] + cB[i] * f[i - 1] + dB[i] * f[i];
}

namespace {

// Elimination of the second sub-diagonal and the forward sweep, shared by
// both five-band solvers (the staggered solve takes the same zero-pivot path).
void eliminate_and_sweep(int n, double x_first, const FiveBands& A, PentaWork& w, const double* rhs,
                         std::ostream& console, Voice voice) {
  const double *a = A.a, *b = A.b, *c = A.c, *d = A.d, *e = A.e;
  for (int i = 1; i <= 2; ++i) {
    w.elim_a[i] = 0.0;
    w.elim_b[i] = b[i];
    w.elim_c[i] = c[i];
    w.elim_d[i] = d[i];
    w.elim_e[i] = e[i];
    w.elim_rhs[i] = rhs[i];
  }
  for (int i = 3; i <= n; ++i) {
    const double p = w.elim_b[i - 1];
    if (p == 0.0 && a[i] != 0.0) {
      if (std::fabs(w.elim_b[i - 2]) > 1e-11) {
        console << Line().text(voice("Pentadiag ha fallito"_it));
        throw RunStopped(say("Pentadiag ha fallito"_it));
      }
      console << Line().text(voice("entro nel ciclo strano, ma non dovrei mai avernee bisogno"_it))
              << Line().text(voice("perche ho fatto in modo da non avere mai la b(i)=0"_it))
              << Line().text(voice("e contemporaneamente a(i+1)=0"_it)) << Line().text("i:   ").integer(i)
              << Line().text("bp(i-2)  :").real(w.elim_b[i - 2]) << Line().text("b(i-2)  :").real(b[i - 2])
              << Line().text("bp(i-1)  :").real(w.elim_b[i - 1]) << Line().text("a(i)  :").real(a[i]);
      const double lambda = a[i] / w.elim_c[i - 2];
      w.elim_a[i] = 0.0;
      w.elim_b[i] = b[i] - lambda * w.elim_d[i - 2];
      w.elim_c[i] = c[i] - lambda * w.elim_e[i - 2];
      w.elim_d[i] = d[i];
      w.elim_e[i] = e[i];
      w.elim_rhs[i] = rhs[i] - lambda * w.elim_rhs[i - 2];
      continue;
    }
    const double lambda = p != 0.0 ? a[i] / p : 0.0;
    w.elim_a[i] = 0.0;
    w.elim_b[i] = b[i] - lambda * w.elim_c[i - 1];
    w.elim_c[i] = c[i] - lambda * w.elim_d[i - 1];
    w.elim_d[i] = d[i] - lambda * w.elim_e[i - 1];
    w.elim_e[i] = e[i];
    w.elim_rhs[i] = rhs[i] - lambda * w.elim_rhs[i - 1];
  }
  w.sweep_u[1] = 0.0;
  w.sweep_v[1] = 0.0;
  w.sweep_s[1] = x_first;
  for (int i = 2; i <= n; ++i) {
    const double q = w.elim_c[i] - w.elim_b[i] * w.sweep_u[i - 1];
    w.sweep_u[i] = (w.elim_d[i] - w.elim_b[i] * w.sweep_v[i - 1]) / q;
    w.sweep_v[i] = w.elim_e[i] / q;
    w.sweep_s[i] = (w.elim_rhs[i] - w.elim_b[i] * w.sweep_s[i - 1]) / q;
  }
}

}  // namespace

void pentadiag(int n, double x_first, double x_last, const FiveBands& A, PentaWork& w,
               const double* rhs, double* x, std::ostream& console, Voice voice) {
  eliminate_and_sweep(n, x_first, A, w, rhs, console, voice);
  x[n] = x_last;
  x[n - 1] = w.sweep_s[n - 1] - w.sweep_u[n - 1] * x[n];
  for (int i = n - 2; i >= 1; --i) {
    x[i] = w.sweep_s[i] - w.sweep_u[i] * x[i + 1] - w.sweep_v[i] * x[i + 2];
  }
}

void pentadiag_n_meno_1(int n, double x_first, double x_last, const FiveBands& A, PentaWork& w,
                        const double* rhs, double* x, std::ostream& console, Voice voice) {
  eliminate_and_sweep(n, x_first, A, w, rhs, console, voice);
  x[n] = 0.0;
  x[n - 1] = x_last;
  for (int i = n - 2; i >= 1; --i) {
    x[i] = w.sweep_s[i] - w.sweep_u[i] * x[i + 1] - w.sweep_v[i] * x[i + 2];
  }
}

void tridiag(int n, double x_first, double x_last, const double* sub, const double* main,
             const double* super, const double* rhs, double* sweep_alpha, double* sweep_beta,
             double* x) {
  sweep_beta[1] = 0.0;
  sweep_alpha[1] = x_first;
  for (int i = 2; i <= n - 1; ++i) {
    const double q = sub[i] * sweep_beta[i - 1] + main[i];
    sweep_beta[i] = -super[i] / q;
    sweep_alpha[i] = (rhs[i] - sub[i] * sweep_alpha[i - 1]) / q;
  }
  x[n] = x_last;
  for (int i = n - 1; i >= 1; --i) x[i] = sweep_beta[i] * x[i + 1] + sweep_alpha[i];
}

void sol_eva(int m, const double* x, const double* g1, const double* g2, double r1, double r2,
             double r3, double s1, double s2, double s3, double rhs_first, double rhs_last,
             double* out) {
  const double p11 = r1 * g1[1] + r2 * g1[2] + r3 * g1[3];
  const double p12 = r1 * g2[1] + r2 * g2[2] + r3 * g2[3];
  const double pm1 = s1 * g1[m - 2] + s2 * g1[m - 1] + s3 * g1[m];
  const double pm2 = s1 * g2[m - 2] + s2 * g2[m - 1] + s3 * g2[m];
  const double t1 = rhs_first - (r1 * x[1] + r2 * x[2] + r3 * x[3]);
  const double tm = rhs_last - (s1 * x[m - 2] + s2 * x[m - 1] + s3 * x[m]);
  const double det = p11 * pm2 - pm1 * p12;
  const double alpha = (1.0 / det) * (pm2 * t1 - p12 * tm);
  const double beta = -(1.0 / det) * (pm1 * t1 - p11 * tm);
  for (int i = 1; i <= m; ++i) out[i] = alpha * g1[i] + x[i] + beta * g2[i];
}

}  // namespace fiamma
