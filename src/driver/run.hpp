// The program's entry points, callable from tests: the command line and the
// run in a working directory.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "driver/shared_state.hpp"

namespace fiamma {

// The start-up of a run: configuration, derivations, parameter report.
void start_up(State& s);
// A whole run in s.workdir; returns the exit status.
int run_simulation(State& s);

// What --check-config prints after reading: problems (non-empty means the
// run would fail) and a plain description of the run.
// Warnings are things the run will do that the user may not expect; they do
// not stop it.
struct ConfigCheck {
  std::vector<std::string> problems;
  std::vector<std::string> warnings;
  std::vector<std::string> description;
};
// `cut`: the texts the reading cut to their fields, reported as warnings.
ConfigCheck check_configuration(State& s, const std::vector<std::string>& cut = {});

// The command line; returns the exit status.
int fiamma_main(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace fiamma
