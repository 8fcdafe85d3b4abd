// The last steps every initial state shares: node values carried to the
// staggered points, and the spare staggered entries.
#pragma once

#include "core/shared_state.hpp"
#include "operators/operators.hpp"

namespace fiamma {

// An initial state at the nodes: density, fuel and oxidizer partial
// densities (rho y1, rho y2), temperature.
struct NodeValues {
  Field ini_rho, ini_y1, ini_y2, ini_th;
};

// The node values interpolated into vvar slots 1, 2, 3 (density also into
// vvar_rk slot 1, fuel too when `fuel_stage_copy`) and the temperature of
// vvar_temp_div.
void carry_to_staggered(State& s, OperatorSet& ops, const NodeValues& v, int n, bool fuel_stage_copy);
// Entry n of the staggered density (vvar and vvar_rk) and of the stage
// temperature set to 1.0.
void set_staggered_spares(State& s, int n);

}  // namespace fiamma
