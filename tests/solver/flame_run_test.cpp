// The example flame end to end, against its physics: the initial projection,
// mass conservation, the constant thermodynamic pressure, the front speed
// against the analytic estimate; the velocity correction's tolerance,
// absolute or relative to the largest nodal velocity, and its effect on the
// constraint; the snapshot read back.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <sstream>

#include "config/free_format_reader.hpp"
#include "driver/run.hpp"
#include "driver/simulation.hpp"
#include "test_support.hpp"

namespace fiamma {
namespace {

using testing::ScratchDir;

// The example flame, the controller off, run for `steps` steps (0: started
// up and projected onto the low-Mach constraint only).
struct FlameRun {
  ScratchDir dir;
  std::ostringstream console, err;
  std::unique_ptr<State> s;
  std::unique_ptr<MainValues> mv = std::make_unique<MainValues>();
  explicit FlameRun(const RunOptions& options = {}, int steps = 0, const char* tag = "'F'") {
    testing::write_file(dir / "eulero_test.dat",
                        testing::flame_config({{1, tag}, {9, std::to_string(steps)}, {10, "100000"}, {62, "0"}}));
    s = testing::make_state(dir.path(), console);
    s->diagnostics = &err;
    s->options = options;
    start_up(*s);
    run_sweeps(*s, *mv);
  }
  double velocity(int i) {
    Field rho_ns;
    mv->operators->apply(Operator::inter_st_ns, s->vvar[1], rho_ns);
    return s->vvar[4][i] / rho_ns[i];
  }
};

// The projected initial flame: the velocity has the prescribed divergence up
// to the iteration's tolerance over dx, the inflow at rest, the burnt gas
// leaving faster. Then 300 steps: the mass changes by what the boundaries
// let through (the compact derivative does not telescope exactly: measured
// 3e-6 relative, asserted at 1e-4) and the thermodynamic pressure keeps its
// value exactly. (The burning rate against the steady flame:
// tests/driver/until_settled_test.cpp.)
TEST(FlameRun, TheExampleFlameHoldsItsPhysics) {
  FlameRun run;
  State& s = *run.s;
  const int n = s.settings.n;
  Field v, dv;
  for (int i = 1; i <= n; ++i) v[i] = run.velocity(i);
  run.mv->operators->apply(Operator::der_prima_ns_st, v, dv);
  double worst = 0.0, largest = 0.0;
  for (int j = 1; j < n; ++j) {
    worst = std::max(worst, std::fabs(dv[j] - s.vvar_temp_div[1][j]));
    largest = std::max(largest, std::fabs(s.vvar_temp_div[1][j]));
  }
  EXPECT_TRUE(largest > 1e-4 && worst < kCorrectionTolerance / s.discr.dx) << worst << " of " << largest;
  EXPECT_TRUE(std::fabs(v[1]) < 1e-8 && v[n] > 0.01) << v[1] << " " << v[n];
  EXPECT_EQ(s.vvar[4], s.vvar[5]);
  for (int i = 1; i <= n; ++i) EXPECT_EQ(s.vvar[6][i], 0.0);

  const double p0 = s.vvar_2;
  auto mass = [&] {
    double m = 0.0;
    for (int j = 1; j < n; ++j) m += s.vvar[1][j] * s.discr.dx;
    return m;
  };
  const double m_start = mass();
  double flux_integral = 0.0;
  for (s.tempo.it = 1; s.tempo.it <= 300; ++s.tempo.it) {
    const double in0 = s.vvar[4][1], out0 = s.vvar[4][n];
    time_step(s, *run.mv);
    flux_integral += 0.5 * s.tempo.dt * ((in0 - out0) + (s.vvar[4][1] - s.vvar[4][n]));
  }
  EXPECT_GT(std::fabs(flux_integral), 1.0);
  EXPECT_NEAR(mass() - m_start, flux_integral, 1e-4 * std::fabs(flux_integral));
  EXPECT_EQ(s.vvar_2, p0);
}

// The initial projection: with the default absolute 5e-5 against velocities
// of order 1e-2 the iteration stops early; relative 1e-8 runs it close to its
// fixed point (relative 1e-13 here). The closing line names the tolerance.
TEST(CorrectionTolerance, RelativeToleranceConvergesTheConstraintFurther) {
  RunOptions tight, reference;
  tight.correction_tolerance = 1e-8;
  tight.correction_relative = reference.correction_relative = true;
  reference.correction_tolerance = 1e-13;
  FlameRun a, b(tight), r(reference);
  double err_a = 0.0, err_b = 0.0;
  for (int i = 1; i <= a.s->settings.n; ++i) {
    err_a = std::max(err_a, std::fabs(a.velocity(i) - r.velocity(i)));
    err_b = std::max(err_b, std::fabs(b.velocity(i) - r.velocity(i)));
  }
  EXPECT_LT(err_b, 1e-3 * err_a) << err_a << " " << err_b;
  EXPECT_GT(err_a, 1e-6);  // the default stop leaves a visible part of the constraint unmet (2.6e-6)
  EXPECT_GT(b.mv->correction.iterations, a.mv->correction.iterations + 3);
  EXPECT_NE(a.err.str().find(" correzioni di velocita': 1, iterazioni per correzione: media "), std::string::npos);
  EXPECT_NE(a.err.str().find("(tolleranza 5.0000000000000002E-05 assoluta)\n"), std::string::npos) << a.err.str();
  EXPECT_NE(b.err.str().find("(tolleranza 1.0000000000000000E-08 relativa)\n"), std::string::npos) << b.err.str();
  EXPECT_EQ(a.console.str(), b.console.str());  // standard output is the same whatever the tolerance
}

TEST(Snapshot, HeaderZoneAndValuesReadBack) {
  FlameRun run({}, 0, "'z'");
  const State& s = *run.s;
  const std::string text = testing::read_file(run.dir / "zpr000000.dat");
  const std::string header = " VARIABLES = \"x\", \"rho\", \"v\", \"th\",\"vh\",\"vp\",\"vm\",\"y1\",\"y2\",\"wwx\"";
  EXPECT_EQ(text.substr(0, 196), header + std::string(97 - header.size(), ' ') + "\n ZONE I =0257" +
                                     std::string(84, ' ') + "\n");
  EXPECT_TRUE(std::filesystem::exists(run.dir / "zpr000001.dat"));  // the final one carries it_end + 1
  FreeFormatReader reader(text.substr(196), "zpr000000.dat");
  for (int i = 1; i <= s.settings.n; ++i) {
    double v[10];
    reader.begin(i);
    for (double& x : v) reader.real(x, "valore");
    reader.end();
    EXPECT_DOUBLE_EQ(v[0], (i - 1) * s.discr.dx);
    EXPECT_NEAR(v[1] * v[3], s.vvar_2, 1e-9 * s.vvar_2);  // rho th = P
  }
}

}  // namespace
}  // namespace fiamma
