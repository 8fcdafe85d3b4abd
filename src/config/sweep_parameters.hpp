// Parametric sweeps: the quantity each sweep parameter sets, with its console
// line, file code and table column, and the value each step gives it.
#pragma once

#include <optional>

#include "core/shared_state.hpp"

namespace fiamma {

inline constexpr int kMaxSweepCount = 26;  // one run-tag letter, A to Z, per step

// One swept parameter: its console line, its two-letter file code, its column
// in the sweep table's header and the quantity a step sets.
struct SweptParameter {
  std::optional<Msg> console;
  const char* code;
  const char* header;
  double Gass::*field;  // the quantity a step sets
};

// The swept parameter 1..10; any other number names no quantity (code "__").
const SweptParameter& swept_parameter(int sweep_parameter);
// The two-letter file code of a swept parameter (1..10).
const char* sweep_file_code(int sweep_parameter);
// Sets the parameter of step i_and and the step's run tag.
void crea_and(State& s, int i_and);

}  // namespace fiamma
