// Helpers shared by the tests: scratch working directories, configurations
// derived from the shipped examples, the built program run in a folder.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "core/shared_state.hpp"
#include "driver/run.hpp"
#include "driver/simulation.hpp"

namespace fiamma::testing {

inline std::string read_file(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

inline void write_file(const std::filesystem::path& p, const std::string& text) {
  std::ofstream(p, std::ios::binary | std::ios::trunc) << text;
}

// The lines of a text, without their newlines.
inline std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string l; std::getline(in, l);) out.push_back(l);
  return out;
}

// The numbers of one line of a table, read back as doubles.
inline std::vector<double> numbers_of(const std::string& line) {
  std::vector<double> v;
  std::istringstream in(line);
  for (double x; in >> x;) v.push_back(x);
  return v;
}

// A fresh directory under the system's temporary folder, removed at the end.
class ScratchDir {
 public:
  ScratchDir() {
    static int counter = 0;
    path_ = std::filesystem::temp_directory_path() /
            ("fiamma_test_" + std::to_string(::getpid()) + "_" + std::to_string(counter++));
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
  }
  ~ScratchDir() { std::filesystem::remove_all(path_); }
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

inline std::filesystem::path source_dir() { return FIAMMA_SOURCE_DIR; }

// A configuration file with one record per line, with some records (numbered
// from 1) replaced by other text.
inline std::string config_from(const std::filesystem::path& file, const std::map<int, std::string>& replace) {
  std::istringstream in(read_file(file));
  std::string line, out;
  for (int record = 1; std::getline(in, line); ++record) {
    auto it = replace.find(record);
    out += (it != replace.end() ? it->second : line) + "\n";
  }
  return out;
}

// The fixed configuration of the input and report tests (tests/data).
inline std::string example_config(const std::map<int, std::string>& replace = {}) {
  return config_from(source_dir() / "tests/data/eulero_test.dat", replace);
}

// The shipped example flame.
inline std::string flame_config(const std::map<int, std::string>& replace = {}) {
  return config_from(source_dir() / "examples/flame/eulero_test.dat", replace);
}

// A state whose working directory is `dir` and whose console is `console`.
inline std::unique_ptr<State> make_state(const std::filesystem::path& dir, std::ostream& console) {
  auto s = std::make_unique<State>();
  s->workdir = dir;
  s->console = &console;
  return s;
}

// The example flame (records replaced) started up in `dir` and run for no
// step: configuration read, operators set up, initial state laid, first files
// written. Console and standard error go to `console`.
inline std::unique_ptr<State> flame_set_up(const std::filesystem::path& dir, std::ostream& console,
                                           std::map<int, std::string> records = {}) {
  records.emplace(9, "0");
  write_file(dir / "eulero_test.dat", flame_config(records));
  auto s = make_state(dir, console);
  s->diagnostics = &console;
  start_up(*s);
  auto mv = std::make_unique<MainValues>();
  run_sweeps(*s, *mv);
  return s;
}

// Runs the built program in `dir` with `args` (words for the shell) and the
// environment settings `env` before it, its standard output and error in
// out.txt and err.txt there; its exit status.
inline int run_program(const std::filesystem::path& dir, const std::string& args = "", const std::string& env = "") {
  const std::string cmd = "cd '" + dir.string() + "' && " + env + " '" FIAMMA_BINARY "' " + args +
                          " > out.txt 2> err.txt < /dev/null";
  const int status = std::system(cmd.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
inline std::string out_of(const std::filesystem::path& dir) { return read_file(dir / "out.txt"); }
inline std::string err_of(const std::filesystem::path& dir) { return read_file(dir / "err.txt"); }

}  // namespace fiamma::testing
