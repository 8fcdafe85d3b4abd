// The profile of the analytic test cases (case_kind 3, 4, 5) and the
// reference state of their solutions, from the optional file "profilo_an.dat".
#pragma once

#include "core/shared_state.hpp"

namespace fiamma {

inline constexpr const char* kProfileFile = "profilo_an.dat";

// Record 1: ff_width ff_centre ff_amplitude; record 2: ff_lo ff_hi (the
// bracket of the characteristic root); record 3: ff_speed (needed by case 5
// only, 0 when absent); record 4, optional: gas_constant_an pressure_an
// cv_an, by default 1, p0 and 1/(gamma - 1) (null values keep the default).
// A missing file or an unusable value is an InputError naming what is
// missing.
void input_profilo_an(State& s);

}  // namespace fiamma
