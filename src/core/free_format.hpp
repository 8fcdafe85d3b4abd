// The one free-format number writer of the program: the console and every
// file print numbers through it.
#pragma once

#include <ostream>
#include <string>
#include <string_view>

namespace fiamma {

// 17 significant digits, so that reading the text back gives the same double.
// Plain decimal for 1e-3 <= |x| < 1e16 (and for zero), otherwise
// d.dddddddddddddddE+XX with at least two exponent digits.
// NaN and infinities as "NaN", "Infinity", "-Infinity".
std::string format_real(double x);
std::string format_int(long long i);

// A text filled up with blanks to `width` characters (a longer one as it is):
// the fixed-length header and zone records of the output files.
std::string padded(std::string_view text, std::size_t width);

// A text between apostrophes, an apostrophe inside doubled.
std::string quote_text(std::string_view text);

// One console or file line: starts with one blank; a number is separated from
// what precedes it by one blank unless that already ends in a blank; texts are
// joined as they are, after a blank when they follow a number.
class Line {
 public:
  Line() : s_(" ") {}
  Line& text(std::string_view t);
  Line& real(double x) { return number(format_real(x)); }
  Line& integer(long long i) { return number(format_int(i)); }
  // Glue text with no separator at all.
  Line& raw(std::string_view t) {
    s_ += t;
    last_number_ = false;
    return *this;
  }
  const std::string& str() const { return s_; }

 private:
  Line& number(const std::string& digits);
  std::string s_;
  bool last_number_ = false;
};

inline std::ostream& operator<<(std::ostream& os, const Line& line) {
  return os << line.str() << '\n';
}

}  // namespace fiamma
