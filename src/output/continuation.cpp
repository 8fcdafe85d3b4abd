#include "output/continuation.hpp"

#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>

#include "config/free_format_reader.hpp"
#include "core/errors.hpp"
#include "core/file_writer.hpp"
#include "core/free_format.hpp"

namespace fiamma {

namespace {

struct FrontValue {
  const char* name;
  double FrontTracker::*field;
};

constexpr FrontValue kFrontValues[] = {
    {"x_m", &FrontTracker::x_m},       {"s", &FrontTracker::s},
    {"del", &FrontTracker::del},       {"w_in", &FrontTracker::w_in},
    {"s_cons", &FrontTracker::s_cons}, {"a_f", &FrontTracker::a_f},
    {"dt_m", &FrontTracker::dt_m},     {"x_m_prev", &FrontTracker::x_m_prev},
    {"x_m_prev2", &FrontTracker::x_m_prev2}, {"s_m", &FrontTracker::s_m},
    {"de_m", &FrontTracker::de_m},     {"w_in_m", &FrontTracker::w_in_m},
    {"w_a_m", &FrontTracker::w_a_m},   {"s_sta", &FrontTracker::s_sta},
    {"w_a_s", &FrontTracker::w_a_s},   {"var", &FrontTracker::var},
};

constexpr const char* kFieldNames[kSlots + 1] = {"", "campo_1", "campo_2", "campo_3", "campo_4", "campo_5",
                                                 "campo_6", "campo_7"};

std::string hex(std::uint64_t h) {
  char text[20];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(h));
  return text;
}

Line& values(Line& line, const double* first, int count) {
  for (int i = 0; i < count; ++i) line.real(first[i]);
  return line;
}

// The lines of a companion by their first word.
class Entries {
 public:
  Entries(const std::string& text, std::string name) : name_(std::move(name)) {
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
      std::istringstream words(line);
      std::string key;
      if (!(words >> key)) continue;
      std::vector<std::string>& v = entries_[key];
      for (std::string w; words >> w;) v.push_back(w);
    }
  }
  const std::vector<std::string>& words(const std::string& key, std::size_t count) const {
    const auto it = entries_.find(key);
    if (it == entries_.end()) fail(say("manca la riga {1}"_it, {key}));
    if (it->second.size() != count) {
      fail(say("la riga {1} ha {2} valori, ne servono {3}"_it,
               {key, format_int(static_cast<long long>(it->second.size())), format_int(static_cast<long long>(count))}));
    }
    return it->second;
  }
  double real(const std::string& key) const { return to_real(key, words(key, 1)[0]); }
  int integer(const std::string& key) const {
    const std::string& w = words(key, 1)[0];
    char* end = nullptr;
    const long v = std::strtol(w.c_str(), &end, 10);
    if (end == w.c_str() || *end != '\0') fail(say("la riga {1} non contiene un intero: {2}"_it, {key, w}));
    return static_cast<int>(v);
  }
  std::vector<double> reals(const std::string& key, int count) const {
    const auto& w = words(key, static_cast<std::size_t>(count));
    std::vector<double> v;
    for (const auto& x : w) v.push_back(to_real(key, x));
    return v;
  }
  [[noreturn]] void fail(const Message& what) const {
    throw InputError(say("{1}: file compagno illeggibile ({2}); cancellarlo per ripartire dalla sola istantanea, "
                         "senza continuità"_it,
                         {name_, what}));
  }

 private:
  double to_real(const std::string& key, const std::string& w) const {
    char* end = nullptr;
    const double v = std::strtod(w.c_str(), &end);
    if (end == w.c_str() || *end != '\0') fail(say("la riga {1} contiene \"{2}\" invece di un numero"_it, {key, w}));
    return v;
  }
  std::string name_;
  std::map<std::string, std::vector<std::string>> entries_;
};

}  // namespace

std::filesystem::path companion_path(const std::filesystem::path& snapshot) {
  std::string name = ".";
  name += snapshot.filename().string();
  name += kCompanionSuffix;
  return snapshot.parent_path() / name;
}

std::string continuation_text(const State& s, const std::filesystem::path& snapshot, std::uint64_t hash,
                              const ContinuationInput& in) {
  const int n = s.settings.n;
  std::string text = Line().text(kCompanionFormat).str() + '\n';
  auto add = [&](Line line) { text += line.str() + '\n'; };
  add(Line().text("snapshot ").raw(snapshot.filename().string()).text(" ").raw(hex(hash)));
  add(Line().text("it").integer(in.it));
  add(Line().text("t").real(s.tempo.t));
  add(Line().text("inflow_momentum").real(in.inflow_momentum));
  add(Line().text("blow").real(in.blow));
  add(Line().text("n").integer(n));
  for (int slot = 1; slot <= kSlots; ++slot) {
    Line line;
    add(values(line.text(kFieldNames[slot]), s.vvar[slot].data() + 1, n));
  }
  add(Line().text("vvar_2").real(s.vvar_2));
  Line th;
  add(values(th.text("th"), s.vvar_temp_div[2].data() + 1, n));
  add(Line().text("front").integer(in.front != nullptr ? 1 : 0));
  if (in.front != nullptr) {
    const FrontTracker& f = *in.front;
    add(Line().text("first_it").integer(f.first_it));
    add(Line().text("n_avg").integer(f.n_avg));
    for (const auto& v : kFrontValues) add(Line().text(v.name).real(f.*v.field));
    add(Line().text("n_stab").integer(in.n_stab));
    Line a, b, c;
    add(values(a.text("s_last"), f.s_last.data() + 1, in.n_stab));
    add(values(b.text("w_ass_last"), f.w_ass_last.data() + 1, in.n_stab));
    add(values(c.text("varianza_last"), f.varianza_last.data() + 1, in.n_stab));
  }
  return text;
}

std::optional<Continuation> read_continuation(const State& s, const std::filesystem::path& snapshot,
                                              const std::string& snapshot_text, int n, std::string& note) {
  note.clear();
  const std::filesystem::path path = companion_path(snapshot);
  std::error_code ec;
  if (!std::filesystem::exists(std::filesystem::symlink_status(s.file(path), ec))) return std::nullopt;
  const std::string name = path.lexically_normal().string();
  const std::string text = read_input_file(s.file(path), name);
  const Entries e(text, name);
  if (text.rfind(Line().text(kCompanionFormat).str() + '\n', 0) != 0) e.fail(say("la prima riga non è \"{1}\""_it, {Line().text(kCompanionFormat).str()}));
  const auto& id = e.words("snapshot", 2);
  if (id[0] != snapshot.filename().string() || id[1] != hex(content_hash(snapshot_text))) {
    note = s.voice("{1} è il file compagno di un'altra versione di {2}: la ripartenza prende la sola istantanea, "
                   "senza continuità (tempo, inseguimento del fronte e controllo ripartono da capo)"_it,
                   {name, snapshot.filename().string()});
    return std::nullopt;
  }
  Continuation c;
  c.companion = path;
  c.n = e.integer("n");
  if (c.n != n) e.fail(say("è di {1} punti, la configurazione n = {2}"_it, {format_int(c.n), format_int(n)}));
  c.it = e.integer("it");
  c.t = e.real("t");
  c.inflow_momentum = e.real("inflow_momentum");
  c.blow = e.real("blow");
  for (int slot = 1; slot <= kSlots; ++slot) c.vvar[slot] = e.reals(kFieldNames[slot], n);
  c.vvar_2 = e.real("vvar_2");
  c.temperature = e.reals("th", n);
  c.front = e.integer("front") != 0;
  if (c.front) {
    c.first_it = e.integer("first_it");
    c.n_avg = e.integer("n_avg");
    for (const auto& v : kFrontValues) c.front_values.push_back(e.real(v.name));
    c.n_stab = e.integer("n_stab");
    if (c.n_stab < 1 || c.n_stab > kHistoryCapacity) e.fail(Message("n_stab = " + format_int(c.n_stab)));
    c.s_last = e.reals("s_last", c.n_stab);
    c.w_ass_last = e.reals("w_ass_last", c.n_stab);
    c.varianza_last = e.reals("varianza_last", c.n_stab);
  }
  return c;
}

void restore_fields(State& s, const Continuation& c) {
  for (int slot = 1; slot <= kSlots; ++slot) {
    for (int i = 1; i <= c.n; ++i) s.vvar[slot][i] = c.vvar[slot][i - 1];
  }
  for (int i = 1; i <= c.n; ++i) {
    s.vvar_rk[1][i] = s.vvar[1][i];
    s.vvar_rk[2][i] = s.vvar[2][i];
    s.vvar_temp_div[2][i] = c.temperature[i - 1];
  }
  s.vvar_2 = c.vvar_2;
  s.tempo.t = c.t;
}

void restore_front(FrontTracker& f, const Continuation& c) {
  if (!c.front) return;
  f.first_it = c.first_it;
  f.n_avg = c.n_avg;
  for (std::size_t k = 0; k < std::size(kFrontValues); ++k) f.*kFrontValues[k].field = c.front_values[k];
  for (int j = 1; j <= c.n_stab; ++j) {
    f.s_last[j] = c.s_last[j - 1];
    f.w_ass_last[j] = c.w_ass_last[j - 1];
    f.varianza_last[j] = c.varianza_last[j - 1];
  }
  f.restored = true;
}

}  // namespace fiamma
