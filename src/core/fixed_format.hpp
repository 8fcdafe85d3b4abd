// Fixed-width numbers for the one table that asks for them: width 10 with 4
// significant digits, the general numeric layout of Fortran's G10.4.
#pragma once

#include <string>

namespace fiamma {

// 0.1 <= |x| < 1e4 (after rounding to 4 digits): fixed point, 4 significant
// digits, then 4 blanks ("  1.500    ", " 9999.    "); zero as " 0.000    ";
// otherwise 0.ddddE+ee ("0.1235E+05"), with a negative sign taking the place
// of the leading zero and a three-digit exponent that of the E. Always 10
// characters.
std::string format_g10_4(double x);

}  // namespace fiamma
