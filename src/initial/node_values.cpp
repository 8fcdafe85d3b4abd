#include "initial/node_values.hpp"

namespace fiamma {

void carry_to_staggered(State& s, OperatorSet& ops, const NodeValues& v, int /*n*/, bool fuel_stage_copy) {
  ops.apply(Operator::inter_ns_st, v.ini_rho, s.vvar[1]);
  ops.apply(Operator::inter_ns_st, v.ini_rho, s.vvar_rk[1]);
  ops.apply(Operator::inter_ns_st, v.ini_y1, s.vvar[2]);
  if (fuel_stage_copy) ops.apply(Operator::inter_ns_st, v.ini_y1, s.vvar_rk[2]);
  ops.apply(Operator::inter_ns_st, v.ini_y2, s.vvar[3]);
  ops.apply(Operator::inter_ns_st, v.ini_th, s.vvar_temp_div[2]);
}

void set_staggered_spares(State& s, int n) {
  s.vvar[1][n] = 1.0;
  s.vvar_rk[1][n] = 1.0;
  s.vvar_temp_div_rk[2][n] = 1.0;
}

}  // namespace fiamma
