#include "core/free_format.hpp"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace fiamma {

std::string format_real(double x) {
  if (std::isnan(x)) return "NaN";
  if (std::isinf(x)) return x > 0 ? "Infinity" : "-Infinity";
  // Rounding to 17 digits first settles the decimal exponent.
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.16E", x);
  std::string s(buf);
  const bool negative = s[0] == '-';
  if (negative) s.erase(0, 1);
  const auto epos = s.find('E');
  const int e = std::atoi(s.c_str() + epos + 1);
  std::string digits = s.substr(0, 1) + s.substr(2, epos - 2);  // 17 digits
  std::string out;
  if (x == 0.0) {
    out = "0.0000000000000000";
  } else if (e >= -3 && e < 16) {
    if (e >= 0) {
      out = digits.substr(0, e + 1) + "." + digits.substr(e + 1);
    } else {
      out = "0." + std::string(-e - 1, '0') + digits;
    }
  } else {
    char exp[16];
    std::snprintf(exp, sizeof exp, "E%c%02d", e < 0 ? '-' : '+', std::abs(e));
    out = digits.substr(0, 1) + "." + digits.substr(1) + exp;
  }
  return negative ? "-" + out : out;
}

std::string format_int(long long i) { return std::to_string(i); }

std::string quote_text(std::string_view text) {
  std::string out = "'";
  for (char c : text) {
    out += c;
    if (c == '\'') out += '\'';
  }
  return out + "'";
}

std::string padded(std::string_view text, std::size_t width) {
  std::string out(text);
  if (out.size() < width) out.append(width - out.size(), ' ');
  return out;
}

Line& Line::text(std::string_view t) {
  if (last_number_ && !t.empty() && t.front() != ' ') s_ += ' ';
  s_ += t;
  last_number_ = false;
  return *this;
}

Line& Line::number(const std::string& digits) {
  if (s_.back() != ' ') s_ += ' ';
  s_ += digits;
  last_number_ = true;
  return *this;
}

}  // namespace fiamma
