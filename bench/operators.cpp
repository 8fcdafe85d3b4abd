// Time per grid point of the eight operator applications and of the staggered
// Poisson solve, in the prepared form (factored once at set-up) and in the
// straightforward form (the left-hand matrix eliminated again at every call),
// against the floor: one pre-factored five-band forward and backward sweep
// fused with the seven-band product, nothing else. Also the prepared form
// with 4 and 8 right-hand sides of one operator interleaved.
#include <benchmark/benchmark.h>

#include <array>
#include <cmath>
#include <memory>
#include <sstream>
#include <string>

#include "operators/prepared.hpp"

namespace {

using namespace fiamma;

// The operators of n points in one form, without the reuse of results (a
// new input every call would never be reused anyway).
std::unique_ptr<OperatorSet> operators_of(int n, OperatorForm form) {
  static std::ostringstream console;
  auto s = std::make_unique<State>();
  s->console = &console;
  s->discr.i_thom = 2;
  s->discr.dx = 1.0 / (n - 1);
  s->comp.c[1] = 2.0;
  s->comp.c[4] = 0.5;
  std::shared_ptr<const OperatorBlocks> blocks = assemble_operators(*s, n);
  if (form == OperatorForm::prepared) return std::make_unique<PreparedOperators>(blocks, console);
  return std::make_unique<StraightforwardOperators>(blocks, console);
}

void per_point(benchmark::State& bs, int n, int fields) {
  // seconds per point and right-hand side, shown with an SI prefix (5n = 5 ns)
  bs.counters["per_point"] = benchmark::Counter(static_cast<double>(n) * fields * bs.iterations(),
                                                benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_application(benchmark::State& bs, Operator op, OperatorForm form) {
  const int n = static_cast<int>(bs.range(0));
  auto ops = operators_of(n, form);
  auto f = std::make_unique<Field>();
  auto u = std::make_unique<Field>();
  for (int i = 1; i <= n; ++i) (*f)[i] = std::sin(0.01 * i);
  for (auto _ : bs) {
    (*f)[1] += 1e-3;
    ops->apply(op, *f, *u);
    benchmark::DoNotOptimize(u->data());
    benchmark::ClobberMemory();
  }
  per_point(bs, n, 1);
}

// The floor kernel on the factors of der_prima_ns_st: rows 4..n-3 of the
// product, the elimination of the right-hand side and the forward sweep in
// one pass, then the back substitution, with the same arithmetic as the
// prepared applications (reciprocal pivots, one multiplication and one
// subtraction on each point's dependency chain).
void BM_floor(benchmark::State& bs) {
  const int n = static_cast<int>(bs.range(0));
  auto ops = operators_of(n, OperatorForm::prepared);
  const PreparedOperator& p = static_cast<PreparedOperators&>(*ops).prepared(Operator::der_prima_ns_st);
  auto f = std::make_unique<Field>();
  auto u = std::make_unique<Field>();
  for (int i = 1; i <= n; ++i) (*f)[i] = std::sin(0.01 * i);
  const double *aB = p.product[0], *bB = p.product[1], *cB = p.product[2], *dB = p.product[3],
               *eB = p.product[4], *fB = p.product[5], *gB = p.product[6];
  const double *lam = p.lambda.data(), *ebq = p.elim_b_over_pivot.data(), *rq = p.inv_pivot.data(),
               *su = p.sweep_u.data(), *sv = p.sweep_v.data();
  for (auto _ : bs) {
    (*f)[1] += 1e-3;
    const double* x = f->data();
    double* y = u->data();
    double e = 0.0, sw = 0.0;
    for (int i = 4; i <= n - 3; ++i) {
      const double r = aB[i] * x[i - 3] + bB[i] * x[i - 2] + cB[i] * x[i - 1] + dB[i] * x[i] + eB[i] * x[i + 1] +
                       fB[i] * x[i + 2] + gB[i] * x[i + 3];
      e = r - lam[i] * e;
      sw = e * rq[i] - ebq[i] * sw;
      y[i] = sw;
    }
    y[n - 2] = y[n - 1] = 0.0;
    for (int i = n - 3; i >= 1; --i) y[i] = (y[i] - sv[i] * y[i + 2]) - su[i] * y[i + 1];
    benchmark::DoNotOptimize(u->data());
    benchmark::ClobberMemory();
  }
  per_point(bs, n, 1);
}
BENCHMARK(BM_floor)->Arg(129)->Arg(513)->Arg(1025);

// K right-hand sides of one prepared operator interleaved in one pass.
template <int K>
void BM_interleaved(benchmark::State& bs) {
  const int n = static_cast<int>(bs.range(0));
  auto ops = operators_of(n, OperatorForm::prepared);
  auto f = std::make_unique<std::array<Field, 8>>();
  auto u = std::make_unique<std::array<Field, 8>>();
  for (int k = 0; k < 8; ++k) {
    for (int i = 1; i <= n; ++i) (*f)[k][i] = std::sin(0.01 * i + k);
  }
  auto& x = *f;
  auto& y = *u;
  for (auto _ : bs) {
    for (int k = 0; k < K; ++k) x[k][1] += 1e-3;
    if constexpr (K == 4) {
      ops->apply_many(Operator::der_prima_ns_st, {&x[0], &x[1], &x[2], &x[3]}, {&y[0], &y[1], &y[2], &y[3]});
    } else {
      ops->apply_many(Operator::der_prima_ns_st, {&x[0], &x[1], &x[2], &x[3], &x[4], &x[5], &x[6], &x[7]},
                      {&y[0], &y[1], &y[2], &y[3], &y[4], &y[5], &y[6], &y[7]});
    }
    benchmark::DoNotOptimize(y.data());
    benchmark::ClobberMemory();
  }
  per_point(bs, n, K);
}
BENCHMARK(BM_interleaved<4>)->Arg(129)->Arg(513)->Arg(1025);
BENCHMARK(BM_interleaved<8>)->Arg(129)->Arg(513)->Arg(1025);

}  // namespace

int main(int argc, char** argv) {
  // each operator in both forms, side by side
  for (Operator op : kAllOperators) {
    for (OperatorForm form : {OperatorForm::prepared, OperatorForm::straightforward}) {
      const std::string name = std::string("BM_") + name_of(op) + (form == OperatorForm::prepared ? "_fast" : "_reference");
      benchmark::RegisterBenchmark(name.c_str(), BM_application, op, form)->Arg(129)->Arg(513)->Arg(1025);
    }
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
