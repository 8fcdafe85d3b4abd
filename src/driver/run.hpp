// The program's entry points, callable from tests: the command line and the
// run in a working directory.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "core/shared_state.hpp"

namespace fiamma {

struct RunRecord;

// Exit statuses, one per kind of end (listed in the README).
inline constexpr int kExitNormal = 0;
// Bad input: a missing or malformed file, a value out of range.
inline constexpr int kExitBadInput = 2;
// An orderly stop of the solver after its message lines.
inline constexpr int kExitStopped = 3;
// A transported field stopped being finite: the run diverged.
inline constexpr int kExitNonFinite = 4;
// A file could not be written (no space, permission, missing folder).
inline constexpr int kExitWriteFailure = 5;
// --until-settled: a flame simulation reached it_end before its burning rate
// settled (its files written as at any end).
inline constexpr int kExitUnsettled = 6;
// Ended by a signal at a safe point: 128 + the signal number (130 SIGINT,
// 143 SIGTERM).
inline constexpr int kExitSignalBase = 128;

// The start-up of a run: configuration, derivations, the checks before
// anything is written, parameter report. With a record, the configuration as
// read and the parameter file go into it, and the summary that says
// "running" replaces any earlier one before the report is written.
void start_up(State& s, RunRecord* record = nullptr);

// How the program was started: its arguments, for the summary, and the
// descriptor of the progress line (drawn only when it is a terminal; -1 none).
struct RunSetup {
  std::vector<std::string> command_line;
  int progress_fd = -1;
};
// A whole run in s.workdir, ended by its summary however it ends; returns
// the exit status, or passes on the exception of an early end.
int run_simulation(State& s, const RunSetup& setup = {});

// What --check-config prints after reading: problems (non-empty means the
// run would fail) and a plain description of the run.
// Warnings are things the run will do that the user may not expect; they do
// not stop it.
struct ConfigCheck {
  std::vector<std::string> problems;
  std::vector<std::string> warnings;
  std::vector<std::string> description;
};
// `warnings`: what the reading noted (texts cut to their fields, ...);
// `reading_problems`: what it refused (a decimal comma).
ConfigCheck check_configuration(State& s, const std::vector<std::string>& warnings = {},
                                const std::vector<std::string>& reading_problems = {});

// The command line; returns the exit status.
int fiamma_main(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace fiamma
