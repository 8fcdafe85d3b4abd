// One sweep step run by itself (--sweep-step K): its files and its table row
// are those of the sequential sweep, byte for byte, also when the domain
// length is chosen by the first step of a resumed sweep; it is refused
// without a sweep or outside the sweep's steps.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "driver/run.hpp"
#include "test_support.hpp"

namespace fiamma {
namespace {

namespace fs = std::filesystem;
using testing::lines_of;
using testing::read_file;
using testing::ScratchDir;
using testing::write_file;

// The sweep example shortened: 97 points on a short domain, 3 steps of at
// most `steps` time steps over the Lewis number.
// A domain length of 0 gives 10 predicted thicknesses.
std::string short_sweep(const std::string& domain_length, int steps) {
  return testing::config_from(testing::source_dir() / "examples/sweep/eulero_test.dat",
                              {{4, "97"}, {6, domain_length}, {7, "10.0"}, {9, std::to_string(steps)}, {10, "50"},
                               {77, "1.2"}, {78, "3"}});
}

int run_in(const fs::path& dir, const std::string& args, std::string* err = nullptr) {
  const std::string cmd = "cd '" + dir.string() + "' && '" FIAMMA_BINARY "' " + args +
                          " > out.txt 2> err.txt < /dev/null";
  const int status = std::system(cmd.c_str());
  if (err) *err = read_file(dir / "err.txt");
  return WEXITSTATUS(status);
}

// Every file of a folder but the console captures and the run summaries
// (their times differ), by name.
std::map<std::string, std::string> files_of(const fs::path& dir) {
  std::map<std::string, std::string> out;
  for (const auto& e : fs::directory_iterator(dir)) {
    const std::string name = e.path().filename().string();
    if (name.ends_with("summary.json")) continue;
    if (name != "out.txt" && name != "err.txt") out[name] = read_file(e.path());
  }
  return out;
}

// Runs steps `from`..3 each alone in its own copy of `seed`, then gathers
// them as the sweep leaves them: every step's files, the dumps of the last
// step, the table of the header block and the rows in step order, and the
// final resume index.
std::map<std::string, std::string> steps_alone_merged(const std::map<std::string, std::string>& seed, int from,
                                                      const std::string& table_before) {
  std::map<std::string, std::string> merged = seed;
  std::string table = table_before;
  for (int k = from; k <= 3; ++k) {
    ScratchDir dir;
    for (const auto& [name, text] : seed) write_file(dir / name, text);
    EXPECT_EQ(run_in(dir.path(), "--sweep-step " + std::to_string(k)), 0) << read_file(dir / "err.txt");
    auto files = files_of(dir.path());
    // the step leaves the resume index alone
    EXPECT_EQ(files.count("i_and_min.dat") ? files["i_and_min.dat"] : "", seed.count("i_and_min.dat") ? seed.at("i_and_min.dat") : "");
    const std::string own = std::string(1, static_cast<char>('A' + k - 1)) + "andLe_passo.dat";
    EXPECT_TRUE(files.count(own)) << own;
    if (!files.count(own)) return {};
    const auto rows = lines_of(files[own]);
    EXPECT_EQ(rows.size(), 3u);  // header, zone, the step's row
    // the step's summary carries its letter and names its table
    const std::string summary = read_file(dir / (own.substr(0, 1) + "summary.json"));
    EXPECT_NE(summary.find("\"" + own + "\""), std::string::npos) << summary.substr(0, 300);
    if (k == from) table += rows[0] + "\n" + rows[1] + "\n";
    for (std::size_t r = 2; r < rows.size(); ++r) table += rows[r] + "\n";
    files.erase(own);
    for (auto& [name, text] : files) merged[name] = text;
  }
  merged["LandLe.dat"] = table;
  merged["i_and_min.dat"] = " 4\n";
  return merged;
}

TEST(SweepStep, StepsAloneMergeIntoTheSequentialSweepByteForByte) {
  const std::map<std::string, std::string> seed = {{"eulero_test.dat", short_sweep("2.0", 120)}};
  ScratchDir seq;
  write_file(seq / "eulero_test.dat", seed.at("eulero_test.dat"));
  ASSERT_EQ(run_in(seq.path(), ""), 0);
  const auto sequential = files_of(seq.path());
  const auto merged = steps_alone_merged(seed, 1, "");
  ASSERT_EQ(lines_of(sequential.at("LandLe.dat")).size(), 5u);
  EXPECT_EQ(merged.size(), sequential.size());
  for (const auto& [name, text] : sequential) {
    ASSERT_TRUE(merged.count(name)) << name;
    EXPECT_TRUE(merged.at(name) == text) << name << " differs";
  }
}

TEST(SweepStep, LengthChosenByTheFirstStepOfAResumedSweep) {
  // A length of 0 is chosen from the predicted thickness of the first step
  // that runs, and that thickness depends on the Lewis number: a sweep
  // resumed at step 2 runs steps 2 and 3 on step 2's length.
  std::map<std::string, std::string> seed = {{"eulero_test.dat", short_sweep("0.0", 120)},
                                             {"i_and_min.dat", " 2\n"}};
  ScratchDir seq;
  for (const auto& [name, text] : seed) write_file(seq / name, text);
  ASSERT_EQ(run_in(seq.path(), ""), 0);
  const auto sequential = files_of(seq.path());
  const auto merged = steps_alone_merged(seed, 2, "");
  EXPECT_EQ(merged.size(), sequential.size());
  for (const auto& [name, text] : sequential) {
    ASSERT_TRUE(merged.count(name)) << name;
    EXPECT_TRUE(merged.at(name) == text) << name << " differs";
  }
  // step 3 of a sweep started afresh runs on step 1's length, another grid
  ScratchDir fresh;
  write_file(fresh / "eulero_test.dat", seed.at("eulero_test.dat"));
  ASSERT_EQ(run_in(fresh.path(), "--sweep-step 3"), 0);
  EXPECT_NE(read_file(fresh / "Cpr000000.dat"), sequential.at("Cpr000000.dat"));
  EXPECT_FALSE(fs::exists(fresh / "i_and_min.dat"));
}

TEST(SweepStep, RefusedWithoutASweepOrOutsideItsSteps) {
  ScratchDir dir;
  std::string err;
  write_file(dir / "eulero_test.dat", short_sweep("2.0", 10));
  EXPECT_EQ(run_in(dir.path(), "--sweep-step 4", &err), 2);
  EXPECT_NE(err.find("--sweep-step 4: il passo deve essere compreso tra 1 e 3 (record 78, sweep_count)"),
            std::string::npos) << err;
  EXPECT_EQ(run_in(dir.path(), "--sweep-step 0", &err), 2);
  EXPECT_NE(err.find("--sweep-step: il passo deve essere almeno 1"), std::string::npos) << err;
  EXPECT_EQ(run_in(dir.path(), "--sweep-step 2 --set sweep_mode=0", &err), 2);
  EXPECT_NE(err.find("--sweep-step 2: la configurazione non prevede un andamento (record 74, sweep_mode = 0"),
            std::string::npos) << err;
  EXPECT_EQ(run_in(dir.path(), "--check-config --sweep-step 7", &err), 2);
  EXPECT_NE(err.find("--sweep-step 7: il passo deve essere compreso tra 1 e 3"), std::string::npos) << err;
  // refused before anything is written
  EXPECT_FALSE(fs::exists(dir / "post_dati.dat"));
  EXPECT_FALSE(fs::exists(dir / "LandLe.dat"));
  EXPECT_FALSE(fs::exists(dir / "i_and_min.dat"));
}

}  // namespace
}  // namespace fiamma
