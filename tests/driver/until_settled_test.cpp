// The settled verdict and --until-settled on the example flame, run by the
// program itself: a run without steps, one stopped early, one settled to the
// tolerance (at the eigenvalue of the steady flame, computed here
// independently of the solver, its front at the anchor),
// one capped by it_end (exit status 6), and the verdict of windows of a
// settled state, lost when the run ends abnormally.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "driver/run.hpp"
#include "driver/simulation.hpp"
#include "output/summary.hpp"
#include "process_support.hpp"
#include "test_support.hpp"

namespace fiamma {
namespace {

using nlohmann::json;
using testing::read_file;
using testing::ScratchDir;

constexpr double kTol = 1e-5;

// The steady flame M th' = th'' + D1 w, M y1' = y1''/Le - w with
// w = Da rho y1 exp(-Ta/th) and rho = P/th. For Le = 1, th + D1 y1 is the
// burnt temperature everywhere, and p = dth/dx as a function of th obeys
// dp/dth = M - D1 w(th)/p, with p = 0 at both ends. The equation is
// integrated (RK4 in th) from the burnt end, where p ~ c (thb - th), to the
// fresh end; M is the root of the mismatch there, found by bisection. Below
// 5 % of the rise the reaction rate (1e-9 of its peak) is dropped, so that
// p = M (th - thf) there exactly: the usual cut of the cold-boundary
// difficulty, far below what the grid resolves.
struct SteadyFlame {
  double P, Da, Ta, thf, D1, y1f;

  double thb() const { return thf + D1 * y1f; }
  double d1w(double th) const { return Da * P * (thb() - th) / th * std::exp(-Ta / th); }

  double mismatch(double M, int steps) const {
    const double K = Da * P / thb() * std::exp(-Ta / thb());  // d1w ~ K (thb - th) near the burnt end
    const double c = 0.5 * (-M + std::sqrt(M * M + 4 * K));
    const double cut = thf + 0.05 * (thb() - thf);
    const double u0 = 1e-6 * (thb() - thf);
    double th = thb() - u0, p = c * u0;
    const double h = (th - cut) / steps;
    auto f = [&](double t, double q) { return M - d1w(t) / q; };
    for (int i = 0; i < steps; ++i) {
      const double k1 = f(th, p), k2 = f(th - h / 2, p - h / 2 * k1), k3 = f(th - h / 2, p - h / 2 * k2),
                   k4 = f(th - h, p - h * k3);
      p -= h / 6 * (k1 + 2 * k2 + 2 * k3 + k4);
      th -= h;
    }
    return p - M * (cut - thf);
  }

  double eigenvalue(int steps = 20000) const {
    // the mismatch is positive below the eigenvalue and negative above it
    double a = 1e-3;
    while (mismatch(2 * a, steps) > 0) a *= 2;
    double b = 2 * a;
    for (int i = 0; i < 100 && b - a > 1e-14 * b; ++i) {
      const double m = 0.5 * (a + b);
      if (mismatch(m, steps) > 0) {
        a = m;
      } else {
        b = m;
      }
    }
    return 0.5 * (a + b);
  }
};

struct Case {
  std::string name;
  std::vector<std::string> args;
  int status;
  const char* end;
  bool settled;
  std::function<void(const json& summary, const json& run, const std::string& err, const ScratchDir& dir)> more;
};

TEST(UntilSettled, VerdictAndEndOfTheExampleFlame) {
  const std::vector<Case> cases = {
      {"no step", {"--set", "it_end=0"}, 0, "normal", false,
       [](const json&, const json& r, const std::string&, const ScratchDir&) {
         EXPECT_TRUE(r["flame"]["settled_gap"].is_null());
       }},
      // three windows of the tracker's 1000 steps: an estimate, far from settled
      {"stopped early", {"--set", "it_end=3500"}, 0, "normal", false,
       [](const json&, const json& r, const std::string& err, const ScratchDir&) {
         EXPECT_GT(r["flame"]["settled_gap"].get<double>(), 10 * kTol);
         EXPECT_NE(err.find(" velocita' di combustione: "), std::string::npos);
         EXPECT_NE(err.find(", non assestata entro "), std::string::npos);
       }},
      {"until settled", {"--until-settled"}, 0, "normal", true,
       [](const json& j, const json& r, const std::string& err, const ScratchDir& dir) {
         const json& f = r["flame"];
         EXPECT_LT(r["it_final"].get<int>(), r["it_end"].get<int>());
         EXPECT_LE(f["settled_gap"].get<double>(), kTol / 2);
         // the example's anchor, 12 thermal lengths from the inflow, costs the
         // held flame 4.4e-6 of the eigenvalue (docs/accuracy.md)
         // the example's gas: P = 1e4 gamma/(gamma-1), Ta = 3085.714... gamma/(gamma-1), gamma 1.4
         const SteadyFlame steady{35000.0, 1e5, 3085.714285714286 * 3.5, 300.0, 1e4, 0.06};
         const double eig = steady.eigenvalue();
         EXPECT_NEAR(steady.eigenvalue(40000), eig, 1e-9 * eig);  // converged in its own step
         EXPECT_NEAR(f["M_l_num"].get<double>(), eig, kTol * eig);
         // the controller's fixed point: the front stands at the anchor
         EXPECT_NEAR(f["x_m"].get<double>(), f["x_anchor"].get<double>(), 1e-6);
         EXPECT_GE(r["settling"]["polishes"].get<int>(), 1);
         // The correction's bias on the settled rate is about X at n = 1025
         // (0.3 X at 257) for a relative tolerance X: it must stay far below TOL.
         EXPECT_TRUE(j["options"]["correction_relative"].get<bool>());
         EXPECT_LE(j["options"]["correction_tolerance"].get<double>(), kTol / 100);
         EXPECT_NE(err.find(", assestata entro "), std::string::npos);
         // files as at any end: the last snapshot, numbered by the last step
         EXPECT_TRUE(std::filesystem::exists(dir / ("Fpr" + std::string(6 - std::to_string(r["it_final"].get<int>()).size(), '0') +
                                                   std::to_string(r["it_final"].get<int>()) + ".dat")));
       }},
      {"capped", {"--until-settled=1e-5", "--set", "it_end=200"}, kExitUnsettled, "unsettled", false,
       [](const json& j, const json& r, const std::string& err, const ScratchDir& dir) {
         EXPECT_EQ(j["end"], "unsettled");
         EXPECT_NE(j["message"].get<std::string>().find("it_end"), std::string::npos);
         EXPECT_EQ(r["it_final"], 201);
         EXPECT_NE(err.find("non assestata entro 1.0000000000000001E-05 (distanza stimata non disponibile): "
                            "raggiunto il limite it_end = 200"),
                   std::string::npos);
         EXPECT_NE(err.find("fiamma: 1 simulazione non assestata"), std::string::npos);
         EXPECT_TRUE(std::filesystem::exists(dir / "Fpr000201.dat"));
         EXPECT_TRUE(std::filesystem::exists(dir / "Fsf_delta.dat"));
       }},
  };
  for (const Case& c : cases) {
    ScratchDir dir;
    testing::write_file(dir / "eulero_test.dat", testing::flame_config());
    testing::Child child(dir.path(), c.args);
    EXPECT_EQ(child.exit_code(), c.status) << c.name;
    const json j = json::parse(read_file(dir / "Fsummary.json"));
    const json& r = j["runs"][0];
    EXPECT_EQ(j["exit_status"], c.status) << c.name;
    EXPECT_EQ(r["end"], c.end) << c.name;
    EXPECT_EQ(r["flame"]["settled"].get<bool>(), c.settled) << c.name;
    EXPECT_EQ(r["flame"]["settled_tolerance"].get<double>(), kTol) << c.name;
    c.more(j, r, read_file(dir / "err.txt"), dir);
  }
}

TEST(UntilSettled, WindowsOfASettledFlameSayItUnlessTheRunEndsAbnormally) {
  // the example settled, then restarted from its last snapshot for 200 steps
  // with the correction converged and windows of 50 steps: four windows of a
  // rate that no longer moves
  ScratchDir dir;
  testing::write_file(dir / "eulero_test.dat", testing::flame_config());
  testing::Child settle(dir.path(), {"--until-settled"});
  ASSERT_EQ(settle.exit_code(), 0);
  const int last = json::parse(read_file(dir / "Fsummary.json"))["runs"][0]["it_final"].get<int>();
  char name[32];
  std::snprintf(name, sizeof name, "Fpr%06d.dat", last);
  // a neighbour started from that snapshot: taken for another Lewis number
  // (the polish and the verification window alone), refused for another
  // fresh gas (the profile instead, said on standard error)
  for (const char* change : {"Lewis=1.1", "th_fresh=310"}) {
    const bool same_gas = std::string(change).rfind("Lewis", 0) == 0;
    testing::Child neighbour(dir.path(), {"--until-settled", "--start-from", name, "--set", change, "--set", "run_tag=N"});
    ASSERT_EQ(neighbour.exit_code(), 0) << change;
    const json r = json::parse(read_file(dir / "Nsummary.json"))["runs"][0];
    EXPECT_EQ(r["settling"]["continued"].get<bool>(), same_gas) << change;
    EXPECT_EQ(r["it_final"].get<int>() <= 200, same_gas) << change;
    EXPECT_EQ(read_file(dir / "err.txt").find("il gas fresco dell'istantanea") == std::string::npos, same_gas) << change;
  }
  // (without the snapshot's companion: a restart that starts its own windows)
  std::filesystem::remove(dir / (std::string(".") + name + ".stato"));
  testing::write_file(dir / "eulero_test.dat", testing::flame_config({{8, std::to_string(last)},
                                                                     {9, std::to_string(last + 200)},
                                                                     {63, "50 0.5"},
                                                                     {67, "1"},
                                                                     {70, std::string("'") + name + "'"}}));
  std::ostringstream console, err;
  auto s = testing::make_state(dir.path(), console);
  s->diagnostics = &err;
  s->options.correction_tolerance = 1e-8;
  s->options.correction_relative = true;
  start_up(*s);
  auto mv = std::make_unique<MainValues>();
  run_sweeps(*s, *mv);
  SimulationResult& run = mv->record.runs.back();
  ASSERT_TRUE(run.flame);
  EXPECT_TRUE(run.flame->settled) << run.flame->settled_gap;
  EXPECT_NE(err.str().find("(assestata)\n velocita' di combustione: "), std::string::npos);
  // the same state, the run ended by a signal, a failure, or unsettled
  for (RunEnd end : {RunEnd::Interrupted, RunEnd::NonFinite, RunEnd::WriteFailure, RunEnd::Unsettled}) {
    run.finished = false;
    close_simulation_record(*s, *mv, end);
    EXPECT_LE(run.flame->settled_gap, kTol / 2);
    EXPECT_FALSE(run.flame->settled) << run_end_word(end);
  }
}

}  // namespace
}  // namespace fiamma
