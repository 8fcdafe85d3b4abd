// The number writer: the layout of reals and integers, exact round trip
// through the reader, and the console line that joins texts and numbers.
#include "core/free_format.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

#include "config/free_format_reader.hpp"

namespace fiamma {
namespace {

TEST(FreeFormatWriter, LayoutOfRealsAndIntegers) {
  const std::pair<double, const char*> cases[] = {
      {0.0, "0.0000000000000000"}, {-0.0, "-0.0000000000000000"}, {0.25, "0.25000000000000000"},
      {1.0, "1.0000000000000000"}, {-7.5, "-7.5000000000000000"}, {0.1, "0.10000000000000001"},
      {1.0e-3, "0.0010000000000000000"}, {9.99e-4, "9.9900000000000010E-04"}, {1.0e15, "1000000000000000.0"},
      {1.0e16, "1.0000000000000000E+16"}, {1.5e300, "1.5000000000000001E+300"},
      {-2.5e-310, "-2.5000000000000171E-310"},
      // rounding to 17 digits moves the value to the next decade
      {9.9999999999999999e15, "1.0000000000000000E+16"}, {NAN, "NaN"}, {-INFINITY, "-Infinity"}};
  for (const auto& [x, text] : cases) EXPECT_EQ(format_real(x), text);
  EXPECT_EQ(format_int(-2147483648LL), "-2147483648");
  EXPECT_EQ(Line().text("n,dx:  ").integer(5).real(0.5).str(), " n,dx:  5 0.50000000000000000");
  EXPECT_EQ(Line().text("Setto hlx come").real(2.0).text("volte lo spessore").str(),
            " Setto hlx come 2.0000000000000000 volte lo spessore");
  EXPECT_EQ(Line().text("opfile").raw("path  ").str(), " opfilepath  ");
  EXPECT_EQ(quote_text("it's"), "'it''s'");
}

TEST(FreeFormatWriter, EveryDoubleReadsBackExactly) {
  std::mt19937_64 rng(12345);
  std::uniform_int_distribution<std::uint64_t> bits;
  for (int k = 0; k < 20000; ++k) {
    const std::uint64_t b = bits(rng);
    double x, y = 0.0;
    std::memcpy(&x, &b, sizeof x);
    if (std::isnan(x)) continue;
    FreeFormatReader reader(format_real(x), "t");
    reader.begin(1);
    reader.real(y, "x");
    ASSERT_EQ(std::memcmp(&x, &y, sizeof x), 0) << format_real(x);
  }
}

}  // namespace
}  // namespace fiamma
