// Exact reference solutions of the analytic test cases, written next to the
// field snapshots: the simple wave carrying a velocity profile (case_kind 3
// with J- constant, 4 with J+ constant) and a temperature profile carried at
// constant speed (case_kind 5).
#pragma once

#include <array>
#include <string>

#include "core/shared_state.hpp"

namespace fiamma {

inline constexpr int kRootIterations = 20000;
inline constexpr double kRootTolerance = 1.0e-10;

using HeaderText = std::array<char, 62>;

// The profile A/2 (1 + (2/pi) atan(2 sinh(10 (x - x0)/w))), shifted by -A
// (case 4) or th0 (case 5); the two further outputs are 0.
void ff_function(const State& s, double x, double& f, double& d1, double& d2);
// a f(xi) + xi - b.
void ff_c_function(const State& s, double xi, double a, double b, double& F, double& d1, double& d2);
// False position on [lo, hi] for a residual that increases with xi; sets
// fail to 1 (and prints a line) when 20000 passes do not converge.
void invernew(State& s, double a, double b, double& xi, int& fail, double lo, double hi);
// VARIABLES = "x","rho","v","th" in a 62-character field.
void b_tcp_an_prim(int count, HeaderText& text);
// VARIABLES = "x", "u1", ..., "uN" in a 62-character field (N below 10).
void b_tcp_an_cons(int N, HeaderText& text);

void sol_an(State& s, double t, int counter, int n, int case_kind);
void sol_an_entr_comb(State& s, double t, int counter, int n);

}  // namespace fiamma
