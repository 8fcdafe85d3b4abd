// The banded kernels against dense arithmetic and their stated properties.
#include "operators/banded.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <sstream>

#include "core/errors.hpp"

namespace fiamma {
namespace {

struct Bands5 {
  Field a{}, b{}, c{}, d{}, e{};
  FiveBands view() const { return {a.data(), b.data(), c.data(), d.data(), e.data()}; }
};

// A diagonally dominant random five-band matrix.
std::unique_ptr<Bands5> random_bands(int n, std::mt19937& rng, bool outer = true) {
  std::uniform_real_distribution<double> u(-0.2, 0.2);
  auto m = std::make_unique<Bands5>();
  for (int i = 1; i <= n; ++i) {
    m->a[i] = outer ? u(rng) : 0.0;
    m->b[i] = u(rng);
    m->c[i] = 1.0 + u(rng);
    m->d[i] = u(rng);
    m->e[i] = outer ? u(rng) : 0.0;
  }
  return m;
}

double row_times(const Bands5& m, int i, const Field& x, int n) {
  double s = m.c[i] * x[i];
  if (i - 2 >= 1) s += m.a[i] * x[i - 2];
  if (i - 1 >= 1) s += m.b[i] * x[i - 1];
  if (i + 1 <= n) s += m.d[i] * x[i + 1];
  if (i + 2 <= n) s += m.e[i] * x[i + 2];
  return s;
}

TEST(BandedKernels, PentadiagSolvesInteriorRowsWithExactEndValues) {
  std::mt19937 rng(7);
  std::ostringstream console;
  for (int n : {3, 6, 17, 100}) {
    auto m = random_bands(n, rng);
    auto rhs = std::make_unique<Field>();
    auto x = std::make_unique<Field>();
    auto w = std::make_unique<PentaWork>();
    for (int i = 1; i <= n; ++i) (*rhs)[i] = std::sin(0.3 * i);
    pentadiag(n, 0.7, -1.3, m->view(), *w, rhs->data(), x->data(), console);
    EXPECT_EQ((*x)[1], 0.7);
    EXPECT_EQ((*x)[n], -1.3);
    for (int i = 2; i < n; ++i) EXPECT_NEAR(row_times(*m, i, *x, n), (*rhs)[i], 1e-13) << n << " " << i;
    // in place
    pentadiag(n, 0.7, -1.3, m->view(), *w, rhs->data(), rhs->data(), console);
    for (int i = 1; i <= n; ++i) EXPECT_EQ((*rhs)[i], (*x)[i]);
    // staggered variant: ends at 1 and n-1, entry n zero
    if (n >= 6) {
      for (int i = 1; i <= n; ++i) (*rhs)[i] = std::sin(0.3 * i);
      pentadiag_n_meno_1(n, 0.7, -1.3, m->view(), *w, rhs->data(), x->data(), console);
      EXPECT_EQ((*x)[1], 0.7);
      EXPECT_EQ((*x)[n - 1], -1.3);
      EXPECT_EQ((*x)[n], 0.0);
      for (int i = 2; i < n - 1; ++i) EXPECT_NEAR(row_times(*m, i, *x, n - 1), (*rhs)[i], 1e-13) << i;
    }
  }
  EXPECT_EQ(console.str(), "");
}

TEST(BandedKernels, PentadiagMatchesTridiagWithoutOuterBands) {
  std::mt19937 rng(11);
  std::ostringstream console;
  const int n = 50;
  auto m = random_bands(n, rng, false);
  auto rhs = std::make_unique<Field>();
  auto x = std::make_unique<Field>();
  auto y = std::make_unique<Field>();
  auto w = std::make_unique<PentaWork>();
  for (int i = 1; i <= n; ++i) (*rhs)[i] = std::cos(0.7 * i);
  pentadiag(n, 2.0, 3.0, m->view(), *w, rhs->data(), x->data(), console);
  tridiag(n, 2.0, 3.0, m->b.data(), m->c.data(), m->d.data(), rhs->data(), w->sweep_s.data(), w->sweep_u.data(),
          y->data());
  for (int i = 1; i <= n; ++i) EXPECT_NEAR((*x)[i], (*y)[i], 1e-14) << i;
}

TEST(BandedKernels, SevenBandProductMatchesDenseProduct) {
  std::mt19937 rng(3);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  for (int n : {6, 7, 12}) {
    std::array<Field, 7> bands{};
    for (auto& band : bands) for (int i = 1; i <= n; ++i) band[i] = u(rng);
    auto f = std::make_unique<Field>();
    auto out = std::make_unique<Field>();
    for (int i = 1; i <= n; ++i) (*f)[i] = u(rng);
    tp_eva2(n, {bands[0].data(), bands[1].data(), bands[2].data(), bands[3].data(), bands[4].data(),
                bands[5].data(), bands[6].data()},
            f->data(), out->data());
    for (int i = 1; i <= n; ++i) {
      double s = 0.0;
      for (int q = 0; q < 7; ++q) {
        const int j = i - 3 + q;
        if (j >= 1 && j <= n) s += bands[q][i] * (*f)[j];
      }
      EXPECT_NEAR((*out)[i], s, 1e-14) << n << " " << i;
    }
  }
}

TEST(BandedKernels, BoundaryCorrectionLeavesASolutionUnchanged) {
  const int m = 10;
  Field x{}, g1{}, g2{};
  for (int i = 1; i <= m; ++i) {
    x[i] = 0.5 * i;
    g1[i] = 1.0 / i;
    g2[i] = 0.1 * i * i;
  }
  // first equation 1, 2, 3 on x(1..3) = 0.5, 1, 1.5 gives 7; last 1, -1, 2 on 4, 4.5, 5 gives 9.5
  Field out{};
  sol_eva(m, x.data(), g1.data(), g2.data(), 1, 2, 3, 1, -1, 2, 7.0, 9.5, out.data());
  for (int i = 1; i <= m; ++i) EXPECT_EQ(out[i], x[i]);
  // a residual in both equations is removed
  sol_eva(m, x.data(), g1.data(), g2.data(), 1, 2, 3, 1, -1, 2, 8.0, 9.0, x.data());
  EXPECT_NEAR(x[1] + 2 * x[2] + 3 * x[3], 8.0, 1e-13);
  EXPECT_NEAR(x[m - 2] - x[m - 1] + 2 * x[m], 9.0, 1e-13);
}

TEST(BandedKernels, ZeroPivotFallbackAndFailure) {
  // Row 2 has a zero first sub-diagonal after elimination: b(2) = 0 with a(3) != 0.
  const int n = 6;
  auto m = std::make_unique<Bands5>();
  for (int i = 1; i <= n; ++i) { m->c[i] = 1.0; }
  m->a[3] = 0.5;
  auto rhs = std::make_unique<Field>();
  auto x = std::make_unique<Field>();
  auto w = std::make_unique<PentaWork>();
  for (int i = 1; i <= n; ++i) (*rhs)[i] = i;
  std::ostringstream console;
  pentadiag(n, 1.0, 6.0, m->view(), *w, rhs->data(), x->data(), console);
  EXPECT_EQ(console.str(),
            " entro nel ciclo strano, ma non dovrei mai avernee bisogno\n"
            " perche ho fatto in modo da non avere mai la b(i)=0\n"
            " e contemporaneamente a(i+1)=0\n"
            " i:   3\n"
            " bp(i-2)  : 0.0000000000000000\n"
            " b(i-2)  : 0.0000000000000000\n"
            " bp(i-1)  : 0.0000000000000000\n"
            " a(i)  : 0.50000000000000000\n");
  // row 3: 0.5 x(1) + x(3) = 3
  EXPECT_DOUBLE_EQ((*x)[3], 2.5);
  // a zero pivot with nothing to eliminate passes silently
  m->a[3] = 0.0;
  std::ostringstream quiet;
  pentadiag(n, 1.0, 6.0, m->view(), *w, rhs->data(), x->data(), quiet);
  EXPECT_EQ(quiet.str(), "");
  // no fallback possible: elim_b(i-2) is not small
  m->b[1] = 1.0;
  m->a[3] = 0.5;
  std::ostringstream failed;
  EXPECT_THROW(pentadiag(n, 1.0, 6.0, m->view(), *w, rhs->data(), x->data(), failed), RunStopped);
  EXPECT_EQ(failed.str(), " Pentadiag ha fallito\n");
}

}  // namespace
}  // namespace fiamma
