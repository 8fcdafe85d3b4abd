// --set NAME=VALUE: a configured value replaced after reading, before any
// derivation, for a run, --print-config and --check-config alike; a wrong
// name or value refused, naming it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>

#include "config/configuration.hpp"
#include "core/errors.hpp"
#include "core/free_format.hpp"
#include "driver/run.hpp"
#include "test_support.hpp"

namespace fiamma {
namespace {

using testing::read_file;
using testing::ScratchDir;
using testing::write_file;

int run_in(const ScratchDir& dir, const std::string& args, std::string* out, std::string* err) {
  const std::string cmd = "cd '" + dir.path().string() + "' && '" FIAMMA_BINARY "' " + args +
                          " > out.txt 2> err.txt < /dev/null";
  const int status = std::system(cmd.c_str());
  *out = read_file(dir / "out.txt");
  *err = read_file(dir / "err.txt");
  return WEXITSTATUS(status);
}

// The example configuration read into a state with these overrides applied;
// the InputError's message when one is refused.
std::string apply(State& s, std::vector<std::pair<std::string, std::string>> overrides) {
  FreeFormatReader reader(testing::example_config(), "eulero_test.dat");
  read_configuration(reader, s, nullptr);
  s.options.overrides = std::move(overrides);
  try {
    apply_overrides(s);
  } catch (const InputError& e) {
    return e.what();
  }
  return "";
}

TEST(Overrides, ReplaceValuesOfEveryKindInOrder) {
  auto s = std::make_unique<State>();
  ASSERT_EQ(apply(*s, {{"Lewis", "1.25"}, {"n", "65"}, {"run_tag", "'Q'"}, {"path_prefix_1", "'out dir/'"},
                      {"n_stab", "7"}, {"th_front_level", "0.75d0"}, {"Lewis", " 1.5 "}}),
            "");
  EXPECT_EQ(s->gass.Lewis, 1.5);  // the last of two wins
  EXPECT_EQ(s->settings.n, 65);
  EXPECT_EQ(s->addr.run_tag[0], 'Q');
  EXPECT_EQ(std::string(s->addr.path_prefix_1.data(), 32), "out dir/" + std::string(24, ' '));
  EXPECT_EQ(s->settings.n_stab, 7);  // the two values of record 63 apart
  EXPECT_EQ(s->ic_kkind_re.th_front_level, 0.75);
}

TEST(Overrides, WrongNamesAndValuesAreRefusedNamingThem) {
  const std::pair<std::pair<const char*, const char*>, const char*> cases[] = {
      {{"Lewiss", "1.0"}, "--set Lewiss=1.0: nessun record della configurazione si chiama \"Lewiss\""},
      {{"Lewis", "abc"}, "--set Lewis: record 49 (Lewis), riga 1: atteso un numero reale, trovato \"abc\""},
      {{"n", "65.5"}, "--set n: record 4 (n), riga 1: atteso un numero intero, trovato \"65.5\""},
      {{"n", "99999999999"}, "intero fuori dall'intervallo a 32 bit"},
      {{"Lewis", ""}, "--set Lewis=: manca il valore"},
      {{"Lewis", ","}, "--set Lewis=,: manca il valore"},
      {{"Lewis", "/"}, "--set Lewis=/: manca il valore"},
      {{"Lewis", "3*"}, "--set Lewis=3*: un fattore di ripetizione"},
      {{"Lewis", "1.0,2.0"}, "--set Lewis=1.0,2.0: un solo valore per record"},
      {{"Lewis", "1.0 2.0"}, "--set Lewis=1.0 2.0: un solo valore per record"},
      {{"Lewis", "1.0\n2.0"}, "il valore va su una sola riga"},
      {{"run_tag", "AB"}, "--set run_tag=AB: il testo ha 2 caratteri, il record 1 (run_tag) ne tiene 1"},
      {{"restart_name_1", "xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx"}, "il testo ha 33 caratteri, il record 70"},
  };
  for (const auto& [nv, expected] : cases) {
    auto s = std::make_unique<State>();
    const double lewis_before = [&] {
      auto probe = std::make_unique<State>();
      apply(*probe, {});
      return probe->gass.Lewis;
    }();
    const std::string msg = apply(*s, {{nv.first, nv.second}});
    EXPECT_NE(msg.find(expected), std::string::npos) << nv.first << "=" << nv.second << " gave: " << msg;
    if (std::string(nv.first) == "Lewis") EXPECT_EQ(s->gass.Lewis, lewis_before);
  }
}

TEST(Overrides, RunsPrintConfigAndCheckConfigAlike) {
  ScratchDir dir;
  write_file(dir / "eulero_test.dat", testing::flame_config({{9, "4"}, {10, "2"}}));
  std::string out, err;
  // print-config shows the value as replaced, check-config checks it
  ASSERT_EQ(run_in(dir, "--print-config --set Lewis=1.3 --set n=129", &out, &err), 0) << err;
  EXPECT_NE(out.find("\n49 Lewis 1.3000000000000000\n"), std::string::npos) << out;
  EXPECT_NE(out.find("\n04 n 129\n"), std::string::npos);
  ASSERT_EQ(run_in(dir, "--check-config --set n=129", &out, &err), 0) << err;
  EXPECT_NE(out.find("Griglia: uniforme, 129 nodi."), std::string::npos) << out;
  EXPECT_EQ(run_in(dir, "--check-config --set n=2000", &out, &err), 2);
  EXPECT_NE(err.find("record 4 (n) = 2000"), std::string::npos) << err;
  for (const char* mode : {"--print-config", "--check-config", ""}) {
    EXPECT_EQ(run_in(dir, std::string(mode) + " --set Lewis=x", &out, &err), 2) << mode;
    EXPECT_NE(err.find("--set Lewis: record 49 (Lewis), riga 1: atteso un numero reale, trovato \"x\""),
              std::string::npos) << mode << ": " << err;
    EXPECT_EQ(run_in(dir, std::string(mode) + " --set Lewiss=1", &out, &err), 2) << mode;
    EXPECT_NE(err.find("nessun record della configurazione si chiama \"Lewiss\""), std::string::npos) << err;
  }
  EXPECT_FALSE(std::filesystem::exists(dir / "post_dati.dat"));

  // a run: the replaced values are in force before the derivations and in
  // the echo of records 23 and 24
  ASSERT_EQ(run_in(dir, "--set x0_ff_2=0.4 --set Zeldovich=2000 --set run_tag=Q", &out, &err), 0) << err;
  EXPECT_EQ(out.rfind(" x0_ff_2,hx_ff_2:  0.40000000000000002 ", 0), 0u) << out.substr(0, 80);
  EXPECT_NE(out.find(" x0_ff_2 prima 0.40000000000000002\n"), std::string::npos);
  EXPECT_TRUE(std::filesystem::exists(dir / "Qpr000004.dat"));
  const std::string report = read_file(dir / "post_dati.dat");
  // Zeldovich stored as gamma z / (gamma - 1), from the replaced z
  auto s = std::make_unique<State>();
  apply(*s, {});
  EXPECT_NE(report.find(format_real(s->gass.gamma * 2000.0 / (s->gass.gamma - 1.0))), std::string::npos);
}

}  // namespace
}  // namespace fiamma
