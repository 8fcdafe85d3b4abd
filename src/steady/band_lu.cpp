#include "steady/band_lu.hpp"

#include <algorithm>
#include <cmath>
#include <utility>

namespace fiamma {

void BandLU::reset(int n, int kl, int ku) {
  n_ = n;
  kl_ = kl;
  ku_ = ku;
  w_ = 2 * kl + ku + 1;
  a_.assign(static_cast<std::size_t>(n_) * static_cast<std::size_t>(w_), 0.0);
  pivot_.assign(static_cast<std::size_t>(n_), 0);
}

void BandLU::clear() { std::fill(a_.begin(), a_.end(), 0.0); }

bool BandLU::factor() {
  for (int k = 0; k < n_; ++k) {
    const int last = std::min(n_ - 1, k + kl_);
    int p = k;
    double big = std::fabs(at(k, k));
    for (int r = k + 1; r <= last; ++r) {
      if (std::fabs(at(r, k)) > big) {
        big = std::fabs(at(r, k));
        p = r;
      }
    }
    if (!(big > 0.0)) return false;
    pivot_[k] = p;
    const int jmax = std::min(n_ - 1, k + kl_ + ku_);
    if (p != k) {
      for (int j = k; j <= jmax; ++j) std::swap(at(k, j), at(p, j));
    }
    const double inv = 1.0 / at(k, k);
    for (int r = k + 1; r <= last; ++r) {
      const double m = at(r, k) * inv;
      at(r, k) = m;
      if (m == 0.0) continue;
      for (int j = k + 1; j <= jmax; ++j) at(r, j) -= m * at(k, j);
    }
  }
  return true;
}

void BandLU::solve(double* b) const {
  for (int k = 0; k < n_; ++k) {
    if (pivot_[k] != k) std::swap(b[k], b[pivot_[k]]);
    const int last = std::min(n_ - 1, k + kl_);
    for (int r = k + 1; r <= last; ++r) b[r] -= get(r, k) * b[k];
  }
  for (int k = n_ - 1; k >= 0; --k) {
    double t = b[k];
    const int jmax = std::min(n_ - 1, k + kl_ + ku_);
    for (int j = k + 1; j <= jmax; ++j) t -= get(k, j) * b[j];
    b[k] = t / get(k, k);
  }
}

}  // namespace fiamma
