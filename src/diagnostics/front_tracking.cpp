#include "diagnostics/front_tracking.hpp"

#include <cmath>
#include <cstdlib>
#include <string>

#include "core/errors.hpp"
#include "core/free_format.hpp"
#include "config/free_format_reader.hpp"
#include "core/naming.hpp"
#include "operators/operators.hpp"

namespace fiamma {

namespace {

constexpr const char* kUniformHeader =
    "VARIABLES=\"it\",\"t\",\"x_m\",\"dt_m\",\"s\",\"del\",\"w_in\",\"s_m\",\"de_m\",\"w_in_m\",\"w_a_m\","
    "\"s_sta\",\"w_a_s\",\"a_f\",\"var\",\"s_cons\"";
constexpr const char* kNonUniformHeader =
    "VARIABLES=\"it\",\"t\",\"x_m\",\"dt_m\",\"s\",\"del\",\"w_in\",\"s_m\",\"de_m\",\"w_in_m\",\"w_a_m\","
    "\"s_sta\",\"w_a_s\",\"a_f\",\"s_l_ana\",\"rho_ing\",\"var\",\"del_an\"";

// The records of an earlier history `text` up to iteration `last`, with its
// header and zone line, when its header is `header`; "" otherwise.
std::string history_up_to(const std::string& text, const std::string& header, int last) {
  std::string kept;
  std::size_t at = 0;
  for (int line = 0; at < text.size(); ++line) {
    std::size_t end = text.find('\n', at);
    if (end == std::string::npos) break;  // a last line cut short is dropped
    const std::string l = text.substr(at, end - at);
    if (line == 0 && l != header) return "";
    if (line >= 2) {
      char* stop = nullptr;
      const long it = std::strtol(l.c_str(), &stop, 10);
      if (stop == l.c_str() || it > last) break;
    }
    kept += l + '\n';
    at = end + 1;
  }
  return kept.empty() ? "" : kept;
}

// Opens the history file and writes its header and zone line. A file left
// open by an earlier run that stopped before its last step goes on
// receiving records when the name is the same. A restart continues a
// history of the same variant instead: its records up to it_start stay
// (those after it are the interrupted run's, which this one writes again).
void open_history(State& s, FrontTracker& f, bool uniform) {
  set_file_name(s.addr, std::string(" ") + kHistoryName);
  sver(s.addr);
  strg(s.addr);
  const auto path = s.file(trimmed(s.addr.full_path));
  if (uniform) {
    s.out() << Line().text(s.voice("file di fiamma output:  "_it)).raw(whole(s.addr.full_path));
  }
  const std::string header = ' ' + (uniform ? std::string(kUniformHeader) : padded(kNonUniformHeader, 180));
  const std::string zone = ' ' + padded("ZONE", uniform ? 96 : 70);
  if (f.continue_history && !f.history.is_open()) {
    std::string earlier;
    try {
      earlier = history_up_to(read_input_file(path, kHistoryName), header, s.tempo.it_start);
    } catch (const InputError&) {
      earlier.clear();  // none, or not a file to continue
    }
    if (earlier.rfind(header + '\n' + zone + '\n', 0) == 0) {
      write_file_atomically(path, earlier, kPrefixedOrigin);
      f.history.open(path, kPrefixedOrigin, false);
      return;
    }
  }
  if (f.history.is_open() && f.history.path() != path) f.history.close();
  if (!f.history.is_open()) f.history.open(path, kPrefixedOrigin, uniform);
  f.history.write_record(header + '\n' + zone + '\n');
}

void initialise(State& s, FrontTracker& f, int n_stab, bool uniform) {
  open_history(s, f, uniform);
  if (f.restored) {
    f.restored = false;  // once: a later sweep step starts afresh
    return;
  }
  f.first_it = s.tempo.it_start;
  f.n_avg = 0;
  f.s_m = f.de_m = f.w_in_m = f.w_a_m = 0.0;
  f.s_sta = f.w_a_s = f.var = 0.0;
  for (int j = 1; j <= n_stab; ++j) f.s_last[j] = f.w_ass_last[j] = f.varianza_last[j] = 0.0;
  f.del = s.discr.domain_length;
  if (uniform) f.s_cons = 0.0;
}

}  // namespace

void temperature_gradient(const State& s, OperatorSet& ops, int n, Field& th, Field& dthdx) {
  const Field& staggered = s.vvar_temp_div[2];
  for (int i = 1; i <= n - 1; ++i) th[i] = staggered[i];
  th[n] = staggered[n - 1];
  ops.apply(Operator::der_prima, th, dthdx);
}

void locate_front(State& s, OperatorSet* ops, int n, FrontLocation& f, int criterion, const Field& dthdx) {
  const bool uniform = ops != nullptr;
  const Gass& g = s.gass;
  const double dx = s.discr.dx;
  const auto x = [&](int i) { return uniform ? (i - 1) * dx : s.grid2.x[i]; };
  const auto h = [&](int i) { return i >= n ? 0.0 : (uniform ? dx : s.grid2.spacing[i]); };
  // 1. point values (the oxidizer is read by nothing)
  if (uniform) {
    ops->apply_many(Operator::inter_st_ns, {&s.vvar[1], &s.vvar[2], &dthdx}, {&f.rho, &f.rho_y1, &f.dth});
  } else {
    for (int i = 1; i <= n; ++i) {
      f.rho[i] = s.vvar[1][i];
      f.rho_y1[i] = s.vvar[2][i];
      f.dth[i] = dthdx[i];
    }
  }

  // 2. temperature levels
  const double rise = uniform ? g.D_1 * g.y1_fresh : g.y1_fresh;
  const double th10 = g.th_fresh + 0.1 * rise;
  const double th90 = g.th_fresh + 0.9 * rise;
  if (!uniform) s.ic_kkind_re.th_front_level = g.th_fresh + 0.5 * g.y1_fresh;
  const double level = s.ic_kkind_re.th_front_level;

  // 3. temperature, reaction rate, detection function
  const double p = s.vvar_2;
  for (int i = 1; i <= n; ++i) {
    f.th[i] = p / f.rho[i];
    const double arrhenius = std::exp(-g.Zeldovich / f.th[i]);
    f.w[i] = uniform ? g.Damkohler * f.rho[i] * (f.rho_y1[i] / f.rho[i]) * arrhenius
                     : g.Damkohler * std::pow(f.rho_y1[i], s.ic_kkind.ord_reaz) * arrhenius;
    switch (criterion) {
      case 1: f.detect_fn[i] = std::fabs(f.dth[i]); break;
      case 2: f.detect_fn[i] = -std::fabs(f.th[i] - level); break;
      case 3: f.detect_fn[i] = std::fabs(f.w[i]); break;
      default: f.detect_fn[i] = 0.0; break;
    }
  }

  // 4. consumption speed, trapezoidal rule
  if (uniform) {
    double sum = 0.5 * (f.w[1] + f.w[n]);
    for (int i = 2; i <= n - 1; ++i) sum += f.w[i];
    f.s_cons = dx * sum / f.rho_y1[1];
  }

  if (criterion == 4) {
    // 5. progress variable; the front abscissa splits its integral like a
    // sharp step: x(n) minus the burnt length.
    const double th1 = f.th[1], thn = f.th[n];
    for (int i = 1; i <= n; ++i) f.progress_var[i] = (f.th[i] - th1) / (thn - th1);
    double burnt = 0.0;
    for (int i = 1; i <= n - 1; ++i) burnt += 0.5 * h(i) * (f.progress_var[i] + f.progress_var[i + 1]);
    f.x_m = x(n) - burnt;
    f.dt_m = 0.0;
  } else {
    // 6. maximum of the detection function over nodes 1..n-1, the first wins
    double best = -1.0e32;
    int k = 1;
    for (int i = 1; i <= n - 1; ++i) {
      if (f.detect_fn[i] > best) {
        best = f.detect_fn[i];
        k = i;
      }
    }

    // 7. thickness between the levels on either side of the maximum
    if (criterion == 2 || criterion == 3) {
      const Field& v = criterion == 2 ? f.th : f.w;
      const double l1 = criterion == 2 ? th10 : best / 10.0;
      const double l2 = criterion == 2 ? th90 : best / 10.0;
      int left = 1, right = k;
      double dist = 1.0e32;
      for (int i = 1; i <= k; ++i) {
        if (std::fabs(v[i] - l1) < dist) {
          dist = std::fabs(v[i] - l1);
          left = i;
        }
      }
      dist = 1.0e32;
      for (int i = k; i <= n - 1; ++i) {
        if (std::fabs(v[i] - l2) < dist) {
          dist = std::fabs(v[i] - l2);
          right = i;
        }
      }
      f.del = x(right) - x(left);
    }

    // 8. vertex of the parabola through the maximum and its neighbours; at
    // node 1 there is no left neighbour and the node itself is the front.
    if (k == 1) {
      f.x_m = x(1);
      f.dt_m = f.detect_fn[1];
    } else {
      const double x1 = x(k);
      const double x0 = x1 - (uniform ? dx : h(k - 1));
      const double x2 = x1 + (uniform ? dx : h(k));
      const double f0 = f.detect_fn[k - 1], f1 = f.detect_fn[k], f2 = f.detect_fn[k + 1];
      const double d0 = (x0 - x1) * (x0 - x2), d1 = (x1 - x0) * (x1 - x2), d2 = (x2 - x0) * (x2 - x1);
      const double q2 = f0 / d0 + f1 / d1 + f2 / d2;
      const double q1 = -(f0 * (x1 + x2) / d0 + f1 * (x0 + x2) / d1 + f2 * (x0 + x1) / d2);
      const double q0 = f0 * x1 * x2 / d0 + f1 * x0 * x2 / d1 + f2 * x0 * x1 / d2;
      f.x_m = -q1 / (2.0 * q2);
      f.dt_m = q2 * f.x_m * f.x_m + q1 * f.x_m + q0;
    }

    // 9. thermal thickness: temperature rise over the steepest gradient
    if (criterion == 1) f.del = (f.th[n] - f.th[1]) / std::fabs(f.dt_m);
  }

}

namespace {

// One measuring call of either variant; the uniform one interpolates with
// `ops`.
void measure(State& s, OperatorSet* ops, int n, FrontTracker& f, int criterion, int n_stab, const Field& dthdx,
             double M_l_ana, double d_l_ana) {
  const bool uniform = ops != nullptr;
  const Tempo& tm = s.tempo;
  locate_front(s, ops, n, f, criterion, dthdx);

  const bool first = tm.it == f.first_it + 1;
  // At the first measuring step both previous positions are the current
  // one: the first speed is 0, whatever the criterion. (The node of the
  // maximum would give a speed of (vertex - node)/dt, up to half a spacing
  // per step, and a kick to the controller.)
  if (first) f.x_m_prev = f.x_m_prev2 = f.x_m;

  // 10-12. speed, second difference, inflow velocity
  f.s = (f.x_m - f.x_m_prev) / tm.dt;
  f.a_f = (f.x_m - 2.0 * f.x_m_prev + f.x_m_prev2) / (2.0 * tm.dt);
  f.w_in = s.vvar[4][1] / f.rho[1];

  // 13. history record, before the statistics of this step
  if (tm.it % kHistoryInterval == 0) {
    Line rec;
    rec.integer(tm.it).real(tm.t).real(f.x_m).real(f.dt_m).real(f.s).real(f.del).real(f.w_in).real(f.s_m)
        .real(f.de_m).real(f.w_in_m).real(f.w_a_m).real(f.s_sta).real(f.w_a_s).real(f.a_f);
    if (uniform) {
      rec.real(f.var).real(f.s_cons);
    } else {
      rec.real(M_l_ana / f.rho[1]).real(f.rho[1]).real(f.var).real(d_l_ana);
    }
    f.history.write_record(rec.str() + '\n');
  }

  // 14. positions
  f.x_m_prev2 = f.x_m_prev;
  f.x_m_prev = f.x_m;

  // 15. moving window of n_stab samples
  const int nw = n_stab;
  const double w_a = f.w_in - f.s;
  if (nw <= 1) {
    f.s_sta = f.s;
  } else {
    f.s_sta = (nw * f.s_sta - f.s_last[1] + f.s) / nw;
    f.w_a_s = (nw * f.w_a_s - f.w_ass_last[1] + w_a) / nw;
    const double dev2 = (w_a - f.w_a_s) * (w_a - f.w_a_s);
    f.var = (dev2 + nw * f.var - f.varianza_last[1]) / nw;
    for (int j = 1; j <= nw - 1; ++j) {
      f.s_last[j] = f.s_last[j + 1];
      f.w_ass_last[j] = f.w_ass_last[j + 1];
      f.varianza_last[j] = f.varianza_last[j + 1];
    }
    f.s_last[nw] = f.s;
    f.w_ass_last[nw] = w_a;
    f.varianza_last[nw] = dev2;
  }

  // 16. cumulative means
  if (tm.t >= (f.first_it + 1) * tm.dt) {
    const double m = f.n_avg;
    f.de_m = (m * f.de_m + f.del) / (m + 1);
    f.s_m = (m * f.s_m + f.s) / (m + 1);
    f.w_in_m = (m * f.w_in_m + f.w_in) / (m + 1);
    f.w_a_m = (m * f.w_a_m + w_a) / (m + 1);
    f.n_avg = f.n_avg + 1;
  }

  // 17. the last step closes the history
  if (tm.it == tm.it_end) f.history.close();
}

void track(State& s, OperatorSet* ops, int n, FrontTracker& f, int criterion, int n_stab, const Field& dthdx,
           double M_l_ana, double d_l_ana) {
  const Tempo& tm = s.tempo;
  if (tm.it < tm.it_start) return;
  if (tm.it == tm.it_start) {
    initialise(s, f, n_stab, ops != nullptr);
  } else {
    measure(s, ops, n, f, criterion, n_stab, dthdx, M_l_ana, d_l_ana);
  }
}

}  // namespace

void calcola_vel_spes_fronte_lm(State& s, OperatorSet& ops, int n, int /*n_species*/, FrontTracker& f,
                                int front_criterion, int /*follow_mode*/, int /*capacity*/, int n_stab,
                                const Field& dthdx) {
  track(s, &ops, n, f, front_criterion, n_stab, dthdx, 0.0, 0.0);
}

void calcola_vel_spes_fronte_nu_lm(State& s, int n, int /*n_species*/, FrontTracker& f, int front_criterion,
                                   int /*follow_mode*/, int /*capacity*/, int n_stab, const Field& dthdx,
                                   double M_l_ana, double d_l_ana) {
  track(s, nullptr, n, f, front_criterion, n_stab, dthdx, M_l_ana, d_l_ana);
}

}  // namespace fiamma
