// LU factorisation of a band matrix with partial pivoting, the interchanges
// applied in sequence as LAPACK's band factorisation applies them: row i
// holds the columns i - kl .. i + kl + ku, the extra kl for the fill-in of
// the interchanges. Storage is allocated by reset(), never by factor() or
// solve().
#pragma once

#include <vector>

namespace fiamma {

class BandLU {
 public:
  // An n by n matrix of kl sub- and ku super-diagonals, all zero.
  void reset(int n, int kl, int ku);
  // Clears the entries, keeping the shape.
  void clear();
  int size() const { return n_; }
  bool in_band(int i, int j) const { return j - i >= -kl_ && j - i <= ku_; }
  double& at(int i, int j) { return a_[static_cast<std::size_t>(i) * w_ + static_cast<std::size_t>(j - i + kl_)]; }
  // In place; false on a zero pivot.
  bool factor();
  // b <- A^-1 b, after factor().
  void solve(double* b) const;

 private:
  double get(int i, int j) const { return a_[static_cast<std::size_t>(i) * w_ + static_cast<std::size_t>(j - i + kl_)]; }
  int n_ = 0, kl_ = 0, ku_ = 0, w_ = 1;
  std::vector<double> a_;
  std::vector<int> pivot_;
};

}  // namespace fiamma
