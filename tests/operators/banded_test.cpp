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

// Seven bands (the five-band solves use the middle five: a .. e on unknowns
// i-2 .. i+2), a right-hand side, a solution and the work arrays.
struct System {
  std::array<Field, 7> band{};
  Field rhs{}, x{}, y{};
  PentaWork w;
  FiveBands five() const { return {band[1].data(), band[2].data(), band[3].data(), band[4].data(), band[5].data()}; }
  // row i of the matrix of `width` bands times v, on entries 1..m
  double row(int i, int m, int width, const Field& v) const {
    double s = 0.0;
    for (int q = 0; q < width; ++q) {
      const int j = i - width / 2 + q;
      s += j >= 1 && j <= m ? band[q + (7 - width) / 2][i] * v[j] : 0.0;
    }
    return s;
  }
};

// A diagonally dominant random matrix; without outer bands, tridiagonal.
std::unique_ptr<System> random_system(int n, std::mt19937& rng, bool outer) {
  std::uniform_real_distribution<double> u(-0.2, 0.2);
  auto m = std::make_unique<System>();
  for (int i = 1; i <= n; ++i) {
    for (int q = 0; q < 7; ++q) m->band[q][i] = q == 3 ? 1.0 + u(rng) : (outer || (q > 1 && q < 5) ? u(rng) : 0.0);
    m->rhs[i] = std::sin(0.3 * i);
  }
  return m;
}

TEST(BandedKernels, SolvesAndProductAgainstDenseRows) {
  std::mt19937 rng(7);
  std::ostringstream console;
  for (int n : {3, 6, 7, 17, 100}) {
    auto m = random_system(n, rng, true);
    pentadiag(n, 0.7, -1.3, m->five(), m->w, m->rhs.data(), m->x.data(), console);
    EXPECT_TRUE(m->x[1] == 0.7 && m->x[n] == -1.3);
    for (int i = 2; i < n; ++i) EXPECT_NEAR(m->row(i, n, 5, m->x), m->rhs[i], 1e-13) << n << " " << i;
    pentadiag(n, 0.7, -1.3, m->five(), m->w, m->rhs.data(), m->rhs.data(), console);  // in place
    EXPECT_EQ(m->rhs, m->x);
    if (n < 6) continue;
    for (int i = 1; i <= n; ++i) m->rhs[i] = std::sin(0.3 * i);
    pentadiag_n_meno_1(n, 0.7, -1.3, m->five(), m->w, m->rhs.data(), m->x.data(), console);
    EXPECT_TRUE(m->x[1] == 0.7 && m->x[n - 1] == -1.3 && m->x[n] == 0.0);
    for (int i = 2; i < n - 1; ++i) EXPECT_NEAR(m->row(i, n - 1, 5, m->x), m->rhs[i], 1e-13) << n << " " << i;
    const auto& b = m->band;
    tp_eva2(n, {b[0].data(), b[1].data(), b[2].data(), b[3].data(), b[4].data(), b[5].data(), b[6].data()},
            m->rhs.data(), m->y.data());
    for (int i = 1; i <= n; ++i) EXPECT_NEAR(m->y[i], m->row(i, n, 7, m->rhs), 1e-14) << n << " " << i;
  }
  // without outer bands the five-band solve is the three-band one
  auto m = random_system(50, rng, false);
  pentadiag(50, 2.0, 3.0, m->five(), m->w, m->rhs.data(), m->x.data(), console);
  tridiag(50, 2.0, 3.0, m->band[2].data(), m->band[3].data(), m->band[4].data(), m->rhs.data(), m->w.sweep_s.data(),
          m->w.sweep_u.data(), m->y.data());
  for (int i = 1; i <= 50; ++i) EXPECT_NEAR(m->x[i], m->y[i], 1e-14) << i;
  EXPECT_EQ(console.str(), "");
}

// b(2) = 0 with a(3) != 0: the fallback on row 1 with its eight lines, the
// silent pass of a zero pivot with nothing to eliminate, and the failure
// when row 1 cannot serve.
TEST(BandedKernels, ZeroPivotFallbackAndFailure) {
  const int n = 6;
  auto m = std::make_unique<System>();
  for (int i = 1; i <= n; ++i) m->band[3][i] = 1.0, m->rhs[i] = i;
  m->band[1][3] = 0.5;
  std::ostringstream console, quiet, failed;
  pentadiag(n, 1.0, 6.0, m->five(), m->w, m->rhs.data(), m->x.data(), console);
  EXPECT_EQ(console.str(),
            " entro nel ciclo strano, ma non dovrei mai avernee bisogno\n"
            " perche ho fatto in modo da non avere mai la b(i)=0\n"
            " e contemporaneamente a(i+1)=0\n i:   3\n bp(i-2)  : 0.0000000000000000\n"
            " b(i-2)  : 0.0000000000000000\n bp(i-1)  : 0.0000000000000000\n a(i)  : 0.50000000000000000\n");
  EXPECT_DOUBLE_EQ(m->x[3], 2.5);  // row 3: 0.5 x(1) + x(3) = 3
  m->band[1][3] = 0.0;
  pentadiag(n, 1.0, 6.0, m->five(), m->w, m->rhs.data(), m->x.data(), quiet);
  EXPECT_EQ(quiet.str(), "");
  m->band[2][1] = 1.0;
  m->band[1][3] = 0.5;
  EXPECT_THROW(pentadiag(n, 1.0, 6.0, m->five(), m->w, m->rhs.data(), m->x.data(), failed), RunStopped);
  EXPECT_EQ(failed.str(), " Pentadiag ha fallito\n");
}

}  // namespace
}  // namespace fiamma
