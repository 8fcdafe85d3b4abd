// The prepared operators against the straightforward form, application by
// application: the same values to rounding (reciprocal pivots) for every
// operator and every n; several right-hand sides interleaved, of one
// operator or of different ones, the same bits as one call each; and a
// reused result only for the very same input.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <memory>
#include <sstream>
#include <vector>

#include "operators/operators.hpp"

namespace fiamma {
namespace {

std::unique_ptr<State> operators_for(int n, bool reference, std::ostream& console) {
  auto s = std::make_unique<State>();
  s->console = &console;
  s->options.reference_operators = reference;
  s->discr.i_thom = 2;
  s->discr.dx = 0.37 / (n - 1);
  s->comp.c[1] = 2.0;
  s->comp.c[4] = 0.5;
  setup_operators(*s, n);
  return s;
}

bool same_bits(const Field& a, const Field& b, int n) {
  return std::memcmp(a.data() + 1, b.data() + 1, sizeof(double) * n) == 0;
}

// The largest difference relative to the largest magnitude of `ref`.
double relative_gap(const Field& ref, const Field& u, int n) {
  double gap = 0.0, scale = 0.0;
  for (int i = 1; i <= n; ++i) {
    gap = std::max(gap, std::fabs(ref[i] - u[i]));
    scale = std::max(scale, std::fabs(ref[i]));
  }
  return scale > 0.0 ? gap / scale : gap;
}

constexpr double kTolerance = 1e-13;

using Apply = void (*)(State&, int, const Field&, Field&);
using ApplyMany = void (*)(State&, int, Inputs, Outputs);
struct Case {
  const char* name;
  Apply one;
  ApplyMany many;
};

const Case kCases[] = {
    {"der_prima", der_prima, der_prima_many},
    {"der_seconda", der_seconda, der_seconda_many},
    {"der_prima_st", der_prima_st, der_prima_st_many},
    {"der_seconda_st", der_seconda_st, der_seconda_st_many},
    {"der_prima_ns_st", der_prima_ns_st, der_prima_ns_st_many},
    {"der_prima_st_ns", der_prima_st_ns, der_prima_st_ns_many},
    {"inter_ns_st", inter_ns_st, inter_ns_st_many},
    {"inter_st_ns", inter_st_ns, inter_st_ns_many},
};

// A rough field: smooth part, a jump and values of very different size, so
// that every rounding of the two forms shows.
void fill(Field& f, int n, int seed) {
  for (int i = 1; i <= n; ++i) {
    f[i] = std::sin(0.3 * i + seed) * (i % 7 == 0 ? 1e3 : 1.0) + (i > n / 2 ? 2.5 : 0.0) + 1e-9 * i * seed;
  }
}

TEST(PreparedOperators, EveryApplicationAgreesWithTheStraightforwardFormToRounding) {
  for (int n : {7, 8, 33, 257, 1025}) {
    std::ostringstream c1, c2;
    auto ref = operators_for(n, true, c1);
    auto fast = operators_for(n, false, c2);
    ASSERT_FALSE(prepared_operators(*ref));
    ASSERT_TRUE(prepared_operators(*fast));
    EXPECT_EQ(c1.str(), c2.str());
    auto f = std::make_unique<std::array<Field, 5>>();
    auto u_ref = std::make_unique<std::array<Field, 5>>();
    auto u_fast = std::make_unique<std::array<Field, 5>>();
    for (int j = 0; j < 5; ++j) fill((*f)[j], n, j + 1);
    double worst = 0.0;
    for (const Case& c : kCases) {
      for (int j = 0; j < 5; ++j) {
        c.one(*ref, n, (*f)[j], (*u_ref)[j]);
        c.one(*fast, n, (*f)[j], (*u_fast)[j]);
        const double gap = relative_gap((*u_ref)[j], (*u_fast)[j], n);
        EXPECT_LE(gap, kTolerance) << c.name << " n " << n << " field " << j;
        worst = std::max(worst, gap);
      }
      // five right-hand sides at once: interleaved in one pass of 3 and one of 2
      auto& in = *f;
      auto out = std::make_unique<std::array<Field, 5>>();
      for (Field& u : *out) u.fill(-7.0);
      auto& o = *out;
      c.many(*fast, n, {&in[0], &in[1], &in[2], &in[3], &in[4]}, {&o[0], &o[1], &o[2], &o[3], &o[4]});
      for (int j = 0; j < 5; ++j) {
        EXPECT_TRUE(same_bits((*u_fast)[j], o[j], n)) << c.name << " batch, n " << n << " field " << j;
      }
    }
    // the pressure operator
    for (int j = 0; j < 5; ++j) {
      poisson_neu_st_new(*ref, n, (*f)[j], (*u_ref)[j]);
      poisson_neu_st_new(*fast, n, (*f)[j], (*u_fast)[j]);
      const double gap = relative_gap((*u_ref)[j], (*u_fast)[j], n);
      EXPECT_LE(gap, kTolerance) << "poisson n " << n << " field " << j;
      worst = std::max(worst, gap);
      EXPECT_EQ((*u_fast)[j][n], 0.0);
    }
    // the forms do differ: the test would not see a fallback to the
    // straightforward form otherwise
    EXPECT_GT(worst, 0.0) << "n " << n;
  }
}

// The rows applied with values held in registers: one range for the eight
// applications, on which every band and factor is the held value bit for bit,
// so that an application takes the same arithmetic whatever it is applied
// with; the pressure operator keeps all its rows general.
TEST(PreparedOperators, ConstantRowsAreOneRangeHeldBitForBit) {
  for (int n : {129, 1025}) {
    std::ostringstream c;
    auto s = operators_for(n, false, c);
    const PreparedOperator& first = s->ops.prepared[0];
    EXPECT_LT(first.forward_lo, 40) << n;
    EXPECT_GT(first.forward_hi, n - 10) << n;
    EXPECT_LT(first.back_lo, 40) << n;
    EXPECT_GT(first.back_hi, n - 10) << n;
    for (int id = 0; id < 8; ++id) {
      const PreparedOperator& p = s->ops.prepared[id];
      EXPECT_EQ(p.forward_lo, first.forward_lo) << id;
      EXPECT_EQ(p.forward_hi, first.forward_hi) << id;
      EXPECT_EQ(p.back_lo, first.back_lo) << id;
      EXPECT_EQ(p.back_hi, first.back_hi) << id;
      auto held = [](double v, double a) { return std::memcmp(&v, &a, sizeof v) == 0; };
      for (int i = p.forward_lo; i <= p.forward_hi; ++i) {
        for (int b = 0; b < 7; ++b) {
          ASSERT_TRUE(held(p.band[b], p.product[b][i])) << id << " band " << b << " row " << i;
        }
        ASSERT_TRUE(held(p.lambda_c, p.lambda[i]) && held(p.inv_pivot_c, p.inv_pivot[i]) &&
                    held(p.elim_b_over_pivot_c, p.elim_b_over_pivot[i]))
            << id << " row " << i;
      }
      for (int i = p.back_lo; i <= p.back_hi; ++i) {
        ASSERT_TRUE(held(p.sweep_u_c, p.sweep_u[i]) && held(p.sweep_v_c, p.sweep_v[i])) << id << " row " << i;
      }
    }
    const PreparedOperator& pressure = s->ops.prepared[8];
    EXPECT_GT(pressure.forward_lo, pressure.forward_hi);
  }
}

TEST(PreparedOperators, DifferentOperatorsTogetherGiveTheBitsOfOneCallEach) {
  for (bool reference : {false, true}) {
    const int n = 129;
    std::ostringstream c1;
    auto s = operators_for(n, reference, c1);
    auto f = std::make_unique<std::array<Field, 6>>();
    auto alone = std::make_unique<std::array<Field, 6>>();
    auto together = std::make_unique<std::array<Field, 6>>();
    for (int j = 0; j < 6; ++j) fill((*f)[j], n, j + 2);
    auto& x = *f;
    auto& a = *alone;
    auto& t = *together;
    der_prima_ns_st(*s, n, x[0], a[0]);
    der_prima_ns_st(*s, n, x[1], a[1]);
    der_prima_st_ns(*s, n, x[2], a[2]);
    der_seconda(*s, n, x[3], a[3]);
    der_seconda_st(*s, n, x[4], a[4]);
    inter_st_ns(*s, n, x[5], a[5]);
    // six: two passes of three; then three and one
    apply_together(*s, n, {{Operator::der_prima_ns_st, &x[0], &t[0]}, {Operator::der_prima_ns_st, &x[1], &t[1]},
                           {Operator::der_prima_st_ns, &x[2], &t[2]}, {Operator::der_seconda, &x[3], &t[3]},
                           {Operator::der_seconda_st, &x[4], &t[4]}, {Operator::inter_st_ns, &x[5], &t[5]}});
    for (int j = 0; j < 6; ++j) EXPECT_TRUE(same_bits(a[j], t[j], n)) << "six, application " << j;
    for (Field& u : t) u.fill(3.0);
    apply_together(*s, n, {{Operator::der_seconda_st, &x[4], &t[4]}, {Operator::der_prima_st_ns, &x[2], &t[2]},
                           {Operator::der_seconda, &x[3], &t[3]}, {Operator::der_prima_ns_st, &x[0], &t[0]}});
    apply_together(*s, n, {{Operator::der_prima_ns_st, &x[1], &t[1]}});
    for (int j = 0; j < 5; ++j) EXPECT_TRUE(same_bits(a[j], t[j], n)) << "four and one, application " << j;
  }
}

// An operator the set-up could not prepare (a zero pivot it cannot pass)
// takes the straightforward form, with its own work arrays, alone and among
// prepared ones: the bits of the straightforward form.
TEST(PreparedOperators, AnUnpreparedOperatorTakesTheStraightforwardForm) {
  const int n = 129;
  std::ostringstream c1, c2;
  auto ref = operators_for(n, true, c1);
  auto fast = operators_for(n, false, c2);
  ASSERT_FALSE(fast->ops.straightforward_work) << "made although every operator is prepared";
  fast->ops.prepared[static_cast<int>(Operator::der_seconda_st)].n = 0;
  auto f = std::make_unique<std::array<Field, 2>>();
  auto u_ref = std::make_unique<std::array<Field, 2>>();
  auto alone = std::make_unique<std::array<Field, 2>>();
  auto together = std::make_unique<std::array<Field, 2>>();
  fill((*f)[0], n, 4);
  fill((*f)[1], n, 5);
  der_seconda_st(*ref, n, (*f)[0], (*u_ref)[0]);
  der_seconda_st(*fast, n, (*f)[0], (*alone)[0]);
  EXPECT_TRUE(same_bits((*u_ref)[0], (*alone)[0], n));
  EXPECT_TRUE(fast->ops.straightforward_work);
  der_prima_ns_st(*fast, n, (*f)[1], (*alone)[1]);
  apply_together(*fast, n, {{Operator::der_seconda_st, &(*f)[0], &(*together)[0]},
                            {Operator::der_prima_ns_st, &(*f)[1], &(*together)[1]}});
  for (int j = 0; j < 2; ++j) EXPECT_TRUE(same_bits((*alone)[j], (*together)[j], n)) << j;
}

TEST(PreparedOperators, AReusedResultNeedsTheSameInputBitForBit) {
  const int n = 65;
  std::ostringstream c2;
  // the expected values: a fresh prepared set-up, which keeps no result
  auto fresh = [&] {
    std::ostringstream c;
    return operators_for(n, false, c);
  };
  auto fast = operators_for(n, false, c2);
  auto f = std::make_unique<Field>();
  auto u = std::make_unique<Field>();
  auto expected = std::make_unique<Field>();
  fill(*f, n, 3);
  inter_st_ns(*fast, n, *f, *u);
  // the same array changed in its last bit, then in place at one point: each
  // time a new result
  for (int round = 0; round < 3; ++round) {
    if (round == 1) (*f)[n - 1] = std::nextafter((*f)[n - 1], 1e300);
    if (round == 2) (*f)[1] = -(*f)[1];
    inter_st_ns(*fresh(), n, *f, *expected);
    u->fill(0.0);
    inter_st_ns(*fast, n, *f, *u);
    EXPECT_TRUE(same_bits(*expected, *u, n)) << "round " << round;
    // and again, now from the kept result
    u->fill(0.0);
    inter_st_ns(*fast, n, *f, *u);
    EXPECT_TRUE(same_bits(*expected, *u, n)) << "round " << round << ", kept";
  }
  // a new set-up (another sweep step: another spacing) forgets every kept
  // result, although the input is the same
  der_prima(*fast, n, *f, *u);
  const double dx = 2.0 * fast->discr.dx;
  fast->discr.dx = dx;
  setup_operators(*fast, n);
  auto other = fresh();
  other->discr.dx = dx;
  setup_operators(*other, n);
  der_prima(*other, n, *f, *expected);
  der_prima(*fast, n, *f, *u);
  EXPECT_TRUE(same_bits(*expected, *u, n));
}

}  // namespace
}  // namespace fiamma
