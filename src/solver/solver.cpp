#include "solver/solver.hpp"

#include <cmath>
#include <cstring>
#include <istream>
#include <memory>
#include <string>

#include "core/errors.hpp"
#include "core/file_writer.hpp"
#include "core/free_format.hpp"
#include "operators/wide.hpp"

namespace fiamma {

namespace {
constexpr double kFourThirds = 4.0 / 3.0;
}

// ------------------------------------------------------------ the solver's work

namespace {

FIAMMA_WIDE bool all_zero(int n, const Field& f) {
  for (int i = 1; i <= n; ++i) {
    if (f[i] != 0.0) return false;
  }
  return true;
}

bool same_bits(int count, const Field& a, const Field& b) {
  return std::memcmp(a.data() + 1, b.data() + 1, sizeof(double) * static_cast<std::size_t>(count)) == 0;
}

// The Arrhenius factors exp(-Ta/th) of the last divergence, with the
// temperatures and the activation temperature they came from.
class ArrheniusFactors {
 public:
  void keep(int i, double th, double factor) {
    th_[i] = th;
    factor_[i] = factor;
  }
  void kept(int n, double ta) {
    n_ = n;
    ta_ = ta;
  }
  // The factors of exactly these temperatures (staggered entries 1..n-1),
  // or null.
  const Field* of(int n, double ta, const Field& th) const {
    return n_ == n && ta_ == ta && same_bits(n - 1, th_, th) ? &factor_ : nullptr;
  }

 private:
  Field th_{}, factor_{};
  int n_ = 0;  // 0: none kept
  double ta_ = 0.0;
};

// A result applied ahead of the operation that needs it, with its input.
class ResultAhead {
 public:
  Field& result() { return result_; }
  void keep_input(int n, const Field& f) {
    std::memcpy(input_.data() + 1, f.data() + 1, sizeof(double) * static_cast<std::size_t>(n));
    n_ = n;
  }
  // Whether result() is the one of exactly this input (entries 1..n); it is
  // taken once.
  bool take(int n, const Field& f) {
    const bool ready = n_ == n && same_bits(n, input_, f);
    n_ = 0;
    return ready;
  }

 private:
  Field input_{}, result_{};
  int n_ = 0;  // 0: none
};

}  // namespace

struct Solver::Work {
  // right-hand sides
  Field rhs_rho_ns, rhs_m_st, rhs_f_ns, rhs_o_ns, rhs_flux, rhs_dflux, rhs_visc, rhs_dvisc;
  Field rhs_mflux, rhs_fvisc, rhs_fdiff;
  // pressure balance, and the second derivative of the temperature that
  // it applies ahead for the divergence
  Field p_th_ns, p_rho_ns, p_f_ns, p_grad;
  ResultAhead d2th;
  ArrheniusFactors arrhenius;
  // velocity correction
  Field c_rho_ns, c_drho, c_dq5, c_r, c_v, c_v_prev, c_a, c_ia, c_f, c_phi, c_dphi, c_dump;
  // time-step control and the shift
  Field rho_ns;
};

Solver::Solver(OperatorSet& operators) : ops_(operators), w_(std::make_unique<Work>()) {}

Solver::~Solver() = default;

// ------------------------------------------------------------ right-hand sides

// The independent applications side by side: the three interpolations, then
// the five derivatives of the continuity, fuel and momentum terms.
FIAMMA_WIDE void Solver::rhs_u_eval_new(State& s, int n, int /*n_species*/) {
  Work& w = *w_;
  const auto& q = s.vvar_rk;
  auto& r = s.rrhs_rk;
  const Field& th = s.vvar_temp_div_rk[2];
  const double mu = s.gass.Prandtl;
  const double inv_le = 1.0 / s.gass.Lewis;
  const double da = s.gass.Damkohler;
  const double ta = s.gass.Zeldovich;
  const bool first_order = s.ic_kkind.reaction_order == 1;

  ops_.apply_together({{Operator::inter_st_ns, &q[1], &w.rhs_rho_ns},
                       {Operator::inter_st_ns, &q[2], &w.rhs_f_ns},
                       {Operator::inter_ns_st, &q[4], &w.rhs_m_st}});

  for (int i = 1; i <= n; ++i) {
    // continuity and fuel convection
    w.rhs_flux[i] = -q[4][i];
    w.rhs_dflux[i] = -w.rhs_f_ns[i] * q[4][i] / w.rhs_rho_ns[i];
    // momentum before the correction: convection of the corrected momentum,
    // viscous diffusion of the uncorrected one
    w.rhs_mflux[i] = -w.rhs_m_st[i] * w.rhs_m_st[i] / q[1][i];
    w.rhs_visc[i] = kFourThirds * mu * q[5][i] / w.rhs_rho_ns[i];
    // fuel diffusion
    w.rhs_fvisc[i] = inv_le * q[2][i] / q[1][i];
  }
  ops_.apply_together({{Operator::der_prima_ns_st, &w.rhs_flux, &r[1]},
                       {Operator::der_prima_ns_st, &w.rhs_dflux, &r[2]},
                       {Operator::der_prima_st_ns, &w.rhs_mflux, &r[5]},
                       {Operator::der_seconda, &w.rhs_visc, &w.rhs_dvisc},
                       {Operator::der_seconda_st, &w.rhs_fvisc, &w.rhs_fdiff}});
  for (int i = 1; i <= n; ++i) r[4][i] = 0.0;
  for (int i = 1; i <= n; ++i) r[5][i] += w.rhs_dvisc[i];

  // auxiliary momenta: viscous diffusion only
  for (int slot : {6, 7}) {
    if (all_zero(n, q[slot])) {
      for (int i = 1; i <= n; ++i) r[slot][i] = 0.0;
      continue;
    }
    for (int i = 1; i <= n; ++i) w.rhs_visc[i] = kFourThirds * mu * q[slot][i] / w.rhs_rho_ns[i];
    ops_.apply(Operator::der_seconda, w.rhs_visc, r[slot]);
  }

  // fuel diffusion and reaction
  for (int i = 1; i <= n; ++i) r[2][i] += w.rhs_fdiff[i];
  if (first_order) {
    if (const Field* factor = w.arrhenius.of(n, ta, th)) {
      for (int i = 1; i <= n - 1; ++i) r[2][i] -= da * q[2][i] * (*factor)[i];
    } else {
      for (int i = 1; i <= n - 1; ++i) r[2][i] -= da * q[2][i] * std::exp(-ta / th[i]);
    }
    for (int i = 1; i <= n; ++i) r[3][i] = 0.0;
  } else {
    // the oxidizer: convection at the nodes, diffusion on the staggered points
    ops_.apply(Operator::inter_st_ns, q[3], w.rhs_o_ns);
    for (int i = 1; i <= n; ++i) w.rhs_flux[i] = -w.rhs_o_ns[i] * q[4][i] / w.rhs_rho_ns[i];
    ops_.apply(Operator::der_prima_ns_st, w.rhs_flux, r[3]);
    for (int i = 1; i <= n; ++i) w.rhs_visc[i] = inv_le * q[3][i] / q[1][i];
    ops_.apply(Operator::der_seconda_st, w.rhs_visc, w.rhs_dflux);
    for (int i = 1; i <= n; ++i) r[3][i] += w.rhs_dflux[i];
  }
  r[1][n] = r[2][n] = r[3][n] = 0.0;
}

void bc_low_mach_rhs_short(int /*n*/, int /*n_species*/, const Field& /*rho*/, const Field& /*rho_y1*/,
                           const Field& /*mom*/, Field& rhs_1, Field& rhs_4, Field& rhs_5, Field& rhs_2,
                           Field& rhs_3) {
  rhs_1[1] = rhs_1[2] / 3.0;
  rhs_2[1] = rhs_2[2] / 3.0;
  rhs_3[1] = rhs_3[2] / 3.0;
  rhs_4[1] = 0.0;
  rhs_5[1] = 0.0;
}

// ------------------------------------------------------------ Runge-Kutta

void r_k_coe(State& s, int rk_scheme, RungeKutta& rk) {
  struct Row {
    int stages;
    double alpha[4], beta[4];
  };
  static const Row rows[] = {
      {1, {0}, {1}},
      {2, {0, 1}, {0.5, 0.5}},
      {2, {0, 0.5}, {0, 1}},
      {3, {0, 0.3333333333333333, 0.6666666666666666}, {0.25, 0, 0.75}},
      {4, {0, 0.5, 0.5, 1}, {0.16666666666666666, 0.3333333333333333, 0.3333333333333333, 0.16666666666666666}},
  };
  if (rk_scheme < 1 || rk_scheme > 5) return;
  const Row& row = rows[rk_scheme - 1];
  rk.n_stages = row.stages;
  for (int k = 1; k <= row.stages; ++k) {
    rk.alpha[k] = row.alpha[k - 1];
    rk.beta[k] = row.beta[k - 1];
  }
  s.out() << Line().text(s.voice("R_K_coe: schema Runge-Kutta di ordine "_it)).integer(rk.n_stages)
          << Line().text(s.voice("coefficienti:"_it));
  Line a, b;
  a.text("alpha = ");
  b.text("beta  = ");
  for (int k = 1; k <= rk.n_stages; ++k) {
    a.real(rk.alpha[k]);
    b.real(rk.beta[k]);
  }
  s.out() << a << b;
}

void r_k_init(State& s, int n, int /*n_species*/) {
  for (int slot = 1; slot <= kSlots; ++slot) {
    for (int i = 1; i <= n; ++i) s.rrhs[slot][i] = s.rrhs_rk[slot][i] = 0.0;
  }
  s.rrhs_2 = s.rrhs_rk_2 = 0.0;
}

FIAMMA_WIDE void u_k_eva(State& s, int n, int /*n_species*/, double alpha_k) {
  const double f = alpha_k * s.tempo.dt;
  for (int slot = 1; slot <= kSlots; ++slot) {
    for (int i = 1; i <= n; ++i) s.vvar_rk[slot][i] = s.vvar[slot][i] + f * s.rrhs_rk[slot][i];
  }
}

void p_lm_k_eva(State& s, double alpha_k) { s.vvar_rk_2 = s.vvar_2 + alpha_k * s.tempo.dt * s.rrhs_rk_2; }

FIAMMA_WIDE void rhs_u_sum(State& s, int n, int /*n_species*/, double beta_k) {
  const double f = beta_k * s.tempo.dt;
  for (int slot = 1; slot <= kSlots; ++slot) {
    for (int i = 1; i <= n; ++i) s.rrhs[slot][i] = s.rrhs[slot][i] + f * s.rrhs_rk[slot][i];
  }
}

void rhs_p_lm_sum(State& s, double beta_k) { s.rrhs_2 = s.rrhs_2 + beta_k * s.tempo.dt * s.rrhs_rk_2; }

FIAMMA_WIDE void u_eva(State& s, int n, int /*n_species*/) {
  for (int slot = 1; slot <= kSlots; ++slot) {
    for (int i = 1; i <= n; ++i) {
      s.vvar[slot][i] = s.vvar[slot][i] + s.rrhs[slot][i];
      s.rrhs[slot][i] = 0.0;
    }
  }
  for (int i = 1; i <= n; ++i) s.rrhs_div[i] = 0.0;
}

void p_lm_eva(State& s) {
  s.vvar_2 = s.vvar_2 + s.rrhs_2;
  s.rrhs_2 = 0.0;
}

// ------------------------------------------------------------ thermodynamics

FIAMMA_WIDE void th_lm_calc(int n, const Field& rho, double p, Field& th) {
  for (int i = 1; i <= n; ++i) th[i] = p / rho[i];
}

// The three interpolations side by side with the second derivative of the
// temperature, which the divergence that follows takes.
FIAMMA_WIDE void Solver::rhs_p_lm_eval(State& s, int n, int /*n_species*/, const Field& rho, const Field& rho_y1,
                                       const Field& mom, double p, const Field& th, double& dp_dt, double& v_out) {
  Work& w = *w_;
  ops_.apply_together({{Operator::inter_st_ns, &th, &w.p_th_ns},
                       {Operator::inter_st_ns, &rho, &w.p_rho_ns},
                       {Operator::inter_st_ns, &rho_y1, &w.p_f_ns},
                       {Operator::der_seconda_st, &th, &w.d2th.result()}});
  w.d2th.keep_input(n, th);
  ops_.apply(Operator::der_prima, w.p_th_ns, w.p_grad);
  dp_dt = 0.0;
  double integral = 0.0;
  if (s.ic_kkind.reaction_order == 2) {
    s.out() << Line().text(s.voice("DUE SPECIE LOW MACH DA IMPLEMENTARE"_it)) << Line().text("STOP");
    throw RunStopped(say("modello a due specie non disponibile"_it));
  }
  if (s.ic_kkind.reaction_order == 1) {
    const Field& h = s.grid2.spacing;
    const double da = s.gass.Damkohler, ta = s.gass.Zeldovich;
    for (int i = 1; i <= n; ++i) {
      const double weight = i == 1 ? h[1] / 2.0 : i == n ? h[n - 1] / 2.0 : (h[i - 1] + h[i]) / 2.0;
      const double omega = da * w.p_f_ns[i] * std::exp(-ta * w.p_rho_ns[i] / p);
      integral += omega * weight;
    }
  }
  const double v1 = mom[1] / w.p_rho_ns[1];
  const double vn = mom[n] / w.p_rho_ns[n];
  const double gamma = s.gass.gamma, d1 = s.gass.D_1;
  const double dg = w.p_grad[n] - w.p_grad[1];
  dp_dt = (gamma * (dg - p * (vn - v1)) + gamma * d1 * integral) / s.discr.domain_length;
  v_out = v1 + (dg + d1 * integral) / p;
}

FIAMMA_WIDE void Solver::diverg_u_calc(State& s, int n, int /*n_species*/, Field& div, const Field& rho,
                                       const Field& rho_y1, const Field& th, double p, double dp_dt) {
  Work& w = *w_;
  Field& d2 = w.d2th.result();
  if (!w.d2th.take(n, th)) ops_.apply(Operator::der_seconda_st, th, d2);
  const double gamma = s.gass.gamma, d1 = s.gass.D_1, da = s.gass.Damkohler, ta = s.gass.Zeldovich;
  for (int i = 1; i <= n; ++i) {
    const double y1 = rho_y1[i] / rho[i];
    const double t = p / rho[i];
    const double arrhenius = std::exp(-ta / t);
    w.arrhenius.keep(i, t, arrhenius);
    const double omega = da * rho[i] * y1 * arrhenius;
    div[i] = (gamma * d2[i] - dp_dt + gamma * d1 * omega) / (gamma * p);
  }
  w.arrhenius.kept(n, ta);
  if (s.tempo.it == 1 && s.tempo.stage == 2) {
    ReplacedFile dump(s.file("fort.93"), kWorkdirOrigin);
    for (int i = 1; i <= n - 1; ++i) dump << Line().integer(i).real(div[i]);
    dump.commit();
  }
}

// ------------------------------------------------------------ velocity correction

double correction_threshold(const RunOptions& o, int n, const Field& v) {
  if (!o.correction_relative) return o.correction_tolerance;
  double largest = 0.0;
  for (int i = 1; i <= n; ++i) largest = std::max(largest, std::fabs(v[i]));
  return o.correction_tolerance * largest;
}

FIAMMA_WIDE double calcola_errore(int /*capacity*/, int n, const Field& a, const Field& b) {
  double err = 0.0;
  for (int i = 1; i <= n; ++i) err = std::max(err, std::fabs(a[i] - b[i]));
  return err;
}

FIAMMA_WIDE void Solver::correggi_qm_lm_neu(State& s, int n, const Field& rho, Field& q4, Field& q5, Field& q6,
                                            Field& q7, const Field& div, double /*inflow_momentum*/,
                                            double /*outflow_momentum*/, Field& /*rhs*/) {
  Work& w = *w_;
  ops_.apply_together({{Operator::inter_st_ns, &rho, &w.c_rho_ns},
                       {Operator::der_prima_st_ns, &rho, &w.c_drho},
                       {Operator::der_prima_ns_st, &q5, &w.c_dq5}});
  for (int i = 1; i <= n; ++i) {
    w.c_r[i] = rho[i] * div[i] - w.c_dq5[i];
    w.c_v[i] = q5[i] / w.c_rho_ns[i];
    w.c_dphi[i] = 0.0;
  }
  const bool dump = s.tempo.it == 1 && s.tempo.stage == 2;
  std::unique_ptr<ReplacedFile> dump_123;
  if (dump) {
    ReplacedFile dump_456(s.file("fort.456"), kWorkdirOrigin);
    ops_.apply(Operator::der_prima_ns_st, q6, w.c_dump);
    for (int i = 1; i <= n - 1; ++i) dump_456 << Line().integer(i).real(q6[i]).real(w.c_dump[i]);
    dump_456.commit();
    dump_123 = std::make_unique<ReplacedFile>(s.file("fort.123"), kWorkdirOrigin);
  }
  const long long iterations_before = corrections_.iterations;
  for (int k = 1;; ++k) {
    for (int i = 1; i <= n; ++i) {
      w.c_v_prev[i] = w.c_v[i];
      w.c_a[i] = w.c_v[i] * w.c_drho[i];
    }
    ops_.apply(Operator::inter_ns_st, w.c_a, w.c_ia);
    for (int i = 1; i <= n; ++i) w.c_f[i] = w.c_r[i] + w.c_ia[i];
    ops_.apply(Operator::poisson_neu_st_new, w.c_f, w.c_phi);
    if (dump) {
      ops_.apply(Operator::der_seconda_st, w.c_phi, w.c_dump);
      for (int i = 1; i <= n - 1; ++i) {
        *dump_123 << Line().real((i - 1) * s.discr.dx).real(w.c_f[i]).real(w.c_phi[i]).real(w.c_dump[i]).real(w.c_drho[i]);
      }
    }
    ops_.apply(Operator::der_prima_st_ns, w.c_phi, w.c_dphi);
    for (int i = 1; i <= n; ++i) w.c_v[i] = (q5[i] + w.c_dphi[i]) / w.c_rho_ns[i];
    const double err = calcola_errore(kCapacity, n, w.c_v, w.c_v_prev);
    ++corrections_.iterations;
    corrections_.iterations_max = std::max(corrections_.iterations_max, corrections_.iterations - iterations_before);
    const double tolerance = correction_threshold(s.options, n, w.c_v);
    if (err <= tolerance && k > 1) break;
    // A field that is not a number stays so: the remaining iterations would
    // only repeat it, and the iteration would leave with it at the limit.
    if (std::isnan(err) && k > 1) break;
    if (k == correction_max_iterations) {
      if (err > tolerance) {
        s.out() << Line().text(s.voice("Convergenza iterazione Low Mach non raggiunta"_it))
                << Line().text(s.voice("Errore iterativo pari a: "_it)).real(err).raw(" >").real(tolerance)
                << Line().text(s.voice("Codice interrotto"_it));
        throw RunStopped(say("correzione della velocita' non convergente"_it));
      }
      break;
    }
  }
  if (dump_123) dump_123->commit();
  ++corrections_.corrections;
  for (int i = 1; i <= n; ++i) {
    q4[i] = q5[i] = w.c_rho_ns[i] * w.c_v[i];
    q6[i] = q7[i] = 0.0;
  }
}

// ------------------------------------------------------------ time-step control

FIAMMA_WIDE void Solver::cfl_eva2(State& s, int n, int /*n_species*/, double cfl, double stab, StepLimits& out) {
  out.stab_lim = "convettivo"_it;
  out.conv_rate_max = 0.0;
  out.mach_m = 1e32;
  out.mach_M = 0.0;
  Field& rho_ns = w_->rho_ns;
  ops_.apply(Operator::inter_st_ns, s.vvar[1], rho_ns);
  double rho_min = 1e32;
  double h = s.discr.dx;
  for (int i = 1; i <= n - 1; ++i) {
    if (s.grid == 1) h = s.grid2.spacing[i];
    rho_min = std::min(rho_min, rho_ns[i]);
    const double r = std::fabs(s.vvar[4][i] / rho_ns[i]) / h;
    if (r > out.conv_rate_max) out.conv_rate_max = r;
  }
  if (s.grid == 1) s.discr.dx = s.grid2.min_spacing;
  const double dx = s.discr.dx;
  const Gass& g = s.gass;
  const double diffusivity = std::max(1.0 / g.Lewis, std::max(1.0, kFourThirds * g.Prandtl));
  if (s.discr.dt_mode == 0) {
    out.stab_calc = diffusivity * s.tempo.dt / (dx * dx * rho_min);
    out.cfl_calc = s.tempo.dt * out.conv_rate_max;
    if (out.cfl_calc >= cfl || out.stab_calc >= stab) {
      s.out() << Line().text(s.voice("limite di stabilità oltrepassato. Continuare?"_it))
              << Line().text(s.voice("per continuare premere invio"_it));
      s.out().flush();
      std::string answer;
      // An unattended run (no operator, input at its end) goes on at once.
      if (s.operator_input != nullptr) std::getline(*s.operator_input, answer);
    }
  } else if (s.discr.dt_mode == 1) {
    const double dt_diff = std::min(g.Lewis, std::min(1.0, 3.0 / (4.0 * g.Prandtl))) * dx * dx * stab * rho_min;
    if (out.conv_rate_max == 0.0) out.conv_rate_max = 1e-05;
    const double dt_conv = cfl / out.conv_rate_max;
    if (dt_conv > dt_diff) {
      s.tempo.dt = dt_diff;
      out.stab_lim = "diffusivo "_it;
    } else {
      s.tempo.dt = dt_conv;
    }
  }
}

// ------------------------------------------------------------ uniform shift

void Solver::soffia_campo(State& s, int n, int /*n_species*/, double dv) {
  Field& rho_ns = w_->rho_ns;
  ops_.apply(Operator::inter_st_ns, s.vvar[1], rho_ns);
  for (int i = 1; i <= n; ++i) {
    const double v = s.vvar[4][i] / rho_ns[i] + dv;
    s.vvar[4][i] = s.vvar[5][i] = rho_ns[i] * v;
  }
}

}  // namespace fiamma
