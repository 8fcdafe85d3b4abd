#include "output/parameter_report.hpp"

#include <string_view>

#include "core/errors.hpp"
#include "core/file_writer.hpp"
#include "core/free_format.hpp"

namespace fiamma {

namespace {

constexpr std::string_view kDashes = "-----------------------------------------------------";

struct Labelled {
  const char* label;
  double value;
};

}  // namespace

void scrivi_parametri(State& s, int n, int /*n_species*/, double /*cfl*/, double /*stab*/,
                      int /*rk_scheme*/, int report_limit) {
  std::ostream& out = s.out();
  const Gass& g = s.gass;
  auto line = [&](std::string_view text) { out << Line().text(text); };
  auto rows = [&](std::initializer_list<Labelled> items) {
    for (const auto& item : items) out << Line().text(item.label).real(item.value);
  };
  if (s.ic_kkind.case_kind > 7) {
    line(kDashes);
    line("SIMULAZIONE DELLA COMBUSTIONE H2-O2");
    line(kDashes);
    rows({{"Rapporto di equivalenza:", g.equivalence_ratio}, {"Pressione iniziale:", g.initial_pressure}});
    line(kDashes);
  }
  line(kDashes);
  line("GRANDEZZE DI RIFERIMENTO");
  line(kDashes);
  line(kDashes);
  line("Adimensionali:");
  line(kDashes);
  rows({{"gamma:        ", g.gamma},
        {"Prandtl:      ", g.Prandtl},
        {"Lewis:        ", g.Lewis},
        {"Damkohler:    ", g.Damkohler},
        {"Zeldovich:    ", g.Zeldovich},
        {"Mach:         ", g.Mach}});
  line(kDashes);
  line(kDashes);
  line("Dimensionali:");
  line(kDashes);
  rows({{"Entalpia reazione:                   ", g.heat_of_reaction},
        {"Calore specifico a v=cost.:          ", g.cv},
        {"Coefficiente di conduzione:          ", g.conductivity},
        {"Portata massica flusso:              ", g.mass_flow},
        {"Energia :                            ", g.ref_energy},
        {"Lunghezza :                          ", g.ref_length},
        {"Temperatura :                        ", g.ref_temperature},
        {"Costante del  gas R:                 ", g.gas_constant},
        {"Velocita':                          ", g.ref_velocity},
        {"Densita':                           ", g.ref_density},
        {"Pressione:                           ", g.ref_pressure},
        {"Tempo:                               ", g.ref_time},
        {"Costante di Arrenhius:               ", g.arrhenius_constant},
        {"Energia di attivazione :             ", g.activation_energy},
        {"Viscosita' dinamica :               ", g.viscosity},
        {"Coefficiente di diffusione(rho D) :  ", g.diffusion_coefficient}});
  line(kDashes);
  line("Valori adimensionali di grandezze di rilievo");
  line(kDashes);
  rows({{"c0_speed = ", g.c0_speed},
        {"th0      = ", g.th0},
        {"rho0     = ", g.rho0},
        {"p0       = ", g.p0},
        {"D_1      = ", g.D_1},
        {"D_2      = ", g.D_2}});
  line(kDashes);

  ReplacedFile file(s.file(kReportFile), kWorkdirOrigin);
  auto text_item = [&](std::string_view t) { file << Line().raw(quote_text(t)); };
  auto real_item = [&](double x) { file << Line().real(x); };
  text_item(std::string_view(s.addr.run_tag.data(), 1));
  text_item(std::string_view(s.addr.path_prefix_1.data(), 32));
  text_item(std::string_view(s.addr.path_prefix_2.data(), 32));
  file << Line().integer(report_limit);
  file << Line().integer(n);
  real_item(g.Lewis);
  real_item(g.Prandtl);
  real_item(g.Mach);
  real_item(g.Damkohler);
  real_item(g.equivalence_ratio);
  real_item(g.Zeldovich);
  real_item(s.ic_kkind.ord_reaz);
  real_item(g.D_1);
  real_item(g.D_2);
  real_item(g.n_exp);
  real_item(g.gamma);
  real_item(g.th_fresh);
  real_item(g.th_burnt);
  real_item(g.y1_fresh);
  file.commit();
}

}  // namespace fiamma
