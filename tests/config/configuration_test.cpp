// Configuration input, derivations, --set overrides and the start-up report,
// checked against values and files worked out independently of the code
// (tests/data/make_expected.py writes the expected report).
#include "config/configuration.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "core/errors.hpp"
#include "driver/run.hpp"
#include "test_support.hpp"

namespace fiamma {
namespace {

using testing::example_config;
using testing::make_state;
using testing::read_file;
using testing::ScratchDir;
using testing::write_file;

// A configuration read by input_eule in `dir`; the InputError's message
// ("" when accepted).
std::string read_text(const ScratchDir& dir, State& s, const std::string& text) {
  write_file(dir / "eulero_test.dat", text);
  try {
    input_eule(s);
  } catch (const InputError& e) {
    return e.what();
  }
  return "";
}
std::string read_example(const ScratchDir& dir, State& s, const std::map<int, std::string>& records) {
  return read_text(dir, s, example_config(records));
}

TEST(Configuration, RecordsLandInTheirBlocksAndLengthsAreScaled) {
  ScratchDir dir;
  std::ostringstream console;
  auto s = make_state(dir.path(), console);
  ASSERT_EQ(read_example(dir, *s, {{1, "F ! tag"}, {3, "'out/'' x'"}, {51, "8.0"}, {63, "7, 0.25 ! pair"}}), "");
  EXPECT_EQ(s->addr.run_tag[0], 'F');
  EXPECT_EQ(std::string(s->addr.path_prefix_2.data(), 32), "out/' x" + std::string(25, ' '));
  EXPECT_EQ(s->settings.n, 385);
  EXPECT_EQ(s->settings.n_stab, 7);
  EXPECT_EQ(s->ic_kkind_re.th_front_level, 0.25);
  EXPECT_EQ(s->tempo.it_end, 20);
  EXPECT_EQ(s->comp.c[1], 2.0);
  EXPECT_EQ(s->comp.c[4], 0.5);
  EXPECT_EQ(s->ic_kkind_re.gain_velocity, 1.0e-3);
  EXPECT_DOUBLE_EQ(s->gass.Zeldovich, 28.0);  // stored as gamma z / (gamma - 1): 1.4 * 8 / 0.4
  EXPECT_EQ(s->pi, 3.141592653589793);
  // domain length 0: the fractions stay unscaled, the console shows the raw one
  EXPECT_EQ(s->ff_fnz.x0_ff_2, 0.3);
  EXPECT_NE(console.str().find(" x0_ff_2 prima 0.29999999999999999\n"), std::string::npos);
  EXPECT_EQ(s->andam.sweep_step, 0.25);  // (2 - 1) / 4

  // lengths in units of 2 pi: 2 units are 4 pi
  auto t = make_state(dir.path(), console);
  ASSERT_EQ(read_example(dir, *t, {{4, "17"}, {6, "2.0"}, {44, "1.0"}, {64, "0.5"}}), "");
  const double four_pi = 12.566370614359172;
  EXPECT_EQ(t->discr.domain_length, four_pi);
  EXPECT_EQ(t->discr.dx, four_pi / 16);
  EXPECT_EQ(t->grid2.spacing[1], four_pi / 16);
  EXPECT_EQ(t->grid2.spacing[17], four_pi / 16);
  EXPECT_EQ(t->grid2.spacing[18], 0.0);
  EXPECT_EQ(t->forcing.slot[11], 6.283185307179586);
  EXPECT_EQ(t->settings.x_anchor, 3.141592653589793);
  EXPECT_EQ(t->ff_fnz.x0_ff_2, 0.3 * four_pi);
  EXPECT_EQ(t->ff_fnz.hx_ff_2, 0.02 * four_pi);
}

TEST(Configuration, ProblemsNameTheFileTheRecordAndTheExpectation) {
  ScratchDir dir;
  std::ostringstream console;
  const std::vector<std::pair<std::map<int, std::string>, std::string>> cases = {
      {{{10, "5.0   it_out"}}, "eulero_test.dat: record 10 (it_out), riga 10: atteso un numero intero, trovato \"5.0\""},
      {{{50, "200000001*1.0"}}, "fattore di ripetizione troppo grande"},
      // every value out of range is reported, in one message
      {{{4, "2000"}, {10, "0"}, {18, "6"}, {19, "3"}, {63, "0 0.5"}, {74, "1"}, {78, "0"}},
       "eulero_test.dat: valori non ammessi\n  record 4 (n) = 2000: deve essere compreso tra 9 e 1025\n"
       "  record 6 (domain_length) = 0.0000000000000000: la lunghezza 0 (scelta automatica) vale solo per case_kind 8, "
       "qui case_kind = 3\n  record 10 (it_out) = 0: deve essere almeno 1\n"
       "  record 18 (rk_scheme) = 6: deve essere compreso tra 1 e 5\n"
       "  record 63 (n_stab) = 0: deve essere compreso tra 1 e 10000\n  record 78 (sweep_count) = 0"},
      {{{4, "8"}}, "record 4 (n) = 8"}, {{{4, "1026"}}, "record 4 (n) = 1026"},
      {{{49, "0"}}, "record 49 (Lewis) = 0.0000000000000000"},
      {{{47, "1"}}, "record 47 (gamma) = 1.0000000000000000"}, {{{15, "0"}}, "record 15 (stab)"},
      {{{14, "-0.5"}}, "record 14 (cfl)"}, {{{16, "0"}, {17, "0"}}, "record 17 (dt)"},
      {{{25, "0"}}, "record 25 (th_fresh)"}, {{{50, "NaN"}}, "record 50 (Damkohler) = NaN"},
      {{{51, "Inf"}}, "record 51 (Zeldovich) = Infinity: deve essere un numero finito"},
      {{{23, "-Inf"}}, "record 23 (x0_ff_2) = -Infinity"},
      {{{5, "2"}}, "record 5 (grid) = 2"}, {{{61, "5"}}, "record 61 (front_criterion) = 5"},
      {{{74, "1"}, {75, "11"}}, "record 75 (sweep_parameter) = 11"},
      {{{9, "2147483647"}}, "record 9 (it_end) = 2147483647"},
      // what a user may get wrong: the ranges of docs/guide.md
      {{{1, "'/'"}}, "record 1 (run_tag) = '/': deve essere una lettera o una cifra"},
      {{{1, "\xEF"}}, "record 1 (run_tag) = byte 0xEF"},
      {{{6, "-1.0"}}, "record 6 (domain_length) = -1.0000000000000000: deve essere positiva"},
      {{{8, "10"}, {9, "5"}}, "record 9 (it_end) = 5: deve essere almeno it_start = 10"},
      {{{8, "-1"}}, "record 8 (it_start) = -1: deve essere almeno 0"},
      {{{11, "3"}}, "record 11 (i_thom) = 3"}, {{{16, "2"}}, "record 16 (dt_mode) = 2: deve essere 0"},
      {{{12, "5.0"}}, "record 12 (boundary_scheme_parameter) = 5.0000000000000000: deve essere compreso tra 0 e 4"},
      {{{13, "0.6"}}, "record 13 (interior_scheme_parameter) = 0.59999999999999998: deve essere compreso tra 0 e 0.55"},
      {{{24, "0"}}, "record 24 (hx_ff_2) = 0.0000000000000000"}, {{{23, "1.5"}}, "record 23 (x0_ff_2) = 1.5"},
      {{{26, "0"}}, "record 26 (th_burnt) = 0.0000000000000000: deve essere positiva"},
      {{{28, "1e11"}}, "record 28 (y1_fresh) = 100000000000.00000: deve essere compresa tra 0 (escluso) e 1"},
      {{{29, "-0.1"}}, "record 29 (y1_burnt)"}, {{{32, "3"}}, "record 32 (reaction_order) = 3"},
      {{{48, "0"}}, "record 48 (Prandtl) = 0.0000000000000000: deve essere positivo"},
      {{{23, "0,6"}}, "record 23 (x0_ff_2) = 0.0000000000000000: dopo il numero segue \",6\", una virgola decimale?"},
      {{{50, "-1.0d5"}}, "record 50 (Damkohler)"}, {{{51, "0"}}, "record 51 (Zeldovich)"},
      {{{57, "-1.0"}}, "record 57 (equivalence_ratio) = -1.0000000000000000: deve essere positivo"},
      {{{53, "0"}}, "record 53 (heat_of_reaction)"}, {{{56, "-0.4"}}, "record 56 (mass_flow)"},
      {{{64, "-1.0"}}, "record 64 (x_anchor) = -1.0000000000000000: deve stare dentro il dominio"},
      {{{65, "1.0"}}, "record 65 (x_anchor_fraction) = 1.0000000000000000"},
      {{{79, "-1.0d-5"}}, "record 79 (gain_position)"}, {{{81, "-1"}}, "record 81 (gain_integral)"},
      {{{74, "2"}}, "record 74 (sweep_mode) = 2"},
      {{{74, "1"}, {75, "3"}, {76, "-1.0"}, {77, "1.0"}, {78, "4"}},
       "record 76 (sweep_start) = -1.0000000000000000: con sweep_end = 1.0000000000000000 e sweep_count = 4 il passo 1 "
       "dà al record 49 il valore -1.0000000000000000, che deve essere positivo"},
      // the limits themselves, and what a user may mean: an anchoring that
      // never starts, a fixed step that is not used, a pair on record 63
      {{{4, "9"}, {63, "10000,0.5"}, {18, "5"}, {12, "0"}, {13, "0.55"}, {28, "1"}, {79, "0"}}, ""},
      {{{4, "1025"}, {74, "1"}, {78, "26"}, {9, "2147483646"}, {12, "4"}, {13, "0"}, {1, "7"}}, ""},
      {{{66, "Inf"}, {17, "0"}, {50, "200000000*1.0d5"}, {8, "20"}}, ""},
  };
  for (const auto& [records, expected] : cases) {
    auto s = make_state(dir.path(), console);
    const std::string message = read_example(dir, *s, records);
    if (expected.empty()) {
      EXPECT_EQ(message, "");
    } else {
      EXPECT_NE(message.find(expected), std::string::npos) << "expected: " << expected << "\ngot: " << message;
    }
  }
  // a file that ends early
  const std::string text = example_config();
  auto s = make_state(dir.path(), console);
  EXPECT_NE(read_text(dir, *s, text.substr(0, text.find("1.0d-6"))).find("record 79 (gain_position)"),
            std::string::npos);
}

TEST(Configuration, DerivedQuantitiesBeyondTheReportedCases) {
  // (the flame's and case 3's reference quantities are in the report, byte
  // for byte, below) A second-order reaction divides by the density squared:
  // hand-worked with cp = 2 * 3 = 6, T = 60 / 6 = 10, v = 0.01 sqrt(2 * 3 * 10),
  // rho = 4 / v, L = 12 / (6 * 4)
  State s;
  Gass& g = s.gass;
  g.gamma = 2.0; g.cv = 3.0; g.conductivity = 12.0; g.mass_flow = 4.0; g.heat_of_reaction = 60.0; g.Damkohler = 8.0;
  s.ic_kkind.reaction_order = 2;
  elabora_parametri(s);
  const double v = 0.01 * std::sqrt(60.0);
  EXPECT_DOUBLE_EQ(g.arrhenius_constant, v * 8.0 / ((16.0 / (v * v)) * 0.5));  // v Da / (rho^2 L)
  // the analytic cases: unit reference quantities; Mach and Prandtl from the
  // configured gamma, gamma 2 and D_1 = 1 for the simple waves, 1.4 for 6 and 7
  for (const auto& [kind, gamma, d1] : {std::tuple{3, 2.0, 1.0}, {6, 1.4, 0.0}, {1, 1.2, 0.0}, {7, 1.4, 0.0}}) {
    State a;
    a.gass.gamma = 1.2;
    a.ic_kkind.case_kind = kind;
    maschera_ad(a);
    EXPECT_EQ(a.gass.gamma, gamma) << kind;
    EXPECT_EQ(a.gass.D_1, d1) << kind;
    EXPECT_EQ(a.gass.c0_speed, std::sqrt(gamma)) << kind;
    EXPECT_EQ(a.gass.Mach, 1.0 / std::sqrt(kind >= 6 ? 1.4 : 1.2)) << kind;
    EXPECT_DOUBLE_EQ(a.gass.Prandtl, kind >= 6 ? 3.5 : 6.0) << kind;  // gamma / (gamma - 1) * 0.01 / 0.01
    EXPECT_EQ(a.gass.ref_time * a.gass.ref_length * a.gass.gas_constant * a.gass.conductivity, 0.01);
  }
}

// The whole start-up console and post_dati.dat, byte for byte, for a flame
// (case 8) and an analytic case (case 3).
TEST(ParameterReport, StartUpConsoleAndPostDatiByteForByte) {
  for (const auto& [kind, records] : {std::pair{8, std::map<int, std::string>{}}, {3, {{19, "3"}, {6, "1.0"}}}}) {
    ScratchDir dir;
    auto recs = records;
    recs[3] = "'out/'' x'";
    write_file(dir / "eulero_test.dat", example_config(recs));
    write_file(dir / "profilo_an.dat", "1.0 3.0 0.1\n-10 20\n");  // read by the analytic cases only
    std::ostringstream console;
    auto s = make_state(dir.path(), console);
    start_up(*s);
    const auto data = testing::source_dir() / "tests/data";
    EXPECT_EQ(console.str(), read_file(data / ("startup_case" + std::to_string(kind) + ".txt")));
    EXPECT_EQ(read_file(dir / "post_dati.dat"), read_file(data / ("post_dati_case" + std::to_string(kind) + ".dat")));
  }
}

TEST(Configuration, PrintConfigListsEveryValueAsRead) {
  FreeFormatReader reader(example_config(), "eulero_test.dat");
  State s;
  read_configuration(reader, s, nullptr);
  std::ostringstream os;
  print_configuration(s, os);
  const auto lines = testing::lines_of(os.str());
  ASSERT_EQ(lines.size(), 82u);  // 81 records, the two values of record 63 apart
  EXPECT_EQ(lines[0], "01 run_tag 'F'");
  for (const char* line : {"02 path_prefix_1 '                                '", "04 n 385",
                           "06 domain_length 0.0000000000000000", "17 dt 0.0010000000000000000",
                           "51 Zeldovich 3085.7142857142858", "63 n_stab 1000", "63 th_front_level 0.50000000000000000",
                           "70 restart_name_1 'Fpr000000.dat                   '", "81 gain_integral 0.0000000000000000",
                           "73 main_73 0"}) {
    EXPECT_NE(std::find(lines.begin(), lines.end(), line), lines.end()) << line;
  }
}

// --set NAME=VALUE replaces a configured value after reading, before any
// derivation; a wrong name or value is refused, naming it, and changes nothing.
std::string apply(State& s, std::vector<std::pair<std::string, std::string>> overrides) {
  FreeFormatReader reader(example_config(), "eulero_test.dat");
  read_configuration(reader, s, nullptr);
  s.options.overrides = std::move(overrides);
  try {
    apply_overrides(s);
  } catch (const InputError& e) {
    return e.what();
  }
  return "";
}

TEST(Overrides, ReplaceValuesOfEveryKindOrRefuseNamingThem) {
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

  const std::pair<std::pair<const char*, const char*>, const char*> refused[] = {
      {{"Lewiss", "1.0"}, "--set Lewiss=1.0: nessun record della configurazione si chiama \"Lewiss\""},
      {{"Lewis", "abc"}, "--set Lewis: record 49 (Lewis), riga 1: atteso un numero reale, trovato \"abc\""},
      {{"n", "65.5"}, "--set n: record 4 (n), riga 1: atteso un numero intero, trovato \"65.5\""},
      {{"n", "99999999999"}, "intero fuori dall'intervallo a 32 bit"},
      {{"Lewis", ""}, "--set Lewis=: manca il valore"}, {{"Lewis", ","}, "--set Lewis=,: manca il valore"},
      {{"Lewis", "/"}, "--set Lewis=/: manca il valore"},
      {{"Lewis", "3*"}, "--set Lewis=3*: un fattore di ripetizione"},
      {{"Lewis", "1.0,2.0"}, "--set Lewis=1.0,2.0: un solo valore per record"},
      {{"Lewis", "1.0 2.0"}, "--set Lewis=1.0 2.0: un solo valore per record"},
      {{"Lewis", "1.0\n2.0"}, "il valore va su una sola riga"},
      {{"run_tag", "AB"}, "--set run_tag=AB: il testo ha 2 caratteri, il record 1 (run_tag) ne tiene 1"},
      {{"restart_name_1", "xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx"}, "il testo ha 33 caratteri, il record 70"},
  };
  for (const auto& [nv, expected] : refused) {
    auto r = std::make_unique<State>();
    const std::string msg = apply(*r, {{nv.first, nv.second}});
    EXPECT_NE(msg.find(expected), std::string::npos) << nv.first << "=" << nv.second << " gave: " << msg;
    EXPECT_EQ(r->gass.Lewis, 1.0);  // as configured
  }
}

}  // namespace
}  // namespace fiamma
