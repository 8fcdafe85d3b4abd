#include "driver/safe_points.hpp"

#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <ostream>
#include <string>

#include "core/console_buffer.hpp"
#include "core/errors.hpp"

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
  installed_ = true;
  struct sigaction action {};
  action.sa_handler = on_signal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;  // no restart: a pause for the operator returns at once
  sigaction(SIGINT, &action, &g_previous_int);
  sigaction(SIGTERM, &action, &g_previous_term);
}

SignalGuard::~SignalGuard() { release(); }

int SignalGuard::release() {
  if (!installed_) return 0;
  installed_ = false;
  // Both blocked while the handlers change: a signal in between waits in the
  // kernel and is taken here.
  sigset_t both, before;
  sigemptyset(&both);
  sigaddset(&both, SIGINT);
  sigaddset(&both, SIGTERM);
  sigprocmask(SIG_BLOCK, &both, &before);
  sigaction(SIGINT, &g_previous_int, nullptr);
  sigaction(SIGTERM, &g_previous_term, nullptr);
  int received = g_signal;
  const timespec none{0, 0};
  for (int got; (got = sigtimedwait(&both, nullptr, &none)) > 0;) {
    if (received == 0) received = got;
  }
  g_signal = 0;
  sigprocmask(SIG_SETMASK, &before, nullptr);
  return received;
}

int pending_signal() { return g_signal; }

NonFiniteValue find_non_finite(const FrontTracker& f) {
  const std::pair<Msg, double> values[] = {
      {"x_m (ascissa del fronte)"_it, f.x_m}, {"s (velocità del fronte)"_it, f.s},
      {"del (spessore del fronte)"_it, f.del}, {"w_in (velocità di ingresso)"_it, f.w_in},
      {"s_cons (velocità di consumo)"_it, f.s_cons}, {"var (varianza di stabilizzazione)"_it, f.var},
  };
  for (const auto& [name, value] : values) {
    if (!std::isfinite(value)) return {name, "punto"_it, 0, value};
  }
  return {};
}

void check_output_stream(std::ostream& os, const char* what) {
  if (os.good()) return;
  // the console's own buffer knows why; otherwise the flush once more
  const auto* console = dynamic_cast<const ConsoleBuffer*>(std::cout.rdbuf());
  errno = 0;
  os.clear();
  os.flush();
  const int error = console != nullptr && console->error() != 0 ? console->error() : errno != 0 ? errno : EIO;
  os.setstate(std::ios::badbit);
  throw WriteError(say("{1}: impossibile scrivere ({2}); la console va in un file, una pipe o un dispositivo che non la riceve"_it,
                       {std::string_view(what), std::string_view(std::strerror(error))}));
}

void check_console(State& s) {
  if (s.out().good()) return;
  check_output_stream(s.out(), "standard output");
}

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
