// Tecplot field snapshots in primitive variables, one line per node.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>

#include "core/shared_state.hpp"
#include "operators/operators.hpp"

namespace fiamma {

inline constexpr const char* kSnapshotHeader =
    "VARIABLES = \"x\", \"rho\", \"v\", \"th\",\"vh\",\"vp\",\"vm\",\"y1\",\"y2\",\"wwx\"";

// Writes "<tag>pr<it, 6 digits>.dat" under the configured prefixes, whole or
// not at all; returns its name relative to the working directory. When given,
// `before_rename` runs once the file is written whole under its temporary
// name, with the name and the hash of its bytes (its companion goes into
// place first).
std::filesystem::path out_tec_prim(
    State& s, OperatorSet& ops, int n, int n_species,
    const std::function<void(const std::filesystem::path&, std::uint64_t)>& before_rename = {});

}  // namespace fiamma
