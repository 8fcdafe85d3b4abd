// The low-Mach solver: right-hand sides, Runge-Kutta stepping, thermodynamic
// closures, the velocity correction, time-step control and the uniform shift.
#pragma once

#include <array>
#include <string>

#include "core/shared_state.hpp"

namespace fiamma {

// ---- right-hand sides of the seven transported slots (stage fields)
void rhs_u_eval_new(State& s, int n, int n_species);
void bc_low_mach_rhs_short(int n, int n_species, const Field& rho, const Field& rho_y1, const Field& mom,
                           Field& rhs_1, Field& rhs_4, Field& rhs_5, Field& rhs_2, Field& rhs_3);

// ---- Runge-Kutta tables and updates
struct RungeKutta {
  int n_stages = 0;
  std::array<double, 5> alpha{};  // 1..4
  std::array<double, 5> beta{};
};
void r_k_coe(State& s, int rk_scheme, RungeKutta& rk);
void r_k_init(State& s, int n, int n_species);
void u_k_eva(State& s, int n, int n_species, double alpha_k);
void p_lm_k_eva(State& s, double alpha_k);
void rhs_u_sum(State& s, int n, int n_species, double beta_k);
void rhs_p_lm_sum(State& s, double beta_k);
void u_eva(State& s, int n, int n_species);
void p_lm_eva(State& s);

// ---- thermodynamic closures
void th_lm_calc(int n, const Field& rho, double p, Field& th);
void rhs_p_lm_eval(State& s, int n, int n_species, const Field& rho, const Field& rho_y1, const Field& mom,
                   double p, const Field& th, double& dp_dt, double& v_out);
void diverg_u_calc(State& s, int n, int n_species, Field& div, const Field& rho, const Field& rho_y1,
                   const Field& th, double p, double dp_dt);

// ---- velocity correction
inline constexpr double kCorrectionTolerance = 5e-05;  // the default of RunOptions
inline constexpr int kCorrectionMaxIterations = 50000;
// The bound on the largest change of the nodal velocity between two iterates
// that ends the iteration: the run's tolerance, or with the relative form the
// tolerance times the largest nodal velocity of the newest iterate v.
double correction_threshold(const RunOptions& o, int n, const Field& v);
double calcola_errore(int capacity, int n, const Field& a, const Field& b);
void correggi_qm_lm_neu(State& s, int n, const Field& rho, Field& q4, Field& q5, Field& q6, Field& q7,
                        const Field& div, double inflow_momentum, double outflow_momentum, Field& rhs);

// ---- time-step control
struct StepLimits {
  double conv_rate_max = 0.0;
  std::string stab_lim = "convettivo";  // 10 characters
  double mach_m = 0.0, mach_M = 0.0, cfl_calc = 0.0, stab_calc = 0.0;
};
void cfl_eva2(State& s, int n, int n_species, double cfl, double stab, StepLimits& out);

// ---- uniform velocity shift of the whole field
void soffia_campo(State& s, int n, int n_species, double dv);

}  // namespace fiamma
