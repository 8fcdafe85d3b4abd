#include "steady/steady_state.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "diagnostics/front_tracking.hpp"
#include "operators/operators.hpp"
#include "steady/band_lu.hpp"

namespace fiamma {

namespace {

using Vec = std::vector<double>;

constexpr int kBandHalf = 8;              // points of the preconditioner's band on either side of a point
constexpr int kMaxNewton = 12;
constexpr int kKrylovRestart = 120;
constexpr int kKrylovMax = 600;           // GMRES iterations per Newton iteration
constexpr double kForcing = 1e-3;         // GMRES: residual reduced by this factor
// Converged: the largest relative change per flame time of any unknown below
// kTolerance, or below kResidualFloor (one step's rounding divided by dt
// leaves about 1e-8) with the last Newton update of the burning rate below
// kRateTolerance.
constexpr double kTolerance = 1e-9;
constexpr double kResidualFloor = 1e-7;
constexpr double kRateTolerance = 1e-10;
constexpr double kDifference = 1e-7;      // step of the differences, in scaled unknowns
constexpr int kLineSearch = 8;            // halvings of a Newton step
constexpr int kRebuildEvery = 20;         // pseudo-time steps per band Jacobian
constexpr int kAnchorRowReach = 12;       // points either side of the front whose density moves it
constexpr int kDtPasses = 3;              // polishes again at the time-step control's dt, at most
constexpr double kDtAgreement = 1e-9;     // relative change of that dt that ends them
// A pseudo-time step that changes a scaled unknown by more than this (the
// whole inflow density, fuel density or burning rate) is running away.
constexpr double kPseudoChangeLimit = 1.0;

double dot(const Vec& a, const Vec& b, int n) {
  double sum = 0.0;
  for (int i = 0; i < n; ++i) sum += a[i] * b[i];
  return sum;
}
double dot(const double* a, const Vec& b, int n) {
  double sum = 0.0;
  for (int i = 0; i < n; ++i) sum += a[i] * b[i];
  return sum;
}
double norm2(const Vec& a, int n) { return std::sqrt(dot(a, a, n)); }

}  // namespace

struct SteadyState::Work {
  explicit Work(int points)
      : n(points),
        N(3 * points - 2),
        m(3 * points - 3),
        u(N), g(N), d(N), ut(N), gt(N), b(N),
        up(N), gp(N), col(m), row(m), z(m), y(m),
        basis(static_cast<std::size_t>(kKrylovRestart + 1) * N),
        hessenberg(static_cast<std::size_t>(kKrylovRestart + 1) * kKrylovRestart),
        cs(kKrylovRestart + 1), sn(kKrylovRestart + 1), e1(kKrylovRestart + 1), coef(kKrylovRestart + 1),
        kw(N), kr(N), kp(N), kup(N), kgp(N) {
    const int band = 3 * kBandHalf + 2;
    lu.reset(m, band, band);
  }

  const int n, N, m;  // points; unknowns (the last the inflow momentum); field unknowns
  // scales of the unknowns and the time scale of the residual
  double scale_rho = 1.0, scale_fuel = 1.0, scale_mom = 1.0, flame_time = 1.0, phase_scale = 1.0;
  // held values: the inflow point (absolute) and, scaled, the inflow point and the last density
  double hold_rho = 0.0, hold_fuel = 0.0, rate_estimate = 0.0;
  double pin_rho = 0.0, pin_fuel = 0.0, pin_out = 0.0;
  double raw_inf = 0.0;  // largest entry of the last residual before the momentum rows' differencing
  long long evaluations = 0;

  Vec u, g, d, ut, gt, b;  // Newton
  // the preconditioner: the band, the inflow momentum's column and the
  // anchoring row bordering it, their Schur complement
  BandLU lu;
  Vec up, gp, col, row, z, y;
  double corner = 0.0, schur = 1.0;
  // GMRES(kKrylovRestart)
  Vec basis, hessenberg, cs, sn, e1, coef, kw, kr, kp, kup, kgp;
  // the state before a polish
  SlotFields vvar{};
  std::array<Field, 3> temp_div{};
  double pressure = 0.0, inflow = 0.0, t = 0.0, dt = 0.0;
  int it = 0;
  // the front of a trial state; the time-step control's outputs
  FrontLocation front;
  StepLimits limits;
  Field th{}, dthdx{};
  // pseudo-time: steps since the band Jacobian was built (-1: build it)
  int since_build = -1;
};

namespace {

// The unknowns of the steady state and the residual of one step: the
// operations on the solver's state, written against Work's arrays.
class Engine {
 public:
  Engine(State& s, Solver& solver, StepValues& step, SteadyState::Work& w)
      : s_(s), solver_(solver), step_(step), w_(w) {}

  // Scales and held values from the current state.
  void rescale() {
    const double rho_in = s_.vvar[1][1];
    // the held inflow momentum is the burning rate once the controller holds
    // the flame; before that (an inflow nearly at rest) the estimate
    const double held = std::fabs(step_.inflow_momentum);
    const double rate = held >= 0.1 * w_.rate_estimate || !(w_.rate_estimate > 0.0) ? held : w_.rate_estimate;
    w_.scale_rho = rho_in;
    w_.scale_fuel = std::max(s_.vvar[2][1], 1e-30);
    w_.scale_mom = rate;
    w_.flame_time = rho_in / (rate * rate);
    // the anchoring condition as a displacement in thermal lengths 1/M per flame time
    w_.phase_scale = rate / w_.flame_time;
    w_.pin_rho = w_.hold_rho / w_.scale_rho;
    w_.pin_fuel = w_.hold_fuel / w_.scale_fuel;
    w_.pin_out = s_.vvar[1][w_.n - 1] / w_.scale_rho;
  }

  void pack(Vec& u) const {
    const int n = w_.n;
    for (int i = 1; i <= n - 1; ++i) {
      u[i - 1] = s_.vvar[1][i] / w_.scale_rho;
      u[n - 1 + i - 1] = s_.vvar[2][i] / w_.scale_fuel;
    }
    for (int i = 2; i <= n; ++i) u[2 * n - 2 + i - 2] = s_.vvar[4][i] / w_.scale_mom;
    u[w_.N - 1] = step_.inflow_momentum / w_.scale_mom;
  }

  // The state of u: fields, held inflow momentum, temperature; the stage
  // rates cleared, so that nothing of an earlier trial (a non-finite one)
  // reaches the next step through the first stage's zero weight.
  void load(const Vec& u) {
    const int n = w_.n;
    for (int i = 1; i <= n - 1; ++i) {
      s_.vvar[1][i] = u[i - 1] * w_.scale_rho;
      s_.vvar[2][i] = u[n - 1 + i - 1] * w_.scale_fuel;
    }
    const double inflow = u[w_.N - 1] * w_.scale_mom;
    s_.vvar[4][1] = inflow;
    for (int i = 2; i <= n; ++i) s_.vvar[4][i] = u[2 * n - 2 + i - 2] * w_.scale_mom;
    for (int i = 1; i <= n; ++i) {
      s_.vvar[5][i] = s_.vvar[4][i];
      s_.vvar[6][i] = s_.vvar[7][i] = 0.0;
    }
    step_.inflow_momentum = inflow;
    th_lm_calc(n, s_.vvar[1], s_.vvar_2, s_.vvar_temp_div[2]);
    for (int slot = 1; slot <= kSlots; ++slot) {
      for (int i = 1; i <= n; ++i) s_.rrhs_rk[slot][i] = s_.rrhs[slot][i] = 0.0;
    }
    s_.rrhs_rk_2 = s_.rrhs_2 = 0.0;
  }

  double front() {
    OperatorSet& ops = solver_.operators();
    temperature_gradient(s_, ops, w_.n, w_.th, w_.dthdx);
    locate_front(s_, &ops, w_.n, w_.front, s_.settings.front_criterion, w_.dthdx);
    return w_.front.x_m;
  }

  // g = G(u): the change over one step per unit time, scaled; the held
  // values' rows; the anchoring row; the momentum rows differenced.
  void residual(const Vec& u, Vec& g) {
    ++w_.evaluations;
    load(u);
    const double x_m = front();
    const double t0 = s_.tempo.t;
    advance_fields(s_, solver_, step_);
    s_.tempo.t = t0;
    const double span = s_.tempo.dt;
    const int n = w_.n;
    for (int i = 1; i <= n - 1; ++i) {
      g[i - 1] = (s_.vvar[1][i] / w_.scale_rho - u[i - 1]) / span;
      g[n - 1 + i - 1] = (s_.vvar[2][i] / w_.scale_fuel - u[n - 1 + i - 1]) / span;
    }
    for (int i = 2; i <= n; ++i) {
      g[2 * n - 2 + i - 2] = (s_.vvar[4][i] / w_.scale_mom - u[2 * n - 2 + i - 2]) / span;
    }
    g[0] = (u[0] - w_.pin_rho) / span;
    g[n - 1] = (u[n - 1] - w_.pin_fuel) / span;
    g[n - 2] = (u[n - 2] - w_.pin_out) / span;
    g[w_.N - 1] = (x_m - s_.settings.x_anchor) * w_.phase_scale;
    double largest = 0.0;
    for (int i = 0; i < w_.N; ++i) largest = std::max(largest, std::fabs(g[i]));
    w_.raw_inf = largest;
    for (int i = n; i >= 3; --i) g[2 * n - 2 + i - 2] -= g[2 * n - 2 + i - 3];
  }

  // The band of unknown k, interleaved point by point: density and fuel of
  // staggered point p, momentum of node p + 1.
  int interleaved(int k) const {
    const int n = w_.n;
    if (k < n - 1) return 3 * k;
    if (k < 2 * n - 2) return 3 * (k - (n - 1)) + 1;
    return 3 * (k - (2 * n - 2)) + 2;
  }

  // The preconditioner at u (g = G(u)): the band of the Jacobian by coloured
  // differences (one field, every (2 half + 1)-th point at once), minus
  // 1/shift on the diagonal of the field rows when shift > 0; bordered by
  // the inflow momentum's column and the anchoring row unless `border` is
  // false. False when it cannot be factored.
  bool build(const Vec& u, const Vec& g, double shift, bool border) {
    const int n = w_.n, m = w_.m;
    const int half = kBandHalf, width = 2 * half + 1;
    BandLU& lu = w_.lu;
    lu.clear();
    const double e = kDifference;
    for (int f = 0; f < 3; ++f) {
      for (int c = 0; c < width; ++c) {
        std::copy(u.begin(), u.end(), w_.up.begin());
        bool any = false;
        for (int p = 1; p <= n - 1; ++p) {
          if (p % width != c) continue;
          w_.up[static_cast<std::size_t>(f * (n - 1) + p - 1)] += e;
          any = true;
        }
        if (!any) continue;
        residual(w_.up, w_.gp);
        for (int i = 0; i < m; ++i) {
          const int fi = i / (n - 1), pi = i % (n - 1) + 1;
          // the perturbed point of field f within half points of pi
          const int base = pi - half;
          const int pj = base + (((c - base) % width) + width) % width;
          if (pj < 1 || pj > n - 1 || std::abs(pj - pi) > half) continue;
          const int r = 3 * (pi - 1) + fi, col = 3 * (pj - 1) + f;
          if (!lu.in_band(r, col)) continue;
          lu.at(r, col) = (w_.gp[i] - g[i]) / e;
        }
      }
    }
    if (shift > 0.0) {
      for (int i = 0; i < m; ++i) {
        const int r = interleaved(i);
        lu.at(r, r) -= 1.0 / shift;
        // a differenced momentum row carries the difference of the shift
        if (i > 2 * n - 2) lu.at(r, interleaved(i - 1)) += 1.0 / shift;
      }
    }
    if (!border) {
      load(u);
      return lu.factor();
    }
    // the inflow momentum's column: a uniform velocity change moves every field
    std::copy(u.begin(), u.end(), w_.up.begin());
    w_.up[w_.N - 1] += e;
    residual(w_.up, w_.gp);
    for (int i = 0; i < m; ++i) w_.col[interleaved(i)] = (w_.gp[i] - g[i]) / e;
    w_.corner = (w_.gp[w_.N - 1] - g[w_.N - 1]) / e;
    // the anchoring row: the front moves with the density alone
    std::fill(w_.row.begin(), w_.row.end(), 0.0);
    load(u);
    const double x0 = front();
    const int k = static_cast<int>(std::lround(x0 / s_.discr.dx)) + 1;
    std::copy(u.begin(), u.end(), w_.up.begin());
    for (int p = std::max(1, k - kAnchorRowReach); p <= std::min(n - 1, k + kAnchorRowReach); ++p) {
      w_.up[p - 1] += e;
      load(w_.up);
      w_.row[3 * (p - 1)] = (front() - x0) * w_.phase_scale / e;
      w_.up[p - 1] = u[p - 1];
    }
    load(u);
    if (!lu.factor()) return false;
    std::copy(w_.col.begin(), w_.col.end(), w_.z.begin());
    lu.solve(w_.z.data());
    w_.schur = w_.corner - dot(w_.row, w_.z, m);
    return w_.schur != 0.0 && std::isfinite(w_.schur);
  }

  // x <- P^-1 x, unknowns in their own order.
  void precondition(Vec& x) {
    const int m = w_.m;
    for (int i = 0; i < m; ++i) w_.y[interleaved(i)] = x[i];
    w_.lu.solve(w_.y.data());
    const double last = (x[w_.N - 1] - dot(w_.row, w_.y, m)) / w_.schur;
    for (int i = 0; i < m; ++i) w_.y[i] -= w_.z[i] * last;
    for (int i = 0; i < m; ++i) x[i] = w_.y[interleaved(i)];
    x[w_.N - 1] = last;
  }

  // x <- A^-1 x on the fields alone (no border), the inflow momentum's entry 0.
  void solve_fields(Vec& x) {
    const int m = w_.m;
    for (int i = 0; i < m; ++i) w_.y[interleaved(i)] = x[i];
    w_.lu.solve(w_.y.data());
    for (int i = 0; i < m; ++i) x[i] = w_.y[interleaved(i)];
    x[w_.N - 1] = 0.0;
  }

  // out = J P^-1 v by one difference of the residual at u (g = G(u)).
  void jacobian_product(const Vec& u, const Vec& g, const double* v, Vec& out) {
    const int N = w_.N;
    std::copy(v, v + N, w_.kp.begin());
    precondition(w_.kp);
    const double vn = norm2(w_.kp, N);
    const double e = kDifference * (1.0 + norm2(u, N)) / vn;
    for (int i = 0; i < N; ++i) w_.kup[i] = u[i] + e * w_.kp[i];
    residual(w_.kup, w_.kgp);
    for (int i = 0; i < N; ++i) out[i] = (w_.kgp[i] - g[i]) / e;
  }

  // GMRES(kKrylovRestart), right-preconditioned, for J x = b at u; x from 0.
  // Returns the iterations.
  int gmres(const Vec& u, const Vec& g, const Vec& b, Vec& x) {
    const int N = w_.N, restart = kKrylovRestart;
    std::fill(x.begin(), x.end(), 0.0);
    const double bnorm = norm2(b, N);
    if (bnorm == 0.0) return 0;
    double* V = w_.basis.data();
    auto H = [&](int i, int j) -> double& { return w_.hessenberg[static_cast<std::size_t>(i) * restart + j]; };
    auto column = [&](int k) { return V + static_cast<std::size_t>(k) * N; };
    int total = 0;
    while (total < kKrylovMax) {
      if (total == 0) {
        std::copy(b.begin(), b.end(), w_.kr.begin());
      } else {
        jacobian_product(u, g, x.data(), w_.kw);  // x holds P times the iterate until the end
        for (int i = 0; i < N; ++i) w_.kr[i] = b[i] - w_.kw[i];
      }
      const double beta = norm2(w_.kr, N);
      if (beta <= kForcing * bnorm) break;
      std::fill(w_.e1.begin(), w_.e1.end(), 0.0);
      for (int i = 0; i < N; ++i) column(0)[i] = w_.kr[i] / beta;
      w_.e1[0] = beta;
      int j = 0;
      for (; j < restart && total < kKrylovMax; ++j) {
        ++total;
        jacobian_product(u, g, column(j), w_.kw);
        for (int k = 0; k <= j; ++k) {
          H(k, j) = dot(column(k), w_.kw, N);
          for (int i = 0; i < N; ++i) w_.kw[i] -= H(k, j) * column(k)[i];
        }
        H(j + 1, j) = norm2(w_.kw, N);
        if (H(j + 1, j) != 0.0 && j + 1 <= restart) {
          for (int i = 0; i < N; ++i) column(j + 1)[i] = w_.kw[i] / H(j + 1, j);
        }
        for (int k = 0; k < j; ++k) {
          const double t = w_.cs[k] * H(k, j) + w_.sn[k] * H(k + 1, j);
          H(k + 1, j) = -w_.sn[k] * H(k, j) + w_.cs[k] * H(k + 1, j);
          H(k, j) = t;
        }
        const double a = H(j, j), c = H(j + 1, j);
        const double rr = std::hypot(a, c);
        w_.cs[j] = a / rr;
        w_.sn[j] = c / rr;
        H(j, j) = rr;
        H(j + 1, j) = 0.0;
        w_.e1[j + 1] = -w_.sn[j] * w_.e1[j];
        w_.e1[j] = w_.cs[j] * w_.e1[j];
        if (std::fabs(w_.e1[j + 1]) <= kForcing * bnorm) {
          ++j;
          break;
        }
      }
      for (int k = j - 1; k >= 0; --k) {
        double t = w_.e1[k];
        for (int l = k + 1; l < j; ++l) t -= H(k, l) * w_.coef[l];
        w_.coef[k] = t / H(k, k);
      }
      for (int k = 0; k < j; ++k) {
        for (int i = 0; i < N; ++i) x[i] += w_.coef[k] * column(k)[i];
      }
      if (std::fabs(w_.e1[j]) <= kForcing * bnorm) break;
    }
    precondition(x);
    return total;
  }

  void save() {
    w_.vvar = s_.vvar;
    w_.temp_div = s_.vvar_temp_div;
    w_.pressure = s_.vvar_2;
    w_.inflow = step_.inflow_momentum;
    w_.t = s_.tempo.t;
    w_.dt = s_.tempo.dt;
    w_.it = s_.tempo.it;
  }
  void restore_fields() {
    s_.vvar = w_.vvar;
    s_.vvar_temp_div = w_.temp_div;
    s_.vvar_2 = w_.pressure;
    step_.inflow_momentum = w_.inflow;
    for (int slot = 1; slot <= kSlots; ++slot) {
      for (int i = 1; i <= w_.n; ++i) s_.rrhs_rk[slot][i] = s_.rrhs[slot][i] = 0.0;
    }
    s_.rrhs_rk_2 = s_.rrhs_2 = 0.0;
  }
  void restore_clock() {
    s_.tempo.t = w_.t;
    s_.tempo.dt = w_.dt;
    s_.tempo.it = w_.it;
  }

 private:
  State& s_;
  Solver& solver_;
  StepValues& step_;
  SteadyState::Work& w_;
};

// The steady state's steps: corrections of a fixed iteration count, and no
// step-1 dumps (the step counter reads 0 meanwhile); both put back after.
class SteadyStepping {
 public:
  SteadyStepping(State& s, Solver& solver) : s_(s), solver_(solver), fixed_(solver.correction_fixed_iterations) {
    solver_.correction_fixed_iterations = kSteadyCorrectionIterations;
    it_ = s.tempo.it;
    s.tempo.it = 0;
  }
  ~SteadyStepping() {
    solver_.correction_fixed_iterations = fixed_;
    s_.tempo.it = it_;
  }
  SteadyStepping(const SteadyStepping&) = delete;
  SteadyStepping& operator=(const SteadyStepping&) = delete;

 private:
  State& s_;
  Solver& solver_;
  int fixed_;
  int it_ = 0;
};

}  // namespace

SteadyState::SteadyState(State& s, Solver& solver, StepValues& step)
    : s_(s), solver_(solver), step_(step), w_(std::make_unique<Work>(s.settings.n)) {}

SteadyState::~SteadyState() = default;

void SteadyState::hold_inflow_point(double rho, double fuel, double rate_estimate) {
  w_->hold_rho = rho;
  w_->hold_fuel = fuel;
  w_->rate_estimate = rate_estimate;
}

double SteadyState::front_position() { return Engine(s_, solver_, step_, *w_).front(); }

void SteadyState::forget_jacobian() { w_->since_build = -1; }

namespace {

// Newton iterations from w.u at the dt in force; the preconditioner built
// first unless `reuse` (it is then the one of an earlier call). True when
// converged; w.u the last accepted iterate either way.
bool newton(Engine& e, SteadyState::Work& w, bool reuse, PolishReport& rep) {
  const int N = w.N;
  const double tau = w.flame_time;
  e.residual(w.u, w.g);
  if (!reuse) rep.residual_start = w.raw_inf * tau;
  double res = w.raw_inf * tau;
  double last_update = 1.0;
  bool converged = false;
  for (int it = 1; it <= kMaxNewton && std::isfinite(res); ++it) {
    for (int i = 0; i < N; ++i) w.b[i] = -w.g[i];
    if (it == 1 && !reuse && !e.build(w.u, w.g, 0.0, true)) break;
    rep.krylov_iterations += e.gmres(w.u, w.g, w.b, w.d);
    // backtracking on the 2-norm of the residual
    const double g2 = norm2(w.g, N);
    double lambda = 1.0;
    bool accepted = false;
    for (int ls = 0; ls < kLineSearch; ++ls) {
      for (int i = 0; i < N; ++i) w.ut[i] = w.u[i] + lambda * w.d[i];
      e.residual(w.ut, w.gt);
      if (norm2(w.gt, N) < (1.0 - 1e-4 * lambda) * g2) {
        accepted = true;
        break;
      }
      lambda *= 0.5;
    }
    rep.newton_iterations += 1;
    const double rate_update = std::fabs(lambda * w.d[N - 1] / w.u[N - 1]);
    if (!accepted) {
      // at the residual's floor of rounding after a converging update
      converged = res <= kResidualFloor && last_update <= kRateTolerance;
      break;
    }
    last_update = rate_update;
    w.u.swap(w.ut);
    w.g.swap(w.gt);
    res = w.raw_inf * tau;  // of the point the line search accepted, evaluated last
    if (res <= kTolerance || (res <= kResidualFloor && rate_update <= kRateTolerance)) {
      converged = true;
      break;
    }
  }
  rep.residual_end = res;
  return converged;
}

}  // namespace

PolishReport SteadyState::polish() {
  Work& w = *w_;
  Engine e(s_, solver_, step_, w);
  PolishReport rep;
  const long long evaluations_before = w.evaluations;
  w.since_build = -1;  // the band below becomes the polish's
  e.save();
  bool converged = false;
  {
    const SteadyStepping stepping(s_, solver_);
    e.rescale();
    e.pack(w.u);
    converged = newton(e, w, false, rep);
    // The steady state of a step depends a little on its dt (a fast mode
    // settles differently, moving the front by ~1e-8 of a length): with dt
    // from the time-step control, the polished state is polished again at
    // the dt that control gives it, until that dt no longer changes.
    for (int again = 0; converged && s_.discr.dt_mode == 1 && again < kDtPasses; ++again) {
      e.load(w.u);
      const double used = s_.tempo.dt;
      solver_.cfl_eva2(s_, w.n, s_.settings.n_species, s_.settings.cfl, s_.settings.stab, w.limits);
      if (std::fabs(s_.tempo.dt - used) <= kDtAgreement * used) break;
      converged = newton(e, w, true, rep);
    }
    if (converged) e.load(w.u);
  }
  if (!converged) e.restore_fields();
  const double dt = s_.tempo.dt;
  e.restore_clock();
  if (converged) s_.tempo.dt = dt;  // the time-step control's for the polished state
  rep.converged = converged;
  rep.evaluations = w.evaluations - evaluations_before;
  return rep;
}

bool SteadyState::pseudo_time_step(double span) {
  Work& w = *w_;
  Engine e(s_, solver_, step_, w);
  e.save();
  bool done = false;
  {
    const SteadyStepping stepping(s_, solver_);
    if (w.since_build < 0 || w.since_build >= kRebuildEvery) {
      e.rescale();
      e.pack(w.u);
      e.residual(w.u, w.g);
      w.since_build = e.build(w.u, w.g, span, false) ? 0 : -1;
    } else {
      e.pack(w.u);
      e.residual(w.u, w.g);
    }
    if (w.since_build >= 0) {
      ++w.since_build;
      // (I/span - J) d = G: d = -(J - I/span)^-1 G, the inflow momentum held
      for (int i = 0; i < w.N; ++i) w.d[i] = -w.g[i];
      e.solve_fields(w.d);
      double largest = 0.0;
      for (int i = 0; i < w.N; ++i) largest = std::max(largest, std::fabs(w.d[i]));
      if (largest <= kPseudoChangeLimit) {
        for (int i = 0; i < w.N; ++i) w.u[i] += w.d[i];
        e.load(w.u);
        done = true;
      } else {
        w.since_build = -1;  // a step that runs away (or is not a number) is taken back
      }
    }
  }
  if (!done) e.restore_fields();
  e.restore_clock();
  return done;
}

}  // namespace fiamma
