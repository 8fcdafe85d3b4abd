// Coefficients of the compact schemes on a uniform grid, held in block comp.
#pragma once

#include "core/shared_state.hpp"

namespace fiamma {

// Slots of block comp.
namespace cs {
enum Slot : int {
  boundary_scheme_parameter = 1, pade_alpha, row3_alpha, interior_scheme_parameter, row4_alpha,
  interior_beta, row3_beta, row4_beta, boundary_c1, boundary_c2, boundary_c3, boundary_c4,
  pade_rhs, row3_a, row3_b, row4_a, row4_b, row4_c, interior_b, interior_a, interior_c,
  row1_weight, row2_weight, row3_weight, row4_weight, aux_r, aux_s, d2_boundary_alpha,
  d2_pade_alpha, d2_interior_alpha, d2_penta_alpha, d2_penta_beta, mid_alpha, mid_beta, mid_a,
  mid_b, mid_c, stag_alpha, stag_beta, stag_a, stag_b, stag_c
};
}  // namespace cs
static_assert(cs::stag_c == 42);

// Fills comp from its two configured parameters and discr.i_thom
// (1 tridiagonal family, 2 pentadiagonal family with the staggered schemes).
void def_scheme2(State& s);

}  // namespace fiamma
