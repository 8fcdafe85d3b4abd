#include "core/naming.hpp"

#include <gtest/gtest.h>

namespace fiamma {
namespace {

void set_text(Text<32>& field, const std::string& text) {
  field.fill(' ');
  std::copy(text.begin(), text.end(), field.begin());
}

TEST(Naming, SnapshotAndAnalyticNamesCarryTagAndCounter) {
  State s;
  s.addr.run_tag[0] = 'b';
  EXPECT_EQ(tagged_output_path(s, "-pr------.dat", 4, 6, 150), "bpr000150.dat");
  EXPECT_EQ(tagged_output_path(s, " an_____.dat", 4, 5, 150), "ban00150.dat");
  EXPECT_EQ(tagged_output_path(s, "-pr------.dat", 4, 6, 0), "bpr000000.dat");
  EXPECT_EQ(tagged_output_path(s, " sf_delta.dat"), "bsf_delta.dat");
  // a counter wider than its field widens the name
  EXPECT_EQ(tagged_output_path(s, "-pr------.dat", 4, 6, 1234567), "bpr1234567.dat");
  EXPECT_EQ(tagged_output_path(s, " an_____.dat", 4, 5, 100000), "ban100000.dat");
}

TEST(Naming, PrefixesJoinWithoutSeparatorKeepingInnerBlanks) {
  State s;
  s.addr.run_tag[0] = 'a';
  set_text(s.addr.path_prefix_1, "out");
  set_text(s.addr.path_prefix_2, "run1_");
  EXPECT_EQ(tagged_output_path(s, "-pr------.dat", 4, 6, 150), "outrun1_apr000150.dat");
  set_text(s.addr.path_prefix_1, "my dir/");
  set_text(s.addr.path_prefix_2, "");
  EXPECT_EQ(tagged_output_path(s, "-pr------.dat", 4, 6, 150), "my dir/apr000150.dat");
  // a blank tag gives a name that begins with a blank
  s.addr.run_tag[0] = ' ';
  set_text(s.addr.path_prefix_1, "");
  EXPECT_EQ(tagged_output_path(s, "-pr------.dat", 4, 6, 3), " pr000003.dat");
  // full prefixes fill the 96 characters exactly
  set_text(s.addr.path_prefix_1, std::string(32, 'p'));
  set_text(s.addr.path_prefix_2, std::string(32, 'q'));
  set_file_name(s.addr, std::string(32, 'f'));
  strg(s.addr);
  EXPECT_EQ(std::string(s.addr.full_path.data(), 96), std::string(32, 'p') + std::string(32, 'q') + std::string(32, 'f'));
}

}  // namespace
}  // namespace fiamma
