#include "driver/resume.hpp"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <iostream>

#include "config/free_format_reader.hpp"
#include "core/errors.hpp"
#include "core/file_writer.hpp"
#include "core/free_format.hpp"
#include "core/naming.hpp"
#include "initial/other_states.hpp"
#include "output/continuation.hpp"

namespace fiamma {

namespace {

// A word for the shell, quoted when it needs to be.
std::string shell_word(const std::string& w) {
  if (!w.empty() && w.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789_-+=.,/:@%") ==
                        std::string::npos) {
    return w;
  }
  if (w.find_first_of("\"$`\\!") == std::string::npos) return '"' + w + '"';
  std::string q = "'";
  for (char c : w) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

// The program as it runs now.
std::string program() {
  char path[4096];
  const ssize_t got = ::readlink("/proc/self/exe", path, sizeof path - 1);
  return got > 0 ? std::string(path, static_cast<std::size_t>(got)) : std::string("fiamma");
}

// A text value for --set: between apostrophes, one inside doubled.
std::string quoted_value(const std::string& text) {
  std::string q = "'";
  for (char c : text) q += c == '\'' ? std::string("''") : std::string(1, c);
  return q + "'";
}

// The path `p` as the three restart names (directory, further directory,
// file: joined as they stand), each of at most 32 characters and none ending
// in a blank, which the names would lose.
std::optional<std::array<std::string, 3>> restart_names(const std::string& p) {
  const auto fits = [](const std::string& part) { return part.size() <= 32 && (part.empty() || part.back() != ' '); };
  for (std::size_t cut1 = 0; cut1 <= p.size(); ++cut1) {
    for (std::size_t cut2 = cut1; cut2 <= p.size() && cut2 - cut1 <= 32; ++cut2) {
      const std::string a = p.substr(0, cut1), b = p.substr(cut1, cut2 - cut1), c = p.substr(cut2);
      if (c.empty() || !fits(a) || !fits(b) || !fits(c)) continue;
      // the file name alone in the last one when it can be
      const auto slash = p.rfind('/');
      if (slash != std::string::npos && cut2 <= slash && p.size() - slash - 1 <= 32) continue;
      return std::array<std::string, 3>{a, b, c};
    }
  }
  return std::nullopt;
}

}  // namespace

bool writes_snapshot(const Tempo& t, long long k) {
  if (k == t.it_start || k == static_cast<long long>(t.it_end) + 1) return true;
  return k > t.it_start && k <= t.it_end && t.it_out > 0 && k % t.it_out == 0;
}

std::filesystem::path write_companion(State& s, MainValues& mv, const std::filesystem::path& snapshot,
                                      std::uint64_t hash, int it) {
  ContinuationInput in;
  in.it = it;
  in.inflow_momentum = mv.inflow_momentum;
  in.blow = mv.blow;
  in.front = s.ic_kkind.case_kind == 8 ? &mv.front : nullptr;
  in.n_stab = s.settings.n_stab;
  const std::filesystem::path path = companion_path(snapshot);
  write_file_atomically(s.file(path), continuation_text(s, snapshot, hash, in), kPrefixedOrigin);
  if (!mv.last_companion.empty() && mv.last_companion != path) {
    std::error_code ec;
    std::filesystem::remove(s.file(mv.last_companion), ec);
  }
  mv.last_companion = path;
  return path;
}

std::optional<double> resume_from_companion(State& s, MainValues& mv) {
  const std::filesystem::path source = restart_path(s);
  mv.restart_source = source;
  mv.front.continue_history = true;
  std::string note;
  const auto c = read_continuation(s, source, read_input_file(s.file(source), source.string()), s.settings.n, note);
  if (!note.empty()) *s.diagnostics << "fiamma: " << s.voice("attenzione: "_it) << note << '\n';
  if (!c) return std::nullopt;
  restore_fields(s, *c);
  if (s.ic_kkind.case_kind == 8) restore_front(mv.front, *c);
  mv.blow = c->blow;
  return c->inflow_momentum;
}

std::vector<std::string> restart_problems(State& s) {
  std::vector<std::string> problems;
  const std::filesystem::path source = restart_path(s);
  try {
    std::string note;
    const auto c = read_continuation(s, source, read_input_file(s.file(source), source.string()), s.settings.n, note);
    if (c && c->it != s.tempo.it_start) {
      problems.push_back(s.voice("record 8 (it_start) = {1}: l'istantanea {2} contiene lo stato dopo l'iterazione {3} "
                                 "(file compagno {4}): per continuare it_start = {3}"_it,
                                 {format_int(s.tempo.it_start), source.string(), format_int(c->it),
                                  c->companion.string()}));
    }
    if (c && c->front && s.ic_kkind.case_kind == 8 && c->n_stab != s.settings.n_stab) {
      problems.push_back(s.voice("record 63 (n_stab) = {1}: il file compagno {2} continua una finestra di {3} passi; "
                                 "per continuare n_stab = {3} (o cancellare il file compagno per ripartire senza "
                                 "continuità)"_it,
                                 {format_int(s.settings.n_stab), c->companion.string(), format_int(c->n_stab)}));
    }
  } catch (const InputError& e) {
    problems.push_back(s.voice(e.message()));
  }
  // A later snapshot of the run at the source's name would replace it.
  const Andam& a = s.andam;
  std::string tags(1, s.addr.run_tag[0]);
  if (a.sweep_mode == 1) {
    tags.clear();
    for (int i = 1; i <= a.sweep_count && i <= 26; ++i) tags += static_cast<char>(64 + i);
  }
  const std::string file = source.filename().string();
  const std::size_t at = file.find("pr");
  std::error_code ec;
  const auto canonical_source = std::filesystem::weakly_canonical(s.file(source), ec);
  if (at != std::string::npos && file.size() > at + 6 && file.ends_with(".dat")) {
    const std::string digits = file.substr(at + 2, file.size() - 4 - at - 2);
    if (!digits.empty() && digits.size() <= 12 && digits.find_first_not_of("0123456789") == std::string::npos) {
      const long long k = std::stoll(digits);
      const Addr saved = s.addr;
      for (char tag : tags) {
        if (k == s.tempo.it_start || !writes_snapshot(s.tempo, k)) continue;
        s.addr.run_tag[0] = tag;
        const auto path = tagged_output_path(s, "-pr------.dat", 4, 6, k);
        if (std::filesystem::weakly_canonical(s.file(path), ec) == canonical_source) {
          problems.push_back(s.voice("l'istantanea di ripartenza {1} verrebbe sostituita all'iterazione {2} dalla "
                                     "simulazione stessa: cambiare run_tag (record 1) o ripartire da una copia"_it,
                                     {source.string(), format_int(k)}));
          break;
        }
      }
      s.addr = saved;
    }
  }
  return problems;
}

std::string rerun_command(const std::vector<std::string>& args) {
  std::string command = shell_word(program());
  for (const auto& a : args) {
    command += ' ';
    command += shell_word(a);
  }
  return command;
}

std::string resume_command(const State& /*s*/, const std::vector<std::string>& args,
                           const std::filesystem::path& snapshot, int it) {
  std::string command = rerun_command(args) + " --set ires=1";
  const auto names = restart_names(snapshot.lexically_normal().string());
  const std::array<const char*, 3> keys = {"restart_name_2", "restart_name_3", "restart_name_1"};
  for (int k = 0; names && k < 3; ++k) command += " --set " + shell_word(std::string(keys[k]) + "=" + quoted_value((*names)[k]));
  return command + " --set it_start=" + format_int(it);
}

}  // namespace fiamma
