// The companion of a snapshot: ".<snapshot name>.stato" beside it, holding
// what a restart needs to go on as if the run had not stopped and that the
// snapshot's own format does not hold: the transported fields on their own
// points to the last bit (the snapshot holds node values) and the
// temperature (the divergence is computed afresh before it is read), the time, the
// front tracker's running means, positions and window histories, and the
// anchoring controller's held inflow momentum. It names the snapshot it
// belongs to by the hash of its bytes, so that a snapshot replaced or edited
// afterwards is restarted from as it is, without it.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "core/shared_state.hpp"
#include "diagnostics/front_tracking.hpp"

namespace fiamma {

inline constexpr const char* kCompanionSuffix = ".stato";
inline constexpr const char* kCompanionFormat = "fiamma-stato 1";

// ".NAME.stato" in the folder of `snapshot`.
std::filesystem::path companion_path(const std::filesystem::path& snapshot);

struct Continuation {
  std::filesystem::path companion;  // where it was read from
  int it = 0;                       // the iteration whose end state it holds
  double t = 0.0;
  double inflow_momentum = 0.0, blow = 0.0;
  int n = 0;
  std::array<std::vector<double>, kSlots + 1> vvar;  // slots 1..7, points 1..n at [0..n-1]
  double vvar_2 = 0.0;
  std::vector<double> temperature;
  // the tracker, for a flame
  bool front = false;
  int first_it = 0, n_avg = 0, n_stab = 0;
  std::vector<double> front_values;  // in the order of front_value_names()
  std::vector<double> s_last, w_ass_last, varianza_last;
};

// What the driver hands to the writer besides the state.
struct ContinuationInput {
  int it = 0;  // the iteration whose end state the snapshot holds
  double inflow_momentum = 0.0, blow = 0.0;
  const FrontTracker* front = nullptr;  // null: no flame
  int n_stab = 0;
};

// The companion's text for the snapshot `snapshot` whose bytes hash to `hash`.
std::string continuation_text(const State& s, const std::filesystem::path& snapshot, std::uint64_t hash,
                              const ContinuationInput& in);

// The companion of the snapshot at `snapshot` (relative to the working
// directory), whose bytes are `snapshot_text`: none when there is no
// companion or when it belongs to other bytes (`note` then says so). A
// companion that cannot be read or does not fit n points is an InputError.
std::optional<Continuation> read_continuation(const State& s, const std::filesystem::path& snapshot,
                                              const std::string& snapshot_text, int n, std::string& note);

// The fields and the time of `c` into the state; the tracker's values into `f`.
void restore_fields(State& s, const Continuation& c);
void restore_front(FrontTracker& f, const Continuation& c);

}  // namespace fiamma
