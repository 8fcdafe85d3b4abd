// The compact operators as ready operations: set-up of the blocks and the
// eight applications, plus the pressure Poisson solve on the staggered points.
#pragma once

#include <initializer_list>

#include "core/shared_state.hpp"
#include "operators/banded.hpp"

namespace fiamma {

FiveBands lhs_bands(const OperatorBlock& k);
SevenBands rhs_bands(const OperatorBlock& k);

// Assembles the blocks selected by discr.i_thom and grid and computes their
// homogeneous solutions. The simulation needs the staggered operators and the
// pressure operator, which exist only with i_thom = 2 on a uniform grid: any
// other combination prints its reason and stops the run.
void setup_operators(State& s, int n);
// The node operators alone (comp1 first derivative, comp7 second derivative)
// for the configured i_thom and grid, with their homogeneous solutions.
void setup_node_operators(State& s, int n);

// Homogeneous solutions of the left-hand bands of a block solved on n points,
// and of a five-band matrix solved on the n-1 staggered points.
void ini_comp2(State& s, int n, const FiveBands& A, double* homog_1, double* homog_2);
void ini_comp2_n_meno_1(State& s, int n, const FiveBands& A, double* homog_1, double* homog_2);

// One application u = A^-1 B f of a block (u distinct from f).
void der_comp3_sing(int n, double* u, const double* f, const OperatorBlock& k, PentaWork& w,
                    std::ostream& console);

// The eight applications: f and u are distinct arrays.
void der_prima(State& s, int n, const Field& f, Field& u);        // node -> node
void der_seconda(State& s, int n, const Field& f, Field& u);      // node -> node
void der_prima_st(State& s, int n, const Field& f, Field& u);     // staggered -> staggered
void der_seconda_st(State& s, int n, const Field& f, Field& u);   // staggered -> staggered
void der_prima_ns_st(State& s, int n, const Field& f, Field& u);  // node -> staggered
void der_prima_st_ns(State& s, int n, const Field& f, Field& u);  // staggered -> node
void inter_ns_st(State& s, int n, const Field& f, Field& u);      // node -> staggered
void inter_st_ns(State& s, int n, const Field& f, Field& u);      // staggered -> node

// Several applications of one operator at once (f[j] -> u[j], at most 8):
// with the prepared operators their right-hand sides are interleaved in one
// pass; the results are those of one call each, bit for bit.
using Inputs = std::initializer_list<const Field*>;
using Outputs = std::initializer_list<Field*>;
void der_prima_many(State& s, int n, Inputs f, Outputs u);
void der_seconda_many(State& s, int n, Inputs f, Outputs u);
void der_prima_st_many(State& s, int n, Inputs f, Outputs u);
void der_seconda_st_many(State& s, int n, Inputs f, Outputs u);
void der_prima_ns_st_many(State& s, int n, Inputs f, Outputs u);
void der_prima_st_ns_many(State& s, int n, Inputs f, Outputs u);
void inter_ns_st_many(State& s, int n, Inputs f, Outputs u);
void inter_st_ns_many(State& s, int n, Inputs f, Outputs u);

// Independent applications of different operators at once (at most 8; no
// output is another application's input): with the prepared operators their
// right-hand sides are interleaved in passes of up to four, otherwise one
// call each in the order given. The results are those of one call each.
enum class Operator : int { der_prima, der_prima_st, inter_ns_st, inter_st_ns, der_prima_ns_st, der_prima_st_ns,
                            der_seconda, der_seconda_st };
struct Application {
  Operator op;
  const Field* f;
  Field* u;
};
void apply_together(State& s, int n, std::initializer_list<Application> jobs);

// Whether the set-up prepared the operators (the fast form: factored once,
// applied with right-hand-side work only, repeated results reused). False
// with State::options.reference_operators, the straightforward form that
// eliminates the left-hand matrix at every application.
bool prepared_operators(const State& s);

// Solves phi'' = f on the staggered points 1..n-1 with zero slope at node 1 and
// zero value at node n (the pressure operator comp13); phi(n) = 0.
void poisson_neu_st_new(State& s, int n, const Field& f, Field& phi);

}  // namespace fiamma
