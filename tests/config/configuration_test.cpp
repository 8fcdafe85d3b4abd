// Configuration input, derivations and the start-up report, checked against
// values and files worked out independently of the code.
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

TEST(Configuration, ExampleRecordsLandInTheirBlocks) {
  ScratchDir dir;
  write_file(dir / "eulero_test.dat",
             example_config({{1, "F ! tag"}, {3, "'out/'' x'"}, {51, "8.0"}, {63, "7, 0.25 ! pair"}}));
  std::ostringstream console;
  auto s = make_state(dir.path(), console);
  input_eule(*s);
  EXPECT_EQ(s->addr.run_tag[0], 'F');
  EXPECT_EQ(std::string(s->addr.path_prefix_2.data(), 32), "out/' x" + std::string(25, ' '));
  EXPECT_EQ(s->settings.n, 385);
  EXPECT_EQ(s->settings.n_species, 2);
  EXPECT_EQ(s->settings.n_stab, 7);
  EXPECT_EQ(s->ic_kkind_re.th_front_level, 0.25);
  EXPECT_EQ(s->tempo.it_end, 20);
  EXPECT_EQ(s->comp.c[1], 2.0);
  EXPECT_EQ(s->comp.c[4], 0.5);
  EXPECT_EQ(s->ic_kkind_re.gain_velocity, 1.0e-3);
  // Zeldovich stored as gamma z / (gamma - 1): 1.4 * 8 / 0.4
  EXPECT_DOUBLE_EQ(s->gass.Zeldovich, 28.0);
  EXPECT_EQ(s->pi, 3.141592653589793);
  // domain length 0: the fractions stay unscaled, the console shows the raw one
  EXPECT_EQ(s->ff_fnz.x0_ff_2, 0.3);
  EXPECT_NE(console.str().find(" x0_ff_2 prima 0.29999999999999999\n"), std::string::npos);
  // sweep step (2 - 1) / 4
  EXPECT_EQ(s->andam.sweep_step, 0.25);
}

TEST(Configuration, LengthsInUnitsOfTwoPiAreScaled) {
  ScratchDir dir;
  write_file(dir / "eulero_test.dat", example_config({{4, "17"}, {6, "2.0"}, {44, "1.0"}, {64, "0.5"}}));
  std::ostringstream console;
  auto s = make_state(dir.path(), console);
  input_eule(*s);
  const double two_pi_2 = 12.566370614359172;  // 4 pi
  EXPECT_EQ(s->discr.domain_length, two_pi_2);
  EXPECT_EQ(s->discr.dx, two_pi_2 / 16);
  EXPECT_EQ(s->grid2.spacing[1], s->discr.dx);
  EXPECT_EQ(s->grid2.spacing[17], s->discr.dx);
  EXPECT_EQ(s->grid2.spacing[18], 0.0);
  EXPECT_EQ(s->forcing.slot[11], 6.283185307179586);
  EXPECT_EQ(s->settings.x_anchor, 3.141592653589793);
  EXPECT_EQ(s->ff_fnz.x0_ff_2, 0.3 * two_pi_2);
  EXPECT_EQ(s->ff_fnz.hx_ff_2, 0.02 * two_pi_2);
}

TEST(Configuration, ReadErrorNamesFileRecordFieldAndText) {
  ScratchDir dir;
  write_file(dir / "eulero_test.dat", example_config({{10, "5.0   it_out"}}));
  std::ostringstream console;
  auto s = make_state(dir.path(), console);
  try {
    input_eule(*s);
    FAIL() << "accepted";
  } catch (const InputError& e) {
    EXPECT_STREQ(e.what(), "eulero_test.dat: record 10 (it_out), riga 10: atteso un numero intero, trovato \"5.0\"");
  }
  // a file that ends early
  std::string text = example_config();
  text.resize(text.find("1.0d-6"));
  write_file(dir / "eulero_test.dat", text);
  auto s2 = make_state(dir.path(), console);
  try {
    input_eule(*s2);
    FAIL() << "accepted";
  } catch (const InputError& e) {
    EXPECT_NE(std::string(e.what()).find("record 79 (gain_position)"), std::string::npos) << e.what();
  }
}

TEST(Configuration, RangeProblemsAreReportedTogether) {
  ScratchDir dir;
  write_file(dir / "eulero_test.dat", example_config({{4, "2000"}, {10, "0"}, {18, "6"}, {19, "3"},
                                                      {63, "0 0.5"}, {74, "1"}, {78, "0"}}));
  std::ostringstream console;
  auto s = make_state(dir.path(), console);
  try {
    input_eule(*s);
    FAIL() << "accepted";
  } catch (const InputError& e) {
    const std::string msg = e.what();
    for (const char* part : {"record 4 (n) = 2000", "record 10 (it_out) = 0", "record 18 (rk_scheme) = 6",
                             "record 6 (domain_length)", "record 63 (n_stab) = 0",
                             "record 78 (sweep_count) = 0"}) {
      EXPECT_NE(msg.find(part), std::string::npos) << part << " in " << msg;
    }
  }
  // the limits themselves are accepted
  write_file(dir / "eulero_test.dat", example_config({{4, "9"}, {63, "10000 0.5"}, {18, "5"}}));
  auto s2 = make_state(dir.path(), console);
  EXPECT_NO_THROW(input_eule(*s2));
  write_file(dir / "eulero_test.dat", example_config({{4, "1026"}}));
  auto s3 = make_state(dir.path(), console);
  EXPECT_THROW(input_eule(*s3), InputError);
  EXPECT_FALSE(std::filesystem::exists(dir / "post_dati.dat"));
}

TEST(Configuration, DerivedReferenceQuantities) {
  State s;
  Gass& g = s.gass;
  // cp = 2 * 3 = 6; hand-worked values
  g.gamma = 2.0; g.cv = 3.0; g.conductivity = 12.0; g.mass_flow = 4.0; g.heat_of_reaction = 60.0;
  g.Prandtl = 0.5; g.Lewis = 2.0; g.Damkohler = 8.0; g.Zeldovich = 5.0; g.Mach = 7.0;
  s.ic_kkind.reaction_order = 2;
  s.ic_kkind.case_kind = 8;
  elabora_parametri(s);
  EXPECT_EQ(g.Mach, 0.01);
  EXPECT_EQ(g.ref_length, 0.5);          // 12 / (6 * 4)
  EXPECT_EQ(g.ref_energy, 60.0);
  EXPECT_EQ(g.ref_temperature, 10.0);    // 60 / 6
  EXPECT_EQ(g.gas_constant, 3.0);        // (2 - 1) * 3
  EXPECT_EQ(g.ref_velocity, 0.01 * std::sqrt(60.0));
  const double v = 0.01 * std::sqrt(60.0);
  EXPECT_EQ(g.ref_density, 4.0 / v);
  EXPECT_DOUBLE_EQ(g.ref_pressure, 120.0 / v);  // 3 * (4 / v) * 10
  EXPECT_DOUBLE_EQ(g.ref_time, 12.0 * (4.0 / v) / 96.0);
  EXPECT_DOUBLE_EQ(g.arrhenius_constant, v * 8.0 / ((16.0 / (v * v)) * 0.5));
  EXPECT_EQ(g.activation_energy, 150.0);  // 3 * 5 * 10
  EXPECT_EQ(g.viscosity, 1.0);             // 0.5 * 12 / 6
  EXPECT_DOUBLE_EQ(g.diffusion_coefficient, 12.0 / (12.0 * (4.0 / v)));
  EXPECT_EQ(g.D_1, 10000.0);
  EXPECT_EQ(g.D_2, 0.0);
  EXPECT_EQ(g.c0_speed, std::sqrt(2.0));
  EXPECT_EQ(g.th0 + g.rho0 + g.p0, 3.0);
}

TEST(Configuration, UnitQuantitiesOfTheAnalyticCases) {
  for (int kind : {3, 6, 1}) {
    State s;
    s.gass.gamma = 1.4;
    s.ic_kkind.case_kind = kind;
    maschera_ad(s);
    const Gass& g = s.gass;
    // Mach and Prandtl use the configured gamma even where gamma becomes 2
    EXPECT_EQ(g.Mach, 1.0 / std::sqrt(1.4)) << kind;
    EXPECT_DOUBLE_EQ(g.Prandtl, 3.5) << kind;
    EXPECT_EQ(g.gamma, kind == 3 ? 2.0 : 1.4) << kind;
    EXPECT_EQ(g.D_1, kind == 3 ? 1.0 : 0.0) << kind;
    EXPECT_EQ(g.c0_speed, std::sqrt(g.gamma)) << kind;
    EXPECT_EQ(g.conductivity, 0.01);
    EXPECT_EQ(g.ref_time * g.ref_length * g.gas_constant, 1.0);
  }
  State s;
  s.gass.gamma = 1.2;
  s.ic_kkind.case_kind = 7;
  maschera_ad(s);
  EXPECT_EQ(s.gass.gamma, 1.4);
  EXPECT_EQ(s.gass.Mach, 1.0 / std::sqrt(1.4));
}

// The whole start-up console and post_dati.dat, byte for byte.
void check_startup(int kind, const std::map<int, std::string>& records) {
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

TEST(ParameterReport, FlameCaseByteForByte) { check_startup(8, {}); }
TEST(ParameterReport, AnalyticCaseByteForByte) { check_startup(3, {{19, "3"}, {6, "1.0"}}); }

TEST(ParameterReport, PostDatiReadsBackItemByItem) {
  ScratchDir dir;
  write_file(dir / "eulero_test.dat", example_config({{3, "'out/'' x'"}}));
  std::ostringstream console;
  auto s = make_state(dir.path(), console);
  start_up(*s);
  FreeFormatReader reader = FreeFormatReader::open(dir / "post_dati.dat", "post_dati.dat");
  Text<1> tag;
  Text<32> p1, p2;
  int limit = 0, n = 0;
  double values[14];
  reader.begin(1); reader.text(tag, "tag"); reader.end();
  reader.begin(2); reader.text(p1, "p1"); reader.end();
  reader.begin(3); reader.text(p2, "p2"); reader.end();
  reader.begin(4); reader.integer(limit, "limit"); reader.end();
  reader.begin(5); reader.integer(n, "n"); reader.end();
  for (int k = 0; k < 14; ++k) {
    reader.begin(6 + k);
    reader.real(values[k], "v");
    reader.end();
  }
  EXPECT_EQ(tag[0], 'F');
  EXPECT_EQ(p2, s->addr.path_prefix_2);
  EXPECT_EQ(limit, 100000000);
  EXPECT_EQ(n, 385);
  EXPECT_EQ(values[1], s->gass.Prandtl);
  EXPECT_EQ(values[5], s->gass.Zeldovich);
  EXPECT_EQ(values[10], s->gass.gamma);
}

TEST(Configuration, PrintConfigListsEveryValueAsRead) {
  ScratchDir dir;
  write_file(dir / "eulero_test.dat", example_config());
  FreeFormatReader reader = FreeFormatReader::open(dir / "eulero_test.dat", "eulero_test.dat");
  State s;
  read_configuration(reader, s, nullptr);
  std::ostringstream os;
  print_configuration(s, os);
  const std::string out = os.str();
  int lines = 0;
  for (char c : out) lines += c == '\n';
  EXPECT_EQ(lines, 82);
  EXPECT_EQ(out.substr(0, 14), "01 run_tag 'F'");
  for (const char* part : {"\n02 path_prefix_1 '                                '\n", "\n04 n 385\n",
                           "\n06 domain_length 0.0000000000000000\n", "\n17 dt 0.0010000000000000000\n",
                           "\n51 Zeldovich 3085.7142857142858\n", "\n63 n_stab 1000\n63 th_front_level 0.50000000000000000\n",
                           "\n70 restart_name_1 'Fpr000000.dat                   '\n", "\n81 gain_integral 0.0000000000000000\n",
                           "\n22 discarded_22 ", "\n46 forcing_14 ", "\n60 ic_kkind_re_1 ", "\n73 main_73 0\n"}) {
    EXPECT_NE(out.find(part), std::string::npos) << part;
  }
}

}  // namespace
}  // namespace fiamma
