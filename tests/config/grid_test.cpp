// The grid file: abscissae rescaled onto the domain and echoed to fort.87,
// bad files refused naming the record.
#include "config/grid.hpp"

#include <gtest/gtest.h>

#include <sstream>

#include "core/errors.hpp"
#include "test_support.hpp"

namespace fiamma {
namespace {

using testing::ScratchDir;
using testing::write_file;

TEST(Grid, RescalesOntoTheDomainEchoesAndRefusesBadFiles) {
  ScratchDir dir;
  write_file(dir / "grid.dat", "1 10\n2, 11 extra 99\n3 13\n4 16 ! last\n");
  std::ostringstream console;
  auto s = testing::make_state(dir.path(), console);
  s->discr.domain_length = 12.0;
  input_grid(*s, 4);
  EXPECT_EQ(console.str(), " Lettura file di griglia grid.dat\n");
  const auto& g = s->grid2;
  // 10, 11, 13, 16 mapped onto [0, 12]: twice the offsets from 10
  EXPECT_EQ(std::vector<double>(g.x.begin() + 1, g.x.begin() + 5), (std::vector<double>{0, 2, 6, 12}));
  EXPECT_EQ(std::vector<double>(g.spacing.begin() + 1, g.spacing.begin() + 4), (std::vector<double>{2, 4, 6}));
  EXPECT_EQ(g.min_spacing, 2.0);
  // a second call of the same run appends to the echo
  s->discr.domain_length = 24.0;
  input_grid(*s, 4);
  s->grid_echo.reset();
  EXPECT_EQ(testing::read_file(dir / "fort.87"),
            " 0.0000000000000000\n 2.0000000000000000\n 6.0000000000000000\n 12.000000000000000\n"
            " 0.0000000000000000\n 4.0000000000000000\n 12.000000000000000\n 24.000000000000000\n");

  const std::pair<const char*, const char*> bad[] = {
      {"1 0\n2 1\n3 2\n", "record 4"}, {"1 0\n2 1\n3 1\n4 2\n", "record 3 (ascissa)"}, {nullptr, "grid.dat"}};
  for (const auto& [text, part] : bad) {
    if (text) {
      write_file(dir / "grid.dat", text);
    } else {
      std::filesystem::remove(dir / "grid.dat");
    }
    try {
      input_grid(*s, 4);
      ADD_FAILURE() << part;
    } catch (const InputError& e) {
      EXPECT_NE(std::string(e.what()).find(part), std::string::npos) << e.what();
    }
  }
  EXPECT_FALSE(std::filesystem::exists(dir / "grid.dat"));  // never created
}

}  // namespace
}  // namespace fiamma
