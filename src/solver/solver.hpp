// The low-Mach solver: right-hand sides, Runge-Kutta stepping, thermodynamic
// closures, the velocity correction, time-step control and the uniform shift.
#pragma once

#include <array>
#include <memory>
#include <string>

#include "core/shared_state.hpp"
#include "operators/operators.hpp"

namespace fiamma {

// ---- the inflow closure of the right-hand sides (after Solver::rhs_u_eval_new)
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

// ---- velocity correction
inline constexpr double kCorrectionTolerance = 5e-05;  // the default of RunOptions
inline constexpr int kCorrectionMaxIterations = 50000;
// The bound on the largest change of the nodal velocity between two iterates
// that ends the iteration: the run's tolerance, or with the relative form the
// tolerance times the largest nodal velocity of the newest iterate v.
double correction_threshold(const RunOptions& o, int n, const Field& v);
double calcola_errore(int capacity, int n, const Field& a, const Field& b);

// The velocity corrections made: how many, and the fixed-point iterations
// they took (in all, and the most one correction took).
struct CorrectionCount {
  long long corrections = 0;
  long long iterations = 0;
  long long iterations_max = 0;
  double iterations_mean() const {
    return corrections > 0 ? static_cast<double>(iterations) / static_cast<double>(corrections) : 0.0;
  }
};

// ---- time-step control
struct StepLimits {
  double conv_rate_max = 0.0;
  Msg stab_lim = "convettivo"_it;  // 10 characters, printed in the run's language
  double mach_m = 0.0, mach_M = 0.0, cfl_calc = 0.0, stab_calc = 0.0;
};

// The solver of one simulation: the operations that apply the operators,
// with their work arrays and the results they hand on to each other (the
// second derivative of the temperature, applied beside the pressure
// balance's interpolations and taken by the divergence that follows; the
// Arrhenius factors of the divergence, taken by the fuel right-hand side of
// the same stage). Each reuse is for inputs equal bit for bit, so the
// results are those of computing anew. Built once per grid, on its
// operator set; nothing is allocated afterwards.
class Solver {
 public:
  explicit Solver(OperatorSet& operators);
  ~Solver();
  Solver(const Solver&) = delete;
  Solver& operator=(const Solver&) = delete;

  OperatorSet& operators() { return ops_; }

  // Right-hand sides of the seven transported slots (stage fields vvar_rk,
  // stage temperature vvar_temp_div_rk slot 2) into rrhs_rk. Work whose
  // result nothing reads is skipped: the oxidizer of a first-order run is
  // frozen, and a zero auxiliary momentum diffuses to zero.
  void rhs_u_eval_new(State& s, int n, int n_species);
  // Thermodynamic closures: the pressure balance (dP/dt and the outflow
  // velocity) and the velocity divergence.
  void rhs_p_lm_eval(State& s, int n, int n_species, const Field& rho, const Field& rho_y1, const Field& mom,
                     double p, const Field& th, double& dp_dt, double& v_out);
  void diverg_u_calc(State& s, int n, int n_species, Field& div, const Field& rho, const Field& rho_y1,
                     const Field& th, double p, double dp_dt);
  // The pressure-Poisson velocity correction (fixed-point iteration).
  void correggi_qm_lm_neu(State& s, int n, const Field& rho, Field& q4, Field& q5, Field& q6, Field& q7,
                          const Field& div, double inflow_momentum, double outflow_momentum, Field& rhs);
  // Time-step control.
  void cfl_eva2(State& s, int n, int n_species, double cfl, double stab, StepLimits& out);
  // Uniform velocity shift of the whole field.
  void soffia_campo(State& s, int n, int n_species, double dv);

  const CorrectionCount& corrections() const { return corrections_; }
  // Iteration limit of the velocity correction (a test may lower it).
  int correction_max_iterations = kCorrectionMaxIterations;

 private:
  struct Work;
  OperatorSet& ops_;
  std::unique_ptr<Work> w_;
  CorrectionCount corrections_;
};

}  // namespace fiamma
