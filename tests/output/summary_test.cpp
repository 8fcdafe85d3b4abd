// The run summary: every field with its JSON type (as docs/guide.md and
// docs/accuracy.md give them); a flame's burning rate as
// its last snapshot and front history give it; the summaries of a sweep, of
// a stopped run and of a run refused after its configuration.
#include "output/summary.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "core/errors.hpp"
#include "test_support.hpp"

namespace fiamma {
namespace {

using nlohmann::json;
using testing::lines_of;
using testing::numbers_of;
using testing::read_file;
using testing::ScratchDir;
using testing::write_file;

// The type of every field: s text, i integer, n number (an integer too),
// b boolean, o object, a array, 0 null (a number that is not finite, or a
// part that does not apply). The elements of an array are named with [],
// the flame's fields with "f." and its conservation check's with "c.".
const std::map<std::string, std::string> kSchema = [] {
  const std::map<std::string, std::string> by_type = {
      {"s", "format program_version end message command_line[] options.overrides[][] sweep.code sweep.table "
            "files[].path files[].kind runs[].run_tag runs[].end"},
      {"i", "format_version exit_status steps_done options.sweep_step sweep.parameter sweep.count sweep.first_step "
            "f.fl_st runs[].settling.polish_attempts runs[].settling.polishes runs[].settling.polish_steps "
            "runs[].settling.pseudo_steps "
            "runs[].sweep_step runs[].it_start runs[].it_end runs[].it_final runs[].steps runs[].correction.corrections "
            "runs[].correction.iterations_max"},
      {"i0", "files[].step files[].sweep_step"},
      {"n", "wall_time_s options.correction_tolerance options.settled_tolerance runs[].correction.iterations_mean"},
      {"n0", "steps_per_second simulated_time files[].time runs[].parameter_value runs[].time f.x_m f.s f.del f.w_in "
             "f.s_cons f.var f.x_anchor f.rho_in f.M_l_num f.M_l_ana f.d_l_ana f.M_cons f.M_cons_relative_gap f.drift "
             "f.settled_tolerance f.settled_gap f.flame_times "
             "f.th_burnt f.th_adiabatic f.th_burnt_relative_gap c.burnt_temperature_relative c.mass_flux_spread "
             "c.consumption_vs_inflow c.drift_per_flame_time"},
      {"b", "options.correction_relative options.until_settled f.settled runs[].settling.continued"},
      {"o", "configuration options files[] runs[] runs[].correction"},
      {"o0", "sweep runs[].flame runs[].settling f.conservation"},
      {"a", "command_line options.overrides options.overrides[] files runs"},
      {"isn0", "configuration.*"}};
  std::map<std::string, std::string> m = {{"", "o"}};  // the summary itself
  for (const auto& [type, names] : by_type) {
    std::istringstream in(names);
    for (std::string name; in >> name;) {
      if (name.starts_with("f.")) name = "runs[].flame." + name.substr(2);
      if (name.starts_with("c.")) name = "runs[].flame.conservation." + name.substr(2);
      m[name] = type;
    }
  }
  return m;
}();

// Checks every field of `j` against the schema; notes the fields met.
void check_types(const json& j, const std::string& path, std::set<std::string>& met) {
  const std::string key = path.rfind("configuration.", 0) == 0 ? "configuration.*" : path;
  const auto it = kSchema.find(key);
  if (it == kSchema.end()) {
    ADD_FAILURE() << "undocumented field " << path;
    return;
  }
  met.insert(key);
  const char kind = j.is_null() ? '0' : j.is_string() ? 's' : j.is_boolean() ? 'b' : j.is_number_integer() ? 'i'
                  : j.is_number() ? 'n' : j.is_object() ? 'o' : 'a';
  const std::string& allowed = it->second;
  EXPECT_TRUE(allowed.find(kind) != std::string::npos || (kind == 'i' && allowed.find('n') != std::string::npos))
      << path << " = " << j.dump() << ", of type " << kind << " where " << allowed << " is documented";
  if (j.is_object()) {
    for (const auto& [k, v] : j.items()) check_types(v, path.empty() ? k : path + "." + k, met);
  }
  if (j.is_array()) {
    for (const auto& v : j) check_types(v, path + "[]", met);
  }
}

json summary_of(const ScratchDir& dir, const std::string& name = "Fsummary.json") {
  return json::parse(read_file(dir / name));
}

// The fields of `j` named in `expected` compared with it.
void expect_fields(const json& j, const json& expected) {
  for (const auto& [k, v] : expected.items()) EXPECT_EQ(j[k], v) << k;
}

// The file entry of `path`, or null.
json file_entry(const json& summary, const std::string& path) {
  for (const auto& f : summary["files"]) {
    if (f["path"] == path) return f;
  }
  return nullptr;
}

TEST(Summary, EveryFieldHasItsType) {
  // A sweep of two steps and a stopped run: every part that applies met
  // between them.
  ScratchDir sweep, stopped;
  write_file(sweep / "eulero_test.dat",
             testing::flame_config({{9, "9"}, {10, "1"}, {74, "1"}, {75, "1"}, {76, "1.2"}, {77, "1.6"}, {78, "2"}}));
  ASSERT_EQ(testing::run_program(sweep.path(), "--set it_end=2"), 0);
  write_file(stopped / "eulero_test.dat", testing::flame_config({{9, "20"}, {32, "2"}}));
  ASSERT_EQ(testing::run_program(stopped.path()), 3);
  // and a flame capped unsettled by --until-settled: how it settled
  ScratchDir capped;
  write_file(capped / "eulero_test.dat", testing::flame_config({{9, "3"}}));
  ASSERT_EQ(testing::run_program(capped.path(), "--until-settled"), 6);
  std::set<std::string> met;
  for (const ScratchDir* d : {&sweep, &stopped, &capped}) check_types(summary_of(*d), "", met);
  for (const auto& [key, type] : kSchema) EXPECT_TRUE(met.count(key)) << key << " never written";

  // the sweep: one run per step, with its parameter value and its files
  const json j = summary_of(sweep);
  ASSERT_EQ(j["runs"].size(), 2u);
  EXPECT_NEAR(j["runs"][1]["parameter_value"].get<double>(), 1.4, 1e-15);
  EXPECT_EQ(file_entry(j, "Bpr000003.dat")["sweep_step"], 2);
  EXPECT_TRUE(file_entry(j, "i_and_min.dat")["sweep_step"].is_null());  // the count + 1, which is no step

  // the stopped run: the parameter file and the history were written before
  // the stop, no snapshot; no window measured
  const json s = summary_of(stopped);
  expect_fields(s, {{"end", "stopped"}, {"exit_status", 3}});
  EXPECT_NE(s["message"].get<std::string>(), "");
  expect_fields(s["runs"][0], {{"end", "stopped"}, {"steps", 0}});
  EXPECT_TRUE(s["runs"][0]["flame"]["drift"].is_null());
  for (const char* name : {"post_dati.dat", "Fsf_delta.dat"}) EXPECT_FALSE(file_entry(s, name).is_null());
  EXPECT_TRUE(file_entry(s, "Fpr000000.dat").is_null());
}

TEST(Summary, AFlameStatesItsBurningRateAsItsLastSnapshotAndHistoryGiveIt) {
  // 200 steps, a snapshot every 100 and a window of exactly 200 steps: the
  // history's last record is that of step 200, the last snapshot holds the
  // state after it, the window has just filled
  ScratchDir dir;
  write_file(dir / "eulero_test.dat", testing::flame_config({{9, "200"}, {10, "100"}, {63, "200 0.5"}}));
  ASSERT_EQ(testing::run_program(dir.path()), 0);
  const json j = summary_of(dir);
  expect_fields(j, {{"format", "fiamma-summary"}, {"format_version", 1}, {"end", "normal"}, {"exit_status", 0},
                    {"message", ""}, {"steps_done", 200}, {"sweep", nullptr}});
  // the configuration as read: the Zeldovich number as configured
  EXPECT_EQ(j["configuration"]["Zeldovich"], 3085.714285714286);

  const auto hist = lines_of(read_file(dir / "Fsf_delta.dat"));
  // it t x_m dt_m s del w_in ... var s_cons: this step's values, the statistics of the step before
  const auto last = numbers_of(hist.back());
  ASSERT_EQ(last.size(), 16u);
  ASSERT_EQ(last[0], 200);
  const auto snap = lines_of(read_file(dir / "Fpr000201.dat"));
  const auto inflow = numbers_of(snap[2]), outflow = numbers_of(snap.back());
  // the last snapshot at the history's time
  expect_fields(file_entry(j, "Fpr000201.dat"), {{"step", 201}, {"time", last[1]}});
  const json& r = j["runs"][0];
  expect_fields(r, {{"it_final", 201}, {"steps", 200}, {"time", last[1]}});
  EXPECT_EQ(j["simulated_time"].get<double>(), last[1]);
  // Heun's third-order scheme: a correction at stages 2 and 3 and one at the
  // step's end, three per step, and one for the initial projection; never
  // fewer than two iterations each
  EXPECT_EQ(r["correction"]["corrections"], 3 * 200 + 1);
  EXPECT_GE(r["correction"]["iterations_mean"].get<double>(), 2.0);
  EXPECT_GE(r["correction"]["iterations_max"].get<double>(), r["correction"]["iterations_mean"].get<double>());

  const json& f = r["flame"];
  for (const auto& [key, column] : {std::pair{"x_m", 2}, {"s", 4}, {"del", 5}, {"w_in", 6}, {"s_cons", 15}}) {
    EXPECT_EQ(f[key].get<double>(), last[column]) << key;
  }
  // node 1 of the snapshot against staggered point 1 in the uniform fresh gas
  const double rho_in = f["rho_in"].get<double>(), M = rho_in * (last[6] - last[4]);
  EXPECT_NEAR(rho_in, inflow[1], 1e-8 * rho_in);
  EXPECT_DOUBLE_EQ(f["M_l_num"].get<double>(), M);
  EXPECT_DOUBLE_EQ(f["M_cons"].get<double>(), rho_in * last[15]);
  EXPECT_NEAR(f["M_cons_relative_gap"].get<double>(), last[15] / (last[6] - last[4]) - 1.0, 1e-12);
  EXPECT_NEAR(f["d_l_ana"].get<double>() * f["M_l_ana"].get<double>(), 1.0, 1e-12);  // thickness 1/m
  EXPECT_FALSE(f["settled"].get<bool>());  // 200 steps do not settle a flame
  // the outflow temperature of the last snapshot; adiabatic th_fresh + D_1 y1_fresh = 300 + 10000 * 0.06
  EXPECT_NEAR(f["th_burnt"].get<double>(), outflow[3], 1e-6 * outflow[3]);
  EXPECT_EQ(f["th_adiabatic"].get<double>(), 900.0);
  EXPECT_NEAR(f["th_burnt_relative_gap"].get<double>(), outflow[3] / 900.0 - 1.0, 2e-6);
  EXPECT_NEAR(f["x_anchor"].get<double>(), 0.5 * outflow[0], 1e-12 * outflow[0]);  // half the domain
  // the window of 200 steps is full after 200: a drift from step 1, where
  // the inflow is nearly at rest (the initial shift), to step 200: near 1
  ASSERT_TRUE(f["drift"].is_number());
  EXPECT_NEAR(f["drift"].get<double>(), 1.0, 0.05);
  EXPECT_NEAR(f["conservation"]["consumption_vs_inflow"].get<double>(), f["M_cons_relative_gap"].get<double>(), 1e-12);
  EXPECT_TRUE(f["conservation"]["drift_per_flame_time"].is_number());
}

TEST(Summary, RefusedAfterItsConfigurationARunEndsWithASummaryBeforeWithout) {
  // a non-uniform grid without its grid file: the configuration was read
  ScratchDir dir;
  write_file(dir / "eulero_test.dat", testing::flame_config({{5, "1"}, {9, "2"}}));
  EXPECT_EQ(testing::run_program(dir.path()), 2);
  const json j = summary_of(dir);
  expect_fields(j, {{"end", "bad_input"}, {"exit_status", 2}});
  EXPECT_NE(j["message"].get<std::string>().find("grid.dat"), std::string::npos) << j["message"];
  EXPECT_EQ(j["runs"][0]["end"], "bad_input");
  write_file(dir / "eulero_test.dat", testing::flame_config({{4, "1100"}}));
  std::filesystem::remove(dir / "Fsummary.json");
  EXPECT_EQ(testing::run_program(dir.path()), 2);
  EXPECT_FALSE(std::filesystem::exists(dir / "Fsummary.json"));
}

TEST(Summary, NamedByTagAndPrefixesAndNonFiniteValuesAreNull) {
  auto state = std::make_unique<State>();
  State& s = *state;
  RunRecord r;
  r.configured_tag = 'q';
  s.addr.run_tag[0] = 'C';  // a sweep step's letter does not name the summary
  std::string("out/").copy(s.addr.path_prefix_1.data(), 4);
  std::string("run1_").copy(s.addr.path_prefix_2.data(), 5);
  EXPECT_EQ(summary_path(s, r), "out/run1_qsummary.json");
  s.options.sweep_step = 4;  // but the step run alone does
  EXPECT_EQ(summary_path(s, r), "out/run1_Dsummary.json");

  SimulationResult run;
  run.time = NAN;
  FlameResult f;
  f.x_m = INFINITY;
  f.M_l_num = 0.0;  // gaps divide by it
  run.flame = f;
  r.runs.push_back(run);
  const json j = json::parse(summary_text(s, r, RunEnd::NonFinite, 4, "campo non finito"));
  EXPECT_EQ(j["end"], "non_finite");
  EXPECT_TRUE(j["runs"][0]["time"].is_null());
  EXPECT_TRUE(j["runs"][0]["flame"]["x_m"].is_null());
  EXPECT_TRUE(j["runs"][0]["flame"]["M_cons_relative_gap"].is_null());
}

}  // namespace
}  // namespace fiamma
