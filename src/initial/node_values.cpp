#include "initial/node_values.hpp"

#include "operators/operators.hpp"

namespace fiamma {

void carry_to_staggered(State& s, int n, bool fuel_stage_copy) {
  SolverScratch& w = s.scratch;
  inter_ns_st(s, n, w.ini_rho, s.vvar[1]);
  inter_ns_st(s, n, w.ini_rho, s.vvar_rk[1]);
  inter_ns_st(s, n, w.ini_y1, s.vvar[2]);
  if (fuel_stage_copy) inter_ns_st(s, n, w.ini_y1, s.vvar_rk[2]);
  inter_ns_st(s, n, w.ini_y2, s.vvar[3]);
  inter_ns_st(s, n, w.ini_th, s.vvar_temp_div[2]);
}

void set_staggered_spares(State& s, int n) {
  s.vvar[1][n] = 1.0;
  s.vvar_rk[1][n] = 1.0;
  s.vvar_temp_div_rk[2][n] = 1.0;
}

}  // namespace fiamma
