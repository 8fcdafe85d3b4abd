// The prepared operators against the straightforward form, application by
// application: the same bits for every operator, every n, one right-hand
// side or several interleaved, and a reused result only for the very same
// input.
#include <gtest/gtest.h>

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

TEST(PreparedOperators, EveryApplicationGivesTheSameBitsAsTheStraightforwardForm) {
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
    for (const Case& c : kCases) {
      for (int j = 0; j < 5; ++j) {
        c.one(*ref, n, (*f)[j], (*u_ref)[j]);
        c.one(*fast, n, (*f)[j], (*u_fast)[j]);
        EXPECT_TRUE(same_bits((*u_ref)[j], (*u_fast)[j], n)) << c.name << " n " << n << " field " << j;
      }
      // five right-hand sides at once: interleaved in one pass of 4 and one of 1
      auto& in = *f;
      auto& out = *u_fast;
      for (Field& u : out) u.fill(-7.0);
      c.many(*fast, n, {&in[0], &in[1], &in[2], &in[3], &in[4]}, {&out[0], &out[1], &out[2], &out[3], &out[4]});
      for (int j = 0; j < 5; ++j) {
        EXPECT_TRUE(same_bits((*u_ref)[j], out[j], n)) << c.name << " batch, n " << n << " field " << j;
      }
    }
    // the pressure operator
    for (int j = 0; j < 5; ++j) {
      poisson_neu_st_new(*ref, n, (*f)[j], (*u_ref)[j]);
      poisson_neu_st_new(*fast, n, (*f)[j], (*u_fast)[j]);
      EXPECT_TRUE(same_bits((*u_ref)[j], (*u_fast)[j], n)) << "poisson n " << n << " field " << j;
      EXPECT_EQ((*u_fast)[j][n], 0.0);
    }
  }
}

TEST(PreparedOperators, AReusedResultNeedsTheSameInputBitForBit) {
  const int n = 65;
  std::ostringstream c1, c2;
  auto ref = operators_for(n, true, c1);
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
    inter_st_ns(*ref, n, *f, *expected);
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
  fast->discr.dx = 2.0 * fast->discr.dx;
  setup_operators(*fast, n);
  ref->discr.dx = fast->discr.dx;
  setup_operators(*ref, n);
  der_prima(*ref, n, *f, *expected);
  der_prima(*fast, n, *f, *u);
  EXPECT_TRUE(same_bits(*expected, *u, n));
}

}  // namespace
}  // namespace fiamma
