// The progress line: when standard error is a terminal, one line there that
// rewrites itself in place a few times per second with the sweep step, the
// iteration, the time, the speed, the time left and, for a flame, the front.
// Nothing at all when standard error is not a terminal.
#pragma once

#include <chrono>
#include <ostream>
#include <streambuf>

#include "core/messages.hpp"

namespace fiamma {

class Progress {
 public:
  using Clock = std::chrono::steady_clock;

  // Draws on `fd` when it is a terminal, in the words of `voice`; otherwise,
  // and by default, never.
  void attach(int fd, Voice voice = {});
  bool enabled() const { return fd_ >= 0; }

  // A simulation begins: sweep step k of count (sweep false: a single run),
  // iterations it_start+1 .. it_end.
  void begin(bool sweep, int k, int count, int it_start, int it_end, bool flame);
  // After a time step: reads the clock only every few steps, redraws at most
  // every quarter of a second.
  void step(int it, double t, double x_m, double s) {
    if (fd_ < 0 || --countdown_ > 0) return;
    check(it, t, x_m, s);
  }
  // The simulation's end: the last state, ended by a newline.
  void end(int it, double t, double x_m, double s);
  // Takes the line off the screen (before other text is written there).
  void clear();
  // The program's end: a shown line is ended by a newline.
  void close();

 private:
  void check(int it, double t, double x_m, double s);
  void draw(int it, double t, double x_m, double s, bool final);
  void put(const char* text, int length);

  int fd_ = -1;
  Voice voice_;
  int width_ = 80;  // terminal columns
  bool sweep_ = false, flame_ = false;
  int k_ = 1, count_ = 1, it_start_ = 0, it_end_ = 0;
  int countdown_ = 1, interval_ = 1;  // steps between two clock readings
  int shown_ = 0;                     // characters of the line on the screen
  int it_begin_ = 0;                  // first iteration timed
  Clock::time_point begun_{}, last_check_{}, last_draw_{};
  int it_last_check_ = 0;
  bool drawn_once_ = false;
  char line_[320]{};
};

// A console that takes the progress line off the screen before each write,
// so that report lines never land after it; the bytes pass unchanged.
class ProgressConsole : public std::streambuf {
 public:
  ProgressConsole(std::streambuf* target, Progress& progress) : target_(target), progress_(progress) {}

 protected:
  int_type overflow(int_type c) override;
  std::streamsize xsputn(const char* s, std::streamsize n) override;
  int sync() override { return target_->pubsync(); }

 private:
  std::streambuf* target_;
  Progress& progress_;
};

}  // namespace fiamma
