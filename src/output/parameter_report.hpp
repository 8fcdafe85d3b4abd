// The parameter report: a labelled summary on the console and the
// machine-readable "post_dati.dat" in the working directory.
#pragma once

#include "core/shared_state.hpp"

namespace fiamma {

inline constexpr const char* kReportFile = "post_dati.dat";
inline constexpr int kReportLimit = 100000000;

void scrivi_parametri(State& s, int n, int n_species, double cfl, double stab, int rk_scheme,
                      int report_limit);

}  // namespace fiamma
