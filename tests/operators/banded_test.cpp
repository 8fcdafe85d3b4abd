// The banded kernels against dense arithmetic, and the zero-pivot paths.
#include "operators/banded.hpp"

#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <random>
#include <sstream>

#include "core/errors.hpp"

namespace fiamma {
namespace {

// Five bands, a right-hand side, a solution and the work arrays.
struct System {
  std::array<Field, 5> band{};  // a .. e: unknowns i-2 .. i+2
  Field rhs{}, x{}, y{};
  PentaWork w;
  FiveBands view() const { return {band[0].data(), band[1].data(), band[2].data(), band[3].data(), band[4].data()}; }
  // row i of the matrix times x, on unknowns 1..m
  double row(int i, int m) const {
    double s = 0.0;
    for (int q = 0; q < 5; ++q) s += i - 2 + q >= 1 && i - 2 + q <= m ? band[q][i] * x[i - 2 + q] : 0.0;
    return s;
  }
};

// A diagonally dominant random matrix (no outer bands: tridiagonal).
std::unique_ptr<System> random_system(int n, std::mt19937& rng, bool outer) {
  std::uniform_real_distribution<double> u(-0.2, 0.2);
  auto m = std::make_unique<System>();
  for (int i = 1; i <= n; ++i) {
    for (int q = 0; q < 5; ++q) m->band[q][i] = q == 2 ? 1.0 + u(rng) : (outer || q % 4 != 0 ? u(rng) : 0.0);
    m->rhs[i] = std::sin(0.3 * i);
  }
  return m;
}

TEST(BandedKernels, FiveBandSolvesHoldInteriorRowsAndExactEnds) {
  std::mt19937 rng(7);
  std::ostringstream console;
  for (int n : {3, 6, 17, 100}) {
    auto m = random_system(n, rng, true);
    pentadiag(n, 0.7, -1.3, m->view(), m->w, m->rhs.data(), m->x.data(), console);
    EXPECT_TRUE(m->x[1] == 0.7 && m->x[n] == -1.3);
    for (int i = 2; i < n; ++i) EXPECT_NEAR(m->row(i, n), m->rhs[i], 1e-13) << n << " " << i;
    pentadiag(n, 0.7, -1.3, m->view(), m->w, m->rhs.data(), m->rhs.data(), console);  // in place
    EXPECT_EQ(m->rhs, m->x);
    if (n < 6) continue;
    for (int i = 1; i <= n; ++i) m->rhs[i] = std::sin(0.3 * i);
    pentadiag_n_meno_1(n, 0.7, -1.3, m->view(), m->w, m->rhs.data(), m->x.data(), console);
    EXPECT_TRUE(m->x[1] == 0.7 && m->x[n - 1] == -1.3 && m->x[n] == 0.0);
    for (int i = 2; i < n - 1; ++i) EXPECT_NEAR(m->row(i, n - 1), m->rhs[i], 1e-13) << n << " " << i;
  }
  // without outer bands the five-band solve is the three-band one
  auto m = random_system(50, rng, false);
  pentadiag(50, 2.0, 3.0, m->view(), m->w, m->rhs.data(), m->x.data(), console);
  tridiag(50, 2.0, 3.0, m->band[1].data(), m->band[2].data(), m->band[3].data(), m->rhs.data(), m->w.sweep_s.data(),
          m->w.sweep_u.data(), m->y.data());
  for (int i = 1; i <= 50; ++i) EXPECT_NEAR(m->x[i], m->y[i], 1e-14) << i;
  EXPECT_EQ(console.str(), "");
}

TEST(BandedKernels, SevenBandProductMatchesDenseProduct) {
  std::mt19937 rng(3);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  for (int n : {6, 7, 12}) {
    auto bands = std::make_unique<std::array<Field, 9>>();  // aB .. gB, f, out
    auto& b = *bands;
    for (int q = 0; q < 8; ++q) for (int i = 1; i <= n; ++i) b[q][i] = u(rng);
    tp_eva2(n, {b[0].data(), b[1].data(), b[2].data(), b[3].data(), b[4].data(), b[5].data(), b[6].data()},
            b[7].data(), b[8].data());
    for (int i = 1; i <= n; ++i) {
      double s = 0.0;
      for (int q = 0; q < 7; ++q) s += i - 3 + q >= 1 && i - 3 + q <= n ? b[q][i] * b[7][i - 3 + q] : 0.0;
      EXPECT_NEAR(b[8][i], s, 1e-14) << n << " " << i;
    }
  }
}

TEST(BandedKernels, BoundaryCorrectionMakesTheEndEquationsHold) {
  const int m = 10;
  Field x{}, g1{}, g2{}, out{};
  for (int i = 1; i <= m; ++i) {
    x[i] = 0.5 * i;
    g1[i] = 1.0 / i;
    g2[i] = 0.1 * i * i;
  }
  // x already satisfies 1, 2, 3 on x(1..3) = 7 and 1, -1, 2 on x(8..10) = 9.5
  sol_eva(m, x.data(), g1.data(), g2.data(), 1, 2, 3, 1, -1, 2, 7.0, 9.5, out.data());
  EXPECT_EQ(out, x);
  sol_eva(m, x.data(), g1.data(), g2.data(), 1, 2, 3, 1, -1, 2, 8.0, 9.0, x.data());  // in place
  EXPECT_NEAR(x[1] + 2 * x[2] + 3 * x[3], 8.0, 1e-13);
  EXPECT_NEAR(x[m - 2] - x[m - 1] + 2 * x[m], 9.0, 1e-13);
}

// b(2) = 0 with a(3) != 0: the fallback on row 1 with its eight lines, the
// silent pass of a zero pivot with nothing to eliminate, and the failure
// when row 1 cannot serve.
TEST(BandedKernels, ZeroPivotFallbackAndFailure) {
  const int n = 6;
  auto m = std::make_unique<System>();
  for (int i = 1; i <= n; ++i) {
    m->band[2][i] = 1.0;
    m->rhs[i] = i;
  }
  m->band[0][3] = 0.5;
  std::ostringstream console, quiet, failed;
  pentadiag(n, 1.0, 6.0, m->view(), m->w, m->rhs.data(), m->x.data(), console);
  EXPECT_EQ(console.str(),
            " entro nel ciclo strano, ma non dovrei mai avernee bisogno\n"
            " perche ho fatto in modo da non avere mai la b(i)=0\n"
            " e contemporaneamente a(i+1)=0\n i:   3\n bp(i-2)  : 0.0000000000000000\n"
            " b(i-2)  : 0.0000000000000000\n bp(i-1)  : 0.0000000000000000\n a(i)  : 0.50000000000000000\n");
  EXPECT_DOUBLE_EQ(m->x[3], 2.5);  // row 3: 0.5 x(1) + x(3) = 3
  m->band[0][3] = 0.0;
  pentadiag(n, 1.0, 6.0, m->view(), m->w, m->rhs.data(), m->x.data(), quiet);
  EXPECT_EQ(quiet.str(), "");
  m->band[1][1] = 1.0;
  m->band[0][3] = 0.5;
  EXPECT_THROW(pentadiag(n, 1.0, 6.0, m->view(), m->w, m->rhs.data(), m->x.data(), failed), RunStopped);
  EXPECT_EQ(failed.str(), " Pentadiag ha fallito\n");
}

}  // namespace
}  // namespace fiamma
