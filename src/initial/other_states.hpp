// Initial states besides the premixed flame: the synthetic test field, a
// uniform fluid at rest, and the restart from a field snapshot.
#pragma once

#include <string>

#include "core/shared_state.hpp"
#include "initial/node_values.hpp"
#include "operators/operators.hpp"

namespace fiamma {

// Unit density and temperature, unit momenta with impulses at the ends, a
// Gaussian bump of fuel in the middle of the domain, no oxidizer: at the
// nodes (v) and the momenta, then interpolated to the staggered points.
void test_field_node_values(State& s, int n, NodeValues& v);
void ini_incomp_test(State& s, OperatorSet& ops, int n, int n_species);
// A uniform fluid at rest at the reference state (density p0/th0,
// temperature th0, no fuel): the start of the analytic test cases.
void ini_quiete(State& s, OperatorSet& ops, int n, int n_species);
// Builds `full_path` from restart_name_2, restart_name_3 and restart_name_1
// (the configured prefixes are put back afterwards) and returns it trimmed.
std::string restart_path(State& s);
// Rebuilds the state from a snapshot written by the snapshot writer, named
// by restart_name_1 under restart_name_2 and restart_name_3.
void res_inp(State& s, OperatorSet& ops, int n, int n_species);
// Reads the restart snapshot as res_inp would and checks it (n data records,
// every value finite, density and temperature positive) without changing
// the state: an InputError names what is wrong.
void check_restart_file(State& s, int n);
// The snapshot `name` (relative to the working directory) read and checked
// as the restart reads it; with operators, the state made from it. `origin`
// says where the name comes from, in the message of a missing file.
void read_snapshot_state(State& s, const std::string& name, int n, OperatorSet* ops, const Message& origin);

}  // namespace fiamma
