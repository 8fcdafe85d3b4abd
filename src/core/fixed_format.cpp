#include "core/fixed_format.hpp"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace fiamma {

namespace {
std::string right(const std::string& s, std::size_t w) {
  return s.size() >= w ? s : std::string(w - s.size(), ' ') + s;
}
}  // namespace

std::string format_g10_4(double x) {
  if (std::isnan(x)) return right("NaN", 10);
  if (std::isinf(x)) return right(x > 0 ? "Infinity" : "-Infinity", 10);
  if (x == 0.0) return " 0.000    ";
  // four significant digits d.ddde+XX; the value is 0.dddd * 10^k
  char e[32];
  std::snprintf(e, sizeof e, "%.3e", x);
  const std::string es(e);
  const auto epos = es.find('e');
  const int k = std::atoi(es.c_str() + epos + 1) + 1;
  const bool negative = x < 0;
  if (k >= 0 && k <= 4) {
    char f[32];
    std::snprintf(f, sizeof f, "%.*f", 4 - k, x);
    std::string fs(f);
    if (fs.size() > 6 && fs.compare(0, 3, "-0.") == 0) fs.erase(1, 1);
    if (k == 4) fs += '.';
    return right(fs, 6) + "    ";
  }
  // the four digits of d.ddd, without the point
  std::string digits;
  digits.push_back(es[negative ? 1 : 0]);
  digits.append(es, negative ? 3 : 2, 3);
  char exponent[16];
  if (std::abs(k) <= 99) {
    std::snprintf(exponent, sizeof exponent, "E%c%02d", k < 0 ? '-' : '+', std::abs(k));
  } else {
    std::snprintf(exponent, sizeof exponent, "%c%03d", k < 0 ? '-' : '+', std::abs(k));
  }
  std::string out(negative ? "-." : "0.");
  out.append(digits);
  out.append(exponent);
  return right(out, 10);
}

}  // namespace fiamma
