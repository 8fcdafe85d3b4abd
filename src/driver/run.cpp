#include "driver/run.hpp"

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <optional>
#include <cmath>
#include <filesystem>
#include <iostream>
#include <algorithm>
#include <memory>
#include <ostream>
#include <sstream>

#include "config/configuration.hpp"
#include "config/grid.hpp"
#include "config/profile_input.hpp"
#include "config/sweep_parameters.hpp"
#include "core/errors.hpp"
#include "core/free_format.hpp"
#include "core/naming.hpp"
#include "diagnostics/analytic_speed.hpp"
#include "diagnostics/conservation.hpp"
#include "driver/folder_lock.hpp"
#include "driver/resume.hpp"
#include "driver/safe_points.hpp"
#include "driver/simulation.hpp"
#include "initial/other_states.hpp"
#include "operators/scheme_coefficients.hpp"
#include "output/continuation.hpp"
#include "output/parameter_report.hpp"
#include "output/summary.hpp"

#ifndef FIAMMA_VERSION
#define FIAMMA_VERSION "unknown"
#endif

namespace fiamma {

namespace {

constexpr Msg kUsage =
    "Uso: fiamma [OPZIONI] [--print-config [FILE] | --check-config [FILE] | --help | --version]\n"
    "Simula una fiamma premiscelata monodimensionale nella cartella corrente.\n"
    "Senza opzioni legge \"eulero_test.dat\" (e \"grid.dat\" se richiesto) e scrive\n"
    "i risultati nella cartella corrente o sotto i prefissi configurati.\n"
    "\n"
    "  --print-config [FILE]  stampa ogni valore letto dalla configurazione\n"
    "                         (predefinito: eulero_test.dat), prima di ogni elaborazione\n"
    "  --check-config [FILE]  controlla la configurazione e descrive la simulazione\n"
    "  --set NOME=VALORE      sostituisce un valore della configurazione dopo la lettura\n"
    "                         (NOME come in --print-config; ripetibile)\n"
    "  --sweep-step K         esegue da solo il passo K dell'andamento configurato\n"
    "  --correction-tolerance X\n"
    "                         tolleranza della correzione di velocita' (predefinita 5e-5)\n"
    "  --correction-tolerance-relative X\n"
    "                         la stessa, relativa alla massima velocita' nodale\n"
    "  --until-settled[=TOL]  ogni simulazione di fiamma finisce appena la sua velocita'\n"
    "                         di combustione e' assestata entro TOL (predefinita 1e-5),\n"
    "                         it_end come limite; tolleranza di correzione TOL/1000 relativa.\n"
    "                         Passi di pseudo-tempo linearmente impliciti e una rifinitura\n"
    "                         di Newton dello stato stazionario: il transitorio NON e'\n"
    "                         accurato nel tempo, solo lo stato assestato conta\n"
    "  --start-from FILE      con --until-settled: la prima simulazione di fiamma parte\n"
    "                         dall'istantanea FILE di una fiamma vicina assestata (stessa\n"
    "                         griglia e stesso gas fresco) invece che dal profilo iniziale\n"
    "  --settled-tolerance TOL\n"
    "                         tolleranza del giudizio \"assestata\" senza fermare la\n"
    "                         simulazione (predefinita 1e-5)\n"
    "  --lang it|en           la lingua dei messaggi (predefinita: FIAMMA_LANG, altrimenti it)\n"
    "  --help                 mostra questo aiuto\n"
    "  --version              mostra la versione\n"
    "\n"
    "Stato di uscita: 0 fine normale, 2 dati di ingresso non validi (o la cartella\n"
    "già usata da un'altra simulazione),\n"
    "3 arresto del solutore dopo i suoi messaggi, 4 un campo non più finito,\n"
    "5 un file non scrivibile, 6 con --until-settled una simulazione non assestata\n"
    "al limite it_end, 128 + segnale dopo SIGINT (130) o SIGTERM (143).\n"_it;

std::string case_kind_words(const Voice& v, int kind) {
  const std::string k = format_int(kind);
  switch (kind) {
    case 3: case 4: return v("caso analitico {1} (onda semplice, soluzione di riferimento a ogni uscita)"_it, {k});
    case 5: return std::string(v("caso analitico 5 (seconda soluzione di riferimento a ogni uscita)"_it));
    case 6: case 7: return v("caso {1} con grandezze di riferimento unitarie e gamma 1.4"_it, {k});
    case 8: return std::string(v("fiamma premiscelata (profilo iniziale, inseguimento del fronte, ancoraggio)"_it));
    case 10: return std::string(v("campo di prova come stato iniziale"_it));
    default:
      return kind <= 7 ? v("caso {1} con grandezze di riferimento unitarie"_it, {k})
                       : v("caso {1} senza stato iniziale proprio"_it, {k});
  }
}

// What reading the configuration noted: warnings and problems of the text.
struct ReadNotes {
  std::vector<std::string> warnings, problems;
};

ReadNotes read_for_mode(State& s, const std::string& file) {
  FreeFormatReader reader = FreeFormatReader::open(file, file);
  ReadNotes notes;
  read_configuration(reader, s, nullptr, &notes.warnings, &notes.problems);
  apply_overrides(s);
  return notes;
}

// The domain length a flame with domain_length 0 would choose, hlx times
// the analytic thickness of the derived state `derived`.
double chosen_length(State& derived) {
  // the estimate on the derived state itself, as at the start of a run and
  // with its lines sent nowhere; its console and counters are put back
  std::ostringstream sink;
  std::ostream* const console = derived.console;
  const Tempo tempo = derived.tempo;
  derived.console = &sink;
  derived.tempo.it = derived.tempo.it_start = 0;
  const int n = derived.settings.n;
  double m = 0.0, thickness = 0.0;
  calc_velspes_an(derived, n, derived.vvar, derived.ic_kkind.ord_reaz, m, thickness);
  derived.console = console;
  derived.tempo = tempo;
  const double hlx = derived.discr.hlx == 0.0 ? 0.625 * n : derived.discr.hlx;
  return hlx * thickness;
}

// The domain length a flame with domain_length 0 would choose must be
// positive and finite; an anchor given as an abscissa must lie inside the
// domain. `scale`: what turns the configured lengths into the run's (2 pi
// for the values as read, 1 once input_eule has scaled them).
std::vector<std::string> length_problems(State& derived, double scale) {
  if (derived.ic_kkind.case_kind != 8) return {};
  std::vector<std::string> problems;
  double length = scale * derived.discr.domain_length;
  if (derived.discr.domain_length == 0.0) {
    length = chosen_length(derived);
    const double hlx = derived.discr.hlx == 0.0 ? 0.625 * derived.settings.n : derived.discr.hlx;
    if (!(length > 0.0 && std::isfinite(length))) {
      return {derived.voice("record 6 (domain_length) = 0: la lunghezza scelta, hlx = {1} volte lo spessore della "
                            "stima analitica ({2}), sarebbe {3}: Damkohler, Zeldovich, Lewis, th_fresh e y1_fresh "
                            "devono dare uno spessore positivo e finito, altrimenti serve una lunghezza fissa"_it,
                            {format_real(hlx), format_real(length / hlx), format_real(length)})};
    }
  }
  const Settings& set = derived.settings;
  const double anchor = scale * set.x_anchor;
  if (derived.bc_kkind.follow_mode == 15 && set.x_anchor != 0.0 && derived.andam.sweep_mode != 1 &&
      !(anchor > 0.0 && anchor < length)) {
    problems.push_back(derived.voice("record 64 (x_anchor): il punto di ancoraggio 2*pi*x_anchor = {1} deve stare "
                                     "dentro il dominio, lungo {2} (0: si usa x_anchor_fraction)"_it,
                                     {format_real(anchor), format_real(length)}));
  }
  return problems;
}

// The compact schemes' coefficients of the two configured parameters must be
// finite: a few exact values divide by zero.
std::vector<std::string> scheme_problems(const State& s) {
  auto probe = std::make_unique<State>();
  probe->discr.i_thom = s.discr.i_thom;
  auto& c = probe->comp.c;
  const double ab = c[1] = s.comp.c[1], al = c[4] = s.comp.c[4];
  def_scheme2(*probe);
  for (const double v : c) {
    if (!std::isfinite(v)) {
      return {s.voice("record 12 e 13 (boundary_scheme_parameter = {1}, interior_scheme_parameter = {2}): con questi "
                      "valori esatti i coefficienti degli schemi compatti dividono per zero; spostarli di poco (per "
                      "esempio 0.45 invece di 4/9)"_it,
                      {format_real(ab), format_real(al)})};
    }
  }
  return {};
}

// The state as a run derives it from the configuration as read.
std::unique_ptr<State> derived_copy(const State& s) {
  auto d = std::make_unique<State>();
  d->voice = s.voice;
  std::ostringstream sink;
  d->console = &sink;
  d->settings = s.settings;
  d->tempo = s.tempo;
  d->discr = s.discr;
  d->gass = s.gass;
  d->ic_kkind = s.ic_kkind;
  d->bc_kkind = s.bc_kkind;
  d->andam = s.andam;
  Gass& g = d->gass;
  g.Zeldovich = g.gamma * g.Zeldovich / (g.gamma - 1.0);
  elabora_parametri(*d);
  if (d->ic_kkind.case_kind <= 7) maschera_ad(*d);
  d->console = &std::cout;
  return d;
}

// The input files of a run besides the configuration, checked before
// anything is written: the resume index, the restart snapshot and its
// companion, the schemes' coefficients, the domain length a flame would
// choose and its anchor. `scale` as for length_problems.
std::vector<std::string> input_file_problems(State& s, State& derived, double scale) {
  std::vector<std::string> problems = length_problems(derived, scale);
  for (auto& p : scheme_problems(s)) problems.push_back(std::move(p));
  try {
    read_resume_index(s);
  } catch (const InputError& e) {
    problems.push_back(s.voice(e.message()));
  }
  if (s.rrestart.ires != 0) {
    try {
      check_restart_file(s, s.settings.n);
      for (auto& p : restart_problems(s)) problems.push_back(std::move(p));
    } catch (const InputError& e) {
      problems.push_back(s.voice(e.message()));
    }
  }
  if (!s.options.start_from.empty()) {
    try {
      read_snapshot_state(s, s.options.start_from, s.settings.n, nullptr, Message(std::string("--start-from")));
    } catch (const InputError& e) {
      problems.push_back(s.voice(e.message()));
    }
  }
  return problems;
}

// A path as the user wrote it, without a leading "./".
std::string shown(const std::filesystem::path& p) {
  std::string s = p.lexically_normal().string();
  if (s.rfind("./", 0) == 0) s.erase(0, 2);
  return s.empty() ? "." : s;
}

// Digits only, from position `at` up to ".dat" at the end; the number or -1.
long long counter_in(const std::string& name, std::size_t at) {
  if (name.size() < at + 5 || name.compare(name.size() - 4, 4, ".dat") != 0) return -1;
  const std::string digits = name.substr(at, name.size() - 4 - at);
  if (digits.empty() || digits.size() > 12 || digits.find_first_not_of("0123456789") != std::string::npos) return -1;
  return std::stoll(digits);
}

// Where a run's prefixed outputs go and which of their names it uses.
struct OutputPlan {
  std::filesystem::path folder;
  std::string lead;     // the leading part of every prefixed name
  std::string tags;     // the run tags of the simulations that will run
  std::string table;    // the sweep table's name after the lead ("" none)
  std::string summary;  // the summary's name after the lead
};

OutputPlan output_plan(State& s, int first) {
  namespace fs = std::filesystem;
  OutputPlan plan;
  const fs::path sample = s.file(trimmed(s.addr.path_prefix_1) + trimmed(s.addr.path_prefix_2) + "@");
  plan.folder = sample.parent_path();
  plan.lead = sample.filename().string();
  plan.lead.pop_back();
  const Andam& a = s.andam;
  const int count = a.sweep_mode == 0 ? 1 : a.sweep_count;
  const char tag = s.addr.run_tag[0];
  const int step = s.options.sweep_step;
  if (step >= 1 && step <= kMaxSweepCount) {
    plan.tags = std::string(1, static_cast<char>(64 + step));
  } else if (a.sweep_mode == 1) {
    for (int i = first; i <= count && i <= kMaxSweepCount; ++i) plan.tags += static_cast<char>(64 + i);
  } else if (first <= count) {
    plan.tags = std::string(1, tag);
  }
  if (a.sweep_mode == 1) {
    plan.table = (step > 0 ? plan.tags : std::string(1, tag)) + "and" + sweep_file_code(a.sweep_parameter) +
                 (step > 0 ? "_passo.dat" : ".dat");
  }
  plan.summary = (step > 0 ? plan.tags : std::string(1, tag)) + "summary.json";
  return plan;
}

// How the run writes the file `name` of the plan's folder: 0 not at all, 1
// replacing it (a symbolic link there is replaced, not followed), 2 appending
// to it.
int output_use(const OutputPlan& plan, const State& s, std::string name) {
  const bool companion = name.size() > 7 && name[0] == '.' && name.ends_with(kCompanionSuffix);
  if (companion) name = name.substr(1, name.size() - 1 - std::string(kCompanionSuffix).size());
  if (name.size() <= plan.lead.size() || name.compare(0, plan.lead.size(), plan.lead) != 0) return 0;
  const std::string rest = name.substr(plan.lead.size());
  if (!companion && rest == plan.summary) return 1;
  if (!companion && !plan.table.empty() && rest == plan.table) return 2;
  if (rest.size() < 2 || plan.tags.find(rest[0]) == std::string::npos) return 0;
  if (!companion && rest.substr(1) == "sf_delta.dat") return s.ic_kkind.case_kind == 8 ? 2 : 0;
  const int kind = s.ic_kkind.case_kind;
  const bool snapshot = rest.compare(1, 2, "pr") == 0;
  const bool analytic = !companion && rest.compare(1, 2, "an") == 0 && kind >= 3 && kind <= 5;
  if (!snapshot && !analytic) return 0;
  const long long k = counter_in(rest, 3);
  return k >= 0 && writes_snapshot(s.tempo, k) ? 1 : 0;
}

// Outputs of the run at whose names stands something that is not a regular
// file (a FIFO, a folder, a device, a socket): the run would block on it or
// fail at it, so it does not start.
std::vector<std::string> output_name_problems(State& s) {
  namespace fs = std::filesystem;
  std::vector<std::string> problems;
  auto check = [&](const fs::path& p, int use) {
    std::error_code ec;
    const fs::file_status st = use == 2 ? fs::status(p, ec) : fs::symlink_status(p, ec);
    if (!fs::exists(st) || fs::is_regular_file(st) || fs::is_symlink(st)) return;
    const Msg what = fs::is_fifo(st)        ? "una FIFO"_it
                     : fs::is_directory(st) ? "una cartella"_it
                     : fs::is_socket(st)    ? "un socket"_it
                     : fs::is_character_file(st) || fs::is_block_file(st) ? "un dispositivo"_it
                                                                            : "un file speciale"_it;
    problems.push_back(s.voice("{1}: non è un file regolare ({2}), e la simulazione ci scriverebbe: toglierlo, o "
                               "cambiare run_tag o i prefissi (record 1-3)"_it,
                               {shown(p), what}));
  };
  for (const char* name : {kReportFile, "fort.93", "fort.123", "fort.456"}) check(s.file(name), 1);
  if (s.grid == 1) check(s.file("fort.87"), 2);
  int first = 1;
  try {
    first = read_resume_index(s);
  } catch (const InputError&) {
    // reported by the resume index's own check
  }
  const OutputPlan plan = output_plan(s, first);
  std::error_code ec;
  if (!fs::is_directory(plan.folder, ec)) return problems;
  for (const auto& entry : fs::directory_iterator(plan.folder, ec)) {
    if (const int use = output_use(plan, s, entry.path().filename().string()); use != 0) check(entry.path(), use);
  }
  return problems;
}

// What the run will do with its output folders: folders that are missing
// or not writable (problems), and files of an earlier run with the same tags
// that it will replace or append to, and a resume index that makes it start
// later or run nothing (warnings).
void output_predictions(State& s, ConfigCheck& c) {
  namespace fs = std::filesystem;
  std::error_code ec;
  const Voice& v = s.voice;
  if (access(s.workdir.c_str(), W_OK) != 0) {
    c.problems.push_back(
        v("la cartella di lavoro {1} non è scrivibile (post_dati.dat, i_and_min.dat, fort.*)"_it, {s.workdir.string()}));
  }
  int first = 1;
  try {
    first = read_resume_index(s);
  } catch (const InputError&) {
    // already a problem
  }
  const OutputPlan plan = output_plan(s, first);
  const fs::path& folder = plan.folder;
  const std::string& lead = plan.lead;
  if (!fs::is_directory(folder, ec)) {
    c.problems.push_back(v("la cartella dei file di uscita {1} (da path_prefix_1 e path_prefix_2 (record 2 e 3)) non "
                           "esiste: il primo file di uscita fermerebbe la simulazione"_it,
                           {shown(folder)}));
    return;
  }
  if (access(folder.c_str(), W_OK) != 0) {
    c.problems.push_back(v("la cartella dei file di uscita {1} (da path_prefix_1 e path_prefix_2 (record 2 e 3)) non "
                           "è scrivibile"_it,
                           {shown(folder)}));
    return;
  }

  // The steps that will run and their tags.
  const int count = s.andam.sweep_mode == 0 ? 1 : s.andam.sweep_count;
  try {
    read_resume_index(s);
  } catch (const InputError&) {
    return;  // already a problem
  }
  if (first > count) {
    c.warnings.push_back(v("{1} indica il passo {2} oltre l'ultimo ({3}): la simulazione non eseguirà nessun passo; "
                           "cancellare il file per ripartire dal primo passo"_it,
                           {std::string_view(kResumeFile), format_int(first), format_int(count)}));
  } else if (first > 1) {
    c.warnings.push_back(v("{1} indica il passo {2}: la simulazione riprenderà da quel passo, non dal primo "
                           "(cancellare il file per ripartire dal primo)"_it,
                           {std::string_view(kResumeFile), format_int(first)}));
  }
  const std::string& tags = plan.tags;
  std::vector<std::string> replaced, kept;
  std::string history, table;
  const std::string& table_name = plan.table;
  for (const auto& entry : fs::directory_iterator(folder, ec)) {
    const std::string name = entry.path().filename().string();
    if (name.size() <= lead.size() || name.compare(0, lead.size(), lead) != 0) continue;
    const std::string rest = name.substr(lead.size());
    if (!table_name.empty() && rest == table_name) table = name;
    if (rest.size() < 2 || tags.find(rest[0]) == std::string::npos) continue;
    if (rest.substr(1) == "sf_delta.dat") history += (history.empty() ? "" : ", ") + name;
    const bool snap = rest.compare(1, 2, "pr") == 0, analytic = rest.compare(1, 2, "an") == 0;
    if (!snap && !analytic) continue;
    const long long k = counter_in(rest, 3);
    if (k < 0) continue;
    (writes_snapshot(s.tempo, k) ? replaced : kept).push_back(name);
  }
  auto some = [](std::vector<std::string> names) {
    std::sort(names.begin(), names.end());
    std::string out;
    for (std::size_t i = 0; i < names.size() && i < 3; ++i) out += (i ? ", " : "") + names[i];
    if (names.size() > 3) out += ", ...";
    return out;
  };
  if (!replaced.empty()) {
    c.warnings.push_back(v("{1} file di una simulazione precedente con la stessa marca saranno sostituiti ({2})"_it,
                           {format_int(static_cast<long long>(replaced.size())), some(replaced)}));
  }
  if (!kept.empty()) {
    c.warnings.push_back(v("{1} file di una simulazione precedente con la stessa marca resteranno accanto ai nuovi "
                           "({2})"_it,
                           {format_int(static_cast<long long>(kept.size())), some(kept)}));
  }
  if (!history.empty()) {
    c.warnings.push_back(
        s.rrestart.ires != 0
            ? v("storia del fronte di una simulazione precedente: {1} sarà continuata (i suoi record fino a it_start "
                "restano, i nuovi seguono)"_it,
                {history})
        : s.grid == 0 ? v("storia del fronte di una simulazione precedente: {1} sarà sostituita"_it, {history})
                      : v("storia del fronte di una simulazione precedente: {1} riceverà un nuovo blocco in coda"_it,
                          {history}));
  }
  if (!table.empty()) {
    c.warnings.push_back(v("la tabella dell'andamento {1} esiste: riceverà un nuovo blocco in coda"_it, {table}));
  }
}

std::string joined(const std::vector<std::string>& problems) {
  std::string msg;
  for (const auto& p : problems) msg += "\n  " + p;
  return msg;
}

// The analytic burning rate of the configuration as a run derives it before
// its first step (activation temperature and heat release as derived, fresh
// density from gamma and th_fresh); the values read stay as they are.
double analytic_rate_as_derived(State& s) {
  const Gass read = s.gass;
  const Tempo tempo = s.tempo;
  std::ostream* console = s.console;
  std::ostringstream sink;
  s.console = &sink;
  s.gass.Zeldovich = read.gamma * read.Zeldovich / (read.gamma - 1.0);
  s.gass.D_1 = 10000.0;
  s.tempo.it = s.tempo.it_start;
  double m = 0.0, delta = 0.0;
  calc_velspes_an(s, s.settings.n, s.vvar, s.ic_kkind.ord_reaz, m, delta);
  s.gass = read;
  s.tempo = tempo;
  s.console = console;
  return m;
}

// A flame's distances from the inflow to the initial front and the anchor in
// the decay lengths of the analytic flame, as the run will place them.
void describe_domain(State& s, std::vector<std::string>& out) {
  const double two_pi = 2.0 * 3.141592653589793;
  const double m = analytic_rate_as_derived(s);
  const double length = s.discr.domain_length != 0.0 ? two_pi * s.discr.domain_length
                                                    : (s.discr.hlx == 0.0 ? 0.625 * s.settings.n : s.discr.hlx) / m;
  const double anchor = s.settings.x_anchor == 0.0 || s.andam.sweep_mode == 1
                            ? s.settings.x_anchor_fraction * length
                            : two_pi * s.settings.x_anchor;
  const bool restart = s.rrestart.ires != 0;
  const DomainGuidance g = domain_guidance(m, s.gass.Lewis, restart ? 0.0 : s.ff_fnz.x0_ff_2 * length, anchor);
  const Voice& v = s.voice;
  std::string line = v("Distanze dall'ingresso (lunghezza termica 1/M = {1}, del combustibile 1/(Le M) = {2} della "
                       "stima analitica): "_it,
                       {format_real(g.thermal_length), format_real(g.fuel_length)});
  if (!restart) line += v("fronte iniziale {1} e {2}, "_it, {format_real(g.front_thermal), format_real(g.front_fuel)});
  line += v("ancoraggio {1} e {2} lunghezze."_it, {format_real(g.anchor_thermal), format_real(g.anchor_fuel)});
  out.push_back(line);
  if (g.warn) {
    out.push_back(v("Attenzione: l'ancoraggio dista dall'ingresso meno di {1} lunghezze; l'ingresso taglia la coda "
                    "della fiamma e ne altera la velocita' di combustione (allungare il dominio o spostare "
                    "l'ancoraggio)."_it,
                    {format_real(kDomainWarningLengths)}));
  }
}

}  // namespace

void start_up(State& s, RunRecord* record) {
  if (record != nullptr) {
    input_eule(s, [record](State& st) { record_configuration(*record, st); });
  } else {
    input_eule(s);
  }
  elabora_parametri(s);
  if (s.ic_kkind.case_kind <= 7) maschera_ad(s);
  if (s.ic_kkind.case_kind >= 3 && s.ic_kkind.case_kind <= 5) input_profilo_an(s);
  auto problems = input_file_problems(s, s, 1.0);
  for (auto& p : output_name_problems(s)) problems.push_back(std::move(p));
  if (!problems.empty()) {
    throw InputError(std::string(s.voice("la simulazione non può partire:"_it)) + joined(problems));
  }
  // The summary that says "running", in place of any earlier one, before
  // the run writes anything else.
  if (record != nullptr) {
    write_summary(s, *record, RunEnd::Running, 0, "");
    record->running_written = true;
  }
  const Settings& set = s.settings;
  scrivi_parametri(s, set.n, set.n_species, set.cfl, set.stab, set.rk_scheme, kReportLimit);
  if (record != nullptr) note_file(*record, kReportFile, "parameters");
}

namespace {

// The end of a program run that read its configuration: the progress line
// off the terminal, the simulation under way closed, the summary written.
// A summary that cannot be written ends a normal run with a write failure;
// after another failure it is only reported, so that the first cause stays
// the one the exit status tells. A summary that cannot be written leaves the
// one that says "running", or, when not even that one was written, none: an
// earlier run's summary never stays to speak for this one.
void finish_run(State& s, MainValues& mv, RunEnd end, int exit_status, const std::string& message) {
  mv.progress.close();
  if (!mv.record.configuration_read) return;
  close_simulation_record(s, mv, end);
  try {
    write_summary(s, mv.record, end, exit_status, message);
  } catch (const WriteError& e) {
    if (!mv.record.running_written) {
      std::error_code ec;
      std::filesystem::remove(s.file(summary_path(s, mv.record)), ec);
    }
    if (end == RunEnd::Normal || end == RunEnd::Unsettled) throw;
    std::cerr << "fiamma: " << s.voice(e.message()) << '\n';
  }
}

// While the progress line is drawn, the console goes through a filter that
// takes the line off the terminal before each write.
class ConsoleFilter {
 public:
  ConsoleFilter(State& s, Progress& progress) : s_(s), saved_(s.console) {
    if (!progress.enabled()) return;
    buffer_ = std::make_unique<ProgressConsole>(saved_->rdbuf(), progress);
    stream_ = std::make_unique<std::ostream>(buffer_.get());
    s.console = stream_.get();
  }
  ~ConsoleFilter() { s_.console = saved_; }
  ConsoleFilter(const ConsoleFilter&) = delete;
  ConsoleFilter& operator=(const ConsoleFilter&) = delete;

 private:
  State& s_;
  std::ostream* saved_;
  std::unique_ptr<ProgressConsole> buffer_;
  std::unique_ptr<std::ostream> stream_;
};

}  // namespace

int run_simulation(State& s, const RunSetup& setup) {
  // one run per folder: refused at once, before anything is read or written
  const FolderLock lock(s.workdir);
  SignalGuard signals;
  auto mv = std::make_unique<MainValues>();
  mv->record.command_line = setup.command_line;
  mv->record.started = std::chrono::steady_clock::now();
  if (setup.progress_fd >= 0) mv->progress.attach(setup.progress_fd, s.voice);
  ConsoleFilter filter(s, mv->progress);
  try {
    start_up(s, &mv->record);
    run_sweeps(s, *mv);
    check_output_stream(s.out().flush(), "standard output");
    // a signal after the last safe point: the files are whole, the run says so
    if (const int late = pending_signal(); late != 0) {
      throw Interrupted(late, say("interrotto da {1} quando la simulazione era ormai finita: i suoi file sono "
                                  "completi"_it,
                                  {signal_name(late)}));
    }
  } catch (const InputError& e) {
    finish_run(s, *mv, RunEnd::BadInput, kExitBadInput, s.voice(e.message()));
    throw;
  } catch (const RunStopped& e) {
    finish_run(s, *mv, RunEnd::Stopped, kExitStopped, s.voice(e.message()));
    throw;
  } catch (const NonFiniteField& e) {
    finish_run(s, *mv, RunEnd::NonFinite, kExitNonFinite, s.voice(e.message()));
    throw;
  } catch (const WriteError& e) {
    finish_run(s, *mv, RunEnd::WriteFailure, kExitWriteFailure, s.voice(e.message()));
    throw;
  } catch (const Interrupted& e) {
    finish_run(s, *mv, RunEnd::Interrupted, kExitSignalBase + e.signal, s.voice(e.message()));
    throw;
  }
  // --until-settled: the simulations that reached it_end unsettled
  std::string unsettled;
  int capped = 0;
  for (const auto& run : mv->record.runs) {
    if (run.end != RunEnd::Unsettled) continue;
    ++capped;
    unsettled += std::string(unsettled.empty() ? "" : ", ") + run.run_tag;
  }
  std::string message;
  if (capped > 0) {
    const std::string tol = format_real(s.options.settled_tolerance);
    message = capped == 1 ? s.voice("1 simulazione non assestata entro {1} al limite it_end ({2}): allungare it_end o "
                                    "ripartire dall'ultima istantanea"_it, {tol, unsettled})
                          : s.voice("{1} simulazioni non assestate entro {2} al limite it_end ({3}): allungare it_end o "
                                    "ripartire dall'ultima istantanea"_it, {format_int(capped), tol, unsettled});
  }
  finish_run(s, *mv, capped > 0 ? RunEnd::Unsettled : RunEnd::Normal, capped > 0 ? kExitUnsettled : kExitNormal,
             message);
  // A signal while the summary was written, or while the handlers go back:
  // the summary is written again to say so.
  if (const int late = signals.release(); late != 0) {
    const Message interrupted = say("interrotto da {1} mentre chiudeva: la simulazione era finita e i suoi file sono "
                                    "completi"_it,
                                    {signal_name(late)});
    finish_run(s, *mv, RunEnd::Interrupted, kExitSignalBase + late, s.voice(interrupted));
    throw Interrupted(late, interrupted);
  }
  if (capped > 0) {
    *s.diagnostics << "fiamma: " << message << '\n';
    return kExitUnsettled;
  }
  return kExitNormal;
}

ConfigCheck check_configuration(State& s, const std::vector<std::string>& warnings,
                                const std::vector<std::string>& reading_problems) {
  ConfigCheck c;
  c.problems = reading_problems;
  for (auto& p : range_problems(s)) c.problems.push_back(std::move(p));
  if (const std::string step = sweep_step_problem(s); !step.empty()) c.problems.push_back(step);
  for (const auto& note : warnings) c.warnings.push_back(note);
  const auto& set = s.settings;
  const auto& d = s.discr;
  const Voice& v = s.voice;
  if (d.i_thom != 2) {
    c.problems.push_back(v("record 11 (i_thom) = {1}: la simulazione richiede gli operatori pentadiagonali (i_thom = "
                           "2)"_it,
                           {format_int(d.i_thom)}));
  } else if (s.grid == 1) {
    c.problems.emplace_back(v("record 5 (grid) = 1 con i_thom = 2: gli operatori pentadiagonali non esistono su "
                              "griglia non uniforme, la simulazione si fermerebbe"_it));
  }
  if (s.grid == 1 && !std::filesystem::exists(s.file(kGridFile))) {
    c.problems.emplace_back(v("record 5 (grid) = 1 ma il file grid.dat non esiste"_it));
  }
  if (s.ic_kkind.reaction_order == 2) {
    c.problems.emplace_back(v("record 32 (reaction_order) = 2: il modello a due specie arresta la simulazione alla "
                              "prima valutazione della pressione"_it));
  }

  if (s.ic_kkind.case_kind >= 3 && s.ic_kkind.case_kind <= 5) {
    // the profile is read against the reference state the run would derive
    auto probe = std::make_unique<State>();
    probe->voice = s.voice;
    probe->workdir = s.workdir;
    probe->ic_kkind = s.ic_kkind;
    probe->gass = s.gass;
    maschera_ad(*probe);
    try {
      input_profilo_an(*probe);
    } catch (const InputError& e) {
      c.problems.push_back(v(e.message()));
    }
  }
  if (c.problems.empty()) {
    for (auto& p : input_file_problems(s, *derived_copy(s), 2.0 * 3.141592653589793)) c.problems.push_back(std::move(p));
  }
  for (auto& p : output_name_problems(s)) c.problems.push_back(std::move(p));
  output_predictions(s, c);
  auto& out = c.description;
  out.push_back(v("Simulazione: {1}."_it, {case_kind_words(v, s.ic_kkind.case_kind)}));
  out.push_back(s.grid == 0 ? v("Griglia: uniforme, {1} nodi."_it, {format_int(set.n)})
                            : v("Griglia: non uniforme da grid.dat, {1} nodi."_it, {format_int(set.n)}));
  const std::string step = d.dt_mode == 1
                               ? v("dai limiti cfl = {1} e stab = {2}"_it, {format_real(set.cfl), format_real(set.stab)})
                               : v("fisso dt = {1}"_it, {format_real(s.tempo.dt)});
  out.push_back(v("Schema: operatori compatti {1}, Runge-Kutta {2}, passo {3}."_it,
                  {d.i_thom == 2 ? "pentadiagonali"_it : d.i_thom == 1 ? "tridiagonali"_it : "sconosciuti"_it,
                   format_int(set.rk_scheme), step}));
  out.push_back(v("Iterazioni: da {1} a {2}, uscita ogni {3}."_it,
                  {format_int(static_cast<long long>(s.tempo.it_start) + 1), format_int(s.tempo.it_end),
                   format_int(s.tempo.it_out)}));
  if (d.domain_length != 0.0) {
    out.push_back(v("Dominio: lunghezza fissa 2*pi*{1}."_it, {format_real(d.domain_length)}));
  } else {
    const double hlx = d.hlx == 0.0 ? 0.625 * set.n : d.hlx;
    out.push_back(v("Dominio: {1} spessori di fiamma previsti (lunghezza scelta dalla stima analitica)."_it,
                    {format_real(hlx)}));
  }
  if (s.andam.sweep_mode == 1) {
    out.push_back(v("Andamento: parametro {1} in {2} passi da {3} verso {4} (escluso)."_it,
                    {format_int(s.andam.sweep_parameter), format_int(s.andam.sweep_count),
                     format_real(s.andam.sweep_start), format_real(s.andam.sweep_end)}));
  } else {
    out.emplace_back(v("Andamento: nessuno (una sola simulazione)."_it));
  }
  if (s.rrestart.ires != 0) out.emplace_back(v("Partenza: da file di ripartenza."_it));
  if (s.ic_kkind.case_kind == 8) describe_domain(s, out);
  return c;
}

namespace {

// What the command line asks for.
struct CommandLine {
  enum class Mode { Run, PrintConfig, CheckConfig, Help, Version } mode = Mode::Run;
  std::string file = kConfigFile;
  RunOptions options;
};

// The language of the messages: --lang (the last one given), otherwise
// FIAMMA_LANG, otherwise Italian. An unknown name is refused; `voice` then
// holds the language the refusal is told in.
void choose_language(const std::vector<std::string>& args, Voice& voice) {
  const std::string* asked = nullptr;
  for (std::size_t k = 0; k + 1 < args.size(); ++k) {
    if (args[k] == "--lang") asked = &args[k + 1];
  }
  const char* env = std::getenv("FIAMMA_LANG");
  const bool env_set = env != nullptr && *env != '\0';
  const std::optional<Language> from_env = env_set ? language_named(env) : std::nullopt;
  if (from_env) voice = Voice(*from_env);
  if (asked != nullptr) {
    const std::optional<Language> l = language_named(*asked);
    if (!l) {
      throw InputError(say("opzione {1}: lingua sconosciuta \"{2}\" (it o en)"_it, {std::string_view("--lang"), *asked}));
    }
    voice = Voice(*l);
  } else if (env_set && !from_env) {
    throw InputError(say("FIAMMA_LANG: lingua sconosciuta \"{1}\" (it o en)"_it, {std::string_view(env)}));
  }
}

double option_real(const std::string& opt, const std::string& text) {
  double value = 0.0;
  try {
    FreeFormatReader reader(text, opt);
    reader.begin(1);
    reader.real(value, "valore"_it);
    reader.end();
  } catch (const InputError&) {
    throw InputError(say("opzione {1}: atteso un numero reale, trovato \"{2}\""_it, {opt, text}));
  }
  return value;
}

int option_int(const std::string& opt, const std::string& text) {
  int value = 0;
  try {
    FreeFormatReader reader(text, opt);
    reader.begin(1);
    reader.integer(value, "valore"_it);
    reader.end();
  } catch (const InputError&) {
    throw InputError(say("opzione {1}: atteso un numero intero, trovato \"{2}\""_it, {opt, text}));
  }
  return value;
}

// A tolerance of the settled verdict: positive, finite, below 1.
double settled_tolerance_option(const std::string& opt, const std::string& text) {
  const double tol = option_real(opt, text);
  if (!(tol > 0.0 && tol < 1.0)) {
    throw InputError(say("opzione {1}: la tolleranza deve essere un numero positivo minore di 1"_it, {opt}));
  }
  return tol;
}

CommandLine parse_command_line(const std::vector<std::string>& args) {
  CommandLine c;
  bool mode_given = false;
  bool correction_given = false;
  auto set_mode = [&](CommandLine::Mode m, const std::string& opt) {
    if (mode_given) {
      throw InputError(say("opzione {1}: una sola tra --print-config, --check-config, --help, --version"_it, {opt}));
    }
    mode_given = true;
    c.mode = m;
  };
  for (std::size_t k = 0; k < args.size(); ++k) {
    const std::string& opt = args[k];
    auto value = [&]() -> const std::string& {
      if (k + 1 >= args.size()) throw InputError(say("opzione {1}: manca il valore"_it, {opt}));
      return args[++k];
    };
    if (opt == "--help" || opt == "-h") {
      set_mode(CommandLine::Mode::Help, opt);
    } else if (opt == "--version") {
      set_mode(CommandLine::Mode::Version, opt);
    } else if (opt == "--print-config" || opt == "--check-config") {
      set_mode(opt == "--print-config" ? CommandLine::Mode::PrintConfig : CommandLine::Mode::CheckConfig, opt);
      if (k + 1 < args.size() && args[k + 1].rfind("--", 0) != 0) c.file = args[++k];
    } else if (opt == "--set") {
      const std::string& v = value();
      const auto eq = v.find('=');
      if (eq == std::string::npos || eq == 0) {
        throw InputError(say("opzione --set {1}: attesa la forma NOME=VALORE"_it, {v}));
      }
      c.options.overrides.emplace_back(v.substr(0, eq), v.substr(eq + 1));
    } else if (opt == "--sweep-step") {
      c.options.sweep_step = option_int(opt, value());
      if (c.options.sweep_step < 1) throw InputError(say("opzione --sweep-step: il passo deve essere almeno 1"_it));
    } else if (opt == "--correction-tolerance" || opt == "--correction-tolerance-relative") {
      c.options.correction_tolerance = option_real(opt, value());
      c.options.correction_relative = opt == "--correction-tolerance-relative";
      if (!(c.options.correction_tolerance > 0.0) || !std::isfinite(c.options.correction_tolerance)) {
        throw InputError(say("opzione {1}: la tolleranza deve essere un numero positivo e finito"_it, {opt}));
      }
      correction_given = true;
    } else if (opt == "--until-settled" || opt.rfind("--until-settled=", 0) == 0) {
      c.options.until_settled = true;
      if (opt != "--until-settled") c.options.settled_tolerance = settled_tolerance_option("--until-settled", opt.substr(16));
    } else if (opt == "--settled-tolerance") {
      c.options.settled_tolerance = settled_tolerance_option(opt, value());
    } else if (opt == "--start-from") {
      c.options.start_from = value();
    } else if (opt == "--lang") {
      value();  // already chosen (choose_language)
    } else {
      throw InputError(say("opzione non riconosciuta: {1}"_it, {opt}));
    }
  }
  if (!c.options.start_from.empty() && !c.options.until_settled) {
    throw InputError(say("opzione --start-from: vale solo con --until-settled"_it));
  }
  // The bias a correction tolerance X leaves on the settled rate is about
  // 0.3 X at n = 257 and X at n = 1025: TOL / 1000 keeps it far below TOL.
  if (c.options.until_settled && !correction_given) {
    c.options.correction_tolerance = c.options.settled_tolerance / 1000.0;
    c.options.correction_relative = true;
  }
  return c;
}

}  // namespace

int fiamma_main(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  CommandLine cl;
  Voice voice;
  try {
    choose_language(args, voice);
    cl = parse_command_line(args);
  } catch (const InputError& e) {
    err << "fiamma: " << voice(e.message()) << "\n\n" << voice(kUsage);
    return kExitBadInput;
  }
  try {
    switch (cl.mode) {
      case CommandLine::Mode::Help:
        out << voice(kUsage);
        check_output_stream(out.flush(), "standard output");
        return 0;
      case CommandLine::Mode::Version:
        out << "fiamma " << FIAMMA_VERSION << '\n';
        check_output_stream(out.flush(), "standard output");
        return 0;
      case CommandLine::Mode::Run: {
        auto s = std::make_unique<State>();
        s->console = &out;
        s->voice = voice;
        s->options = cl.options;
        RunSetup setup;
        setup.command_line.assign(args.begin(), args.end());
        // the progress line only on the process's own standard error
        if (&err == &std::cerr) setup.progress_fd = STDERR_FILENO;
        return run_simulation(*s, setup);
      }
      case CommandLine::Mode::PrintConfig:
      case CommandLine::Mode::CheckConfig: break;
    }
    const std::string& file = cl.file;
    auto s = std::make_unique<State>();
    s->voice = voice;
    s->options = cl.options;
    s->workdir = std::filesystem::path(file).parent_path();
    if (s->workdir.empty()) s->workdir = ".";
    const ReadNotes notes = read_for_mode(*s, file);
    if (cl.mode == CommandLine::Mode::PrintConfig) {
      print_configuration(*s, out);
      check_output_stream(out.flush(), "standard output");
      return 0;
    }
    const ConfigCheck c = check_configuration(*s, notes.warnings, notes.problems);
    for (const auto& line : c.description) out << line << '\n';
    for (const auto& line : c.warnings) out << voice("Attenzione: "_it) << line << '\n';
    if (c.problems.empty()) out << voice("Configurazione valida."_it) << '\n';
    check_output_stream(out.flush(), "standard output");
    if (c.problems.empty()) return 0;
    err << voice("{1}: problemi trovati:"_it, {file}) << '\n';
    for (const auto& p : c.problems) err << "  " << p << '\n';
    return kExitBadInput;
  } catch (const InputError& e) {
    out.flush();
    err << "fiamma: " << voice(e.message()) << '\n';
    return kExitBadInput;
  } catch (const RunStopped&) {
    out.flush();
    return kExitStopped;
  } catch (const NonFiniteField& e) {
    out.flush();
    err << "fiamma: " << voice(e.message()) << '\n';
    return kExitNonFinite;
  } catch (const WriteError& e) {
    out.flush();
    err << "fiamma: " << voice(e.message()) << '\n';
    return kExitWriteFailure;
  } catch (const Interrupted& e) {
    out.flush();
    err << "fiamma: " << voice(e.message()) << '\n';
    err.flush();
    return kExitSignalBase + e.signal;
  }
}

}  // namespace fiamma
