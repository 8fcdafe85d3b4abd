#include "fuzz/fuzz_entries.hpp"

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "config/configuration.hpp"
#include "config/free_format_reader.hpp"
#include "config/grid.hpp"
#include "config/profile_input.hpp"
#include "core/errors.hpp"
#include "driver/simulation.hpp"
#include "initial/other_states.hpp"

namespace fiamma::fuzz {

namespace {

// Runs `read` on a fresh state whose working folder (one per process) holds
// the input as the file `name` (none: read from memory); an InputError is the
// expected refusal.
template <class Read>
void with_file(const char* name, const std::uint8_t* data, std::size_t size, Read read) {
  static const std::filesystem::path folder = [] {
    auto d = std::filesystem::temp_directory_path() / ("fiamma_fuzz_" + std::to_string(::getpid()));
    std::filesystem::create_directories(d);
    return d;
  }();
  if (name) std::ofstream(folder / name, std::ios::binary | std::ios::trunc).write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  std::ostringstream console;
  auto s = std::make_unique<State>();
  s->workdir = folder;
  s->console = &console;
  try {
    read(*s, console);
  } catch (const InputError&) {
  }
}

}  // namespace

void configuration(const std::uint8_t* data, std::size_t size) {
  with_file(nullptr, data, size, [&](State& s, std::ostream& console) {
    FreeFormatReader reader(std::string_view(reinterpret_cast<const char*>(data), size), kConfigFile);
    std::vector<std::string> cut;
    read_configuration(reader, s, &console, &cut);
    if (range_problems(s).empty()) {
      elabora_parametri(s);
      if (s.ic_kkind.case_kind <= 7) maschera_ad(s);
    }
    print_configuration(s, console);
  });
}

void grid(const std::uint8_t* data, std::size_t size) {
  with_file(kGridFile, data, size, [](State& s, std::ostream&) {
    s.settings.n = kNodes;
    s.grid = 1;
    s.discr.domain_length = 1.0;
    input_grid(s, kNodes);
  });
}

void restart(const std::uint8_t* data, std::size_t size) {
  with_file("snap.dat", data, size, [](State& s, std::ostream&) {
    s.settings.n = kNodes;
    std::string("snap.dat").copy(s.rrestart.name[1].data(), 8);
    check_restart_file(s, kNodes);
  });
}

void resume_index(const std::uint8_t* data, std::size_t size) {
  with_file(kResumeFile, data, size, [](State& s, std::ostream&) { read_resume_index(s); });
}

void analytic_profile(const std::uint8_t* data, std::size_t size) {
  with_file(kProfileFile, data, size, [size](State& s, std::ostream&) {
    // case 5 for inputs of odd length, so that both layouts are reached
    s.ic_kkind.case_kind = size % 2 == 1 ? 5 : 3;
    s.gass.gamma = 1.4;
    maschera_ad(s);
    input_profilo_an(s);
  });
}

Entry entry(const std::string& name) {
  const std::pair<const char*, Entry> entries[] = {{"configuration", configuration}, {"grid", grid}, {"restart", restart},
                                                   {"resume_index", resume_index}, {"analytic_profile", analytic_profile}};
  for (const auto& [n, e] : entries) {
    if (name == n) return e;
  }
  return nullptr;
}

}  // namespace fiamma::fuzz
