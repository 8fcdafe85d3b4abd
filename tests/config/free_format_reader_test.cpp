// The free-format reader against the behaviour of list-directed input:
// accepted records with the values they give, rejected ones with the file,
// the record and the text they name.
#include "config/free_format_reader.hpp"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "core/errors.hpp"
#include "core/free_format.hpp"
#include "test_support.hpp"

namespace fiamma {
namespace {

// Reads record 5 of the given item kinds (i integer, r real, t text of 8) and
// renders what the items hold afterwards; untouched items keep -7 / "ZZZZZZZZ".
// A refusal gives "error: " and the message.
std::string read_items(const std::string& input, const std::string& kinds) {
  FreeFormatReader reader(input, "in.dat");
  std::string out;
  try {
    reader.begin(5);
    for (char k : kinds) {
      if (!out.empty()) out += "|";
      if (k == 'i') {
        int v = -7;
        reader.integer(v, "item");
        out += std::to_string(v);
      } else if (k == 'r') {
        double v = -7.0;
        reader.real(v, "item");
        out += format_real(v);
      } else {
        Text<8> v;
        v.fill('Z');
        reader.text(v, "item");
        out += '[' + std::string(v.data(), 8) + ']';
      }
    }
    reader.end();
  } catch (const InputError& e) {
    return std::string("error: ") + e.what();
  }
  return out;
}

TEST(FreeFormatReader, AcceptsAndRejectsWhatListDirectedInputDoes) {
  const std::vector<std::array<const char*, 3>> accepted = {
      // separators; a record continues on the next lines, blank lines skipped
      {"1 2\n", "ii", "1|2"}, {"1,2\n", "ii", "1|2"}, {"1\t2\n", "ii", "1|2"}, {"1;2\n", "ii", "1|2"},
      {" 1 , 2 \n", "ii", "1|2"}, {"1\n\n2\n", "ii", "1|2"},
      // null values: leading comma, empty field, comma-eol-comma
      {",2\n", "ii", "-7|2"}, {"1,,\n", "ii", "1|-7"}, {"1 , , 2\n", "ii", "1|-7"}, {"1,\n,2\n", "ii", "1|-7"},
      {"1 ,\n 2\n", "ii", "1|2"}, {"1;;2\n", "ir", "1|-7.0000000000000000"},
      // slash ends the read
      {"1 /\n", "ii", "1|-7"}, {"1,/\n", "ii", "1|-7"}, {"1d0/ 5\n", "rr", "1.0000000000000000|-7.0000000000000000"},
      // repeat counts
      {"2*5\n", "ii", "5|5"}, {"2*\n", "ii", "-7|-7"}, {"1*,3\n", "ii", "-7|3"}, {"1 2*\n", "ii", "1|-7"},
      {"3*2.5\n", "rr", "2.5000000000000000|2.5000000000000000"}, {"1 2*3\n", "ir", "1|3.0000000000000000"},
      // integers, real forms and exponent letters
      {"+5 -0\n", "ii", "5|0"}, {"-2147483648 2147483647\n", "ii", "-2147483648|2147483647"},
      {"1.0d-3 1.D5\n", "rr", "0.0010000000000000000|100000.00000000000"},
      {".5 5.\n", "rr", "0.50000000000000000|5.0000000000000000"},
      {"+3 -2\n", "rr", "3.0000000000000000|-2.0000000000000000"},
      {"1e5 1E5\n", "rr", "100000.00000000000|100000.00000000000"},
      {"1q5 1.0+5\n", "rr", "100000.00000000000|100000.00000000000"}, {"5 -1.5-2\n", "ir", "5|-0.014999999999999999"},
      {"00012 1.\n", "rr", "12.000000000000000|1.0000000000000000"}, {"1e400 1e-400\n", "rr", "Infinity|0.0000000000000000"},
      {"inf -Infinity\n", "rr", "Infinity|-Infinity"}, {"NaN(0x1) nan\n", "rr", "NaN|NaN"},
      // comments after the values, CRLF, no final newline
      {"5 ! n, the number of points\n", "i", "5"}, {"1 2\r\n", "ii", "1|2"}, {"1 2", "ii", "1|2"},
      // texts
      {"abc 5\n", "ti", "[abc     ]|5"}, {"'a b' 5\n", "ti", "[a b     ]|5"}, {"\"a\"\"b\" 5\n", "ti", "[a\"b     ]|5"},
      {"'it''s' 5\n", "ti", "[it's    ]|5"}, {"abcdefghijk 5\n", "ti", "[abcdefgh]|5"},
      {"../out/ 5\n", "ti", "[..      ]|-7"}, {"'../out/' 5\n", "ti", "[../out/ ]|5"}, {"x!c 5\n", "ti", "[x!c     ]|5"},
      {"'ab\ncd' 5\n", "ti", "[abcd    ]|5"}, {"a=b 5\n", "ti", "[a=b     ]|5"}, {"12 5\n", "ti", "[12      ]|5"},
      {"a*b 5\n", "ti", "[a*b     ]|5"}, {"*a 5\n", "ti", "[*a      ]|5"}, {"a'b 5\n", "ti", "[a'b     ]|5"},
      {"'' 5\n", "ti", "[        ]|5"}, {"1* 5\n", "ti", "[ZZZZZZZZ]|5"},
  };
  for (const auto& [input, kinds, expected] : accepted) EXPECT_EQ(read_items(input, kinds), expected) << input;

  const std::vector<std::array<const char*, 3>> rejected = {
      {"1.0 2\n", "ii", "\"1.0\""}, {"1e3 2\n", "ii", "\"1e3\""}, {"3000000000 1\n", "ii", "32 bit"},
      {"2147483648 1\n", "ii", "32 bit"}, {"1 abc\n", "ii", "\"abc\""}, {"1 2!c\n", "ii", "\"2!c\""},
      {"0*5 1\n", "ii", "ripetizione nullo"}, {"2*5\n", "ir", "valore ripetuto"}, {"2*ab\n", "ti", "valore ripetuto"},
      {". 1\n", "rr", "\".\""}, {"e5 1\n", "rr", "\"e5\""}, {"5.d 1\n", "rr", "\"5.d\""}, {"1e+ 1\n", "rr", "\"1e+\""},
      {"+ 1\n", "rr", "\"+\""}, {"1.2.3 1\n", "rr", "\"1.2.3\""}, {"infinit 1\n", "rr", "\"infinit\""},
      {"0x10 1\n", "rr", "\"0x10\""}, {"\"1.0\" 2\n", "rr", "\"\"1.0\"\""}, {"'a'b 5\n", "ti", "separatore"},
      {"1\n", "ii", "termina"}, {"'ab\n", "ti", "termina"},
  };
  for (const auto& [input, kinds, part] : rejected) {
    const std::string msg = read_items(input, kinds);
    EXPECT_EQ(msg.rfind("error: in.dat: ", 0), 0u) << input << " gave " << msg;
    EXPECT_NE(msg.find("record 5 (item)"), std::string::npos) << input << " gave " << msg;
    EXPECT_NE(msg.find(part), std::string::npos) << input << " gave " << msg;
  }
}

}  // namespace
}  // namespace fiamma
