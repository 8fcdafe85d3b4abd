// The initial premixed flame: a smooth front between fresh mixture and burnt
// gas, at rest, at uniform thermodynamic pressure.
#pragma once

#include "core/shared_state.hpp"

namespace fiamma {

// Profile 0.5 A (1 + (2/pi) atan(2 sinh(10 (x - x0) / hx))) with x0, hx and
// the amplitude A from ff_fnz; the derivatives are not evaluated (0).
void ff_function_2(const State& s, double x, double& value, double& d1, double& d2);
void ini_fiamma_new(State& s, int n, int n_species);

}  // namespace fiamma
