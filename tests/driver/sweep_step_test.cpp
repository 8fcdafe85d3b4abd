// One sweep step run by itself (--sweep-step K): its files and its table row
// are those of the sequential sweep, byte for byte, also when the domain
// length is chosen by the first step of a resumed sweep; it is refused
// without a sweep or outside the sweep's steps.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>

#include "test_support.hpp"

namespace fiamma {
namespace {

namespace fs = std::filesystem;
using testing::lines_of;
using testing::read_file;
using testing::run_program;
using testing::ScratchDir;
using testing::write_file;
using Files = std::map<std::string, std::string>;

// The sweep example shortened: 97 points, 3 steps of at most `steps` time
// steps over the Lewis number; a domain length of 0 gives 10 predicted
// thicknesses.
std::string short_sweep(const std::string& domain_length, int steps) {
  return testing::config_from(testing::source_dir() / "examples/sweep/eulero_test.dat",
                              {{4, "97"}, {6, domain_length}, {7, "10.0"}, {9, std::to_string(steps)}, {10, "50"},
                               {77, "1.2"}, {78, "3"}});
}

// Every file of a folder but the console captures and the run summaries
// (their times differ), by name.
Files files_of(const fs::path& dir) {
  Files out;
  for (const auto& e : fs::directory_iterator(dir)) {
    const std::string name = e.path().filename().string();
    // (the folder's lock file, which every run leaves empty, aside)
    if (!name.ends_with("summary.json") && name != "out.txt" && name != "err.txt" && name != ".fiamma.lock") {
      out[name] = read_file(e.path());
    }
  }
  return out;
}

// The sweep run sequentially from `seed`, against steps `from`..3 each run
// alone in its own copy of `seed` and gathered as the sweep leaves them:
// every step's files, the table of one header block and the rows in step
// order, the final resume index.
void expect_steps_alone_make_the_sweep(const Files& seed, int from) {
  ScratchDir seq;
  for (const auto& [name, text] : seed) write_file(seq / name, text);
  ASSERT_EQ(run_program(seq.path()), 0);
  const Files sequential = files_of(seq.path());
  Files merged = seed;
  std::string table;
  for (int k = from; k <= 3; ++k) {
    ScratchDir dir;
    for (const auto& [name, text] : seed) write_file(dir / name, text);
    ASSERT_EQ(run_program(dir.path(), "--sweep-step " + std::to_string(k)), 0) << testing::err_of(dir.path());
    Files files = files_of(dir.path());
    const std::string letter(1, static_cast<char>('A' + k - 1)), own = letter + "andLe_passo.dat";
    // the step leaves the resume index alone, writes its own table and a summary under its letter
    EXPECT_EQ(files.count("i_and_min.dat") ? files["i_and_min.dat"] : "", seed.count("i_and_min.dat") ? seed.at("i_and_min.dat") : "");
    ASSERT_TRUE(files.count(own)) << own;
    const auto rows = lines_of(files[own]);
    ASSERT_EQ(rows.size(), 3u);  // header, zone, the step's row
    EXPECT_NE(read_file(dir / (letter + "summary.json")).find("\"" + own + "\""), std::string::npos);
    if (k == from) table += rows[0] + "\n" + rows[1] + "\n";
    table += rows[2] + "\n";
    files.erase(own);
    for (auto& [name, text] : files) merged[name] = text;
  }
  merged["LandLe.dat"] = table;
  merged["i_and_min.dat"] = " 4\n";
  EXPECT_EQ(merged.size(), sequential.size());
  for (const auto& [name, text] : sequential) EXPECT_TRUE(merged.count(name) && merged.at(name) == text) << name;
}

TEST(SweepStep, StepsAloneMergeIntoTheSequentialSweepByteForByte) {
  expect_steps_alone_make_the_sweep({{"eulero_test.dat", short_sweep("2.0", 120)}}, 1);
  // A length of 0 is chosen from the predicted thickness of the first step
  // that runs, which depends on the Lewis number: a sweep resumed at step 2
  // runs steps 2 and 3 on step 2's length.
  const Files resumed = {{"eulero_test.dat", short_sweep("0.0", 120)}, {"i_and_min.dat", " 2\n"}};
  expect_steps_alone_make_the_sweep(resumed, 2);
  // step 3 of a sweep started afresh runs on step 1's length, another grid
  ScratchDir fresh, second;
  write_file(fresh / "eulero_test.dat", resumed.at("eulero_test.dat"));
  for (const auto& [name, text] : resumed) write_file(second / name, text);
  ASSERT_EQ(run_program(fresh.path(), "--sweep-step 3"), 0);
  ASSERT_EQ(run_program(second.path(), "--sweep-step 3"), 0);
  EXPECT_NE(read_file(fresh / "Cpr000000.dat"), read_file(second / "Cpr000000.dat"));
  EXPECT_FALSE(fs::exists(fresh / "i_and_min.dat"));
}

TEST(SweepStep, RefusedWithoutASweepOrOutsideItsSteps) {
  ScratchDir dir;
  write_file(dir / "eulero_test.dat", short_sweep("2.0", 10));
  const std::pair<const char*, const char*> cases[] = {
      {"--sweep-step 4", "--sweep-step 4: il passo deve essere compreso tra 1 e 3 (record 78, sweep_count)"},
      {"--sweep-step 0", "--sweep-step: il passo deve essere almeno 1"},
      {"--sweep-step 2 --set sweep_mode=0",
       "--sweep-step 2: la configurazione non prevede un andamento (record 74, sweep_mode = 0"},
      {"--check-config --sweep-step 7", "--sweep-step 7: il passo deve essere compreso tra 1 e 3"}};
  for (const auto& [args, message] : cases) {
    EXPECT_EQ(run_program(dir.path(), args), 2) << args;
    EXPECT_NE(testing::err_of(dir.path()).find(message), std::string::npos) << testing::err_of(dir.path());
  }
  // refused before anything is written
  EXPECT_EQ(files_of(dir.path()).size(), 1u);
}

}  // namespace
}  // namespace fiamma
