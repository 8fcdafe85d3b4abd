// Parametric sweeps of a few short flame runs: the table's header, zone line
// and rows, the step parameters and tags, resuming from the index file, the
// early end of a step and the parameter that writes no rows.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <memory>
#include <sstream>
#include <vector>

#include "config/sweep_parameters.hpp"
#include "core/free_format.hpp"
#include "driver/run.hpp"
#include "output/sweep_table.hpp"
#include "test_support.hpp"

namespace fiamma {
namespace {

using testing::read_file;
using testing::lines_of;
using testing::numbers_of;
using testing::ScratchDir;
using testing::write_file;

std::string padded(std::string text) { return " " + text + std::string(104 - text.size(), ' '); }

// The example flame as a sweep of `count` steps of `steps` time steps each.
struct SweepRun {
  ScratchDir dir;
  std::ostringstream console;
  std::map<int, std::string> records;

  SweepRun(int parameter, const std::string& start, const std::string& end, int count, int steps = 2) {
    records = {{9, std::to_string(steps)}, {10, "1"},  {74, "1"},
               {75, std::to_string(parameter)}, {76, start}, {77, end}, {78, std::to_string(count)}};
  }
  int run() {
    write_file(dir / "eulero_test.dat", testing::flame_config(records));
    console.str("");
    auto s = testing::make_state(dir.path(), console);
    return run_simulation(*s);
  }
  std::string table(const std::string& code) const { return read_file(dir / ("Fand" + code + ".dat")); }
  std::string resume() const { return read_file(dir / "i_and_min.dat"); }
};

TEST(Sweep, TableHeaderZoneRowsTagsAndResumeFile) {
  SweepRun sw(1, "1.2", "1.6", 4);
  ASSERT_EQ(sw.run(), 0);
  const std::string console = sw.console.str();
  EXPECT_NE(console.find(" opfileFandga.dat" + std::string(86, ' ') + "\n"), std::string::npos);
  for (int i = 1; i <= 4; ++i) {
    const std::string v = format_real(1.2 + (i - 1) * ((1.6 - 1.2) / 4));
    EXPECT_NE(console.find(" ANDAMENTI. GAMMAG: " + v + "\n"), std::string::npos) << v;
  }
  const auto lines = lines_of(sw.table("ga"));
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(lines[0], padded(sweep_header(1)));
  EXPECT_EQ(lines[0].substr(0, 42), " VARIABLES = \"ga\",\"M_l_num\",\"M_l_ana\",\"rho");
  EXPECT_EQ(lines[1], padded("ZONE"));
  const double gammas[] = {1.2, 1.3, 1.4, 1.5};
  for (int r = 0; r < 4; ++r) {
    const auto v = numbers_of(lines[2 + r]);
    ASSERT_EQ(v.size(), 10u);
    EXPECT_NEAR(v[0], gammas[r], 1e-15);
    EXPECT_EQ(v[6], 1000);  // n_stab
    EXPECT_EQ(v[8], 0);     // two steps do not settle a flame
    EXPECT_EQ(v[9], 3);     // it_end + 1
    EXPECT_GT(v[2], 0.0);
    EXPECT_NEAR(v[5], 1.0 / v[2], 1e-12 * v[5]);  // analytic thickness 1/m
    // each step's files carry its letter
    const std::string tag(1, static_cast<char>('A' + r));
    EXPECT_TRUE(std::filesystem::exists(sw.dir / (tag + "pr000003.dat"))) << tag;
    EXPECT_TRUE(std::filesystem::exists(sw.dir / (tag + "sf_delta.dat"))) << tag;
  }
  EXPECT_EQ(sw.resume(), " 5\n");
  EXPECT_NE(console.find(" varianza: "), std::string::npos);
}

TEST(Sweep, ResumesAtTheIndexAndAppendsAHeaderBlockPerSweep) {
  SweepRun sw(3, "0.8", "1.2", 4);
  write_file(sw.dir / "i_and_min.dat", " 3\n");
  ASSERT_EQ(sw.run(), 0);
  EXPECT_FALSE(std::filesystem::exists(sw.dir / "Apr000000.dat"));
  EXPECT_TRUE(std::filesystem::exists(sw.dir / "Cpr000000.dat"));
  EXPECT_EQ(sw.resume(), " 5\n");
  auto lines = lines_of(sw.table("Le"));
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_NEAR(numbers_of(lines[2])[0], 1.0, 1e-15);
  EXPECT_NEAR(numbers_of(lines[3])[0], 1.1, 1e-15);

  // the index beyond the count: no step, a second header block, the index rewritten
  ASSERT_EQ(sw.run(), 0);
  EXPECT_EQ(sw.console.str().find("ANDAMENTI"), std::string::npos);
  lines = lines_of(sw.table("Le"));
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(lines[4], padded(sweep_header(3)));
  EXPECT_EQ(lines[5], padded("ZONE"));
  EXPECT_EQ(sw.resume(), " 5\n");

  // a single run in the same directory runs nothing either
  sw.records[74] = "0";
  ASSERT_EQ(sw.run(), 0);
  EXPECT_EQ(sw.console.str().find("Main: ires"), std::string::npos);
}

TEST(Sweep, StepEndsWhenTheFrontSpeedIsExactlyZero) {
  // A front temperature level below every temperature puts the maximum of
  // -|th - level| at node 1 at every step: the front stays at x = 0 and its
  // speed is exactly 0 from the second step on. The first step, which has
  // no earlier position, reports 0 without ending the step.
  SweepRun sw(4, "1.0d5", "1.2d5", 2, 5);
  sw.records[61] = "2";
  sw.records[63] = "1000 100.0";
  ASSERT_EQ(sw.run(), 0);
  const auto lines = lines_of(sw.table("Da"));
  ASSERT_EQ(lines.size(), 4u);
  for (int r : {2, 3}) {
    const auto v = numbers_of(lines[r]);
    EXPECT_EQ(v[9], 2);  // it_fin: the iteration at which the loop was left
  }
  EXPECT_EQ(lines[0].substr(0, 19), " VARIABLES = \"Dam\",");
  // that iteration's output was written, and the final snapshot over it
  EXPECT_TRUE(std::filesystem::exists(sw.dir / "Apr000002.dat"));
  EXPECT_FALSE(std::filesystem::exists(sw.dir / "Apr000003.dat"));

  // a front that moves runs to the end
  SweepRun moving(4, "1.0d5", "1.2d5", 1, 5);
  ASSERT_EQ(moving.run(), 0);
  EXPECT_EQ(numbers_of(lines_of(moving.table("Da"))[2])[9], 6);
}

TEST(Sweep, ZeldovichIsStoredConvertedAndMachWritesNoRows) {
  SweepRun ze(5, "3000", "3200", 2, 1);
  ASSERT_EQ(ze.run(), 0);
  const auto lines = lines_of(ze.table("Ze"));
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_NEAR(numbers_of(lines[2])[0], 3000, 1e-11);
  EXPECT_NEAR(numbers_of(lines[3])[0], 3100, 1e-11);
  EXPECT_NE(ze.console.str().find(" ANDAMENTI. ZELDOVICH: " + format_real(3100.0) + "\n"), std::string::npos);
  // a higher activation temperature burns more slowly
  EXPECT_LT(numbers_of(lines[3])[2], numbers_of(lines[2])[2]);

  SweepRun ma(6, "0.01", "0.03", 2, 1);
  ASSERT_EQ(ma.run(), 0);
  EXPECT_EQ(lines_of(ma.table("Ma")).size(), 2u);
  EXPECT_NE(ma.console.str().find(" ANDAMENTI. MACH: " + format_real(0.01 + (0.03 - 0.01) / 2) + "\n"), std::string::npos);
  EXPECT_TRUE(std::filesystem::exists(ma.dir / "Bpr000002.dat"));
}

TEST(Sweep, StepValuesNeverReachTheEndValue) {
  std::ostringstream console;
  ScratchDir dir;
  auto s = testing::make_state(dir.path(), console);
  s->andam.sweep_parameter = 10;
  s->andam.sweep_start = 1.0;
  s->andam.sweep_count = 4;
  s->andam.sweep_step = (2.0 - 1.0) / 4;
  s->gass.y1_burnt = 0.3;
  const double expected[] = {1.0, 1.25, 1.5, 1.75};
  for (int i = 1; i <= 4; ++i) {
    crea_and(*s, i);
    EXPECT_EQ(s->gass.y1_fresh, expected[i - 1]);
    EXPECT_EQ(s->gass.y1_burnt, 0.0);
    EXPECT_EQ(s->addr.run_tag[0], 'A' + i - 1);
  }
  EXPECT_NE(console.str().find(" ANDAMENTI. FRAZIONE MASSICA MISCELA FREDDA: " + format_real(1.75) + "\n"), std::string::npos);
  s->andam.sweep_parameter = 5;
  s->gass.gamma = 1.4;
  crea_and(*s, 2);
  EXPECT_DOUBLE_EQ(s->gass.Zeldovich, 1.4 * 1.25 / 0.4);
}

}  // namespace
}  // namespace fiamma
