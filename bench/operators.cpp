// Time per grid point of the eight operator applications and of the staggered
// Poisson solve (every call repeats the elimination of its left-hand matrix).
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <sstream>

#include "operators/operators.hpp"

namespace {

using namespace fiamma;
using Apply = void (*)(State&, int, const Field&, Field&);

std::unique_ptr<State> ready_state(int n) {
  static std::ostringstream console;
  auto s = std::make_unique<State>();
  s->console = &console;
  s->discr.i_thom = 2;
  s->discr.dx = 1.0 / (n - 1);
  s->comp.c[1] = 2.0;
  s->comp.c[4] = 0.5;
  setup_operators(*s, n);
  return s;
}

void run(benchmark::State& bs, Apply apply) {
  const int n = static_cast<int>(bs.range(0));
  auto s = ready_state(n);
  auto f = std::make_unique<Field>();
  auto u = std::make_unique<Field>();
  for (int i = 1; i <= n; ++i) (*f)[i] = std::sin(0.01 * i);
  for (auto _ : bs) {
    apply(*s, n, *f, *u);
    benchmark::DoNotOptimize(u->data());
    benchmark::ClobberMemory();
  }
  // seconds per point, shown with an SI prefix (24n = 24 ns)
  bs.counters["per_point"] = benchmark::Counter(static_cast<double>(n) * bs.iterations(),
                                                benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

#define OPERATOR_BENCH(name)                                            \
  void BM_##name(benchmark::State& bs) { run(bs, name); }               \
  BENCHMARK(BM_##name)->Arg(129)->Arg(513)->Arg(1025);
OPERATOR_BENCH(der_prima)
OPERATOR_BENCH(der_seconda)
OPERATOR_BENCH(der_prima_st)
OPERATOR_BENCH(der_seconda_st)
OPERATOR_BENCH(der_prima_ns_st)
OPERATOR_BENCH(der_prima_st_ns)
OPERATOR_BENCH(inter_ns_st)
OPERATOR_BENCH(inter_st_ns)
OPERATOR_BENCH(poisson_neu_st_new)

}  // namespace

BENCHMARK_MAIN();
