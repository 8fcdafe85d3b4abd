// The non-uniform grid read from "grid.dat", stretched to the domain length.
#pragma once

#include "core/shared_state.hpp"

namespace fiamma {

inline constexpr const char* kGridFile = "grid.dat";
inline constexpr const char* kGridEchoFile = "fort.87";

// Reads n abscissae (second value of each record), rescales them onto
// [0, domain_length], echoes them to "fort.87" and fills the spacings.
void input_grid(State& s, int n);

// Abscissa of node i: (i - 1) dx on the uniform grid, the stored abscissa on
// the non-uniform one.
inline double node_abscissa(const State& s, int i) { return s.grid == 0 ? (i - 1) * s.discr.dx : s.grid2.x[i]; }

}  // namespace fiamma
