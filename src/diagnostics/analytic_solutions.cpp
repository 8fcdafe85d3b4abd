#include "diagnostics/analytic_solutions.hpp"

#include <cmath>
#include <string>

#include "core/errors.hpp"
#include "core/file_writer.hpp"
#include "core/fixed_format.hpp"
#include "core/free_format.hpp"
#include "core/naming.hpp"

namespace fiamma {

namespace {

constexpr double kPi = 3.141592653589793;

std::string header_line(const HeaderText& text) { return std::string(text.data(), text.size()); }

// The path of the analytic file of `counter` (run tag, "an", five digits).
std::filesystem::path analytic_path(State& s, int counter) {
  const auto path = s.file(tagged_output_path(s, " an_____.dat", 4, 5, counter));
  s.out() << Line().text("filen = ").raw(whole(s.addr.file_name));
  return path;
}

}  // namespace

void ff_function(const State& s, double x, double& f, double& d1, double& d2) {
  const FfFnz& p = s.ff_fnz;
  const double xi = 10.0 * (x - p.ff_centre) / p.ff_width;
  const double z = 2.0 * std::sinh(xi);
  const double base = 0.5 * p.ff_amplitude * (1.0 + (2.0 / kPi) * std::atan(z));
  switch (s.ic_kkind.case_kind) {
    case 4: f = base - p.ff_amplitude; break;
    case 5: f = base + s.gass.th0; break;
    default: f = base; break;
  }
  d1 = 0.0;
  d2 = 0.0;
}

void ff_c_function(const State& s, double xi, double a, double b, double& F, double& d1, double& d2) {
  double f = 0.0;
  ff_function(s, xi, f, d1, d2);
  F = a * f + xi - b;
}

void invernew(State& s, double a, double b, double& xi, int& fail, double lo, double hi) {
  double prev = 1.0, d1 = 0.0, d2 = 0.0;
  for (int pass = 1; pass <= kRootIterations; ++pass) {
    double f_lo = 0.0, f_hi = 0.0;
    ff_c_function(s, lo, a, b, f_lo, d1, d2);
    ff_c_function(s, hi, a, b, f_hi, d1, d2);
    xi = lo - f_lo * (hi - lo) / (f_hi - f_lo);
    if (std::fabs(xi - prev) <= kRootTolerance) return;
    if (std::fabs(hi - lo) <= kRootTolerance) {
      xi = lo;
      return;
    }
    double f_xi = 0.0;
    ff_c_function(s, xi, a, b, f_xi, d1, d2);
    if (f_xi >= 0.0) hi = xi;
    if (f_xi <= 0.0) lo = xi;
    prev = xi;
  }
  s.out() << Line().text(s.voice("Convergenza non raggiunta in "_it)).integer(kRootIterations).text(s.voice(" iterazioni"_it));
  fail = 1;
}

void b_tcp_an_prim(int /*count*/, HeaderText& text) {
  text.fill(' ');
  const std::string h = "VARIABLES = \"x\",\"rho\",\"v\",\"th\"";
  h.copy(text.data(), h.size());
}

void b_tcp_an_cons(int N, HeaderText& text) {
  text.fill(' ');
  const std::string h = "VARIABLES = \"x\"";
  h.copy(text.data(), h.size());
  for (int k = 1; k <= N && 15 + 6 * k <= 62; ++k) {
    const std::string entry = ", \"u" + std::to_string(k % 10) + "\"";
    entry.copy(text.data() + 15 + 6 * (k - 1), entry.size());
  }
}

void sol_an(State& s, double t, int counter, int n, int case_kind) {
  const Gass& g = s.gass;
  const AnRef& r = s.an_ref;
  const double gamma = g.gamma;
  const double cs0 = std::sqrt(gamma * r.gas_constant_an * g.th0);
  const double rho0 = r.pressure_an / (r.gas_constant_an * g.th0);
  const double J = (case_kind == 3 ? -2.0 : 2.0) * cs0 / (gamma - 1.0);
  ReplacedFile file(analytic_path(s, counter), kPrefixedOrigin);
  HeaderText header;
  b_tcp_an_prim(4, header);
  file << ' ' << header_line(header) << '\n' << Line().text("ZONE");
  for (int i = 1; i <= n; ++i) {
    const double x = (i - 1) * s.discr.dx;
    const double a = (gamma + 1.0) * t / 2.0;
    const double b = x + (gamma - 1.0) / 2.0 * J * t;
    double xi = x;
    if (t > 0.0) {
      int fail = 0;
      invernew(s, a, b, xi, fail, s.ff_fnz.ff_lo, s.ff_fnz.ff_hi);
      if (fail == 1) {
        s.out() << Line().text(s.voice("Convergenza non raggiunta:"_it)) << Line().text("i = ").integer(counter).text(" t = ").real(t)
                << Line().text("a = ").real(a).text(" b = ").real(b) << Line().text("j = ").integer(i).text(" x = ").real(x)
                << Line().text("j = ").integer(i).text(" x0 = ").real(xi);
      }
    }
    double v = 0.0, d1 = 0.0, d2 = 0.0;
    ff_function(s, xi, v, d1, d2);
    const double cs = case_kind == 3 ? (gamma - 1.0) / 2.0 * (v - J) : (gamma - 1.0) / 2.0 * (J - v);
    const double rho = rho0 * std::pow(cs / cs0, 2.0 / (gamma - 1.0));
    const double th = g.th0 * std::pow(rho / rho0, gamma - 1.0);
    file << Line().real(x).real(rho).real(rho * v / rho).real(th);
  }
  file.commit();
}

void sol_an_entr_comb(State& s, double t, int counter, int n) {
  const Gass& g = s.gass;
  const AnRef& r = s.an_ref;
  const double speed = s.ff_fnz.ff_speed;
  ReplacedFile file(analytic_path(s, counter), kPrefixedOrigin);
  HeaderText header;
  b_tcp_an_cons(7, header);
  file << ' ' << header_line(header) << '\n' << Line().text("ZONE");
  for (int i = 1; i <= n; ++i) {
    const double x = (i - 1) * s.discr.dx;
    double th = 0.0, d1 = 0.0, d2 = 0.0;
    ff_function(s, x - t * speed, th, d1, d2);
    const double rho = r.pressure_an / (r.gas_constant_an * th);
    const double rho_e =
        rho * ((speed * speed + 2.0 * rho * rho) / 2.0 + (th - g.th0) * r.cv_an + rho * g.D_1 + rho * g.D_2);
    std::string line;
    for (double v : {x, rho, rho * speed, rho_e, rho * rho, rho * rho, rho * rho, rho * rho}) {
      line += ' ';
      line += format_g10_4(v);
    }
    file << line << '\n';
  }
  file.commit();
}

}  // namespace fiamma
