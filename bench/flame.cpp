// The example flame as a whole: time steps per second at several grid sizes
// and Runge-Kutta schemes, and the mean number of fixed-point iterations per
// velocity correction.
#include <benchmark/benchmark.h>

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

void BM_flame_steps(benchmark::State& bs) {
  const int n = static_cast<int>(bs.range(0));
  const int rk = static_cast<int>(bs.range(1));
  const auto dir = std::filesystem::temp_directory_path() / ("fiamma_bench_" + std::to_string(n) + "_" + std::to_string(rk));
  std::filesystem::create_directories(dir);
  std::ofstream(dir / "eulero_test.dat") << configuration(n, rk);
  std::ostringstream console;
  auto s = std::make_unique<State>();
  s->workdir = dir;
  s->console = &console;
  auto mv = std::make_unique<MainValues>();
  start_up(*s);
  simulate(*s, *mv);  // initial state, projected
  s->scratch.corrections = s->scratch.correction_iterations = 0;
  s->tempo.it = 1;
  for (auto _ : bs) {
    time_step(*s, *mv);
    ++s->tempo.it;
  }
  bs.counters["steps_per_s"] = benchmark::Counter(static_cast<double>(bs.iterations()), benchmark::Counter::kIsRate);
  bs.counters["iterations_per_correction"] =
      static_cast<double>(s->scratch.correction_iterations) / static_cast<double>(s->scratch.corrections);
  std::filesystem::remove_all(dir);
}

BENCHMARK(BM_flame_steps)
    ->ArgsProduct({{257, 513, 1025}, {4, 5}})
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

BENCHMARK_MAIN();
