#include "output/summary.hpp"

#include "core/file_writer.hpp"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <nlohmann/json.hpp>
#include <system_error>

#include "config/configuration.hpp"
#include "config/sweep_parameters.hpp"
#include "core/errors.hpp"
#include "core/naming.hpp"

#ifndef FIAMMA_VERSION
#define FIAMMA_VERSION "unknown"
#endif

namespace fiamma {

using Json = nlohmann::ordered_json;

namespace {

template <typename T>
Json optional_json(const std::optional<T>& v) {
  return v ? Json(*v) : Json(nullptr);
}

// A double as JSON; the library writes non-finite values as null.
Json number(double x) { return Json(x); }

Json conservation_json(const FlameConservation& c) {
  return Json{
      {"burnt_temperature_relative", number(c.burnt_temperature_relative)},
      {"mass_flux_spread", number(c.mass_flux_spread)},
      {"consumption_vs_inflow", number(c.consumption_vs_inflow)},
      {"drift_per_flame_time", number(c.drift_per_flame_time)},
  };
}

Json flame_json(const FlameResult& f) {
  const double M_cons = f.rho_in * f.s_cons;
  return Json{
      {"x_m", number(f.x_m)},
      {"s", number(f.s)},
      {"del", number(f.del)},
      {"w_in", number(f.w_in)},
      {"s_cons", number(f.s_cons)},
      {"var", number(f.var)},
      {"x_anchor", number(f.x_anchor)},
      {"rho_in", number(f.rho_in)},
      {"M_l_num", number(f.M_l_num)},
      {"M_l_ana", number(f.M_l_ana)},
      {"d_l_ana", number(f.d_l_ana)},
      {"M_cons", number(M_cons)},
      {"M_cons_relative_gap", number((M_cons - f.M_l_num) / f.M_l_num)},
      {"settled", f.settled},
      {"settled_tolerance", number(f.settled_tolerance)},
      {"settled_gap", number(f.settled_gap)},
      {"fl_st", f.fl_st},
      {"flame_times", number(f.flame_times)},
      {"drift", optional_json(f.drift)},
      {"th_burnt", number(f.th_burnt)},
      {"th_adiabatic", number(f.th_adiabatic)},
      {"th_burnt_relative_gap", number((f.th_burnt - f.th_adiabatic) / f.th_adiabatic)},
      {"conservation", f.conservation ? conservation_json(*f.conservation) : Json(nullptr)},
  };
}

Json run_json(const SimulationResult& r) {
  const double mean = r.corrections > 0 ? static_cast<double>(r.correction_iterations) / static_cast<double>(r.corrections)
                                        : 0.0;
  return Json{
      {"sweep_step", r.sweep_step},
      {"run_tag", std::string(1, r.run_tag)},
      {"parameter_value", optional_json(r.parameter_value)},
      {"it_start", r.it_start},
      {"it_end", r.it_end},
      {"it_final", r.it_final},
      {"steps", r.steps},
      {"time", number(r.time)},
      {"end", run_end_word(r.end)},
      {"correction",
       Json{{"corrections", r.corrections}, {"iterations_mean", mean}, {"iterations_max", r.correction_iterations_max}}},
      {"flame", r.flame ? flame_json(*r.flame) : Json(nullptr)},
      {"settling", r.settling ? Json{{"polish_attempts", r.settling->polish_attempts},
                                     {"polishes", r.settling->polishes},
                                     {"polish_steps", r.settling->polish_steps},
                                     {"pseudo_steps", r.settling->pseudo_steps},
                                     {"continued", r.settling->continued}}
                              : Json(nullptr)},
  };
}

Json configuration_json(const RunRecord& r) {
  Json c = Json::object();
  for (const auto& v : r.configuration) {
    switch (v.kind) {
      case ConfiguredValue::Kind::Integer: c[v.name] = v.integer; break;
      case ConfiguredValue::Kind::Real: c[v.name] = number(v.real); break;
      case ConfiguredValue::Kind::Text: c[v.name] = v.text; break;
    }
  }
  return c;
}

}  // namespace

const char* run_end_word(RunEnd end) {
  switch (end) {
    case RunEnd::Normal: return "normal";
    case RunEnd::Stopped: return "stopped";
    case RunEnd::NonFinite: return "non_finite";
    case RunEnd::WriteFailure: return "write_failure";
    case RunEnd::Interrupted: return "interrupted";
    case RunEnd::BadInput: return "bad_input";
    case RunEnd::Unsettled: return "unsettled";
    case RunEnd::Running: return "running";
  }
  return "normal";
}

void record_configuration(RunRecord& r, State& s) {
  r.configuration.clear();
  for (const auto& item : config_items()) {
    const ValueRef v = item.where(s);
    ConfiguredValue c;
    c.name = item.name;
    switch (v.kind) {
      case ItemKind::Integer:
        c.kind = ConfiguredValue::Kind::Integer;
        c.integer = *v.i;
        break;
      case ItemKind::Real:
        c.kind = ConfiguredValue::Kind::Real;
        c.real = *v.r;
        break;
      case ItemKind::Text: {
        c.kind = ConfiguredValue::Kind::Text;
        std::string text(v.t, static_cast<std::size_t>(v.width));
        text.erase(text.find_last_not_of(' ') + 1);
        c.text = text;
        break;
      }
    }
    r.configuration.push_back(std::move(c));
  }
  r.configured_tag = s.addr.run_tag[0];
  r.configuration_read = true;
}

void note_file(RunRecord& r, const std::string& path, const char* kind, std::optional<long long> step,
               std::optional<double> time, std::optional<int> sweep_step) {
  for (auto& f : r.files) {
    if (f.path == path) {
      f.kind = kind;
      f.step = step;
      f.time = time;
      f.sweep_step = sweep_step;
      return;
    }
  }
  r.files.push_back(WrittenFile{path, kind, step, time, sweep_step});
}

void note_last_opened(RunRecord& r, const State& s, const char* kind, std::optional<long long> step,
                      std::optional<double> time, std::optional<int> sweep_step) {
  note_file(r, trimmed(s.addr.full_path), kind, step, time, sweep_step);
}

std::filesystem::path summary_path(const State& s, const RunRecord& r) {
  Addr addr = s.addr;
  const int k = s.options.sweep_step;
  addr.run_tag[0] = k >= 1 && k <= 26 ? static_cast<char>(64 + k) : r.configured_tag;
  set_file_name(addr, kSummaryTemplate);
  sver(addr);
  strg(addr);
  return trimmed(addr.full_path);
}

std::string summary_text(const State& s, const RunRecord& r, RunEnd end, int exit_status,
                         const std::string& message) {
  using std::chrono::duration;
  const double wall = duration<double>(std::chrono::steady_clock::now() - r.started).count();

  Json overrides = Json::array();
  for (const auto& [name, value] : s.options.overrides) overrides.push_back(Json::array({name, value}));
  Json command_line = Json::array();
  for (const auto& a : r.command_line) command_line.push_back(a);
  Json files = Json::array();
  for (const auto& f : r.files) {
    files.push_back(Json{{"path", f.path},
                         {"kind", f.kind},
                         {"step", optional_json(f.step)},
                         {"time", optional_json(f.time)},
                         {"sweep_step", optional_json(f.sweep_step)}});
  }
  Json runs = Json::array();
  for (const auto& run : r.runs) runs.push_back(run_json(run));

  Json sweep = nullptr;
  if (r.sweep) {
    sweep = Json{{"parameter", r.sweep_parameter},
                 {"code", sweep_file_code(r.sweep_parameter)},
                 {"count", r.sweep_count},
                 {"first_step", r.first_step},
                 {"table", r.sweep_table}};
  }

  const Json doc{
      {"format", "fiamma-summary"},
      {"format_version", kSummaryFormatVersion},
      {"program_version", FIAMMA_VERSION},
      {"end", run_end_word(end)},
      {"exit_status", end == RunEnd::Running ? Json(nullptr) : Json(exit_status)},
      {"message", message},
      {"command_line", command_line},
      {"wall_time_s", wall},
      {"steps_done", r.steps_done},
      {"steps_per_second", wall > 0.0 ? number(static_cast<double>(r.steps_done) / wall) : Json(nullptr)},
      {"simulated_time", number(r.simulated_time)},
      {"configuration", configuration_json(r)},
      {"options",
       Json{{"overrides", overrides},
            {"sweep_step", s.options.sweep_step},
            {"correction_tolerance", s.options.correction_tolerance},
            {"correction_relative", s.options.correction_relative},
            {"settled_tolerance", s.options.settled_tolerance},
            {"until_settled", s.options.until_settled}}},
      {"sweep", sweep},
      {"files", files},
      {"runs", runs},
  };
  // Texts that are not valid UTF-8 (a Latin-1 path prefix) are replaced, not
  // refused.
  return doc.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

void write_summary(const State& s, const RunRecord& r, RunEnd end, int exit_status, const std::string& message) {
  write_file_atomically(s.file(summary_path(s, r)), summary_text(s, r, end, exit_status, message), kPrefixedOrigin);
}

}  // namespace fiamma
