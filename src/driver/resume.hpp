// A restart that continues a run: the companion beside each snapshot written,
// read back when a restart starts from that snapshot, the checks before such
// a restart, and the command that continues an interrupted run.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "core/shared_state.hpp"
#include "driver/simulation.hpp"

namespace fiamma {

// Whether the run writes snapshot number k (the initial state, every it_out
// steps, one past the last step).
bool writes_snapshot(const Tempo& t, long long k);

// Writes the companion of the snapshot `snapshot` (relative to the working
// directory, bytes hashing to `hash`) holding the end state of iteration
// `it`, and removes the one this simulation wrote before; returns its path.
std::filesystem::path write_companion(State& s, MainValues& mv, const std::filesystem::path& snapshot,
                                      std::uint64_t hash, int it);

// A restart's start, right after the snapshot was read: the source noted,
// the history set to be continued and, when the snapshot has its companion,
// the fields, the time and the tracker restored from it; the held inflow
// momentum it gives back, if any.
std::optional<double> resume_from_companion(State& s, MainValues& mv);

// Why a restart cannot go on from its snapshot, before anything is written:
// a companion that cannot be read, is of another iteration than it_start or
// of another window n_stab, and a later snapshot of the run that would
// replace the source.
std::vector<std::string> restart_problems(State& s);

// The shell command, run in the same folder, that continues a run from its
// snapshot `snapshot` holding the end state of iteration `it`: the program
// with the arguments it was started with, and the restart set by --set.
std::string resume_command(const State& s, const std::vector<std::string>& args,
                           const std::filesystem::path& snapshot, int it);
// The program with the arguments it was started with, as a shell command.
std::string rerun_command(const std::vector<std::string>& args);

}  // namespace fiamma
