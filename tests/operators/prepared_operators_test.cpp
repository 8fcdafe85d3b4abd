// The two forms of the operators on the same matrices: the prepared form
// agrees with the straightforward one to rounding (reciprocal pivots, two-row
// recurrences) for every operator and n; an application gives the same bits
// alone, beside others of its operator or of other operators (every lane
// width); a kept result is given back only for the very same input. (A row
// taken as constant where it is not shows as a gap between the two forms.)
#include "operators/prepared.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "operator_test_support.hpp"

namespace fiamma {
namespace {

using testing::Ops;

bool same_bits(const Field& a, const Field& b, int n) { return std::memcmp(&a[1], &b[1], sizeof(double) * n) == 0; }

// A rough field: smooth part, a jump and values of very different size, so
// that every rounding of the two forms shows.
void fill(Field& f, int n, int seed) {
  for (int i = 1; i <= n; ++i) {
    f[i] = std::sin(0.3 * i + seed) * (i % 7 == 0 ? 1e3 : 1.0) + (i > n / 2 ? 2.5 : 0.0) + 1e-9 * i * seed;
  }
}

TEST(OperatorForms, PreparedAgreesToRoundingAndTogetherChangesNoBit) {
  for (int n : {9, 33, 257, 1025}) {
    Ops o(n, 0.37 / (n - 1));
    auto fast = std::make_unique<PreparedOperators>(o.set->shared_blocks(), o.console);
    auto ref = std::make_unique<StraightforwardOperators>(o.set->shared_blocks(), o.console);
    std::vector<Field> f(5), alone(5 * kOperatorCount), u(8);
    for (int j = 0; j < 5; ++j) fill(f[j], n, j + 1);
    auto one = [&](Operator op, int j) -> Field& { return alone[5 * index_of(op) + j]; };
    double worst = 0.0;
    for (Operator op : kAllOperators) {
      for (int j = 0; j < 5; ++j) {
        fast->apply(op, f[j], one(op, j));
        ref->apply(op, f[j], u[0]);
        double gap = 0.0, scale = 0.0;
        for (int i = 1; i <= n; ++i) {
          gap = std::max(gap, std::fabs(u[0][i] - one(op, j)[i]));
          scale = std::max(scale, std::fabs(u[0][i]));
        }
        EXPECT_LE(gap, 1e-13 * scale) << name_of(op) << " n " << n << " field " << j;
        worst = std::max(worst, gap);
      }
      // five of one operator: a pass of three lanes and one of two
      fast->apply_many(op, {&f[0], &f[1], &f[2], &f[3], &f[4]}, {&u[0], &u[1], &u[2], &u[3], &u[4]});
      for (int j = 0; j < 5; ++j) EXPECT_TRUE(same_bits(u[j], one(op, j), n)) << name_of(op) << " n " << n << " " << j;
    }
    EXPECT_GT(worst, 0.0) << "the forms do not differ at n " << n;
    // eight of different operators: the pressure operator alone, the others
    // in a pass of four lanes and one of three
    const Operator mixed[8] = {Operator::der_prima_ns_st, Operator::poisson_neu_st_new, Operator::der_prima_st_ns,
                               Operator::der_seconda,     Operator::der_seconda_st,     Operator::inter_st_ns,
                               Operator::inter_ns_st,     Operator::der_prima_st};
    fast->apply_together({{mixed[0], &f[0], &u[0]}, {mixed[1], &f[1], &u[1]}, {mixed[2], &f[2], &u[2]},
                          {mixed[3], &f[3], &u[3]}, {mixed[4], &f[4], &u[4]}, {mixed[5], &f[0], &u[5]},
                          {mixed[6], &f[1], &u[6]}, {mixed[7], &f[2], &u[7]}});
    for (int j = 0; j < 8; ++j) EXPECT_TRUE(same_bits(u[j], one(mixed[j], j % 5), n)) << name_of(mixed[j]) << " n " << n;
  }
}

// The reuse of results: the same input gives the kept result, an input
// changed in its last bit at either end a new one, as computed afresh.
TEST(OperatorForms, AKeptResultOnlyForTheSameInputBitForBit) {
  const int n = 65;
  Ops o(n, 0.1);
  PreparedOperators fresh(o.set->shared_blocks(), o.console);
  auto f = std::make_unique<Field>(), u = std::make_unique<Field>(), expected = std::make_unique<Field>();
  for (Operator op : {Operator::der_prima, Operator::inter_st_ns}) {
    fill(*f, n, 3);
    const int last = op == Operator::der_prima ? n : n - 1;
    for (int round = 0; round < 3; ++round) {
      if (round == 1) (*f)[last] = std::nextafter((*f)[last], 1e300);
      if (round == 2) (*f)[1] = std::nextafter((*f)[1], -1e300);
      fresh.apply(op, *f, *expected);
      for (int again = 0; again < 2; ++again) {
        u->fill(0.0);
        o.set->apply(op, *f, *u);
        EXPECT_TRUE(same_bits(*expected, *u, n)) << name_of(op) << " round " << round << " again " << again;
      }
    }
  }
  EXPECT_EQ(o.set->counts().reused, 6);
}

}  // namespace
}  // namespace fiamma
