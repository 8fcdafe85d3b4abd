// The example flame as a whole, with the prepared operators (fast) and the
// straightforward form (reference) side by side: time steps per second at
// several grid sizes, five-band solves and reused results per step, and the
// mean number of fixed-point iterations per velocity correction.
//
// With --profile-steps=K n form (form 0 fast, 1 reference) it instead runs K
// steps once and prints the solves per step: the driver for callgrind.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "driver/run.hpp"
#include "driver/safe_points.hpp"
#include "driver/simulation.hpp"

#ifndef FIAMMA_SOURCE_DIR
#define FIAMMA_SOURCE_DIR "."
#endif

namespace {

using namespace fiamma;

// The example configuration with n, rk_scheme and no time steps.
std::string configuration(int n, int rk) {
  std::ifstream in(std::filesystem::path(FIAMMA_SOURCE_DIR) / "examples/flame/eulero_test.dat");
  std::string line, out;
  for (int record = 1; std::getline(in, line); ++record) {
    if (record == 4) line = std::to_string(n);
    if (record == 9) line = std::to_string(0);
    if (record == 18) line = std::to_string(rk);
    out += line;
    out += '\n';
  }
  return out;
}

// A started, projected example flame ready for its first step.
struct Flame {
  std::filesystem::path dir;
  std::ostringstream console;
  std::unique_ptr<State> s = std::make_unique<State>();
  std::unique_ptr<MainValues> mv = std::make_unique<MainValues>();
  // what the set-up and the projection did, left out of the counts
  OperatorCounts counts_before;
  CorrectionCount corrections_before;
  Flame(int n, int rk, bool reference) {
    dir = std::filesystem::temp_directory_path() /
          ("fiamma_bench_" + std::to_string(n) + "_" + std::to_string(rk) + (reference ? "_ref" : "_fast"));
    std::filesystem::create_directories(dir);
    std::ofstream(dir / "eulero_test.dat") << configuration(n, rk);
    s->workdir = dir;
    s->console = &console;
    s->options.operator_form = reference ? OperatorForm::straightforward : OperatorForm::prepared;
    start_up(*s);
    simulate(*s, *mv);  // initial state, projected
    counts_before = mv->operators->counts();
    corrections_before = mv->solver->corrections();
    s->tempo.it = 1;
  }
  ~Flame() { std::filesystem::remove_all(dir); }
  double solves() const { return static_cast<double>(mv->operators->counts().solves - counts_before.solves); }
  double reused() const { return static_cast<double>(mv->operators->counts().reused - counts_before.reused); }
  double iterations_per_correction() const {
    const CorrectionCount& c = mv->solver->corrections();
    return static_cast<double>(c.iterations - corrections_before.iterations) /
           static_cast<double>(c.corrections - corrections_before.corrections);
  }
  void step() {
    time_step(*s, *mv);
    ++s->tempo.it;
  }
};

void BM_flame_steps(benchmark::State& bs) {
  const int n = static_cast<int>(bs.range(0));
  const int rk = static_cast<int>(bs.range(1));
  const bool reference = bs.range(2) != 0;
  Flame flame(n, rk, reference);
  for (auto _ : bs) flame.step();
  const double steps = static_cast<double>(bs.iterations());
  bs.SetLabel(reference ? "reference" : "fast");
  bs.counters["steps_per_s"] = benchmark::Counter(steps, benchmark::Counter::kIsRate);
  bs.counters["solves_per_step"] = flame.solves() / steps;
  bs.counters["reused_per_step"] = flame.reused() / steps;
  bs.counters["iterations_per_correction"] = flame.iterations_per_correction();
}

// fast and reference next to each other at each size
BENCHMARK(BM_flame_steps)
    ->ArgNames({"n", "rk", "reference"})
    ->Args({257, 4, 0})
    ->Args({257, 4, 1})
    ->Args({513, 4, 0})
    ->Args({513, 4, 1})
    ->Args({1025, 4, 0})
    ->Args({1025, 4, 1})
    ->Unit(benchmark::kMillisecond)
    ->MinTime(1.0);

// The check after every step that the transported fields are finite, on the
// example flame's projected initial state (compare with a step above).
void BM_non_finite_check(benchmark::State& bs) {
  const int n = static_cast<int>(bs.range(0));
  const auto dir = std::filesystem::temp_directory_path() / ("fiamma_bench_check_" + std::to_string(n));
  std::filesystem::create_directories(dir);
  std::ofstream(dir / "eulero_test.dat") << configuration(n, 4);
  std::ostringstream console;
  auto s = std::make_unique<State>();
  s->workdir = dir;
  s->console = &console;
  auto mv = std::make_unique<MainValues>();
  start_up(*s);
  simulate(*s, *mv);
  for (auto _ : bs) {
    const NonFiniteValue bad = find_non_finite(*s);
    benchmark::DoNotOptimize(bad.field);
  }
  std::filesystem::remove_all(dir);
}

BENCHMARK(BM_non_finite_check)->Arg(257)->Arg(513)->Arg(1025)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::strncmp(argv[1], "--profile-steps=", 16) == 0) {
    const int steps = std::atoi(argv[1] + 16);
    Flame flame(std::atoi(argv[2]), 4, std::atoi(argv[3]) != 0);
    // from step 2 on: step 1 writes the dumps of the velocity correction,
    // whose formatting would dominate a short profile
    flame.s->tempo.it = 2;
    for (int k = 0; k < steps; ++k) flame.step();
    std::printf("n %s, %s: %d steps, %.2f solves and %.2f reused results per step\n", argv[2],
                std::atoi(argv[3]) != 0 ? "reference" : "fast", steps,
                flame.solves() / steps, flame.reused() / steps);
    return 0;
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
