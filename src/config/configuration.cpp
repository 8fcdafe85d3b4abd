#include "config/configuration.hpp"

#include <climits>
#include <cmath>
#include <iostream>
#include <ostream>
#include <sstream>

#include "core/errors.hpp"
#include "core/free_format.hpp"

namespace fiamma {

namespace {

ValueRef value_ref(int& v) { return {ItemKind::Integer, &v, nullptr, nullptr, 0}; }
ValueRef value_ref(double& v) { return {ItemKind::Real, nullptr, &v, nullptr, 0}; }
template <std::size_t N>
ValueRef value_ref(Text<N>& v) {
  return {ItemKind::Text, nullptr, nullptr, v.data(), N};
}

#define ITEM(rec, name, expr) \
  ConfigItem { rec, name, [](State& s) { return value_ref(expr); } }

// x raised to a whole power by repeated multiplication.
double ipow(double x, int k) {
  if (k < 0) return 1.0 / ipow(x, -k);
  double r = 1.0;
  for (int i = 0; i < k; ++i) r *= x;
  return r;
}

}  // namespace

const std::vector<ConfigItem>& config_items() {
  static const std::vector<ConfigItem> items = {
      ITEM(1, "run_tag", s.addr.run_tag),
      ITEM(2, "path_prefix_1", s.addr.path_prefix_1),
      ITEM(3, "path_prefix_2", s.addr.path_prefix_2),
      ITEM(4, "n", s.settings.n),
      ITEM(5, "grid", s.grid),
      ITEM(6, "domain_length", s.discr.domain_length),
      ITEM(7, "hlx", s.discr.hlx),
      ITEM(8, "it_start", s.tempo.it_start),
      ITEM(9, "it_end", s.tempo.it_end),
      ITEM(10, "it_out", s.tempo.it_out),
      ITEM(11, "i_thom", s.discr.i_thom),
      ITEM(12, "boundary_scheme_parameter", s.comp.boundary_scheme_parameter()),
      ITEM(13, "interior_scheme_parameter", s.comp.interior_scheme_parameter()),
      ITEM(14, "cfl", s.settings.cfl),
      ITEM(15, "stab", s.settings.stab),
      ITEM(16, "dt_mode", s.discr.dt_mode),
      ITEM(17, "dt", s.tempo.dt),
      ITEM(18, "rk_scheme", s.settings.rk_scheme),
      ITEM(19, "case_kind", s.ic_kkind.case_kind),
      ITEM(20, "ic_kkind_2", s.ic_kkind.ic_kkind_2),
      ITEM(21, "ic_kkind_3", s.ic_kkind.ic_kkind_3),
      ITEM(22, "discarded_22", s.settings.discarded_22),
      ITEM(23, "x0_ff_2", s.ff_fnz.x0_ff_2),
      ITEM(24, "hx_ff_2", s.ff_fnz.hx_ff_2),
      ITEM(25, "th_fresh", s.gass.th_fresh),
      ITEM(26, "th_burnt", s.gass.th_burnt),
      ITEM(27, "gass_34", s.gass.gass_34),
      ITEM(28, "y1_fresh", s.gass.y1_fresh),
      ITEM(29, "y1_burnt", s.gass.y1_burnt),
      ITEM(30, "y2_fresh", s.gass.y2_fresh),
      ITEM(31, "y2_burnt", s.gass.y2_burnt),
      ITEM(32, "reaction_order", s.ic_kkind.reaction_order),
      ITEM(33, "ord_reaz", s.ic_kkind.ord_reaz),
      ITEM(34, "main_34", s.settings.main_34),
      ITEM(35, "main_35", s.settings.main_35),
      ITEM(36, "main_36", s.settings.main_36),
      ITEM(37, "forcing_1", s.forcing.slot[1]),
      ITEM(38, "forcing_2", s.forcing.slot[2]),
      ITEM(39, "forcing_3", s.forcing.slot[3]),
      ITEM(40, "forcing_7", s.forcing.slot[7]),
      ITEM(41, "forcing_5", s.forcing.slot[5]),
      ITEM(42, "forcing_6", s.forcing.slot[6]),
      ITEM(43, "forcing_4", s.forcing.slot[4]),
      ITEM(44, "forcing_11", s.forcing.slot[11]),
      ITEM(45, "forcing_13", s.forcing.slot[13]),
      ITEM(46, "forcing_14", s.forcing.slot[14]),
      ITEM(47, "gamma", s.gass.gamma),
      ITEM(48, "Prandtl", s.gass.Prandtl),
      ITEM(49, "Lewis", s.gass.Lewis),
      ITEM(50, "Damkohler", s.gass.Damkohler),
      ITEM(51, "Zeldovich", s.gass.Zeldovich),
      ITEM(52, "Mach", s.gass.Mach),
      ITEM(53, "heat_of_reaction", s.gass.heat_of_reaction),
      ITEM(54, "cv", s.gass.cv),
      ITEM(55, "conductivity", s.gass.conductivity),
      ITEM(56, "mass_flow", s.gass.mass_flow),
      ITEM(57, "equivalence_ratio", s.gass.equivalence_ratio),
      ITEM(58, "n_exp", s.gass.n_exp),
      ITEM(59, "initial_pressure", s.gass.initial_pressure),
      ITEM(60, "ic_kkind_re_1", s.ic_kkind_re.ic_kkind_re_1),
      ITEM(61, "front_criterion", s.settings.front_criterion),
      ITEM(62, "follow_mode", s.bc_kkind.follow_mode),
      ITEM(63, "n_stab", s.settings.n_stab),
      ITEM(63, "th_front_level", s.ic_kkind_re.th_front_level),
      ITEM(64, "x_anchor", s.settings.x_anchor),
      ITEM(65, "x_anchor_fraction", s.settings.x_anchor_fraction),
      ITEM(66, "t_follow", s.settings.t_follow),
      ITEM(67, "ires", s.rrestart.ires),
      ITEM(68, "rrestart_spare", s.rrestart.rrestart_spare),
      ITEM(69, "tempo_spare", s.tempo.tempo_spare),
      ITEM(70, "restart_name_1", s.rrestart.name[1]),
      ITEM(71, "restart_name_2", s.rrestart.name[2]),
      ITEM(72, "restart_name_3", s.rrestart.name[3]),
      ITEM(73, "main_73", s.settings.main_73),
      ITEM(74, "sweep_mode", s.andam.sweep_mode),
      ITEM(75, "sweep_parameter", s.andam.sweep_parameter),
      ITEM(76, "sweep_start", s.andam.sweep_start),
      ITEM(77, "sweep_end", s.andam.sweep_end),
      ITEM(78, "sweep_count", s.andam.sweep_count),
      ITEM(79, "gain_position", s.ic_kkind_re.gain_position),
      ITEM(80, "gain_velocity", s.ic_kkind_re.gain_velocity),
      ITEM(81, "gain_integral", s.ic_kkind_re.gain_integral),
  };
  return items;
}

#undef ITEM

void read_configuration(FreeFormatReader& reader, State& s, std::ostream* echo, std::vector<std::string>* cut) {
  const auto& items = config_items();
  std::size_t k = 0;
  for (int record = 1; record <= kConfigRecords; ++record) {
    reader.begin(record);
    for (; k < items.size() && items[k].record == record; ++k) {
      const ValueRef v = items[k].where(s);
      switch (v.kind) {
        case ItemKind::Integer: reader.integer(*v.i, items[k].name); break;
        case ItemKind::Real: reader.real(*v.r, items[k].name); break;
        case ItemKind::Text:
          reader.text(v.t, v.width, items[k].name);
          if (cut != nullptr && reader.last_text_length() > static_cast<std::size_t>(v.width)) {
            cut->push_back(s.voice("record {1} ({2}): il testo di {3} caratteri è stato troncato a {4}: {5}"_it,
                                   {format_int(record), std::string_view(items[k].name),
                                    format_int(static_cast<long long>(reader.last_text_length())),
                                    format_int(v.width), quote_text(std::string_view(v.t, v.width))}));
          }
          break;
      }
    }
    reader.end();
    if (record == 24 && echo != nullptr) {
      apply_overrides(s, 24);
      *echo << Line().text("x0_ff_2,hx_ff_2:  ").real(s.ff_fnz.x0_ff_2).real(s.ff_fnz.hx_ff_2);
    }
  }
}

void apply_overrides(State& s, int last_record) {
  for (const auto& [name, value] : s.options.overrides) {
    const ConfigItem* found = nullptr;
    for (const auto& item : config_items()) {
      if (name == item.name) found = &item;
    }
    const std::string what = "--set " + name + "=" + value;
    const Voice& voice = s.voice;
    if (found == nullptr) {
      throw InputError(voice("{1}: nessun record della configurazione si chiama \"{2}\" (i nomi sono quelli "
                             "di --print-config)"_it,
                             {what, name}));
    }
    if (found->record > last_record) continue;
    const auto first = value.find_first_not_of(" \t");
    if (first == std::string::npos) throw InputError(voice("{1}: manca il valore"_it, {what}));
    if (value.find_first_of("\r\n") != std::string::npos) {
      throw InputError(voice("{1}: il valore va su una sola riga"_it, {what}));
    }
    // A value that the reader would take as null (an empty field, a slash, a
    // bare repeat count) would leave the configured one in place.
    const char c = value[first];
    if (c == ',' || c == ';' || c == '/') throw InputError(voice("{1}: manca il valore"_it, {what}));
    std::size_t digits = first;
    while (digits < value.size() && value[digits] >= '0' && value[digits] <= '9') ++digits;
    if (digits > first && digits < value.size() && value[digits] == '*') {
      throw InputError(voice("{1}: un fattore di ripetizione non ha senso per un solo valore"_it, {what}));
    }
    FreeFormatReader reader(value, "--set " + name);
    reader.begin(found->record);
    const ValueRef v = found->where(s);
    switch (v.kind) {
      case ItemKind::Integer: reader.integer(*v.i, found->name); break;
      case ItemKind::Real: reader.real(*v.r, found->name); break;
      case ItemKind::Text: {
        // read wide enough to see a text that the field would cut
        std::string wide(value.size() + 1, ' ');
        reader.text(wide.data(), static_cast<int>(wide.size()), found->name);
        const auto used = wide.find_last_not_of(' ');
        const std::size_t length = used == std::string::npos ? 0 : used + 1;
        if (length > static_cast<std::size_t>(v.width)) {
          throw InputError(voice("{1}: il testo ha {2} caratteri, il record {3} ({4}) ne tiene {5}"_it,
                                 {what, format_int(static_cast<int>(length)), format_int(found->record),
                                  std::string_view(found->name), format_int(v.width)}));
        }
        for (int k = 0; k < v.width; ++k) v.t[k] = k < static_cast<int>(wide.size()) ? wide[k] : ' ';
        break;
      }
    }
    if (!reader.rest_of_line_blank()) throw InputError(voice("{1}: un solo valore per record"_it, {what}));
  }
}

std::vector<std::string> range_problems(const State& s) {
  std::vector<std::string> problems;
  const Voice& voice = s.voice;
  auto add = [&](int record, const char* name, const std::string& value, std::string_view expected) {
    std::ostringstream line;
    line << "record " << record << " (" << name << ") = " << value << ": " << expected;
    problems.push_back(line.str());
  };
  const int n = s.settings.n;
  if (n < kMinPoints || n > kCapacity) {
    add(4, "n", format_int(n),
        voice("deve essere compreso tra {1} e {2}"_it, {format_int(kMinPoints), format_int(kCapacity)}));
  }
  if (s.tempo.it_out < 1) add(10, "it_out", format_int(s.tempo.it_out), voice("deve essere almeno 1"_it));
  if (s.settings.rk_scheme < 1 || s.settings.rk_scheme > 5) {
    add(18, "rk_scheme", format_int(s.settings.rk_scheme),
        voice("deve essere compreso tra {1} e {2}"_it, {std::string_view("1"), std::string_view("5")}));
  }
  if (s.discr.domain_length == 0.0 && s.ic_kkind.case_kind != 8) {
    add(6, "domain_length", format_real(s.discr.domain_length),
        voice("la lunghezza 0 (scelta automatica) vale solo per case_kind 8, qui case_kind = {1}"_it,
              {format_int(s.ic_kkind.case_kind)}));
  }
  if (s.settings.n_stab < 1 || s.settings.n_stab > kHistoryCapacity) {
    add(63, "n_stab", format_int(s.settings.n_stab),
        voice("deve essere compreso tra {1} e {2}"_it, {std::string_view("1"), format_int(kHistoryCapacity)}));
  }
  if (s.andam.sweep_mode == 1 && (s.andam.sweep_count < 1 || s.andam.sweep_count > 26)) {
    add(78, "sweep_count", format_int(s.andam.sweep_count),
        voice("deve essere compreso tra 1 e 26 con sweep_mode = 1 (ogni passo marca i suoi file con una lettera da A "
              "a Z)"_it));
  }
  if (s.andam.sweep_mode == 1 && (s.andam.sweep_parameter < 1 || s.andam.sweep_parameter > 10)) {
    add(75, "sweep_parameter", format_int(s.andam.sweep_parameter),
        voice("deve essere compreso tra 1 e 10 con sweep_mode = 1"_it));
  }
  if (s.ic_kkind.case_kind == 8 && (s.settings.front_criterion < 1 || s.settings.front_criterion > 4)) {
    add(61, "front_criterion", format_int(s.settings.front_criterion),
        voice("deve essere compreso tra 1 e 4 per la fiamma (case_kind 8)"_it));
  }
  if (s.grid != 0 && s.grid != 1) {
    add(5, "grid", format_int(s.grid), voice("deve essere 0 (uniforme) o 1 (da grid.dat)"_it));
  }
  // The loop counter goes one past the last iteration.
  if (s.tempo.it_start > INT_MAX - 1) {
    add(8, "it_start", format_int(s.tempo.it_start),
        voice("deve essere al massimo {1} (il contatore delle iterazioni è un intero a 32 bit)"_it,
              {format_int(INT_MAX - 1)}));
  }
  if (s.tempo.it_end > INT_MAX - 1) {
    add(9, "it_end", format_int(s.tempo.it_end),
        voice("deve essere al massimo {1} (dopo l'ultima iterazione il contatore vale it_end + 1, un intero a 32 "
              "bit)"_it,
              {format_int(INT_MAX - 1)}));
  }
  // Values that divide by zero or make the first step non-finite.
  const Gass& g = s.gass;
  if (!(g.gamma > 1.0)) {
    add(47, "gamma", format_real(g.gamma),
        voice("deve essere maggiore di 1 (il numero di Zeldovich e il Prandtl dei casi analitici dividono per gamma "
              "- 1)"_it));
  }
  if (!(g.Lewis > 0.0)) {
    add(49, "Lewis", format_real(g.Lewis), voice("deve essere positivo (la diffusione divide per Lewis)"_it));
  }
  if (s.discr.dt_mode == 1) {
    const std::string_view positive = voice("deve essere positivo con dt_mode = 1"_it);
    if (!(s.settings.cfl > 0.0)) add(14, "cfl", format_real(s.settings.cfl), positive);
    if (!(s.settings.stab > 0.0)) add(15, "stab", format_real(s.settings.stab), positive);
  }
  if (s.discr.dt_mode == 0 && !(s.tempo.dt > 0.0)) {
    add(17, "dt", format_real(s.tempo.dt), voice("deve essere positivo con dt_mode = 0 (passo fisso)"_it));
  }
  if (s.ic_kkind.case_kind == 8 && !(g.th_fresh > 0.0)) {
    add(25, "th_fresh", format_real(g.th_fresh), voice("deve essere positiva per la fiamma (case_kind 8)"_it));
  }
  // Non-finite values in the real records a run reads (not those no
  // operation reads; t_follow may be infinite: the controller never acts).
  const auto& items = config_items();
  for (const auto& item : items) {
    const int r = item.record;
    const bool unread = r == 22 || r == 27 || r == 34 || (r >= 37 && r <= 46) || r == 52 || r == 60;
    const bool unused_here = (r >= 76 && r <= 77 && s.andam.sweep_mode != 1) ||
                             (r >= 79 && r <= 81 && s.bc_kkind.follow_mode != 15);
    if (unread || unused_here) continue;
    const ValueRef v = item.where(const_cast<State&>(s));
    if (v.kind != ItemKind::Real) continue;
    const double x = *v.r;
    if (r == 66 ? std::isnan(x) : !std::isfinite(x)) {
      add(r, item.name, format_real(x), voice("deve essere un numero finito"_it));
    }
  }
  return problems;
}

std::string sweep_step_problem(const State& s) {
  const int k = s.options.sweep_step;
  if (k == 0) return "";
  if (s.andam.sweep_mode != 1) {
    return s.voice("--sweep-step {1}: la configurazione non prevede un andamento (record 74, sweep_mode = {2}; un "
                   "andamento ha sweep_mode = 1)"_it,
                   {format_int(k), format_int(s.andam.sweep_mode)});
  }
  if (k < 1 || k > s.andam.sweep_count) {
    return s.voice("--sweep-step {1}: il passo deve essere compreso tra 1 e {2} (record 78, sweep_count)"_it,
                   {format_int(k), format_int(s.andam.sweep_count)});
  }
  return "";
}

void input_eule(State& s, const std::function<void(State&)>& on_read) {
  FreeFormatReader reader = FreeFormatReader::open(s.file(kConfigFile), kConfigFile);
  std::vector<std::string> cut;
  read_configuration(reader, s, &s.out(), &cut);
  for (const auto& note : cut) {
    std::cerr << "fiamma: " << s.voice("attenzione: "_it) << kConfigFile << ": " << note << '\n';
  }
  apply_overrides(s);
  const auto problems = range_problems(s);
  if (!problems.empty()) {
    std::string msg = s.voice("{1}: valori non ammessi"_it, {std::string_view(kConfigFile)});
    for (const auto& p : problems) msg += "\n  " + p;
    throw InputError(msg);
  }
  const std::string step = sweep_step_problem(s);
  if (!step.empty()) throw InputError(step);
  if (on_read) on_read(s);

  Settings& set = s.settings;
  Gass& g = s.gass;
  g.Zeldovich = g.gamma * g.Zeldovich / (g.gamma - 1.0);
  set.n_species = 2;
  s.pi = 3.141592653589793;
  const double two_pi = 2.0 * s.pi;
  s.discr.domain_length = two_pi * s.discr.domain_length;
  for (int slot : {11, 13, 14}) s.forcing.slot[slot] = two_pi * s.forcing.slot[slot];
  set.x_anchor = two_pi * set.x_anchor;
  s.discr.dx = s.discr.domain_length / (set.n - 1);
  if (s.grid == 0) {
    s.out() << Line().text("n,dx:  ").integer(set.n).real(s.discr.dx);
    for (int i = 1; i <= set.n; ++i) s.grid2.spacing[i] = s.discr.dx;
  }
  if (s.bc_kkind.follow_mode != 0) s.out() << Line().text(s.voice("Inizio a seguire:  "_it)).real(set.t_follow);
  s.out() << Line().text(s.voice("x0_ff_2 prima"_it)).real(s.ff_fnz.x0_ff_2);
  if (s.discr.domain_length != 0.0) {
    s.ff_fnz.x0_ff_2 = s.ff_fnz.x0_ff_2 * s.discr.domain_length;
    s.ff_fnz.hx_ff_2 = s.ff_fnz.hx_ff_2 * s.discr.domain_length;
  }
  s.andam.sweep_step = (s.andam.sweep_end - s.andam.sweep_start) / static_cast<double>(s.andam.sweep_count);
}

void elabora_parametri(State& s) {
  Gass& g = s.gass;
  const double cp = g.gamma * g.cv;
  g.Mach = 0.01;
  g.ref_length = g.conductivity / (cp * g.mass_flow);
  g.ref_energy = g.heat_of_reaction;
  g.ref_temperature = g.heat_of_reaction / cp;
  g.gas_constant = (g.gamma - 1.0) * g.cv;
  g.ref_velocity = 0.01 * std::sqrt(g.gamma * g.gas_constant * g.ref_temperature);
  g.ref_density = g.mass_flow / g.ref_velocity;
  g.ref_pressure = g.gas_constant * g.ref_density * g.ref_temperature;
  g.ref_time = g.conductivity * g.ref_density / (cp * (g.mass_flow * g.mass_flow));
  g.arrhenius_constant =
      g.ref_velocity * g.Damkohler / (ipow(g.ref_density, s.ic_kkind.reaction_order) * g.ref_length);
  g.activation_energy = g.gas_constant * g.Zeldovich * g.ref_temperature;
  g.viscosity = g.Prandtl * g.conductivity / cp;
  g.diffusion_coefficient = g.conductivity / (cp * g.Lewis * g.ref_density);
  g.D_1 = 10000.0;
  g.D_2 = 0.0;
  g.th0 = 1.0;
  g.rho0 = 1.0;
  g.p0 = 1.0;
  g.c0_speed = std::sqrt(g.gamma);
}

void maschera_ad(State& s) {
  Gass& g = s.gass;
  const int kind = s.ic_kkind.case_kind;
  if (kind == 6 || kind == 7) g.gamma = 1.4;
  g.ref_pressure = g.ref_density = g.ref_velocity = g.ref_length = 1.0;
  g.gas_constant = g.ref_temperature = g.ref_time = 1.0;
  g.viscosity = 0.01;
  g.conductivity = 0.01;
  g.Mach = 1.0 / std::sqrt(g.gamma);
  g.Prandtl = g.gamma / (g.gamma - 1.0) * g.viscosity / g.conductivity;
  if (kind >= 3 && kind <= 5) {
    g.gamma = 2.0;
    g.D_1 = 1.0;
    g.D_2 = 1.0;
  }
  g.th0 = g.rho0 = g.p0 = 1.0;
  g.c0_speed = std::sqrt(g.gamma);
}

void print_configuration(State& s, std::ostream& os) {
  for (const auto& item : config_items()) {
    const ValueRef v = item.where(s);
    char nn[8];
    std::snprintf(nn, sizeof nn, "%02d", item.record);
    os << nn << ' ' << item.name << ' ';
    switch (v.kind) {
      case ItemKind::Integer: os << format_int(*v.i); break;
      case ItemKind::Real: os << format_real(*v.r); break;
      case ItemKind::Text: os << quote_text(std::string_view(v.t, v.width)); break;
    }
    os << '\n';
  }
}

}  // namespace fiamma
