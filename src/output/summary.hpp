// The run summary: one JSON file per program run, "<tag>summary.json" beside
// the other outputs, stating how the run ended, what it ran with, every file
// it wrote and, per simulation, where it stopped and (for a flame) its burning
// rate and how settled it was. The main program keeps a RunRecord while it
// runs and writes the summary once at the end, however the run ends.
#pragma once

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/shared_state.hpp"
#include "diagnostics/conservation.hpp"

namespace fiamma {

inline constexpr const char* kSummaryTemplate = " summary.json";
inline constexpr int kSummaryFormatVersion = 1;

// How a program run, or one simulation of it, ended; Running while it has
// not (the summary written at the start, which a run killed outright leaves).
// Unsettled: a simulation of --until-settled that reached it_end before its
// burning rate settled (files written as at a normal end).
enum class RunEnd { Normal, Stopped, NonFinite, WriteFailure, Interrupted, BadInput, Unsettled, Running };
// The word of the summary: "normal", "stopped", "non_finite", ..., "running".
const char* run_end_word(RunEnd end);

// One configured value as read (after --set, before any derivation).
struct ConfiguredValue {
  std::string name;
  enum class Kind { Integer, Real, Text } kind = Kind::Integer;
  long long integer = 0;
  double real = 0.0;
  std::string text;  // trailing blanks removed
};

// A file the run wrote, by the path it was opened under relative to the
// working directory.
struct WrittenFile {
  std::string path;
  std::string kind;  // snapshot, analytic, history, sweep_table, parameters, resume_index
  std::optional<long long> step;
  std::optional<double> time;
  std::optional<int> sweep_step;
};

// The front at the end of a flame simulation.
struct FlameResult {
  double x_m = 0, s = 0, del = 0, w_in = 0, s_cons = 0, var = 0, x_anchor = 0, rho_in = 0;
  double M_l_num = 0, M_l_ana = 0, d_l_ana = 0;
  // settled to settled_tolerance (diagnostics/settled.hpp): the estimated
  // remaining relative change of M_l_num, settled_gap (NaN: no estimate),
  // at most half the tolerance, and a normal end
  bool settled = false;
  double settled_tolerance = 0, settled_gap = 0;
  int fl_st = 0;  // the sweep table's flag: var <= 1e-12
  // the simulated time in flame times rho_in / M_l_num^2 (pseudo-time included)
  double flame_times = 0;
  std::optional<double> drift;  // none while the window is shorter than two steps or not yet full
  double th_burnt = 0, th_adiabatic = 0;
  // burnt temperature, mass flux, consumption and drift against the steady flame
  std::optional<FlameConservation> conservation;
};

// One simulation (one sweep step; a single run has one).
struct SimulationResult {
  int sweep_step = 0;
  char run_tag = ' ';
  std::optional<double> parameter_value;
  int it_start = 0, it_end = 0, it_final = 0;
  long long steps = 0;
  double time = 0.0;
  double time_start = 0.0;  // the time before the first step
  RunEnd end = RunEnd::Normal;
  long long corrections = 0;
  long long correction_iterations = 0;
  long long correction_iterations_max = 0;
  std::optional<FlameResult> flame;
  // --until-settled: how the steady state was reached
  struct Settling {
    int polish_attempts = 0, polishes = 0;
    long long polish_steps = 0;   // steps of the program the polishes took
    long long pseudo_steps = 0;   // linearly implicit pseudo-time steps among `steps`
    bool continued = false;       // started from the settled flame of the step before
  };
  std::optional<Settling> settling;
  // the steps of the program run when the simulation began
  long long steps_before = 0;
  bool finished = false;
};

// What the main program records while it runs.
struct RunRecord {
  std::vector<std::string> command_line;
  std::chrono::steady_clock::time_point started = std::chrono::steady_clock::now();
  // Set once the configuration has been read and checked: from then on the
  // run ends with a summary.
  bool configuration_read = false;
  // Set once the summary that says "running" is in place.
  bool running_written = false;
  std::vector<ConfiguredValue> configuration;
  char configured_tag = ' ';
  std::vector<WrittenFile> files;
  std::vector<SimulationResult> runs;
  long long steps_done = 0;
  double simulated_time = 0.0;
  // the sweep, when one is configured
  bool sweep = false;
  int sweep_parameter = 0, sweep_count = 0, first_step = 0;
  std::string sweep_table;
};

// Records the configured values as they stand in the state (call right after
// reading and overriding them) and the configured run tag.
void record_configuration(RunRecord& r, State& s);

// Records a file as written; a file written again keeps its first place in
// the list and takes the latest step, time and sweep step.
void note_file(RunRecord& r, const std::string& path, const char* kind, std::optional<long long> step = {},
               std::optional<double> time = {}, std::optional<int> sweep_step = {});
// The same for the file whose path the naming block assembled last.
void note_last_opened(RunRecord& r, const State& s, const char* kind, std::optional<long long> step = {},
                      std::optional<double> time = {}, std::optional<int> sweep_step = {});

// "<tag>summary.json" under the two prefixes, relative to the working
// directory: the configured tag, or with --sweep-step K the step's letter.
std::filesystem::path summary_path(const State& s, const RunRecord& r);

// The summary as JSON text (non-finite numbers as null; the exit status null
// while running).
std::string summary_text(const State& s, const RunRecord& r, RunEnd end, int exit_status,
                         const std::string& message);

// Writes the summary through a temporary file in the same folder and a
// rename, replacing any earlier one; a WriteError when that fails.
void write_summary(const State& s, const RunRecord& r, RunEnd end, int exit_status, const std::string& message);

}  // namespace fiamma
