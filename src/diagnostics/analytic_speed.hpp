// The analytic estimate of the laminar flame in the large-activation-energy
// limit: burning mass flux m and thickness 1/m.
#pragma once

#include "core/shared_state.hpp"

namespace fiamma {

// Trapezoidal integral of x^a e^-x over [0, x_max] with n_q points, without
// the term of the end point x = 0.
void gamma_part(double x_max, double a, int n_q, double& g);
void calc_velspes_an(State& s, int n, const SlotFields& vvar, double ord_reaz, double& m, double& delta);

}  // namespace fiamma
