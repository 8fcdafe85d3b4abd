#include "initial/other_states.hpp"

#include <cctype>
#include <cmath>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "config/free_format_reader.hpp"
#include "config/grid.hpp"
#include "core/errors.hpp"
#include "core/free_format.hpp"
#include "core/naming.hpp"

namespace fiamma {

namespace {

// The number of points a snapshot's zone line announces, or -1.
int zone_points(const std::string& line) {
  const auto at = line.find("I =");
  if (at == std::string::npos) return -1;
  std::size_t i = at + 3;
  while (i < line.size() && line[i] == ' ') ++i;
  const std::size_t start = i;
  while (i < line.size() && std::isdigit(static_cast<unsigned char>(line[i]))) ++i;
  if (i == start || i - start > 6) return -1;
  return std::stoi(line.substr(start, i - start));
}

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string l; std::getline(in, l);) out.push_back(l);
  return out;
}

bool blank_line(const std::string& l) { return l.find_first_not_of(" \t\r") == std::string::npos; }

}  // namespace

void test_field_node_values(State& s, int n, NodeValues& v) {
  const double centre = s.discr.domain_length / 2.0;
  for (int i = 1; i <= n; ++i) {
    const double x = node_abscissa(s, i);
    v.ini_rho[i] = 1.0;
    v.ini_th[i] = 1.0;
    s.vvar[4][i] = 1.0;
    s.vvar_rk[4][i] = 1.0;
    s.vvar[5][i] = (i == 1 || i == n) ? 0.0 : 1.0;
    s.vvar[6][i] = i == 1 ? 1.0 : 0.0;
    s.vvar[7][i] = i == n ? 1.0 : 0.0;
    v.ini_y1[i] = 0.07978975968216519 * std::exp(-(x - centre) * (x - centre) / 50.0);
    v.ini_y2[i] = 0.0;
  }
  s.vvar_2 = 1.0;
}

void ini_incomp_test(State& s, OperatorSet& ops, int n, int /*n_species*/) {
  auto w = std::make_unique<NodeValues>();
  test_field_node_values(s, n, *w);
  carry_to_staggered(s, ops, *w, n, false);
}

void ini_quiete(State& s, OperatorSet& ops, int n, int /*n_species*/) {
  auto w = std::make_unique<NodeValues>();
  const Gass& g = s.gass;
  for (int i = 1; i <= n; ++i) {
    w->ini_rho[i] = g.p0 / g.th0;
    w->ini_th[i] = g.th0;
    w->ini_y1[i] = 0.0;
    w->ini_y2[i] = 0.0;
    for (int slot = 4; slot <= 7; ++slot) s.vvar[slot][i] = 0.0;
    s.vvar_rk[4][i] = 0.0;
  }
  s.vvar_2 = g.p0;
  carry_to_staggered(s, ops, *w, n, true);
  set_staggered_spares(s, n);
}

std::string restart_path(State& s) {
  Addr& a = s.addr;
  Rrestart& r = s.rrestart;
  // The restart names stand in for the prefixes while the path is built.
  r.name[4] = a.path_prefix_1;
  r.name[5] = a.path_prefix_2;
  a.path_prefix_1 = r.name[2];
  a.path_prefix_2 = r.name[3];
  set_file_name(a, trimmed(r.name[1]));
  strg(a);
  a.path_prefix_1 = r.name[4];
  a.path_prefix_2 = r.name[5];
  return trimmed(a.full_path);
}

namespace {

// Reads and checks the restart snapshot `name`; with operators, makes the
// state from it.
void read_restart(State& s, const std::string& name, int n, OperatorSet* ops) {
  const bool store = ops != nullptr;
  const Rrestart& r = s.rrestart;
  if (trimmed(r.name[1]).empty()) {
    throw InputError(say("record 70 (restart_name_1): nome del file di ripartenza vuoto"_it));
  }
  std::string text;
  try {
    text = read_input_file(s.file(name), "file di ripartenza"_it);
  } catch (const InputError& e) {
    throw InputError(say("{1}: file di ripartenza mancante o illeggibile (restart_name_1..3, record 70-72): {2}"_it,
                         {name, e.message()}));
  }
  const auto lines = lines_of(text);
  int records = 0;
  for (std::size_t l = 2; l < lines.size(); ++l) records += blank_line(lines[l]) ? 0 : 1;
  const int announced = lines.size() >= 2 ? zone_points(lines[1]) : -1;
  if (announced >= 0 && announced != n) {
    throw InputError(say("{1}: record 2: l'istantanea ha {2} punti (ZONE I), la configurazione n = {3}"_it,
                         {name, format_int(announced), format_int(n)}));
  }
  if (records != n) {
    throw InputError(say("{1}: l'istantanea ha {2} record di dati dopo le due righe di testata, ne servono n = {3} "
                         "(uno per nodo)"_it,
                         {name, format_int(records), format_int(n)}));
  }

  FreeFormatReader reader(text, name);
  reader.begin(1);
  reader.end();
  reader.begin(2);
  reader.end();
  auto w = std::make_unique<NodeValues>();
  for (int i = 1; i <= n; ++i) {
    double v[10] = {};
    static constexpr const char* kColumns[10] = {"x", "rho", "v", "th", "vh", "vp", "vm", "y1", "y2", "wwx"};
    reader.begin(i + 2);
    for (int c = 0; c < 10; ++c) reader.real(v[c], kColumns[c]);
    reader.end();
    const double rho = v[1], vel = v[2], th = v[3], y1 = v[7], y2 = v[8];
    if (!(rho > 0.0 && std::isfinite(rho)) || !(th > 0.0 && std::isfinite(th))) {
      throw InputError(say("{1}: record {2} (nodo {3}): densita' e temperatura devono essere positive e finite, "
                           "trovate rho = {4}, th = {5}"_it,
                           {name, format_int(i + 2), format_int(i), format_real(rho), format_real(th)}));
    }
    for (int c = 0; c < 10; ++c) {
      if (!std::isfinite(v[c])) {
        throw InputError(say("{1}: record {2} (nodo {3}): {4} = {5}, ogni valore deve essere finito"_it,
                             {name, format_int(i + 2), format_int(i), std::string_view(kColumns[c]),
                              format_real(v[c])}));
      }
    }
    if (!store) continue;
    if (i == 1) s.vvar_2 = rho * th;
    w->ini_rho[i] = rho;
    s.vvar[4][i] = s.vvar[5][i] = rho * vel;
    w->ini_y1[i] = rho * y1;
    w->ini_y2[i] = rho * y2;
    w->ini_th[i] = th;
  }
  if (!store) return;
  carry_to_staggered(s, *ops, *w, n, true);
  set_staggered_spares(s, n);
}

}  // namespace

void check_restart_file(State& s, int n) { read_restart(s, restart_path(s), n, nullptr); }

void res_inp(State& s, OperatorSet& ops, int n, int /*n_species*/) {
  const std::string name = restart_path(s);
  s.out() << Line().text("opfile").raw(whole(s.addr.full_path));
  read_restart(s, name, n, &ops);
}

}  // namespace fiamma
