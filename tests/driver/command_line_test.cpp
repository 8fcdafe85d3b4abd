// The program as a user runs it: options, exit statuses, messages, and what
// each mode leaves in the working directory. Statuses as documented in the
// README: 0 normal, 2 bad input.
#include <gtest/gtest.h>

#include "test_support.hpp"

namespace fiamma {
namespace {

namespace fs = std::filesystem;
using testing::example_config;
using testing::read_file;
using testing::run_program;
using testing::ScratchDir;
using testing::write_file;

TEST(CommandLine, OptionsStatusesAndMessages) {
  ScratchDir dir;
  write_file(dir / "eulero_test.dat", testing::flame_config({{9, "4"}, {10, "2"}}));
  write_file(dir / "bad.dat", example_config({{18, "7"}, {11, "1"}}));
  write_file(dir / "broken.dat", example_config({{50, "abc"}}));
  struct Case {
    std::string args;
    int status;
    std::string part;  // in standard output, or in standard error with a status other than 0
  };
  const std::string bad_lewis = "--set Lewis: record 49 (Lewis), riga 1: atteso un numero reale, trovato \"x\"";
  const Case cases[] = {
      {"--print-config", 0, "\n51 Zeldovich 3085.7142857142858\n"},
      {"--print-config broken.dat", 2,
       "broken.dat: record 50 (Damkohler), riga 50: atteso un numero reale, trovato \"abc\""},
      {"--print-config --set Lewis=1.3 --set n=129", 0, "\n49 Lewis 1.3000000000000000\n"},
      {"--print-config --set Lewis=1.3 --set n=129", 0, "\n04 n 129\n"}, {"--check-config", 0, "fiamma premiscelata"},
      {"--check-config --set n=129", 0, "Griglia: uniforme, 129 nodi."},
      {"--check-config bad.dat", 2, "record 11 (i_thom) = 1"},
      {"--check-config --set n=2000", 2, "record 4 (n) = 2000"}, {"--check-config --set Lewis=x", 2, bad_lewis},
      {"--print-config --set Lewis=x", 2, bad_lewis}, {"--set Lewis=x", 2, bad_lewis},
      {"--version", 0, "fiamma "}, {"--help", 0, "Uso: fiamma [OPZIONI]"},
      {"--bogus", 2, "opzione non riconosciuta: --bogus"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args);
    // an earlier parameter report survives whatever does not run
    write_file(dir / "post_dati.dat", "earlier\n");
    EXPECT_EQ(run_program(dir.path(), c.args), c.status) << testing::err_of(dir.path());
    const std::string text = c.status == 0 ? testing::out_of(dir.path()) : testing::err_of(dir.path());
    EXPECT_NE(text.find(c.part), std::string::npos) << text.substr(0, 2000);
    EXPECT_EQ(read_file(dir / "post_dati.dat"), "earlier\n");
  }

  // a run: the replaced values are in force before the derivations and in
  // the echo of records 23 and 24
  ASSERT_EQ(run_program(dir.path(), "--set x0_ff_2=0.4 --set Zeldovich=2000 --set run_tag=Q"), 0);
  const std::string out = testing::out_of(dir.path());
  EXPECT_EQ(out.rfind(" x0_ff_2,hx_ff_2:  0.40000000000000002 ", 0), 0u) << out.substr(0, 80);
  EXPECT_NE(out.find(" x0_ff_2 prima 0.40000000000000002\n"), std::string::npos);
  EXPECT_TRUE(fs::exists(dir / "Qpr000005.dat"));
  // the Zeldovich number of the report, from the replaced one: 1.4 * 2000 / 0.4
  const auto report = testing::lines_of(read_file(dir / "post_dati.dat"));
  ASSERT_EQ(report.size(), 19u);
  EXPECT_NEAR(testing::numbers_of(report[10])[0], 7000.0, 1e-9);

  // without a configuration nothing is created
  ScratchDir empty;
  EXPECT_EQ(run_program(empty.path()), 2);
  EXPECT_NE(testing::err_of(empty.path()).find("eulero_test.dat: file non trovato"), std::string::npos);
  EXPECT_FALSE(fs::exists(empty / "eulero_test.dat"));
  EXPECT_FALSE(fs::exists(empty / "post_dati.dat"));
}

}  // namespace
}  // namespace fiamma
