#include "solver/stepping.hpp"

namespace fiamma {

namespace {

// The stage fields of stage k; the stage velocity correction from stage 2 on.
void stage(State& s, Solver& solver, StepValues& v, int k) {
  const int n = s.settings.n;
  const int ns = s.settings.n_species;
  s.tempo.stage = k;
  s.tempo.t_stage = s.tempo.t + v.rk.alpha[k] * s.tempo.dt;
  u_k_eva(s, n, ns, v.rk.alpha[k]);
  p_lm_k_eva(s, v.rk.alpha[k]);
  if (k == 1) s.vvar[4][1] = s.vvar[5][1] = v.inflow_momentum;
  auto& q = s.vvar_rk;
  v.bm_in = q[4][1];
  v.bm_out = q[4][n];
  th_lm_calc(n, q[1], s.vvar_rk_2, s.vvar_temp_div_rk[2]);
  solver.rhs_p_lm_eval(s, n, ns, q[1], q[2], q[4], s.vvar_rk_2, s.vvar_temp_div_rk[2], s.rrhs_rk_2, v.v_out);
  s.rrhs_rk_2 = 0.0;
  if (k >= 2) {
    solver.diverg_u_calc(s, n, ns, s.vvar_temp_div_rk[1], q[1], q[2], s.vvar_temp_div_rk[2], s.vvar_rk_2,
                         s.rrhs_rk_2);
    solver.operators().apply(Operator::inter_st_ns, q[1], v.rho_nodes);
    v.bm_out = v.rho_nodes[n] * v.v_out;
    solver.correggi_qm_lm_neu(s, n, q[1], q[4], q[5], q[6], q[7], s.vvar_temp_div_rk[1], v.bm_in, v.bm_out,
                              s.rrhs_rk[4]);
  }
  solver.rhs_u_eval_new(s, n, ns);
  bc_low_mach_rhs_short(n, ns, q[1], q[2], q[4], s.rrhs_rk[1], s.rrhs_rk[4], s.rrhs_rk[5], s.rrhs_rk[2],
                        s.rrhs_rk[3]);
  rhs_u_sum(s, n, ns, v.rk.beta[k]);
  rhs_p_lm_sum(s, v.rk.beta[k]);
}

}  // namespace

void constrain_step_fields(State& s, Solver& solver, StepValues& v, bool hold_inflow) {
  const int n = s.settings.n;
  const int ns = s.settings.n_species;
  auto& q = s.vvar;
  th_lm_calc(n, q[1], s.vvar_2, s.vvar_temp_div[2]);
  solver.rhs_p_lm_eval(s, n, ns, q[1], q[2], q[4], s.vvar_2, s.vvar_temp_div[2], s.rrhs_2, v.v_out);
  s.rrhs_2 = 0.0;
  solver.diverg_u_calc(s, n, ns, s.vvar_temp_div[1], q[1], q[2], s.vvar_temp_div[2], s.vvar_2, s.rrhs_2);
  if (hold_inflow) v.inflow_momentum = q[4][1];
  solver.correggi_qm_lm_neu(s, n, q[1], q[4], q[5], q[6], q[7], s.vvar_temp_div[1], v.bm_in, v.bm_out, s.rrhs[4]);
}

void advance_fields(State& s, Solver& solver, StepValues& v) {
  const int n = s.settings.n;
  const int ns = s.settings.n_species;
  for (int i = 1; i <= n; ++i) s.vvar_temp_div_rk[2][i] = s.vvar_temp_div[2][i];
  for (int k = 1; k <= v.rk.n_stages; ++k) stage(s, solver, v, k);
  s.tempo.t = s.tempo.t + s.tempo.dt;
  u_eva(s, n, ns);
  p_lm_eva(s);
  v.bm_in = s.vvar[4][1];
  v.bm_out = s.vvar[4][n];
  s.tempo.stage = 0;
  constrain_step_fields(s, solver, v, true);
}

}  // namespace fiamma
