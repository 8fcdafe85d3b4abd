// The prepared form of the operators: each factored once, at its making, so
// that an application does right-hand-side work only, with several
// applications side by side as the lanes of one vector.
#pragma once

#include <array>
#include <iosfwd>
#include <memory>

#include "operators/operators.hpp"

namespace fiamma {

// One operator factored once: the multipliers of the elimination of its
// solved matrix, the reciprocals of the pivots, the eliminated sub-diagonal
// divided by its pivot, the sweep coefficients, and the constants of its
// boundary correction. An application multiplies where the elimination
// repeated at every call divides, so the results differ from the
// straightforward form's in the last digits. n = 0: not prepared (a zero
// pivot the elimination cannot pass).
struct PreparedOperator {
  int n = 0;
  bool staggered = false;  // solved on the n-1 staggered points
  std::array<const double*, 7> product{};  // the bands multiplying the input
  const double* homog_1 = nullptr;
  const double* homog_2 = nullptr;
  double r1 = 0, r2 = 0, r3 = 0, s1 = 0, s2 = 0, s3 = 0;  // first and last equations
  double p11 = 0, p12 = 0, pm1 = 0, pm2 = 0, inv_det = 0;
  Field lambda, elim_b_over_pivot, inv_pivot, sweep_u, sweep_v;
  // On a uniform grid the bands and the factors are the same bits on every
  // row away from the boundaries: rows forward_lo..forward_hi of the forward
  // pass (the seven product bands, lambda, elim_b_over_pivot, inv_pivot) and
  // rows back_lo..back_hi of the back substitution (sweep_u, sweep_v) are
  // applied with these values held in registers (an empty range: lo > hi).
  // The eight operators share one range (shared_rows); the pressure
  // operator, whose pivots drift, has none and is applied alone.
  int forward_lo = 1, forward_hi = 0, back_lo = 1, back_hi = 0;
  bool shared_rows = false;
  std::array<double, 7> band{};
  double lambda_c = 0, elim_b_over_pivot_c = 0, inv_pivot_c = 0, sweep_u_c = 0, sweep_v_c = 0;
};

// The interleaved right-hand sides of one pass: lane k of point i at
// [i * 4 + k].
struct alignas(32) LaneBuffer {
  std::array<double, 4 * (kCapacity + 1)> v;
};

class PreparedOperators final : public OperatorSet {
 public:
  PreparedOperators(std::shared_ptr<const OperatorBlocks> blocks, std::ostream& console, Voice voice = {});
  ~PreparedOperators() override;
  const PreparedOperator& prepared(Operator op) const { return ops_[index_of(op)]; }
  OperatorCounts counts() const override;

 private:
  void run(const Application* jobs, int count) override;
  std::array<PreparedOperator, kOperatorCount> ops_;
  LaneBuffer lanes_, lane_inputs_;
  // the straightforward form of the operators that could not be prepared
  std::unique_ptr<StraightforwardOperators> unprepared_;
  long long solves_ = 0;
};

}  // namespace fiamma
