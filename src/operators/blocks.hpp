// The compact operators by name, and the band matrices of each: a five-band
// left-hand matrix A and a seven-band right-hand matrix B with A u = B f,
// plus the two homogeneous solutions of the matrix an application solves.
#pragma once

#include <array>

#include "core/shared_state.hpp"
#include "operators/banded.hpp"

namespace fiamma {

// The nine operators, in the order of their blocks comp1..comp8, comp13.
enum class Operator : int {
  der_prima,           // first derivative, node -> node (comp1)
  der_prima_st,        // first derivative, staggered -> staggered (comp2)
  inter_ns_st,         // interpolation, node -> staggered (comp3)
  inter_st_ns,         // interpolation, staggered -> node (comp4)
  der_prima_ns_st,     // first derivative, node -> staggered (comp5)
  der_prima_st_ns,     // first derivative, staggered -> node (comp6)
  der_seconda,         // second derivative, node -> node (comp7)
  der_seconda_st,      // second derivative, staggered -> staggered (comp8)
  poisson_neu_st_new,  // phi'' = f on the staggered points, phi'(node 1) = 0, phi(node n) = 0 (comp13)
};
inline constexpr int kOperatorCount = 9;
inline constexpr std::array<Operator, kOperatorCount> kAllOperators = {
    Operator::der_prima,       Operator::der_prima_st,    Operator::inter_ns_st,
    Operator::inter_st_ns,     Operator::der_prima_ns_st, Operator::der_prima_st_ns,
    Operator::der_seconda,     Operator::der_seconda_st,  Operator::poisson_neu_st_new};
inline constexpr int index_of(Operator op) { return static_cast<int>(op); }
const char* name_of(Operator op);

// One compact operator A u = B f: the five left-hand bands, the seven
// right-hand bands and the two homogeneous solutions of the solved matrix.
struct OperatorBlock {
  Field a, b, c, d, e;
  Field aB, bB, cB, dB, eB, fB, gB;
  Field homog_1, homog_2;
};

// The operator blocks of one grid, assembled and with their homogeneous
// solutions (operators/operators.hpp builds them).
struct OperatorBlocks {
  int n = 0;
  bool staggered = false;  // comp2..comp6, comp8 and comp13 assembled (else only comp1, comp7)
  OperatorBlock comp1{}, comp2{}, comp3{}, comp4{}, comp5{}, comp6{}, comp7{}, comp8{}, comp13{};
  Field zero{};  // the outer bands of the pressure operator's product

  const OperatorBlock& operator[](Operator op) const;
  OperatorBlock& operator[](Operator op);
  // Whether the solved matrix is on the n-1 staggered points (the pressure
  // operator): its result has entry n = 0.
  static bool solved_on_staggered(Operator op) { return op == Operator::poisson_neu_st_new; }
  // What an application multiplies the input by, and the matrix it solves;
  // the pressure operator exchanges the roles of its two sides.
  SevenBands product(Operator op) const;
  FiveBands solved(Operator op) const;
  // The coefficients of the solved matrix's first equation on unknowns
  // 1..3 and of its last equation (on n-1 staggered points for the pressure
  // operator) on the three unknowns before it.
  std::array<double, 3> first_equation(Operator op) const;
  std::array<double, 3> last_equation(Operator op) const;
};

FiveBands lhs_bands(const OperatorBlock& k);
SevenBands rhs_bands(const OperatorBlock& k);

}  // namespace fiamma
