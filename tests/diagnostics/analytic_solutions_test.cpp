// The analytic reference solutions: the simple wave (the characteristic
// condition and the Riemann invariant, checked from the written file), the
// root finder's failure path, the carried profile's fixed-width numbers and
// the profile file.
#include "diagnostics/analytic_solutions.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <sstream>
#include <vector>

#include "config/profile_input.hpp"
#include "core/errors.hpp"
#include "core/fixed_format.hpp"
#include "test_support.hpp"

namespace fiamma {
namespace {

using testing::lines_of;
using testing::numbers_of;
using testing::read_file;
using testing::ScratchDir;
using testing::write_file;

// The unit reference state of the analytic cases (gamma 2, th0 = p0 = 1) with
// the profile of profilo_an.dat: by default a rising velocity of amplitude
// 0.2 centred at 1, width parameter 5, carried at speed 0.3.
struct AnalyticCase {
  ScratchDir dir;
  std::ostringstream console;
  std::unique_ptr<State> s;
  AnalyticCase(int kind, const std::string& profile = "5.0 1.0 0.2\n-40 40\n0.3\n") {
    s = testing::make_state(dir.path(), console);
    s->ic_kkind.case_kind = kind;
    s->gass.gamma = 2.0;
    s->gass.th0 = s->gass.p0 = 1.0;
    s->gass.D_1 = s->gass.D_2 = 1.0;
    s->discr.dx = 0.05;
    s->addr.run_tag[0] = 'a';
    write_file(dir / "profilo_an.dat", profile);
    input_profilo_an(*s);
  }
  // the profile and its inverse on (0, A), written out independently
  double f(double x) const {
    const FfFnz& p = s->ff_fnz;
    return 0.5 * p.ff_amplitude * (1.0 + (2.0 / M_PI) * std::atan(2.0 * std::sinh(10.0 * (x - p.ff_centre) / p.ff_width)));
  }
  double f_inverse(double v) const {
    const FfFnz& p = s->ff_fnz;
    return p.ff_centre + p.ff_width / 10.0 * std::asinh(std::tan((2.0 * v / p.ff_amplitude - 1.0) * M_PI / 2.0) / 2.0);
  }
};

TEST(FixedWidth, MatchesTheGeneralNumericLayout) {
  // reference strings written by gfortran 12 with the G10.4 edit descriptor
  const std::pair<double, const char*> cases[] = {
      {0.0, " 0.000    "},    {-1.0, "-1.000    "},    {0.5, "0.5000    "},       {0.09999, "0.9999E-01"},
      {0.099999, "0.1000    "}, {9999.4, " 9999.    "}, {9999.6, "0.1000E+05"},    {-12345.678, "-.1235E+05"},
      {1e-5, "0.1000E-04"},   {1e100, "0.1000+101"},  {-0.5, "-.5000    "},     {99.995, " 100.0    "}};
  for (const auto& [x, expected] : cases) EXPECT_EQ(format_g10_4(x), expected) << x;
}

TEST(AnalyticSolutions, SimpleWaveFollowsItsCharacteristics) {
  // The wave of case 3 runs right (invariant v - 2 cs/(gamma-1) constant),
  // that of case 4 left; a characteristic through x at time t starts from
  // xi with a v + xi = b, a = (gamma+1) t / 2, b = x + (gamma-1)/2 J t.
  for (const auto& [kind, t, counter] : {std::tuple{3, 0.0, 0}, {3, 0.5, 400}, {4, 0.5, 400}}) {
    SCOPED_TRACE("case_kind " + std::to_string(kind) + ", t " + std::to_string(t));
    AnalyticCase c(kind, "5.0 1.5 0.2\n-40 40\n");
    const double gamma = 2.0, cs0 = std::sqrt(2.0), J = (kind == 3 ? -2.0 : 2.0) * cs0 / (gamma - 1.0);
    sol_an(*c.s, t, counter, 61, kind);
    char name[16];
    std::snprintf(name, sizeof name, "aan%05d.dat", counter);
    EXPECT_NE(c.console.str().find(std::string(" filen = ") + name + std::string(20, ' ') + "\n"), std::string::npos);
    const auto lines = lines_of(read_file(c.dir / name));
    ASSERT_EQ(lines.size(), 63u);
    const std::string header = "VARIABLES = \"x\",\"rho\",\"v\",\"th\"";
    EXPECT_EQ(lines[0], " " + header + std::string(62 - header.size(), ' '));
    EXPECT_EQ(lines[1], " ZONE");
    double lowest = 1e300, highest = -1e300;
    for (int i = 1; i <= 61; ++i) {
      const auto v = numbers_of(lines[1 + i]);
      ASSERT_EQ(v.size(), 4u);
      const double x = v[0], rho = v[1], vel = v[2], th = v[3], cs = std::sqrt(gamma * th);
      EXPECT_EQ(x, (i - 1) * 0.05);
      EXPECT_NEAR(vel + (kind == 3 ? -2.0 : 2.0) * cs / (gamma - 1.0), J, 1e-13);
      EXPECT_NEAR(rho, th, 1e-13);  // isentropic with rho0 = th0 = 1, gamma 2
      const double base = kind == 3 ? vel : vel + c.s->ff_fnz.ff_amplitude;
      if (base > 1e-9 && base < c.s->ff_fnz.ff_amplitude - 1e-9) {
        EXPECT_NEAR((gamma + 1.0) * t / 2.0 * vel + c.f_inverse(base), x + (gamma - 1.0) / 2.0 * J * t, 1e-8) << i;
      }
      lowest = std::min(lowest, base);
      highest = std::max(highest, base);
    }
    EXPECT_LT(lowest, 0.05);  // the window sees both sides of the profile
    EXPECT_GT(highest, 0.15);
    EXPECT_EQ(c.console.str().find("Convergenza"), std::string::npos);
  }
}

TEST(AnalyticSolutions, RootFinderFailureIsReportedAndTheRunGoesOn) {
  AnalyticCase c(3);
  double xi = 0.0;
  int fail = 0;
  invernew(*c.s, 1.0, 0.5, xi, fail, 0.25, 0.25);  // equal bracket ends: the lower end after the first pass
  EXPECT_EQ(xi, 0.25);
  EXPECT_EQ(fail, 0);
  invernew(*c.s, 1.0, 0.5, xi, fail, -INFINITY, 1.0);  // every estimate NaN: no pass converges
  EXPECT_EQ(fail, 1);
  EXPECT_NE(c.console.str().find(" Convergenza non raggiunta in 20000 iterazioni\n"), std::string::npos);
  c.s->ff_fnz.ff_lo = -INFINITY;
  c.console.str("");
  sol_an(*c.s, 1.0, 7, 3, 3);
  const std::string out = c.console.str();
  EXPECT_NE(out.find(" Convergenza non raggiunta:\n i = 7 t = 1.0000000000000000\n a = 1.5000000000000000 b = "),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("\n j = 3 x = 0.10000000000000001\n j = 3 x0 = "), std::string::npos);
  EXPECT_EQ(lines_of(read_file(c.dir / "aan00007.dat")).size(), 5u);  // written with the last estimates
}

TEST(AnalyticSolutions, CarriedProfileInFixedWidth) {
  AnalyticCase c(5);
  const double t = 2.0;
  sol_an_entr_comb(*c.s, t, 12, 21);
  const auto lines = lines_of(read_file(c.dir / "aan00012.dat"));
  ASSERT_EQ(lines.size(), 23u);
  EXPECT_EQ(lines[0], " VARIABLES = \"x\", \"u1\", \"u2\", \"u3\", \"u4\", \"u5\", \"u6\", \"u7\"     ");
  EXPECT_EQ(lines[1], " ZONE");
  for (int i = 1; i <= 21; ++i) {
    const std::string& l = lines[1 + i];
    ASSERT_EQ(l.size(), 88u);  // eight fields of one blank and ten characters
    const auto v = numbers_of(l);
    ASSERT_EQ(v.size(), 8u);
    const double x = (i - 1) * 0.05;
    const double th = c.f(x - t * 0.3) + 1.0;  // carried at ff_speed 0.3, on top of th0
    const double rho = 1.0 / th;               // pressure_an / (gas_constant_an th)
    const double rho_e = rho * ((0.09 + 2 * rho * rho) / 2 + (th - 1.0) * 1.0 + 2 * rho);
    for (auto [got, want] : {std::pair{v[0], x}, {v[1], rho}, {v[2], rho * 0.3}, {v[3], rho_e}, {v[4], rho * rho}}) {
      EXPECT_NEAR(got, want, 5e-4 * std::max(std::fabs(want), 0.1)) << "node " << i;  // four digits
    }
    EXPECT_EQ(l.substr(1, 10), format_g10_4(x));
  }
}

TEST(AnalyticSolutions, ProfileFileDefaultsAndProblems) {
  AnalyticCase c(3, "5.0 1.0 0.2\n-40 40\n");
  const AnRef& r = c.s->an_ref;
  EXPECT_EQ(c.s->ff_fnz.ff_speed, 0.0);
  EXPECT_EQ(r.gas_constant_an + r.pressure_an + r.cv_an, 3.0);  // 1, 1 and R / (gamma - 1)
  write_file(c.dir / "profilo_an.dat", "5 1 0.2\n-40 40\n0\n2.0 3.0 /\n");
  input_profilo_an(*c.s);
  EXPECT_EQ(r.gas_constant_an, 2.0);
  EXPECT_EQ(r.pressure_an, 3.0);
  EXPECT_EQ(r.cv_an, 2.0);
  const std::tuple<int, const char*, const char*> problems[] = {
      {3, nullptr, "il file non esiste"}, {3, "0 1 0.2\n-40 40\n", "ff_width"},
      {3, "5 1 0.2\n40 -40\n", "ff_lo <= ff_hi"}, {3, "5 1 0.2\n", "record 2"}, {5, "5 1 0.2\n-40 40\n", "record 3"}};
  for (const auto& [kind, text, part] : problems) {
    c.s->ic_kkind.case_kind = kind;
    if (text) {
      write_file(c.dir / "profilo_an.dat", text);
    } else {
      std::filesystem::remove(c.dir / "profilo_an.dat");
    }
    try {
      input_profilo_an(*c.s);
      ADD_FAILURE() << part;
    } catch (const InputError& e) {
      EXPECT_NE(std::string(e.what()).find(part), std::string::npos) << e.what();
    }
  }
}

}  // namespace
}  // namespace fiamma
