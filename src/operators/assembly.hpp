// Assembly of the compact operator matrices: rows 1..n of the five left-hand
// and seven right-hand bands of one block; entries a row does not mention are
// 0. Uniform-grid right-hand sides are divided by dx (first derivatives) or
// dx*dx (second derivatives); interpolations are not scaled.
#pragma once

#include "core/shared_state.hpp"
#include "operators/blocks.hpp"

namespace fiamma {

// On the nodes (uniform grid).
void mat_eva_penta(State& s, int n, OperatorBlock& blk);     // first derivative, n >= 8
void mat_eva_trid(State& s, int n, OperatorBlock& blk);      // first derivative, n >= 6
void mat_eva_penta_ds(State& s, int n, OperatorBlock& blk);  // second derivative, n >= 6
void mat_eva_trid_ds(State& s, int n, OperatorBlock& blk);   // second derivative, n >= 4
// On the nodes of the grid in grid2 (rows exact on polynomials, solved for).
void mat_eva_trid_nu(State& s, int n, OperatorBlock& blk);
void mat_eva_trid_nu_ds(State& s, int n, OperatorBlock& blk);

// Between and on the staggered points (uniform grid). Operators with a
// staggered result have a row n that reproduces f(n).
void mat_eva_der_st(State& s, int n, OperatorBlock& blk);
void mat_eva_der_ds_st(State& s, int n, OperatorBlock& blk);
void mat_eva_inter_ns_st(State& s, int n, OperatorBlock& blk);
void mat_eva_inter_st_ns(State& s, int n, OperatorBlock& blk);
void mat_eva_der_ns_st(State& s, int n, OperatorBlock& blk);
void mat_eva_der_st_ns_per_thomas(State& s, int n, OperatorBlock& blk);
// Second derivative on the staggered points with zero slope at node 1 and zero
// value at node n; used with the roles of the two sides exchanged.
void mat_eva_trid_ds_st_bc_ns_neumann_new(State& s, int n, OperatorBlock& blk);

}  // namespace fiamma
