// The run summary: its keys, the burning rate against the last snapshot and
// the front history, the summaries of a stopped run and of a short sweep,
// and a summary that cannot be written.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "core/errors.hpp"
#include "driver/run.hpp"
#include "output/summary.hpp"
#include "test_support.hpp"

namespace fiamma {
namespace {

using nlohmann::json;
using testing::lines_of;
using testing::numbers_of;
using testing::read_file;
using testing::ScratchDir;
using testing::write_file;

// The example flame with some records replaced, run in its own folder.
struct SummaryRun {
  ScratchDir dir;
  std::ostringstream console;
  std::unique_ptr<State> s;

  explicit SummaryRun(std::map<int, std::string> records) {
    write_file(dir / "eulero_test.dat", testing::flame_config(records));
    s = testing::make_state(dir.path(), console);
  }
  int run(std::vector<std::string> args = {"--prova"}) {
    RunSetup setup;
    setup.command_line = std::move(args);
    return run_simulation(*s, setup);
  }
  json summary(const std::string& name = "Fsummary.json") const { return json::parse(read_file(dir / name)); }
};

void expect_keys(const json& j, const std::vector<std::string>& keys, const std::string& where) {
  ASSERT_TRUE(j.is_object()) << where;
  for (const auto& k : keys) EXPECT_TRUE(j.contains(k)) << where << ": no \"" << k << "\"";
  EXPECT_EQ(j.size(), keys.size()) << where << ": " << j.dump();
}

const std::vector<std::string> kTop = {"format", "format_version", "program_version", "end", "exit_status",
                                       "message", "command_line", "wall_time_s", "steps_done",
                                       "steps_per_second", "simulated_time", "configuration", "options",
                                       "sweep", "files", "runs"};
const std::vector<std::string> kRun = {"sweep_step", "run_tag", "parameter_value", "it_start", "it_end", "it_final",
                                       "steps", "time", "end", "correction", "flame", "settling"};
const std::vector<std::string> kFlame = {"x_m", "s", "del", "w_in", "s_cons", "var", "x_anchor", "rho_in",
                                         "M_l_num", "M_l_ana", "d_l_ana", "M_cons", "M_cons_relative_gap",
                                         "settled", "settled_tolerance", "settled_gap", "fl_st", "flame_times",
                                         "drift", "th_burnt", "th_adiabatic", "th_burnt_relative_gap",
                                         "conservation"};

// The file entry of `path`, or null.
json file_entry(const json& summary, const std::string& path) {
  for (const auto& f : summary["files"]) {
    if (f["path"] == path) return f;
  }
  return nullptr;
}

TEST(Summary, ShortFlameStatesItsBurningRateAsTheLastSnapshotAndHistoryGiveIt) {
  // 200 steps, a snapshot every 100 and a window of 50 steps: the history's
  // last record is that of step 200, the last snapshot holds the state after it
  SummaryRun run({{9, "200"}, {10, "100"}, {63, "50 0.5"}});
  ASSERT_EQ(run.run({"--set", "it_end=200"}), 0);
  const json j = run.summary();
  expect_keys(j, kTop, "summary");
  EXPECT_EQ(j["format"], "fiamma-summary");
  EXPECT_EQ(j["format_version"], 1);
  EXPECT_EQ(j["program_version"], "0.1.0");
  EXPECT_EQ(j["end"], "normal");
  EXPECT_EQ(j["exit_status"], 0);
  EXPECT_EQ(j["message"], "");
  EXPECT_EQ(j["command_line"], json({"--set", "it_end=200"}));
  EXPECT_EQ(j["steps_done"], 200);
  EXPECT_GT(j["wall_time_s"].get<double>(), 0.0);
  EXPECT_NEAR(j["steps_per_second"].get<double>(), 200.0 / j["wall_time_s"].get<double>(),
              1e-9 * j["steps_per_second"].get<double>());
  EXPECT_TRUE(j["sweep"].is_null());
  // the configuration as read: the Zeldovich number as configured, the
  // anchor fraction, the text records without their blanks
  const json& c = j["configuration"];
  EXPECT_EQ(c.size(), 82u);
  EXPECT_EQ(c["run_tag"], "F");
  EXPECT_EQ(c["path_prefix_1"], "");
  EXPECT_EQ(c["n"], 257);
  EXPECT_EQ(c["it_end"], 200);
  EXPECT_EQ(c["n_stab"], 50);
  EXPECT_DOUBLE_EQ(c["Zeldovich"].get<double>(), 3085.714285714286);
  EXPECT_EQ(c["restart_name_1"], "Fpr000000.dat");
  expect_keys(j["options"],
              {"overrides", "sweep_step", "correction_tolerance", "correction_relative", "settled_tolerance",
               "until_settled"},
              "options");

  // every file with its kind, step and time
  const State& s = *run.s;
  for (const auto& f : j["files"]) {
    expect_keys(f, {"path", "kind", "step", "time", "sweep_step"}, "file");
    EXPECT_TRUE(std::filesystem::exists(run.dir / f["path"].get<std::string>())) << f.dump();
  }
  EXPECT_EQ(file_entry(j, "post_dati.dat")["kind"], "parameters");
  EXPECT_EQ(file_entry(j, "i_and_min.dat")["kind"], "resume_index");
  EXPECT_EQ(file_entry(j, "Fsf_delta.dat")["kind"], "history");
  for (int step : {0, 100, 200, 201}) {
    char name[32];
    std::snprintf(name, sizeof name, "Fpr%06d.dat", step);
    const json f = file_entry(j, name);
    ASSERT_FALSE(f.is_null()) << name;
    EXPECT_EQ(f["kind"], "snapshot");
    EXPECT_EQ(f["step"], step);
    EXPECT_EQ(f["sweep_step"], 1);
  }
  EXPECT_DOUBLE_EQ(file_entry(j, "Fpr000201.dat")["time"].get<double>(), s.tempo.t);
  EXPECT_EQ(j["files"].size(), 7u);

  ASSERT_EQ(j["runs"].size(), 1u);
  const json& r = j["runs"][0];
  expect_keys(r, kRun, "run");
  EXPECT_EQ(r["run_tag"], "F");
  EXPECT_EQ(r["sweep_step"], 1);
  EXPECT_TRUE(r["parameter_value"].is_null());
  EXPECT_EQ(r["it_final"], 201);
  EXPECT_EQ(r["steps"], 200);
  EXPECT_EQ(r["end"], "normal");
  EXPECT_DOUBLE_EQ(r["time"].get<double>(), s.tempo.t);
  EXPECT_DOUBLE_EQ(j["simulated_time"].get<double>(), s.tempo.t);
  // three corrections a step (stages 2 and 3 and the step's end) and the
  // initial projection
  EXPECT_EQ(r["correction"]["corrections"], 601);
  EXPECT_GE(r["correction"]["iterations_max"].get<double>(), r["correction"]["iterations_mean"].get<double>());
  EXPECT_GE(r["correction"]["iterations_mean"].get<double>(), 2.0);  // never fewer than two

  const json& f = r["flame"];
  expect_keys(f, kFlame, "flame");
  // independently: rho at node 1 of the last snapshot, w_in and s of the
  // history's record of step 200
  const auto snap = lines_of(read_file(run.dir / "Fpr000201.dat"));
  const auto first_node = numbers_of(snap[2]);
  const auto hist = lines_of(read_file(run.dir / "Fsf_delta.dat"));
  const auto last = numbers_of(hist.back());
  ASSERT_EQ(last.size(), 16u);
  ASSERT_EQ(last[0], 200);
  const double w_in = last[6], speed = last[4];
  EXPECT_EQ(f["w_in"].get<double>(), w_in);
  EXPECT_EQ(f["s"].get<double>(), speed);
  EXPECT_EQ(f["x_m"].get<double>(), last[2]);
  EXPECT_EQ(f["del"].get<double>(), last[5]);
  EXPECT_EQ(f["s_cons"].get<double>(), last[15]);
  const double M = first_node[1] * (w_in - speed);
  // node 1 against staggered point 1 in the uniform fresh gas
  EXPECT_NEAR(f["M_l_num"].get<double>(), M, 1e-8 * std::fabs(M));
  EXPECT_NEAR(f["rho_in"].get<double>(), first_node[1], 1e-8 * first_node[1]);
  const double rho_in = f["rho_in"].get<double>();
  EXPECT_DOUBLE_EQ(f["M_l_num"].get<double>(), rho_in * (w_in - speed));
  EXPECT_DOUBLE_EQ(f["M_cons"].get<double>(), rho_in * last[15]);
  EXPECT_DOUBLE_EQ(f["M_cons_relative_gap"].get<double>(),
                   (rho_in * last[15] - f["M_l_num"].get<double>()) / f["M_l_num"].get<double>());
  // the analytic estimate: thickness 1/m, the fresh density of the report
  EXPECT_NEAR(f["d_l_ana"].get<double>() * f["M_l_ana"].get<double>(), 1.0, 1e-12);
  EXPECT_EQ(f["fl_st"].get<int>(), f["var"].get<double>() <= 1e-12 ? 1 : 0);
  EXPECT_FALSE(f["settled"].get<bool>());  // 200 steps do not settle a flame
  // the window is full after 200 steps of a 50-step window
  ASSERT_TRUE(f["drift"].is_number());
  EXPECT_TRUE(std::isfinite(f["drift"].get<double>()));
  // burnt temperature: the last snapshot's outflow, adiabatic th_fresh + D_1 y1_fresh
  const auto last_node = numbers_of(snap.back());
  EXPECT_NEAR(f["th_burnt"].get<double>(), last_node[3], 1e-6 * last_node[3]);
  EXPECT_DOUBLE_EQ(f["th_adiabatic"].get<double>(), 300.0 + 10000.0 * 0.06);
  EXPECT_NEAR(f["x_anchor"].get<double>(), 0.5 * s.discr.domain_length, 1e-12 * s.discr.domain_length);
  // conservation: the same burnt temperature and consumption gap, the drift
  // over the window per flame time rho_in / M^2
  const json& cons = f["conservation"];
  expect_keys(cons, {"burnt_temperature_relative", "mass_flux_spread", "consumption_vs_inflow", "drift_per_flame_time"},
              "conservation");
  EXPECT_NEAR(cons["burnt_temperature_relative"].get<double>(), f["th_burnt_relative_gap"].get<double>(), 1e-12);
  EXPECT_NEAR(cons["consumption_vs_inflow"].get<double>(), f["M_cons_relative_gap"].get<double>(), 1e-12);
  const double Ml = f["M_l_num"].get<double>();
  EXPECT_NEAR(cons["drift_per_flame_time"].get<double>(),
              f["drift"].get<double>() * (rho_in / (Ml * Ml)) / (49 * s.tempo.dt), 1e-9);
  EXPECT_GT(cons["mass_flux_spread"].get<double>(), 0.0);
  EXPECT_FALSE(std::filesystem::exists(run.dir / "Fsummary.json.tmp"));
}

TEST(Summary, StoppedRunStatesItsEndAndWhatItWrote) {
  SummaryRun run({{9, "20"}, {32, "2"}});
  EXPECT_THROW(run.run(), RunStopped);
  const json j = run.summary();
  expect_keys(j, kTop, "summary");
  EXPECT_EQ(j["end"], "stopped");
  EXPECT_EQ(j["exit_status"], 3);
  EXPECT_NE(j["message"].get<std::string>(), "");
  EXPECT_EQ(j["steps_done"], 0);
  EXPECT_EQ(j["configuration"]["reaction_order"], 2);
  ASSERT_EQ(j["runs"].size(), 1u);
  const json& r = j["runs"][0];
  EXPECT_EQ(r["end"], "stopped");
  EXPECT_EQ(r["steps"], 0);
  EXPECT_EQ(r["it_final"], 0);
  ASSERT_TRUE(r["flame"].is_object());
  expect_keys(r["flame"], kFlame, "flame");
  EXPECT_TRUE(r["flame"]["drift"].is_null());  // no window measured yet
  // the parameter file and the history were written before the stop, no snapshot
  EXPECT_FALSE(file_entry(j, "post_dati.dat").is_null());
  EXPECT_FALSE(file_entry(j, "Fsf_delta.dat").is_null());
  EXPECT_TRUE(file_entry(j, "Fpr000000.dat").is_null());
}

TEST(Summary, InputErrorAfterTheConfigurationEndsWithASummaryButABadConfigurationWithout) {
  // a non-uniform grid without its grid file: the configuration was read
  SummaryRun run({{5, "1"}, {9, "2"}});
  EXPECT_THROW(run.run(), InputError);
  const json j = run.summary();
  EXPECT_EQ(j["end"], "bad_input");
  EXPECT_EQ(j["exit_status"], 2);
  EXPECT_NE(j["message"].get<std::string>().find("grid.dat"), std::string::npos) << j["message"];
  ASSERT_EQ(j["runs"].size(), 1u);
  EXPECT_EQ(j["runs"][0]["end"], "bad_input");

  SummaryRun bad({{4, "1100"}});
  EXPECT_THROW(bad.run(), InputError);
  EXPECT_FALSE(std::filesystem::exists(bad.dir / "Fsummary.json"));
}

TEST(Summary, ShortSweepStatesEachStepAndReplacesTheEarlierSummary) {
  SummaryRun run({{9, "2"}, {10, "1"}, {74, "1"}, {75, "1"}, {76, "1.2"}, {77, "1.6"}, {78, "2"}});
  write_file(run.dir / "Fsummary.json", "earlier\n");
  ASSERT_EQ(run.run(), 0);
  const json j = run.summary();
  expect_keys(j, kTop, "summary");
  EXPECT_EQ(j["end"], "normal");
  EXPECT_EQ(j["steps_done"], 4);
  expect_keys(j["sweep"], {"parameter", "code", "count", "first_step", "table"}, "sweep");
  EXPECT_EQ(j["sweep"]["parameter"], 1);
  EXPECT_EQ(j["sweep"]["code"], "ga");
  EXPECT_EQ(j["sweep"]["count"], 2);
  EXPECT_EQ(j["sweep"]["first_step"], 1);
  EXPECT_EQ(j["sweep"]["table"], "Fandga.dat");
  ASSERT_EQ(j["runs"].size(), 2u);
  const char* tags[] = {"A", "B"};
  const double gammas[] = {1.2, 1.4};
  const auto table = lines_of(read_file(run.dir / "Fandga.dat"));
  ASSERT_EQ(table.size(), 4u);
  for (int k = 0; k < 2; ++k) {
    const json& r = j["runs"][k];
    expect_keys(r, kRun, "run");
    EXPECT_EQ(r["sweep_step"], k + 1);
    EXPECT_EQ(r["run_tag"], tags[k]);
    EXPECT_NEAR(r["parameter_value"].get<double>(), gammas[k], 1e-15);
    EXPECT_EQ(r["steps"], 2);
    EXPECT_EQ(r["it_final"], 3);
    EXPECT_EQ(r["end"], "normal");
    // the step's row of the table, to the digit
    const auto row = numbers_of(table[2 + k]);
    EXPECT_EQ(r["flame"]["M_l_num"].get<double>(), row[1]);
    EXPECT_EQ(r["flame"]["M_l_ana"].get<double>(), row[2]);
    EXPECT_EQ(r["flame"]["rho_in"].get<double>(), row[3]);
    EXPECT_EQ(r["flame"]["var"].get<double>(), row[7]);
    EXPECT_EQ(r["flame"]["fl_st"].get<int>(), row[8]);
    EXPECT_TRUE(r["flame"]["drift"].is_null());  // 2 steps in a 1000-step window
    for (const char* form : {"%spr000000.dat", "%spr000002.dat", "%spr000003.dat", "%ssf_delta.dat"}) {
      char name[32];
      std::snprintf(name, sizeof name, form, tags[k]);
      const json f = file_entry(j, name);
      ASSERT_FALSE(f.is_null()) << name;
      EXPECT_EQ(f["sweep_step"], k + 1) << name;
    }
  }
  EXPECT_EQ(file_entry(j, "Fandga.dat")["kind"], "sweep_table");
  // the resume file last holds the count + 1, which is no step
  EXPECT_TRUE(file_entry(j, "i_and_min.dat")["sweep_step"].is_null());
  EXPECT_EQ(j["files"].size(), 3u + 2u * 5u);  // four snapshots and a history per step
}

TEST(Summary, UnwritableSummaryLeavesNoTemporaryAndKeepsTheFirstFailure) {
  // a prefix naming a folder that does not exist: the first tagged file fails
  SummaryRun run({{2, "'missing/'"}, {9, "2"}});
  std::string failure;
  try {
    run.run();
  } catch (const std::exception& e) {
    failure = e.what();
  }
  EXPECT_NE(failure.find("missing/Fsf_delta.dat"), std::string::npos) << failure;
  EXPECT_FALSE(std::filesystem::exists(run.dir / "missing"));
  EXPECT_TRUE(std::filesystem::exists(run.dir / "post_dati.dat"));
}

TEST(Summary, NamedByTagAndPrefixesOrByTheSweepStep) {
  auto state = std::make_unique<State>();
  State& s = *state;
  RunRecord r;
  r.configured_tag = 'q';
  s.addr.run_tag[0] = 'C';  // a sweep step's letter does not name the summary
  std::string prefix = "out/";
  std::copy(prefix.begin(), prefix.end(), s.addr.path_prefix_1.begin());
  std::string second = "run1_";
  std::copy(second.begin(), second.end(), s.addr.path_prefix_2.begin());
  EXPECT_EQ(summary_path(s, r), "out/run1_qsummary.json");
  s.options.sweep_step = 4;
  EXPECT_EQ(summary_path(s, r), "out/run1_Dsummary.json");
}

TEST(Summary, NonFiniteValuesAreNull) {
  auto state = std::make_unique<State>();
  State& s = *state;
  RunRecord r;
  SimulationResult run;
  run.time = NAN;
  FlameResult f;
  f.x_m = INFINITY;
  f.M_l_num = 0.0;  // gaps divide by it
  run.flame = f;
  r.runs.push_back(run);
  const json j = json::parse(summary_text(s, r, RunEnd::NonFinite, kExitNonFinite, "campo non finito"));
  EXPECT_EQ(j["end"], "non_finite");
  EXPECT_EQ(j["exit_status"], 4);
  EXPECT_TRUE(j["runs"][0]["time"].is_null());
  EXPECT_TRUE(j["runs"][0]["flame"]["x_m"].is_null());
  EXPECT_TRUE(j["runs"][0]["flame"]["M_cons_relative_gap"].is_null());
  EXPECT_TRUE(j["runs"][0]["flame"]["drift"].is_null());
}

}  // namespace
}  // namespace fiamma
