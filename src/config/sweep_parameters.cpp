#include "config/sweep_parameters.hpp"

#include <array>

#include "core/free_format.hpp"

namespace fiamma {

namespace {

constexpr std::array<SweptParameter, 11> kParameters{{
    {std::nullopt, "__", "", nullptr},
    {"ANDAMENTI. GAMMAG: "_it, "ga", "ga", &Gass::gamma},
    {"ANDAMENTI. PRANDTL: "_it, "Pr", "Pr", &Gass::Prandtl},
    {"ANDAMENTI. LEWIS: "_it, "Le", "Le", &Gass::Lewis},
    {"ANDAMENTI. DAMKOHLER: "_it, "Da", "Dam", &Gass::Damkohler},
    {"ANDAMENTI. ZELDOVICH: "_it, "Ze", "Ze", &Gass::Zeldovich},
    {"ANDAMENTI. MACH: "_it, "Ma", "Ma", &Gass::Mach},
    {"ANDAMENTI. N_EXPO: "_it, "ne", "n_exp", &Gass::n_exp},
    {"ANDAMENTI. PHI_ER: "_it, "OR", "or_re", &Gass::equivalence_ratio},
    {"ANDAMENTI. TEMP. MISCELA FREDDA: "_it, "Tf", "th_fr", &Gass::th_fresh},
    {"ANDAMENTI. FRAZIONE MASSICA MISCELA FREDDA: "_it, "Yf", "y1_f", &Gass::y1_fresh},
}};

}  // namespace

const SweptParameter& swept_parameter(int p) { return kParameters[p >= 1 && p <= 10 ? p : 0]; }

const char* sweep_file_code(int sweep_parameter) { return swept_parameter(sweep_parameter).code; }

void crea_and(State& s, int i_and) {
  Andam& a = s.andam;
  Gass& g = s.gass;
  const double v = a.sweep_start + (i_and - 1) * a.sweep_step;
  const SweptParameter& p = swept_parameter(a.sweep_parameter);
  if (p.field != nullptr) {
    g.*p.field = v;
    if (a.sweep_parameter == 10) g.y1_burnt = 0.0;
    s.out() << Line().text(s.voice(*p.console)).real(v);
    if (a.sweep_parameter == 5) g.Zeldovich = g.gamma * v / (g.gamma - 1.0);
  }
  s.addr.run_tag[0] = static_cast<char>(64 + i_and);
}

}  // namespace fiamma
