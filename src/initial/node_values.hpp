// The last steps every initial state shares: node values carried to the
// staggered points, and the spare staggered entries.
#pragma once

#include "core/shared_state.hpp"

namespace fiamma {

// The node values of density, fuel and oxidizer partial densities and
// temperature in scratch.ini_rho, ini_y1, ini_y2, ini_th, interpolated into
// vvar slots 1, 2, 3 (density also into vvar_rk slot 1, fuel too when
// `fuel_stage_copy`) and the temperature of vvar_temp_div.
void carry_to_staggered(State& s, int n, bool fuel_stage_copy);
// Entry n of the staggered density (vvar and vvar_rk) and of the stage
// temperature set to 1.0.
void set_staggered_spares(State& s, int n);

}  // namespace fiamma
