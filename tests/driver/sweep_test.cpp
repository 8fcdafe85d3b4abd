// Parametric sweeps: each parameter's value, console text, file code and
// header name; the table's header, zone line and rows of a few short flame
// runs; resuming from the index file; the early end of a step; the
// parameter that writes no rows.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <memory>
#include <sstream>
#include <vector>

#include "config/sweep_parameters.hpp"
#include "core/free_format.hpp"
#include "output/sweep_table.hpp"
#include "test_support.hpp"

namespace fiamma {
namespace {

using testing::lines_of;
using testing::numbers_of;
using testing::read_file;
using testing::ScratchDir;
using testing::write_file;

// A line of the table: one blank, the text padded to 104 characters.
std::string padded(std::string text) { return " " + text + std::string(104 - text.size(), ' '); }
std::string header(const std::string& first) {
  return padded("VARIABLES = \"" + first + "\",\"M_l_num\",\"M_l_ana\",\"rho_ing\",\"del\",\"d_l_ana\",\"n_stab\",\"vari\","
                "\"fl_st\",\"it_fin\"");
}

TEST(Sweep, EachParameterSetsItsValueWithItsTextCodeAndHeader) {
  struct Case {
    int p;
    const char *console, *code, *first;
    double Gass::*field;
    double stored;  // step 2 of a sweep from 1 by 0.25
  };
  const Case cases[] = {
      {1, "GAMMAG", "ga", "ga", &Gass::gamma, 1.25}, {2, "PRANDTL", "Pr", "Pr", &Gass::Prandtl, 1.25},
      {3, "LEWIS", "Le", "Le", &Gass::Lewis, 1.25}, {4, "DAMKOHLER", "Da", "Dam", &Gass::Damkohler, 1.25},
      {5, "ZELDOVICH", "Ze", "Ze", &Gass::Zeldovich, 1.4 * 1.25 / 0.4},  // stored converted with gamma 1.4
      {6, "MACH", "Ma", "Ma", &Gass::Mach, 1.25}, {7, "N_EXPO", "ne", "n_exp", &Gass::n_exp, 1.25},
      {8, "PHI_ER", "OR", "or_re", &Gass::equivalence_ratio, 1.25},
      {9, "TEMP. MISCELA FREDDA", "Tf", "th_fr", &Gass::th_fresh, 1.25},
      {10, "FRAZIONE MASSICA MISCELA FREDDA", "Yf", "y1_f", &Gass::y1_fresh, 1.25},
  };
  for (const auto& c : cases) {
    std::ostringstream console;
    auto s = testing::make_state(".", console);
    s->gass.gamma = 1.4;
    s->gass.y1_burnt = 0.3;
    s->andam.sweep_parameter = c.p;
    s->andam.sweep_start = 1.0;
    s->andam.sweep_step = 0.25;
    crea_and(*s, 2);
    EXPECT_EQ(console.str(), std::string(" ANDAMENTI. ") + c.console + ": 1.2500000000000000\n") << c.p;
    EXPECT_DOUBLE_EQ(s->gass.*c.field, c.stored) << c.p;
    EXPECT_EQ(s->gass.y1_burnt, c.p == 10 ? 0.0 : 0.3) << c.p;
    EXPECT_EQ(s->addr.run_tag[0], 'B');
    EXPECT_STREQ(sweep_file_code(c.p), c.code);
    EXPECT_EQ(padded(sweep_header(c.p)), header(c.first)) << c.p;
  }
}

// The example flame as a sweep of `count` steps of `steps` time steps each.
struct SweepRun {
  ScratchDir dir;
  std::ostringstream console;
  std::map<int, std::string> records;
  SweepRun(int parameter, const std::string& start, const std::string& end, int count, int steps = 2)
      : records{{9, std::to_string(steps)}, {10, "1"}, {74, "1"}, {75, std::to_string(parameter)},
                {76, start}, {77, end}, {78, std::to_string(count)}} {}
  int run() {
    write_file(dir / "eulero_test.dat", testing::flame_config(records));
    console.str("");
    auto s = testing::make_state(dir.path(), console);
    s->diagnostics = &console;
    return run_simulation(*s);
  }
  std::vector<std::string> table(const std::string& code) const {
    return lines_of(read_file(dir / ("Fand" + code + ".dat")));
  }
  std::string resume() const { return read_file(dir / "i_and_min.dat"); }
};

TEST(Sweep, TableHeaderZoneRowsTagsAndResumeFile) {
  // gamma from 1.2 to 1.6 in 4 steps: 1.2, 1.3, 1.4, 1.5, never 1.6
  SweepRun sw(1, "1.2", "1.6", 4);
  ASSERT_EQ(sw.run(), 0);
  const std::string console = sw.console.str();
  EXPECT_NE(console.find(" opfileFandga.dat" + std::string(86, ' ') + "\n"), std::string::npos);
  const auto lines = sw.table("ga");
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(lines[0], header("ga"));
  EXPECT_EQ(lines[1], padded("ZONE"));
  for (int r = 0; r < 4; ++r) {
    const auto v = numbers_of(lines[2 + r]);
    ASSERT_EQ(v.size(), 10u);
    EXPECT_NEAR(v[0], 1.2 + 0.1 * r, 1e-15);
    EXPECT_EQ(v[6], 1000);  // n_stab
    EXPECT_EQ(v[8], 0);     // two steps do not settle a flame
    EXPECT_EQ(v[9], 3);     // it_end + 1
    EXPECT_NEAR(v[5], 1.0 / v[2], 1e-12 * v[5]);  // analytic thickness 1/m
  }
  EXPECT_EQ(console.find(" ANDAMENTI. GAMMAG: 1.6"), std::string::npos);
  EXPECT_EQ(sw.resume(), " 5\n");
}

TEST(Sweep, PastItsLastStepASweepAppendsAHeaderBlockAndRunsNothing) {
  // (a resume within the sweep: the kill tests' resumed sweep)
  SweepRun sw(3, "0.8", "1.2", 4);
  write_file(sw.dir / "i_and_min.dat", " 3\n");
  ASSERT_EQ(sw.run(), 0);
  EXPECT_FALSE(std::filesystem::exists(sw.dir / "Apr000000.dat"));
  auto lines = sw.table("Le");
  ASSERT_EQ(lines.size(), 4u);
  // the index beyond the count: no step, a second header block, the index rewritten
  ASSERT_EQ(sw.run(), 0);
  EXPECT_EQ(sw.console.str().find("ANDAMENTI"), std::string::npos);
  lines = sw.table("Le");
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(lines[4], header("Le"));
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
  const auto lines = sw.table("Da");
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(numbers_of(lines[2])[9], 2);  // it_fin: the iteration at which the loop was left
  EXPECT_EQ(numbers_of(lines[3])[9], 2);
  // that iteration's output was written, and the final snapshot over it
  EXPECT_TRUE(std::filesystem::exists(sw.dir / "Apr000002.dat"));
  EXPECT_FALSE(std::filesystem::exists(sw.dir / "Apr000003.dat"));
  // a front that moves runs to the end
  SweepRun moving(4, "1.0d5", "1.2d5", 1, 5);
  ASSERT_EQ(moving.run(), 0);
  EXPECT_EQ(numbers_of(moving.table("Da")[2])[9], 6);
}

TEST(Sweep, AFlameIsSettledOnlyBelowAWindowVarianceOf1e12) {
  // the example held for 8000 steps: the variance of its window has fallen to
  // about 4e-11 (1.2e-12 after 12000, 5e-15 after 20000), not yet settled
  SweepRun sw(3, "1.0", "2.0", 1, 8000);
  sw.records[10] = "100000";
  ASSERT_EQ(sw.run(), 0);
  const auto row = numbers_of(sw.table("Le")[2]);
  ASSERT_GT(row[7], 1e-12);
  ASSERT_LT(row[7], 1e-10);
  EXPECT_EQ(row[8], 0);
}

TEST(Sweep, ZeldovichTabulatedAsSetAndMachWritesNoRows) {
  SweepRun ze(5, "3000", "3200", 2, 1);
  ASSERT_EQ(ze.run(), 0);
  const auto lines = ze.table("Ze");
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_NEAR(numbers_of(lines[2])[0], 3000, 1e-11);
  EXPECT_NEAR(numbers_of(lines[3])[0], 3100, 1e-11);
  // a higher activation temperature burns more slowly
  EXPECT_LT(numbers_of(lines[3])[2], numbers_of(lines[2])[2]);
  SweepRun ma(6, "0.01", "0.03", 2, 1);
  ASSERT_EQ(ma.run(), 0);
  EXPECT_EQ(ma.table("Ma").size(), 2u);
  EXPECT_TRUE(std::filesystem::exists(ma.dir / "Bpr000002.dat"));
}

}  // namespace
}  // namespace fiamma
