#include "driver/progress.hpp"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace fiamma {

namespace {

constexpr auto kRedraw = std::chrono::milliseconds(250);
constexpr double kCheckSeconds = 0.05;  // aim between two clock readings

int columns(int fd) {
  winsize ws{};
  if (::ioctl(fd, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 0) return ws.ws_col;
  return 80;
}

// Seconds as h:mm:ss or m:ss into `out`.
void clock_text(double seconds, char* out, std::size_t size) {
  if (!(seconds >= 0.0) || seconds > 1e8) {
    std::snprintf(out, size, "--:--");
    return;
  }
  const long long total = static_cast<long long>(seconds + 0.5);
  const long long h = total / 3600, m = (total / 60) % 60, sec = total % 60;
  if (h > 0) {
    std::snprintf(out, size, "%lld:%02lld:%02lld", h, m, sec);
  } else {
    std::snprintf(out, size, "%lld:%02lld", m, sec);
  }
}

}  // namespace

void Progress::attach(int fd, Voice voice) {
  voice_ = voice;
  fd_ = fd >= 0 && ::isatty(fd) ? fd : -1;
  if (fd_ >= 0) width_ = columns(fd_);
}

void Progress::begin(bool sweep, int k, int count, int it_start, int it_end, bool flame) {
  sweep_ = sweep;
  k_ = k;
  count_ = count;
  it_start_ = it_begin_ = it_last_check_ = it_start;
  it_end_ = it_end;
  flame_ = flame;
  countdown_ = interval_ = 1;
  drawn_once_ = false;
  if (fd_ < 0) return;
  width_ = columns(fd_);
  begun_ = last_check_ = last_draw_ = Clock::now();
}

void Progress::check(int it, double t, double x_m, double s) {
  const auto now = Clock::now();
  const double since = std::chrono::duration<double>(now - last_check_).count();
  const int steps = it - it_last_check_;
  if (since > 0.0 && steps > 0) {
    interval_ = static_cast<int>(std::clamp(steps * kCheckSeconds / since, 1.0, 10000.0));
  }
  countdown_ = interval_;
  last_check_ = now;
  it_last_check_ = it;
  if (!drawn_once_ || now - last_draw_ >= kRedraw) {
    last_draw_ = now;
    drawn_once_ = true;
    draw(it, t, x_m, s, false);
  }
}

void Progress::draw(int it, double t, double x_m, double s, bool final) {
  const double elapsed = std::chrono::duration<double>(Clock::now() - begun_).count();
  const int done = it - it_begin_;
  const double rate = elapsed > 0.0 && done > 0 ? done / elapsed : 0.0;
  char when[32];
  if (final) {
    clock_text(elapsed, when, sizeof when);
  } else {
    const double left = static_cast<double>(std::max(0, it_end_ - it)) +
                        (sweep_ ? static_cast<double>(count_ - k_) * std::max(0, it_end_ - it_start_) : 0.0);
    clock_text(rate > 0.0 ? left / rate : -1.0, when, sizeof when);
  }
  // '\r', the text, blanks over the rest of the previous line
  char* p = line_;
  const std::size_t room = sizeof line_ - 1;
  int len = 1;
  line_[0] = '\r';
  auto add = [&](int written) {
    if (written > 0) len = std::min<int>(static_cast<int>(room) - 1, len + written);
  };
  const std::string_view sweep = voice_("andamento"_it);
  const std::string_view left = final ? voice_("durata"_it) : voice_("mancano"_it);
  if (sweep_) {
    add(std::snprintf(p + len, room - len, "%.*s %d/%d  ", static_cast<int>(sweep.size()), sweep.data(), k_, count_));
  }
  add(std::snprintf(p + len, room - len, "it %d/%d  t %.6g  %.0f it/s  %.*s %s", it, it_end_, t, rate,
                    static_cast<int>(left.size()), left.data(), when));
  if (flame_) add(std::snprintf(p + len, room - len, "  x_m %.6g  s %.3g", x_m, s));
  // stay inside the terminal's width, or the line would wrap and never be
  // rewritten in place
  const int visible = std::min(len - 1, std::max(1, width_ - 1));
  len = 1 + visible;
  const int pad = std::min<int>(std::max(0, shown_ - visible), static_cast<int>(room) - len);
  std::memset(p + len, ' ', static_cast<std::size_t>(pad));
  put(line_, len + pad);
  shown_ = visible;
}

void Progress::end(int it, double t, double x_m, double s) {
  if (fd_ < 0) return;
  draw(it, t, x_m, s, true);
  put("\n", 1);
  shown_ = 0;
}

void Progress::clear() {
  if (fd_ < 0 || shown_ == 0) return;
  const int n = std::min<int>(shown_, static_cast<int>(sizeof line_) - 2);
  line_[0] = '\r';
  std::memset(line_ + 1, ' ', static_cast<std::size_t>(n));
  line_[n + 1] = '\r';
  put(line_, n + 2);
  shown_ = 0;
}

void Progress::close() {
  if (fd_ < 0 || shown_ == 0) return;
  put("\n", 1);
  shown_ = 0;
}

void Progress::put(const char* text, int length) {
  while (length > 0) {
    const ssize_t w = ::write(fd_, text, static_cast<std::size_t>(length));
    if (w < 0) {
      if (errno == EINTR) continue;
      return;  // a terminal that went away: nothing to report it to
    }
    text += w;
    length -= static_cast<int>(w);
  }
}

ProgressConsole::int_type ProgressConsole::overflow(int_type c) {
  if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
  progress_.clear();
  return target_->sputc(traits_type::to_char_type(c));
}

std::streamsize ProgressConsole::xsputn(const char* s, std::streamsize n) {
  progress_.clear();
  return target_->sputn(s, n);
}

}  // namespace fiamma
