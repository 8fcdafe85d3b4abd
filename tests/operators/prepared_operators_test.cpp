// The two forms of the operators on the same matrices: the prepared form
// agrees with the straightforward one to rounding (reciprocal pivots, two-row
// recurrences) for every operator and n; an application gives the same bits
// alone, beside others of its operator or of other operators (every lane
// width); the rows held in registers are one range for the eight operators;
// a kept result is given back only for the very same input.
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

// The rows applied with values held in registers: one range for the eight
// operators, on which every band and factor is the held value bit for bit
// and just outside which one is not; the pressure operator has none.
TEST(OperatorForms, ConstantRowsAreOneRangeHeldBitForBit) {
  auto held = [](double v, double a) { return std::memcmp(&v, &a, sizeof v) == 0; };
  for (int n : {129, 1025}) {
    Ops o(n, 0.37 / (n - 1));
    PreparedOperators fast(o.set->shared_blocks(), o.console);
    const PreparedOperator& first = fast.prepared(Operator::der_prima);
    EXPECT_TRUE(first.forward_lo < 40 && first.forward_hi > n - 10 && first.back_lo < 40 && first.back_hi > n - 10);
    bool edge_forward = false, edge_back = false;  // some operator differs just outside
    for (Operator op : kAllOperators) {
      const PreparedOperator& p = fast.prepared(op);
      if (op == Operator::poisson_neu_st_new) {
        EXPECT_GT(p.forward_lo, p.forward_hi);
        continue;
      }
      EXPECT_TRUE(p.forward_lo == first.forward_lo && p.forward_hi == first.forward_hi &&
                  p.back_lo == first.back_lo && p.back_hi == first.back_hi) << name_of(op);
      auto forward_row = [&](int i) {
        bool same = held(p.lambda_c, p.lambda[i]) && held(p.inv_pivot_c, p.inv_pivot[i]) &&
                    held(p.elim_b_over_pivot_c, p.elim_b_over_pivot[i]);
        for (int b = 0; b < 7; ++b) same = same && held(p.band[b], p.product[b][i]);
        return same;
      };
      auto back_row = [&](int i) { return held(p.sweep_u_c, p.sweep_u[i]) && held(p.sweep_v_c, p.sweep_v[i]); };
      for (int i = p.forward_lo; i <= p.forward_hi; ++i) ASSERT_TRUE(forward_row(i)) << name_of(op) << " row " << i;
      for (int i = p.back_lo; i <= p.back_hi; ++i) ASSERT_TRUE(back_row(i)) << name_of(op) << " row " << i;
      edge_forward = edge_forward || !forward_row(p.forward_lo - 1) || !forward_row(p.forward_hi + 1);
      edge_back = edge_back || !back_row(p.back_lo - 1) || !back_row(p.back_hi + 1);
    }
    EXPECT_TRUE(edge_forward && edge_back) << "the shared range is narrower than it need be, n " << n;
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
