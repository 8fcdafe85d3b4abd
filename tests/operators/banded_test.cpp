// The banded kernels' zero-pivot paths. (Their solves and products are the
// straightforward operators', measured against the prepared form's own
// arithmetic in prepared_operators_test and against exact derivatives in
// operators_test.)
#include "operators/banded.hpp"

#include <gtest/gtest.h>

#include <array>
#include <memory>
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
};

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
