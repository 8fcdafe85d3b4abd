#include "driver/safe_points.hpp"

#include <cmath>
#include <csignal>

namespace fiamma {

namespace {

// The one piece of global state: set by the signal handler, read between
// steps.
volatile std::sig_atomic_t g_signal = 0;

struct sigaction g_previous_int {};
struct sigaction g_previous_term {};

extern "C" void on_signal(int signal_number) {
  if (g_signal != 0) {
    // The second signal: the default action, now.
    std::signal(signal_number, SIG_DFL);
    std::raise(signal_number);
    return;
  }
  g_signal = signal_number;
}

double deviation_sum(const Field& f, int last) {
  double sum = 0.0;
  for (int i = 1; i <= last; ++i) sum += f[i] - f[i];
  return sum;
}

}  // namespace

SignalGuard::SignalGuard() {
  g_signal = 0;
  struct sigaction action {};
  action.sa_handler = on_signal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;  // no restart: a pause for the operator returns at once
  sigaction(SIGINT, &action, &g_previous_int);
  sigaction(SIGTERM, &action, &g_previous_term);
}

SignalGuard::~SignalGuard() {
  sigaction(SIGINT, &g_previous_int, nullptr);
  sigaction(SIGTERM, &g_previous_term, nullptr);
  g_signal = 0;
}

int pending_signal() { return g_signal; }

Message signal_name(int signal_number) {
  switch (signal_number) {
    case SIGINT: return std::string("SIGINT");
    case SIGTERM: return std::string("SIGTERM");
    default: return "un segnale"_it;
  }
}

NonFiniteValue find_non_finite(const State& s) {
  const int n = s.settings.n;
  struct Checked {
    const Field& f;
    int last;
    Msg name;
    Msg points;
  };
  const Checked fields[] = {
      {s.vvar[1], n - 1, "rho (densità)"_it, "punto"_it},
      {s.vvar[2], n - 1, "rho*y1 (combustibile)"_it, "punto"_it},
      {s.vvar[3], n - 1, "rho*y2 (ossidante)"_it, "punto"_it},
      {s.vvar[4], n, "rho*v (quantità di moto)"_it, "nodo"_it},
  };
  NonFiniteValue found;
  for (const auto& c : fields) {
    if (!std::isnan(deviation_sum(c.f, c.last))) continue;
    for (int i = 1; i <= c.last; ++i) {
      if (!std::isfinite(c.f[i])) {
        found = {c.name, c.points, i, c.f[i]};
        return found;
      }
    }
  }
  if (!std::isfinite(s.vvar_2)) found = {"P (pressione termodinamica)"_it, "punto"_it, 1, s.vvar_2};
  return found;
}

}  // namespace fiamma
