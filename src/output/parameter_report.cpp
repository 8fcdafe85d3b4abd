#include "output/parameter_report.hpp"

#include <string_view>

#include "core/errors.hpp"
#include "core/file_writer.hpp"
#include "core/free_format.hpp"

namespace fiamma {

namespace {

constexpr std::string_view kDashes = "-----------------------------------------------------";

struct Labelled {
  std::string_view label;
  double value;
};

}  // namespace

void scrivi_parametri(State& s, int n, int /*n_species*/, double /*cfl*/, double /*stab*/,
                      int /*rk_scheme*/, int report_limit) {
  std::ostream& out = s.out();
  const Gass& g = s.gass;
  const Voice& v = s.voice;
  auto line = [&](std::string_view text) { out << Line().text(text); };
  auto rows = [&](std::initializer_list<Labelled> items) {
    for (const auto& item : items) out << Line().text(item.label).real(item.value);
  };
  if (s.ic_kkind.case_kind > 7) {
    line(kDashes);
    line(v("SIMULAZIONE DELLA COMBUSTIONE H2-O2"_it));
    line(kDashes);
    rows({{v("Rapporto di equivalenza:"_it), g.equivalence_ratio}, {v("Pressione iniziale:"_it), g.initial_pressure}});
    line(kDashes);
  }
  line(kDashes);
  line(v("GRANDEZZE DI RIFERIMENTO"_it));
  line(kDashes);
  line(kDashes);
  line(v("Adimensionali:"_it));
  line(kDashes);
  rows({{"gamma:        ", g.gamma},
        {"Prandtl:      ", g.Prandtl},
        {"Lewis:        ", g.Lewis},
        {"Damkohler:    ", g.Damkohler},
        {"Zeldovich:    ", g.Zeldovich},
        {"Mach:         ", g.Mach}});
  line(kDashes);
  line(kDashes);
  line(v("Dimensionali:"_it));
  line(kDashes);
  rows({{v("Entalpia reazione:                   "_it), g.heat_of_reaction},
        {v("Calore specifico a v=cost.:          "_it), g.cv},
        {v("Coefficiente di conduzione:          "_it), g.conductivity},
        {v("Portata massica flusso:              "_it), g.mass_flow},
        {v("Energia :                            "_it), g.ref_energy},
        {v("Lunghezza :                          "_it), g.ref_length},
        {v("Temperatura :                        "_it), g.ref_temperature},
        {v("Costante del  gas R:                 "_it), g.gas_constant},
        {v("Velocita':                          "_it), g.ref_velocity},
        {v("Densita':                           "_it), g.ref_density},
        {v("Pressione:                           "_it), g.ref_pressure},
        {v("Tempo:                               "_it), g.ref_time},
        {v("Costante di Arrenhius:               "_it), g.arrhenius_constant},
        {v("Energia di attivazione :             "_it), g.activation_energy},
        {v("Viscosita' dinamica :               "_it), g.viscosity},
        {v("Coefficiente di diffusione(rho D) :  "_it), g.diffusion_coefficient}});
  line(kDashes);
  line(v("Valori adimensionali di grandezze di rilievo"_it));
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
