// The program as a user runs it: exit statuses, messages, the files it
// leaves in the working directory.
#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

#include "driver/run.hpp"
#include "test_support.hpp"

namespace fiamma {
namespace {

using testing::example_config;
using testing::read_file;
using testing::ScratchDir;
using testing::write_file;

// Runs the real executable in `dir`; returns its exit status.
int run_in(const ScratchDir& dir, const std::string& args, std::string* output = nullptr) {
  const std::string cmd = "cd '" + dir.path().string() + "' && '" FIAMMA_BINARY "' " + args +
                          " > out.txt 2> err.txt < /dev/null";
  const int status = std::system(cmd.c_str());
  if (output) *output = read_file(dir / "out.txt") + read_file(dir / "err.txt");
  return WEXITSTATUS(status);
}

TEST(CommandLine, ShortFlameRunWritesItsFiles) {
  ScratchDir dir;
  write_file(dir / "eulero_test.dat", testing::flame_config({{9, "40"}, {10, "20"}}));
  std::string out;
  EXPECT_EQ(run_in(dir, "", &out), 0);
  EXPECT_NE(out.find(" SIMULAZIONE DELLA COMBUSTIONE H2-O2\n"), std::string::npos);
  EXPECT_NE(out.find(" it = 40\n"), std::string::npos);
  for (const char* name : {"post_dati.dat", "Fpr000000.dat", "Fpr000020.dat", "Fpr000040.dat", "Fpr000041.dat"}) {
    EXPECT_TRUE(std::filesystem::exists(dir / name)) << name;
  }
  EXPECT_EQ(testing::read_file(dir / "i_and_min.dat"), " 1\n");
}

TEST(CommandLine, MissingConfigurationFailsWithoutCreatingIt) {
  ScratchDir dir;
  std::string out;
  EXPECT_NE(run_in(dir, "", &out), 0);
  EXPECT_NE(out.find("eulero_test.dat: file non trovato"), std::string::npos) << out;
  EXPECT_FALSE(std::filesystem::exists(dir / "eulero_test.dat"));
  EXPECT_FALSE(std::filesystem::exists(dir / "post_dati.dat"));
}

TEST(CommandLine, BadInputExitsNonZeroAndKeepsEarlierFiles) {
  ScratchDir dir;
  write_file(dir / "post_dati.dat", "earlier\n");
  write_file(dir / "eulero_test.dat", example_config({{4, "1100"}}));
  std::string out;
  EXPECT_EQ(run_in(dir, "", &out), 2);
  EXPECT_NE(out.find("record 4 (n) = 1100"), std::string::npos) << out;
  EXPECT_EQ(read_file(dir / "post_dati.dat"), "earlier\n");
}

TEST(CommandLine, PrintConfigAndCheckConfig) {
  ScratchDir dir;
  write_file(dir / "eulero_test.dat", example_config());
  write_file(dir / "bad.dat", example_config({{18, "7"}, {11, "1"}}));
  write_file(dir / "broken.dat", example_config({{50, "abc"}}));
  std::string out;
  EXPECT_EQ(run_in(dir, "--print-config", &out), 0);
  EXPECT_NE(out.find("51 Zeldovich 3085.7142857142858\n"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(dir / "post_dati.dat"));
  EXPECT_EQ(run_in(dir, "--print-config broken.dat", &out), 2);
  EXPECT_NE(out.find("broken.dat: record 50 (Damkohler), riga 50: atteso un numero reale, trovato \"abc\""),
            std::string::npos)
      << out;
  EXPECT_EQ(run_in(dir, "--check-config", &out), 0);
  EXPECT_NE(out.find("fiamma premiscelata"), std::string::npos);
  EXPECT_EQ(run_in(dir, "--check-config bad.dat", &out), 2);
  EXPECT_NE(out.find("record 18 (rk_scheme) = 7"), std::string::npos) << out;
  EXPECT_NE(out.find("record 11 (i_thom) = 1"), std::string::npos) << out;
  EXPECT_EQ(run_in(dir, "--version", &out), 0);
  EXPECT_EQ(out.rfind("fiamma ", 0), 0u);
  EXPECT_EQ(run_in(dir, "--help", &out), 0);
  EXPECT_EQ(run_in(dir, "--bogus", &out), 2);
}

}  // namespace
}  // namespace fiamma
