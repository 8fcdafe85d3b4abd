// File names from the run tag, the two path prefixes and a counter.
#include "core/naming.hpp"

#include <gtest/gtest.h>

namespace fiamma {
namespace {

void set_text(Text<32>& field, const std::string& text) {
  field.fill(' ');
  std::copy(text.begin(), text.end(), field.begin());
}

TEST(Naming, TagPrefixesAndCounter) {
  struct Case {
    char tag;
    const char *p1, *p2, *form;
    int width, counter;
    const char* name;
  };
  const Case cases[] = {
      {'b', "", "", "-pr------.dat", 6, 150, "bpr000150.dat"}, {'b', "", "", " an_____.dat", 5, 150, "ban00150.dat"},
      {'b', "", "", "-pr------.dat", 6, 0, "bpr000000.dat"}, {'b', "", "", " sf_delta.dat", 0, 0, "bsf_delta.dat"},
      // a counter wider than its field widens the name
      {'b', "", "", "-pr------.dat", 6, 1234567, "bpr1234567.dat"},
      {'b', "", "", " an_____.dat", 5, 100000, "ban100000.dat"},
      // prefixes join without a separator, inner blanks kept
      {'a', "out", "run1_", "-pr------.dat", 6, 150, "outrun1_apr000150.dat"},
      {'a', "my dir/", "", "-pr------.dat", 6, 150, "my dir/apr000150.dat"},
      // a blank tag gives a name that begins with a blank
      {' ', "", "", "-pr------.dat", 6, 3, " pr000003.dat"}};
  for (const auto& c : cases) {
    State s;
    s.addr.run_tag[0] = c.tag;
    set_text(s.addr.path_prefix_1, c.p1);
    set_text(s.addr.path_prefix_2, c.p2);
    EXPECT_EQ(tagged_output_path(s, c.form, c.width ? 4 : 0, c.width, c.counter), c.name);
  }
  // full prefixes fill the 96 characters exactly
  State s;
  set_text(s.addr.path_prefix_1, std::string(32, 'p'));
  set_text(s.addr.path_prefix_2, std::string(32, 'q'));
  set_file_name(s.addr, std::string(32, 'f'));
  strg(s.addr);
  EXPECT_EQ(std::string(s.addr.full_path.data(), 96), std::string(32, 'p') + std::string(32, 'q') + std::string(32, 'f'));
}

}  // namespace
}  // namespace fiamma
