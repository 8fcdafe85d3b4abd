#include "diagnostics/settled.hpp"

#include <cmath>
#include <limits>

namespace fiamma {

bool settled_within(double gap, double tolerance) { return gap <= 0.5 * tolerance; }

void RateWindows::reset(int window) {
  window_ = window;
  in_window_ = 0;
  sum_ = 0.0;
  means_ = {};
  windows_ = 0;
}

void RateWindows::add(double rate) {
  if (window_ < 2) return;
  sum_ += rate;
  if (++in_window_ < window_) return;
  means_[0] = means_[1];
  means_[1] = means_[2];
  means_[2] = sum_ / window_;
  ++windows_;
  in_window_ = 0;
  sum_ = 0.0;
}

double RateWindows::gap(double newest) const {
  if (windows_ < 3) return std::numeric_limits<double>::quiet_NaN();
  const double m3 = means_[2];
  const double d1 = means_[1] - means_[0], d2 = m3 - means_[1];
  const double r = d1 != 0.0 ? d2 / d1 : 0.0;
  const double remaining = r > 0.0 && r < 1.0 ? std::fabs(d2) * (r / (1.0 - r) + 0.5) : 10.0 * std::fabs(d2);
  return (remaining + std::fabs(newest - m3)) / std::fabs(m3);
}

}  // namespace fiamma
