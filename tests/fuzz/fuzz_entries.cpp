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

// A working folder of this process for the files the readers open.
const std::filesystem::path& folder() {
  static const std::filesystem::path dir = [] {
    auto d = std::filesystem::temp_directory_path() / ("fiamma_fuzz_" + std::to_string(::getpid()));
    std::filesystem::create_directories(d);
    return d;
  }();
  return dir;
}

std::unique_ptr<State> state_with_file(const char* name, const std::uint8_t* data, std::size_t size,
                                       std::ostream& console) {
  std::ofstream(folder() / name, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  auto s = std::make_unique<State>();
  s->workdir = folder();
  s->console = &console;
  return s;
}

}  // namespace

void configuration(const std::uint8_t* data, std::size_t size) {
  std::ostringstream console;
  auto s = std::make_unique<State>();
  s->console = &console;
  try {
    FreeFormatReader reader(std::string_view(reinterpret_cast<const char*>(data), size), kConfigFile);
    std::vector<std::string> cut;
    read_configuration(reader, *s, &console, &cut);
    if (range_problems(*s).empty()) {
      elabora_parametri(*s);
      if (s->ic_kkind.case_kind <= 7) maschera_ad(*s);
    }
    print_configuration(*s, console);
  } catch (const InputError&) {
  }
}

void grid(const std::uint8_t* data, std::size_t size) {
  std::ostringstream console;
  auto s = state_with_file(kGridFile, data, size, console);
  s->settings.n = kNodes;
  s->grid = 1;
  s->discr.domain_length = 1.0;
  try {
    input_grid(*s, kNodes);
  } catch (const InputError&) {
  }
}

void restart(const std::uint8_t* data, std::size_t size) {
  std::ostringstream console;
  auto s = state_with_file("snap.dat", data, size, console);
  s->settings.n = kNodes;
  const std::string name = "snap.dat";
  std::copy(name.begin(), name.end(), s->rrestart.name[1].begin());
  try {
    check_restart_file(*s, kNodes);
  } catch (const InputError&) {
  }
}

void resume_index(const std::uint8_t* data, std::size_t size) {
  std::ostringstream console;
  auto s = state_with_file(kResumeFile, data, size, console);
  try {
    read_resume_index(*s);
  } catch (const InputError&) {
  }
}

void analytic_profile(const std::uint8_t* data, std::size_t size) {
  std::ostringstream console;
  auto s = state_with_file(kProfileFile, data, size, console);
  // case 5 for inputs of odd length, so that both layouts are reached
  s->ic_kkind.case_kind = size % 2 == 1 ? 5 : 3;
  s->gass.gamma = 1.4;
  maschera_ad(*s);
  try {
    input_profilo_an(*s);
  } catch (const InputError&) {
  }
}

Entry entry(const std::string& name) {
  if (name == "configuration") return configuration;
  if (name == "grid") return grid;
  if (name == "restart") return restart;
  if (name == "resume_index") return resume_index;
  if (name == "analytic_profile") return analytic_profile;
  return nullptr;
}

}  // namespace fiamma::fuzz
