// The restart from a snapshot (round trip against an uninterrupted run, the
// reader on a hand-written file, the file problems) and the test field.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <sstream>

#include "core/errors.hpp"
#include "driver/run.hpp"
#include "driver/simulation.hpp"
#include "initial/other_states.hpp"
#include "operators/operators.hpp"
#include "test_support.hpp"

namespace fiamma {
namespace {

using testing::flame_config;
using testing::read_file;
using testing::ScratchDir;
using testing::write_file;

struct FlameRunIn {
  std::ostringstream console;
  std::unique_ptr<State> s;
  std::unique_ptr<MainValues> mv = std::make_unique<MainValues>();
  FlameRunIn(const std::filesystem::path& dir, const std::map<int, std::string>& records) {
    write_file(dir / "eulero_test.dat", flame_config(records));
    s = testing::make_state(dir, console);
    start_up(*s);
    run_sweeps(*s, *mv);
  }
};

double largest_difference(const Field& a, const Field& b, int from, int to) {
  double d = 0.0;
  for (int i = from; i <= to; ++i) d = std::max(d, std::fabs(a[i] - b[i]));
  return d;
}

TEST(Restart, ContinuesTheExampleFlameLikeAnUninterruptedRun) {
  // Without the controller: after a restart the tracker has no earlier
  // position, so its first speed is 0 where the uninterrupted run measures
  // the front's motion, and the controller would act differently once.
  ScratchDir dir;
  const std::map<int, std::string> base = {{10, "200"}, {62, "0"}, {70, "'Fpr000200.dat'"}};
  auto records = base;
  records[9] = "400";
  FlameRunIn whole(dir.path(), records);  // writes Fpr000200.dat on the way
  const int n = whole.s->settings.n;

  // the restored fields at step 200 against the ones the snapshot was written from
  ScratchDir dir2;
  std::filesystem::copy_file(dir / "Fpr000200.dat", dir2 / "Fpr000200.dat");
  records = base;
  records[8] = "200";
  records[9] = "200";
  records[67] = "1";
  FlameRunIn at200(dir2.path(), records);
  EXPECT_NE(at200.console.str().find(" opfileFpr000200.dat"), std::string::npos);
  ScratchDir dir3;
  records = base;
  records[9] = "200";
  FlameRunIn first200(dir3.path(), records);
  const double rho_scale = 116.7;
  const double round_trip = largest_difference(at200.s->vvar[1], first200.s->vvar[1], 1, n - 1) / rho_scale;
  std::printf("density after the interpolation round trip: %.3e relative\n", round_trip);
  // The staggered fields come back through two compact interpolations,
  // staggered to nodes and back: on a front about twenty spacings wide their
  // error is a few parts in 1e9 (measured 3.2e-9), asserted below 1e-7.
  EXPECT_GT(round_trip, 0.0);
  EXPECT_LT(round_trip, 1e-7);
  EXPECT_EQ(at200.s->vvar_2, first200.s->vvar_2);
  EXPECT_LT(largest_difference(at200.s->vvar[4], first200.s->vvar[4], 1, n), 1e-15);
  EXPECT_EQ(at200.s->vvar[4], at200.s->vvar[5]);

  // and 200 steps further on
  ScratchDir dir4;
  std::filesystem::copy_file(dir / "Fpr000200.dat", dir4 / "Fpr000200.dat");
  records = base;
  records[8] = "200";
  records[9] = "400";
  records[67] = "1";
  FlameRunIn resumed(dir4.path(), records);
  EXPECT_TRUE(std::filesystem::exists(dir4 / "Fpr000401.dat"));
  EXPECT_FALSE(std::filesystem::exists(dir4 / "Fpr000000.dat"));
  const double later = largest_difference(resumed.s->vvar[1], whole.s->vvar[1], 1, n - 1) / rho_scale;
  const double temperature =
      largest_difference(resumed.s->vvar_temp_div[2], whole.s->vvar_temp_div[2], 1, n - 1) / 900.0;
  std::printf("after 200 more steps: density %.3e, temperature %.3e relative\n", later, temperature);
  // The flame is dissipative: the round-trip perturbation, mostly at the
  // grid scale, is damped (measured 4e-12 after 200 steps), not amplified.
  EXPECT_LT(later, round_trip);
  EXPECT_LT(temperature, round_trip);
}

// A snapshot written by hand: a uniform state, with one record split over
// two lines (free format) and comments after the values.
std::string uniform_snapshot(int n, double rho, double v, double th, int zone_points) {
  std::ostringstream f;
  f << " VARIABLES = \"x\", \"rho\", \"v\", \"th\",\"vh\",\"vp\",\"vm\",\"y1\",\"y2\",\"wwx\"\n";
  char zone[32];
  std::snprintf(zone, sizeof zone, " ZONE I =%04d\n", zone_points);
  f << zone;
  for (int i = 1; i <= n; ++i) {
    f << ' ' << (i - 1) * 0.1 << ' ' << rho << ' ' << v << ' ' << th << " 9 9 9 0.05 0.01 0\n";
  }
  return f.str();
}

struct RestartCase {
  ScratchDir dir;
  std::ostringstream console;
  std::unique_ptr<State> s;
  std::unique_ptr<OperatorSet> ops;
  explicit RestartCase(int n = 17) {
    s = testing::make_state(dir.path(), console);
    s->settings.n = n;
    s->discr.dx = 0.1;
    s->discr.i_thom = 2;
    s->comp.boundary_scheme_parameter() = 2.0;
    s->comp.interior_scheme_parameter() = 0.5;
    for (int i = 1; i <= n; ++i) s->grid2.spacing[i] = 0.1;
    ops = setup_operators(*s, n);
    s->addr.path_prefix_1.fill(' ');
    s->addr.path_prefix_1[0] = 'o';
    s->addr.path_prefix_1[1] = '/';
  }
  void names(const std::string& n1, const std::string& n2 = "") {
    for (auto* f : {&s->rrestart.name[1], &s->rrestart.name[2], &s->rrestart.name[3]}) f->fill(' ');
    n1.copy(s->rrestart.name[1].data(), n1.size());
    n2.copy(s->rrestart.name[2].data(), n2.size());
  }
  std::string problem() {
    try {
      res_inp(*s, *ops, s->settings.n, 2);
    } catch (const InputError& e) {
      return e.what();
    }
    return "";
  }
};

TEST(Restart, UniformSnapshotUnderARestartDirectory) {
  RestartCase c;
  std::filesystem::create_directories(c.dir / "old");
  write_file(c.dir / "old/state.dat", uniform_snapshot(17, 2.0, 0.25, 1.5, 17));
  c.names("state.dat", "old/");
  res_inp(*c.s, *c.ops, 17, 2);
  EXPECT_NE(c.console.str().find(" opfileold/state.dat" + std::string(83, ' ') + "\n"), std::string::npos);
  // the configured prefixes are back
  EXPECT_EQ(c.s->addr.path_prefix_1[0], 'o');
  EXPECT_EQ(c.s->addr.path_prefix_1[2], ' ');
  EXPECT_EQ(c.s->vvar_2, 3.0);
  for (int i = 1; i <= 17; ++i) {
    EXPECT_EQ(c.s->vvar[4][i], 0.5);
    EXPECT_EQ(c.s->vvar[5][i], 0.5);
  }
  for (int j = 1; j <= 16; ++j) {
    EXPECT_NEAR(c.s->vvar[1][j], 2.0, 1e-14);
    EXPECT_NEAR(c.s->vvar[2][j], 0.1, 1e-15);
    EXPECT_NEAR(c.s->vvar[3][j], 0.02, 1e-15);
    EXPECT_NEAR(c.s->vvar_temp_div[2][j], 1.5, 1e-14);
  }
  EXPECT_EQ(c.s->vvar[1][17], 1.0);
  EXPECT_EQ(c.s->vvar_rk[1][17], 1.0);
}

TEST(Restart, FileProblemsNameTheFileAndTheRecord) {
  RestartCase c;
  c.names("snap.dat");
  EXPECT_NE(c.problem().find("snap.dat: file di ripartenza mancante"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(c.dir / "snap.dat"));  // never created

  const std::string good = uniform_snapshot(17, 2.0, 0.25, 1.5, 17);
  write_file(c.dir / "snap.dat", good.substr(0, good.rfind('\n', good.size() - 2) + 1));  // last record gone
  EXPECT_NE(c.problem().find("16 record di dati"), std::string::npos) << c.problem();

  write_file(c.dir / "snap.dat", uniform_snapshot(33, 2.0, 0.25, 1.5, 33));
  EXPECT_NE(c.problem().find("record 2: l'istantanea ha 33 punti"), std::string::npos) << c.problem();
  write_file(c.dir / "snap.dat", uniform_snapshot(33, 2.0, 0.25, 1.5, 17));  // zone line edited
  EXPECT_NE(c.problem().find("33 record di dati"), std::string::npos);

  std::string bad = good;
  bad.replace(bad.find(" 0.25 ", bad.find("0.3 2 ")), 6, " 0.2x ");
  write_file(c.dir / "snap.dat", bad);
  EXPECT_NE(c.problem().find("record 6 (v)"), std::string::npos) << c.problem();

  write_file(c.dir / "snap.dat", uniform_snapshot(17, 0.0, 0.25, 1.5, 17));
  EXPECT_NE(c.problem().find("record 3 (nodo 1)"), std::string::npos) << c.problem();
}

TEST(TestField, ValuesAtTheNamedPoints) {
  RestartCase c(41);
  c.s->discr.domain_length = 4.0;
  ini_incomp_test(*c.s, *c.ops, 41, 2);
  auto v = std::make_unique<NodeValues>();
  test_field_node_values(*c.s, 41, *v);
  const State& s = *c.s;
  EXPECT_EQ(v->ini_y1[21], 0.07978975968216519);  // the centre node, x = 2
  EXPECT_NEAR(v->ini_y1[1], 0.07978975968216519 * std::exp(-4.0 / 50.0), 1e-17);
  for (int i = 1; i <= 41; ++i) {
    EXPECT_EQ(s.vvar[4][i], 1.0);
    EXPECT_EQ(s.vvar_rk[4][i], 1.0);
    EXPECT_EQ(s.vvar[5][i], (i == 1 || i == 41) ? 0.0 : 1.0);
    EXPECT_EQ(s.vvar[6][i], i == 1 ? 1.0 : 0.0);
    EXPECT_EQ(s.vvar[7][i], i == 41 ? 1.0 : 0.0);
  }
  for (int j = 1; j <= 40; ++j) {
    EXPECT_NEAR(s.vvar[1][j], 1.0, 1e-14);
    EXPECT_NEAR(s.vvar_temp_div[2][j], 1.0, 1e-14);
    EXPECT_EQ(s.vvar[3][j], 0.0);
  }
  EXPECT_EQ(s.vvar_2, 1.0);
}

}  // namespace
}  // namespace fiamma
