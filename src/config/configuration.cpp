#include "config/configuration.hpp"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdio>
#include <cmath>
#include <iostream>
#include <ostream>
#include <set>
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

namespace {

bool is_digit_char(char c) { return c >= '0' && c <= '9'; }

// A number read last, followed at once by a comma and a digit: "0,75".
bool decimal_comma_after(const FreeFormatReader& reader) {
  const std::string_view rest = reader.rest_of_line();
  return rest.size() >= 2 && rest[0] == ',' && is_digit_char(rest[1]);
}

}  // namespace

void read_configuration(FreeFormatReader& reader, State& s, std::ostream* echo, std::vector<std::string>* warnings,
                        std::vector<std::string>* problems) {
  const auto& items = config_items();
  if (warnings != nullptr && reader.had_byte_order_mark()) {
    warnings->emplace_back(s.voice("il file inizia con il segno BOM UTF-8 (byte EF BB BF), ignorato"_it));
  }
  std::size_t k = 0;
  for (int record = 1; record <= kConfigRecords; ++record) {
    reader.begin(record);
    for (; k < items.size() && items[k].record == record; ++k) {
      const ValueRef v = items[k].where(s);
      const std::string where = "record " + format_int(record) + " (" + items[k].name + ")";
      switch (v.kind) {
        case ItemKind::Integer: reader.integer(*v.i, items[k].name); break;
        case ItemKind::Real: reader.real(*v.r, items[k].name); break;
        case ItemKind::Text:
          reader.text(v.t, v.width, items[k].name);
          if (warnings == nullptr) break;
          if (reader.last_text_length() > static_cast<std::size_t>(v.width)) {
            warnings->push_back(s.voice("record {1} ({2}): il testo di {3} caratteri è stato troncato a {4}: {5}"_it,
                                        {format_int(record), std::string_view(items[k].name),
                                         format_int(static_cast<long long>(reader.last_text_length())),
                                         format_int(v.width), quote_text(std::string_view(v.t, v.width))}));
          }
          // an unquoted slash ends the record: "out/" is read as "out", "/tmp/x" as nothing
          if (reader.ended_by_slash() && reader.last_text_length() == 0) {
            warnings->push_back(s.voice("{1}: una barra senza virgolette chiude il record prima del testo, che resta "
                                        "{2}: un percorso va scritto tra apici, per esempio '/tmp/uscita/'"_it,
                                        {where, quote_text(std::string_view(v.t, v.width))}));
          } else if (!reader.last_text_quoted() && reader.last_text_length() > 0 &&
                     reader.rest_of_line().substr(0, 1) == "/") {
            const std::string cut(v.t, std::min<std::size_t>(reader.last_text_length(), v.width));
            warnings->push_back(s.voice("{1}: il testo senza virgolette {2} finisce alla barra, che chiude il record: "
                                        "per una cartella scrivere {3} tra apici"_it,
                                        {where, quote_text(cut), quote_text(cut + "/")}));
          }
          break;
      }
      // after the last value of the record only (record 63 holds two)
      const bool last = k + 1 == items.size() || items[k + 1].record != record;
      if (last && v.kind != ItemKind::Text && decimal_comma_after(reader)) {
        const std::string_view rest = reader.rest_of_line();
        std::size_t digits = 1;
        while (digits < rest.size() && is_digit_char(rest[digits])) ++digits;
        const std::string value = v.kind == ItemKind::Integer ? format_int(*v.i) : format_real(*v.r);
        const std::string_view after = rest.substr(0, digits);
        const Msg comma = "{1} = {2}: dopo il numero segue \"{3}\", una virgola decimale? La virgola separa due "
                          "valori; i decimali si scrivono con il punto (0.75)"_it;
        if (problems == nullptr) {
          throw InputError(Message(std::string(kConfigFile) + ": ") + say(comma, {where, value, after}));
        }
        problems->push_back(s.voice(comma, {where, value, after}));
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

std::string physical_range_problem(const Voice& voice, int record, double v) {
  auto fails = [&](bool ok, Msg why) { return ok ? std::string() : std::string(voice(why)); };
  switch (record) {
    case 47:
      return fails(v > 1.0, "deve essere maggiore di 1 (il numero di Zeldovich e il Prandtl dei casi analitici "
                            "dividono per gamma - 1)"_it);
    case 48: return fails(v > 0.0, "deve essere positivo (la viscosità è Prandtl volte la conduttività)"_it);
    case 49: return fails(v > 0.0, "deve essere positivo (la diffusione divide per Lewis)"_it);
    case 50: return fails(v > 0.0, "deve essere positivo per la fiamma (il fattore di frequenza della reazione)"_it);
    case 51: return fails(v > 0.0, "deve essere positivo per la fiamma (la temperatura di attivazione)"_it);
    case 57: return fails(v > 0.0, "deve essere positivo per la fiamma (il rapporto di equivalenza)"_it);
    case 25: return fails(v > 0.0, "deve essere positiva per la fiamma (una temperatura)"_it);
    case 28:
      return fails(v > 0.0 && v <= 1.0, "deve essere compresa tra 0 (escluso) e 1 per la fiamma (una frazione "
                                        "massica; senza combustibile non c'è fiamma)"_it);
    default: return "";
  }
}

std::vector<std::string> range_problems(const State& s) {
  std::vector<std::string> problems;
  const Voice& voice = s.voice;
  std::set<int> reported;
  auto add = [&](int record, const char* name, const std::string& value, std::string_view expected) {
    reported.insert(record);
    std::ostringstream line;
    line << "record " << record << " (" << name << ") = " << value << ": " << expected;
    problems.push_back(line.str());
  };
  // A real record against its range; NaN fails every test.
  auto real = [&](int record, const char* name, double x, bool ok, std::string_view expected) {
    if (!ok) add(record, name, format_real(x), expected);
  };
  auto integer = [&](int record, const char* name, int x, bool ok, std::string_view expected) {
    if (!ok) add(record, name, format_int(x), expected);
  };
  const Gass& g = s.gass;
  const Settings& set = s.settings;
  const int kind = s.ic_kkind.case_kind;
  const bool flame = kind == 8;
  const bool restart = s.rrestart.ires != 0;
  const bool sweep = s.andam.sweep_mode == 1;
  const bool follow = s.bc_kkind.follow_mode == 15;

  // the tag: the first character of every output name
  const unsigned char tag = static_cast<unsigned char>(s.addr.run_tag[0]);
  if (!std::isalnum(tag) || tag > 127) {
    char shown[16];
    std::snprintf(shown, sizeof shown, tag > 32 && tag < 127 ? "'%c'" : "byte 0x%02X", tag);
    add(1, "run_tag", shown,
        voice("deve essere una lettera o una cifra (A-Z, a-z, 0-9): è il primo carattere del nome di ogni file di "
              "uscita"_it));
  }

  // storage, counters and switches
  const int n = set.n;
  integer(4, "n", n, n >= kMinPoints && n <= kCapacity,
          voice("deve essere compreso tra {1} e {2}"_it, {format_int(kMinPoints), format_int(kCapacity)}));
  integer(5, "grid", s.grid, s.grid == 0 || s.grid == 1, voice("deve essere 0 (uniforme) o 1 (da grid.dat)"_it));
  if (s.discr.domain_length == 0.0 && !flame) {
    add(6, "domain_length", format_real(s.discr.domain_length),
        voice("la lunghezza 0 (scelta automatica) vale solo per case_kind 8, qui case_kind = {1}"_it, {format_int(kind)}));
  }
  real(6, "domain_length", s.discr.domain_length, s.discr.domain_length >= 0.0,
       voice("deve essere positiva (0: scelta automatica per la fiamma)"_it));
  if (flame && s.discr.domain_length == 0.0) {
    real(7, "hlx", s.discr.hlx, s.discr.hlx >= 0.0, voice("deve essere positivo (0: 0.625 n spessori)"_it));
  }
  const Tempo& tm = s.tempo;
  integer(8, "it_start", tm.it_start, tm.it_start >= 0, voice("deve essere almeno 0"_it));
  // The loop counter goes one past the last iteration.
  integer(8, "it_start", tm.it_start, tm.it_start <= INT_MAX - 1,
          voice("deve essere al massimo {1} (il contatore delle iterazioni è un intero a 32 bit)"_it,
                {format_int(INT_MAX - 1)}));
  integer(9, "it_end", tm.it_end, tm.it_end <= INT_MAX - 1,
          voice("deve essere al massimo {1} (dopo l'ultima iterazione il contatore vale it_end + 1, un intero a 32 "
                "bit)"_it,
                {format_int(INT_MAX - 1)}));
  integer(9, "it_end", tm.it_end, tm.it_end >= tm.it_start,
          voice("deve essere almeno it_start = {1} (uguale: nessuna iterazione)"_it, {format_int(tm.it_start)}));
  integer(10, "it_out", tm.it_out, tm.it_out >= 1, voice("deve essere almeno 1"_it));
  integer(11, "i_thom", s.discr.i_thom, s.discr.i_thom == 1 || s.discr.i_thom == 2,
          voice("deve essere 1 (tridiagonali) o 2 (pentadiagonali)"_it));
  // The compact schemes: the interior left-hand side stays positive definite
  // for -1/4 < alpha < 7/12 and loses accuracy near its ends; the boundary
  // closure's weights divide by 5 - alpha_b.
  const double ab = const_cast<State&>(s).comp.boundary_scheme_parameter();
  const double al = const_cast<State&>(s).comp.interior_scheme_parameter();
  real(12, "boundary_scheme_parameter", ab, ab >= 0.0 && ab <= 4.0,
       voice("deve essere compreso tra 0 e 4 (la chiusura compatta al bordo; i suoi pesi dividono per 5 - il "
             "valore)"_it));
  real(13, "interior_scheme_parameter", al, al >= 0.0 && al <= 0.55,
       voice("deve essere compreso tra 0 e 0.55 (lo schema compatto interno; oltre 7/12 il suo sistema non è più "
             "definito positivo e già vicino a 0.58 la velocità di combustione si sposta del 3 %)"_it));
  integer(16, "dt_mode", s.discr.dt_mode, s.discr.dt_mode == 0 || s.discr.dt_mode == 1,
          voice("deve essere 0 (passo fisso) o 1 (passo dai limiti)"_it));
  if (s.discr.dt_mode == 1) {
    real(14, "cfl", set.cfl, set.cfl > 0.0, voice("deve essere positivo con dt_mode = 1"_it));
    real(15, "stab", set.stab, set.stab > 0.0, voice("deve essere positivo con dt_mode = 1"_it));
    real(17, "dt", tm.dt, tm.dt >= 0.0, voice("non deve essere negativo (con dt_mode = 1 fissa solo il tempo iniziale it_start*dt)"_it));
  }
  if (s.discr.dt_mode == 0) real(17, "dt", tm.dt, tm.dt > 0.0, voice("deve essere positivo con dt_mode = 0 (passo fisso)"_it));
  integer(18, "rk_scheme", set.rk_scheme, set.rk_scheme >= 1 && set.rk_scheme <= 5,
          voice("deve essere compreso tra {1} e {2}"_it, {std::string_view("1"), std::string_view("5")}));
  integer(32, "reaction_order", s.ic_kkind.reaction_order,
          s.ic_kkind.reaction_order == 1 || s.ic_kkind.reaction_order == 2, voice("deve essere 1 o 2"_it));

  // the gas
  auto physical = [&](int record, const char* name, double x) {
    const std::string p = physical_range_problem(voice, record, x);
    if (!p.empty()) add(record, name, format_real(x), p);
  };
  physical(47, "gamma", g.gamma);
  physical(49, "Lewis", g.Lewis);
  // for case_kind up to 7 the reference quantities replace the configured Prandtl number
  if (kind > 7) physical(48, "Prandtl", g.Prandtl);
  const std::pair<int, const char*> dimensional[] = {{53, "heat_of_reaction"}, {54, "cv"}, {55, "conductivity"},
                                                     {56, "mass_flow"}};
  const double dimensional_values[] = {g.heat_of_reaction, g.cv, g.conductivity, g.mass_flow};
  for (int k = 0; k < 4; ++k) {
    real(dimensional[k].first, dimensional[k].second, dimensional_values[k], dimensional_values[k] > 0.0,
         voice("deve essere positivo (le grandezze di riferimento dividono per esso)"_it));
  }

  // the flame
  if (flame) {
    physical(25, "th_fresh", g.th_fresh);
    real(26, "th_burnt", g.th_burnt, g.th_burnt > 0.0,
         voice("deve essere positiva per la fiamma (una temperatura)"_it));
    physical(28, "y1_fresh", g.y1_fresh);
    real(29, "y1_burnt", g.y1_burnt, g.y1_burnt >= 0.0 && g.y1_burnt <= 1.0,
         voice("deve essere compresa tra 0 e 1 (una frazione massica)"_it));
    if (s.ic_kkind.reaction_order == 2) {
      real(30, "y2_fresh", g.y2_fresh, g.y2_fresh >= 0.0 && g.y2_fresh <= 1.0,
           voice("deve essere compresa tra 0 e 1 (una frazione massica)"_it));
      real(31, "y2_burnt", g.y2_burnt, g.y2_burnt >= 0.0 && g.y2_burnt <= 1.0,
           voice("deve essere compresa tra 0 e 1 (una frazione massica)"_it));
    }
    real(33, "ord_reaz", s.ic_kkind.ord_reaz, s.ic_kkind.ord_reaz >= 0.0,
         voice("non deve essere negativo (l'ordine di reazione della stima analitica)"_it));
    physical(50, "Damkohler", g.Damkohler);
    physical(51, "Zeldovich", g.Zeldovich);
    physical(57, "equivalence_ratio", g.equivalence_ratio);
    if (!restart) {
      real(23, "x0_ff_2", s.ff_fnz.x0_ff_2, s.ff_fnz.x0_ff_2 >= 0.0 && s.ff_fnz.x0_ff_2 <= 1.0,
           voice("deve essere compreso tra 0 e 1 (una frazione del dominio)"_it));
      real(24, "hx_ff_2", s.ff_fnz.hx_ff_2, s.ff_fnz.hx_ff_2 > 0.0 && s.ff_fnz.hx_ff_2 <= 1.0,
           voice("deve essere compreso tra 0 (escluso) e 1 (una frazione del dominio)"_it));
    }
    integer(61, "front_criterion", set.front_criterion, set.front_criterion >= 1 && set.front_criterion <= 4,
            voice("deve essere compreso tra 1 e 4 per la fiamma (case_kind 8)"_it));
    integer(63, "n_stab", set.n_stab, set.n_stab >= 1 && set.n_stab <= kHistoryCapacity,
            voice("deve essere compreso tra {1} e {2}"_it, {std::string_view("1"), format_int(kHistoryCapacity)}));
    if (follow) {
      // the anchor's upper end, the domain length, is checked once it is known
      if (set.x_anchor != 0.0 && !sweep) {
        real(64, "x_anchor", set.x_anchor, set.x_anchor > 0.0, voice("deve stare dentro il dominio (0: si usa x_anchor_fraction)"_it));
      } else {
        real(65, "x_anchor_fraction", set.x_anchor_fraction, set.x_anchor_fraction > 0.0 && set.x_anchor_fraction < 1.0,
             voice("deve essere compreso tra 0 e 1, esclusi (il punto di ancoraggio dentro il dominio)"_it));
      }
      const IcKkindRe& k = s.ic_kkind_re;
      real(79, "gain_position", k.gain_position, k.gain_position >= 0.0, voice("non deve essere negativo (follow_mode = 15)"_it));
      real(80, "gain_velocity", k.gain_velocity, k.gain_velocity >= 0.0, voice("non deve essere negativo (follow_mode = 15)"_it));
      real(81, "gain_integral", k.gain_integral, k.gain_integral >= 0.0, voice("non deve essere negativo (follow_mode = 15)"_it));
    }
  } else {
    integer(63, "n_stab", set.n_stab, set.n_stab >= 1 && set.n_stab <= kHistoryCapacity,
            voice("deve essere compreso tra {1} e {2}"_it, {std::string_view("1"), format_int(kHistoryCapacity)}));
  }

  // the sweep, and the values its steps give to the swept parameter
  const Andam& a = s.andam;
  integer(74, "sweep_mode", a.sweep_mode, a.sweep_mode == 0 || a.sweep_mode == 1,
          voice("deve essere 0 (una simulazione) o 1 (andamento)"_it));
  if (sweep) {
    integer(75, "sweep_parameter", a.sweep_parameter, a.sweep_parameter >= 1 && a.sweep_parameter <= 10,
            voice("deve essere compreso tra 1 e 10 con sweep_mode = 1"_it));
    integer(78, "sweep_count", a.sweep_count, a.sweep_count >= 1 && a.sweep_count <= 26,
            voice("deve essere compreso tra 1 e 26 con sweep_mode = 1 (ogni passo marca i suoi file con una lettera da "
                  "A a Z)"_it));
    // the swept records, by parameter (6 Mach and 7 n_exp take any value)
    constexpr int kSwept[11] = {0, 47, 48, 49, 50, 51, 0, 0, 57, 25, 28};
    const int p = a.sweep_parameter;
    const int record = p >= 1 && p <= 10 ? kSwept[p] : 0;
    const bool checked = record != 0 && (flame || record == 47 || record == 49 || (record == 48 && kind > 7));
    for (int i = 1; checked && i <= a.sweep_count && i <= 26; ++i) {
      const double step = (a.sweep_end - a.sweep_start) / a.sweep_count;
      const double v = a.sweep_start + (i - 1) * step;
      const std::string why = physical_range_problem(voice, record, v);
      if (why.empty()) continue;
      add(76, "sweep_start", format_real(a.sweep_start),
          voice("con sweep_end = {1} e sweep_count = {2} il passo {3} dà al record {4} il valore {5}, che {6}"_it,
                {format_real(a.sweep_end), format_int(a.sweep_count), format_int(i), format_int(record),
                 format_real(v), why}));
      break;
    }
  }

  // Non-finite values in the real records a run reads (not those no
  // operation reads; t_follow may be infinite: the controller never acts).
  for (const auto& item : config_items()) {
    const int r = item.record;
    const bool unread = r == 22 || r == 27 || r == 34 || (r >= 37 && r <= 46) || r == 52 || r == 60;
    const bool unused_here = (r >= 76 && r <= 77 && !sweep) || (r >= 79 && r <= 81 && !follow);
    if (unread || unused_here || reported.count(r) != 0) continue;
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
  std::vector<std::string> warnings, problems;
  read_configuration(reader, s, &s.out(), &warnings, &problems);
  for (const auto& note : warnings) {
    std::cerr << "fiamma: " << s.voice("attenzione: "_it) << kConfigFile << ": " << note << '\n';
  }
  apply_overrides(s);
  for (auto& p : range_problems(s)) problems.push_back(std::move(p));
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
