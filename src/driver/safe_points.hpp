// Where a run may end early without leaving anything half done: between
// steps. A field that stopped being finite, and SIGINT or SIGTERM, are
// noticed there.
#pragma once

#include <optional>
#include <ostream>

#include "core/shared_state.hpp"
#include "diagnostics/front_tracking.hpp"

namespace fiamma {

// SIGINT and SIGTERM handlers for the duration of a run: the first signal
// is remembered and the run ends at its next safe point; a second one ends
// the process at once. The earlier handlers come back on destruction.
class SignalGuard {
 public:
  SignalGuard();
  ~SignalGuard();
  // The end of the run: the earlier handlers back, and the signal that came
  // since the guard was installed (0 if none), including one that came while
  // the handlers were being put back, which is taken instead of being
  // delivered. Afterwards a signal has its earlier effect.
  int release();
  SignalGuard(const SignalGuard&) = delete;
  SignalGuard& operator=(const SignalGuard&) = delete;

 private:
  bool installed_ = false;
};

// The signal received since the guard was installed, or 0.
int pending_signal();
// "SIGINT", "SIGTERM" or "a signal".
Message signal_name(int signal_number);

// The first value of a transported field that is not finite.
struct NonFiniteValue {
  std::optional<Msg> field;  // none: every value is finite
  Msg points = "punto"_it;   // "point" (staggered) or "node"
  int point = 0;             // 0: a single value (a tracker output)
  double value = 0.0;
};

// Density, fuel, oxidizer (staggered points 1..n-1), momentum (nodes 1..n)
// and the thermodynamic pressure. A sum of x - x over each field is NaN
// exactly when one value is not finite, so a finite state costs one pass
// without branches; only a failed sum is searched.
NonFiniteValue find_non_finite(const State& s);
// The first of the tracker's outputs x_m, s, del, w_in, s_cons, var that is
// not finite.
NonFiniteValue find_non_finite(const FrontTracker& f);

// The console (standard output) after a write that failed: a WriteError with
// the system's reason (a full disk, a file-size limit, a closed pipe).
void check_console(State& s);
// The same for any stream the program writes its messages to.
void check_output_stream(std::ostream& os, const char* what);
}  // namespace fiamma
