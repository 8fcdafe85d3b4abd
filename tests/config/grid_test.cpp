#include "config/grid.hpp"

#include <gtest/gtest.h>

#include <sstream>

#include "core/errors.hpp"
#include "test_support.hpp"

namespace fiamma {
namespace {

using testing::ScratchDir;
using testing::write_file;

TEST(Grid, RescalesOntoTheDomainAndEchoesTheAbscissae) {
  ScratchDir dir;
  write_file(dir / "grid.dat", "1 10\n2, 11 extra 99\n3 13\n4 16 ! last\n");
  std::ostringstream console;
  auto s = testing::make_state(dir.path(), console);
  s->discr.domain_length = 12.0;
  input_grid(*s, 4);
  EXPECT_EQ(console.str(), " Lettura file di griglia grid.dat\n");
  const auto& g = s->grid2;
  EXPECT_EQ(g.x[1], 0.0);
  EXPECT_EQ(g.x[2], 2.0);
  EXPECT_EQ(g.x[3], 6.0);
  EXPECT_EQ(g.x[4], 12.0);
  EXPECT_EQ(g.spacing[1], 2.0);
  EXPECT_EQ(g.spacing[2], 4.0);
  EXPECT_EQ(g.spacing[3], 6.0);
  EXPECT_EQ(g.min_spacing, 2.0);
  // a second call of the same run appends to the echo
  s->discr.domain_length = 24.0;
  input_grid(*s, 4);
  s->grid_echo.reset();
  EXPECT_EQ(testing::read_file(dir / "fort.87"),
            " 0.0000000000000000\n 2.0000000000000000\n 6.0000000000000000\n 12.000000000000000\n"
            " 0.0000000000000000\n 4.0000000000000000\n 12.000000000000000\n 24.000000000000000\n");
}

TEST(Grid, BadFilesAreRejected) {
  ScratchDir dir;
  std::ostringstream console;
  auto s = testing::make_state(dir.path(), console);
  s->discr.domain_length = 1.0;
  EXPECT_THROW(input_grid(*s, 4), InputError);  // missing
  EXPECT_FALSE(std::filesystem::exists(dir / "grid.dat"));
  write_file(dir / "grid.dat", "1 0\n2 1\n3 2\n");
  try {
    input_grid(*s, 4);
    FAIL();
  } catch (const InputError& e) {
    EXPECT_NE(std::string(e.what()).find("record 4"), std::string::npos) << e.what();
  }
  write_file(dir / "grid.dat", "1 0\n2 1\n3 1\n4 2\n");
  try {
    input_grid(*s, 4);
    FAIL();
  } catch (const InputError& e) {
    EXPECT_NE(std::string(e.what()).find("record 3 (ascissa)"), std::string::npos) << e.what();
  }
}

}  // namespace
}  // namespace fiamma
