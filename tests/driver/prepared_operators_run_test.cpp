// The examples run with the prepared operators and with the straightforward
// form in one process: the console and every file the same byte for byte.
// Shortened runs: the flame (snapshots and history records), the sweep (two
// steps), the restart of the shortened flame, the simple wave.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <string>

#include "driver/run.hpp"
#include "test_support.hpp"

namespace fiamma {
namespace {

using testing::config_from;
using testing::read_file;
using testing::ScratchDir;
using testing::source_dir;
using testing::write_file;

struct Outcome {
  int status = -1;
  std::string console;
};

Outcome run_in(const std::filesystem::path& dir, bool reference) {
  std::ostringstream console;
  auto s = testing::make_state(dir, console);
  s->operator_input = nullptr;
  s->options.reference_operators = reference;
  Outcome o;
  o.status = run_simulation(*s);
  o.console = console.str();
  return o;
}

// Every file of `a` is in `b` with the same bytes, and no other.
void expect_same_files(const std::filesystem::path& a, const std::filesystem::path& b, const std::string& what) {
  std::set<std::string> names_a, names_b;
  for (const auto& e : std::filesystem::directory_iterator(a)) names_a.insert(e.path().filename().string());
  for (const auto& e : std::filesystem::directory_iterator(b)) names_b.insert(e.path().filename().string());
  EXPECT_EQ(names_a, names_b) << what;
  int compared = 0;
  for (const std::string& name : names_a) {
    if (!names_b.count(name)) continue;
    // the run summary holds the wall time, which differs from run to run
    if (name.size() >= 12 && name.compare(name.size() - 12, 12, "summary.json") == 0) continue;
    EXPECT_TRUE(read_file(a / name) == read_file(b / name)) << what << ": " << name << " differs";
    ++compared;
  }
  EXPECT_GE(compared, 3) << what;
}

// One example, shortened by `records`, in dir/reference and dir/fast;
// `extra` files of the example directory are copied too.
void run_both(const ScratchDir& dir, const std::string& example, const std::map<int, std::string>& records,
              const std::string& what, const std::string& sub = "") {
  for (const char* form : {"reference", "fast"}) {
    const auto d = dir.path() / form / sub;
    std::filesystem::create_directories(d);
    for (const auto& e : std::filesystem::directory_iterator(source_dir() / "examples" / example)) {
      if (e.path().filename() != "README.md") std::filesystem::copy_file(e.path(), d / e.path().filename());
    }
    write_file(d / "eulero_test.dat", config_from(source_dir() / "examples" / example / "eulero_test.dat", records));
  }
  const Outcome ref = run_in(dir.path() / "reference" / sub, true);
  const Outcome fast = run_in(dir.path() / "fast" / sub, false);
  EXPECT_EQ(ref.status, 0) << what;
  EXPECT_EQ(fast.status, ref.status) << what;
  EXPECT_GT(ref.console.size(), 1000u) << what;
  EXPECT_TRUE(ref.console == fast.console) << what << ": the consoles differ";
  expect_same_files(dir.path() / "reference" / sub, dir.path() / "fast" / sub, what);
}

TEST(PreparedOperatorsRun, FlameAndItsRestartWriteTheSameBytes) {
  ScratchDir dir;
  // 300 steps: snapshots every 100, history records every 50, the dumps of
  // step 1, the anchoring controller at work
  run_both(dir, "flame", {{9, "300"}, {10, "100"}}, "flame", "flame");
  // the restart continues from the shortened flame's last snapshot
  run_both(dir, "restart",
           {{8, "300"}, {9, "400"}, {10, "50"}, {70, "'Fpr000301.dat'"}}, "restart", "restart");
}

TEST(PreparedOperatorsRun, SweepWritesTheSameBytes) {
  ScratchDir dir;
  run_both(dir, "sweep", {{9, "40"}, {10, "20"}, {78, "2"}}, "sweep");
}

TEST(PreparedOperatorsRun, SimpleWaveWritesTheSameBytes) {
  ScratchDir dir;
  run_both(dir, "simple-wave", {{9, "200"}, {10, "50"}}, "simple wave");
}

}  // namespace
}  // namespace fiamma
