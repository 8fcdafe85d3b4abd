// The initial premixed flame: a smooth front between fresh mixture and burnt
// gas, at rest, at uniform thermodynamic pressure.
#pragma once

#include "core/shared_state.hpp"
#include "initial/node_values.hpp"
#include "operators/operators.hpp"

namespace fiamma {

// Profile 0.5 A (1 + (2/pi) atan(2 sinh(10 (x - x0) / hx))) with x0, hx and
// the amplitude A from ff_fnz; the derivatives are not evaluated (0).
void ff_function_2(const State& s, double x, double& value, double& d1, double& d2);
// The flame at the nodes (v), the pressure, and the momenta at rest.
void flame_node_values(State& s, int n, NodeValues& v);
// The flame: its node values interpolated to the staggered points.
void ini_fiamma_new(State& s, OperatorSet& ops, int n, int n_species);

}  // namespace fiamma
