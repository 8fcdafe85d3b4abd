// The compact operators as objects: an operator set, built once per grid,
// applies each of the nine operators to a field, one input at a time or
// several at once. Two forms implement it, the prepared one (the default)
// and the straightforward one; make_operator_set chooses between them.
#pragma once

#include <initializer_list>
#include <iosfwd>
#include <memory>

#include "core/shared_state.hpp"
#include "operators/blocks.hpp"

namespace fiamma {

// One application: u = the operator applied to f, f and u distinct arrays.
// Node arrays hold entries 1..n, staggered arrays 1..n-1; a staggered result
// also has an entry n (the operator's reproducing row, 0 for the pressure
// operator), which callers ignore.
struct Application {
  Operator op;
  const Field* f;
  Field* u;
};

// Five-band right-hand sides solved and results reused, since the set was
// made (for the benchmarks).
struct OperatorCounts {
  long long solves = 0;
  long long reused = 0;
};

class OperatorSet {
 public:
  virtual ~OperatorSet() = default;
  OperatorSet(const OperatorSet&) = delete;
  OperatorSet& operator=(const OperatorSet&) = delete;

  int n() const { return blocks_->n; }
  const OperatorBlocks& blocks() const { return *blocks_; }
  const std::shared_ptr<const OperatorBlocks>& shared_blocks() const { return blocks_; }

  void apply(Operator op, const Field& f, Field& u) {
    const Application a{op, &f, &u};
    run(&a, 1);
  }
  // Several inputs of one operator (f[j] -> u[j]; side by side in groups of
  // up to 8).
  void apply_many(Operator op, std::initializer_list<const Field*> f, std::initializer_list<Field*> u);
  // Independent applications, of one operator or of different ones (no
  // output is another application's input; side by side in groups of up to
  // 8). The results are those of one apply each, bit for bit, in either form.
  void apply_together(std::initializer_list<Application> jobs) {
    run(jobs.begin(), static_cast<int>(jobs.size()));
  }
  virtual OperatorCounts counts() const = 0;

 protected:
  explicit OperatorSet(std::shared_ptr<const OperatorBlocks> blocks) : blocks_(std::move(blocks)) {}
  // The applications jobs[0..count): each form's own work.
  virtual void run(const Application* jobs, int count) = 0;
  static void run_on(OperatorSet& set, const Application* jobs, int count) { set.run(jobs, count); }

 private:
  std::shared_ptr<const OperatorBlocks> blocks_;
};

// The straightforward form: every application forms B f, eliminates the
// solved matrix and sweeps (der_comp3_sing), then corrects by the two
// homogeneous solutions; applications run one at a time, in the order given.
class StraightforwardOperators final : public OperatorSet {
 public:
  StraightforwardOperators(std::shared_ptr<const OperatorBlocks> blocks, std::ostream& console, Voice voice = {});
  ~StraightforwardOperators() override;
  void apply_one(Operator op, const Field& f, Field& u);
  OperatorCounts counts() const override { return {solves_, 0}; }

 private:
  struct Work;
  void run(const Application* jobs, int count) override;
  std::ostream& console_;
  Voice voice_;
  std::unique_ptr<Work> work_;
  long long solves_ = 0;
};

// Results reused: a wrapper around a set that keeps the last results of the
// operators named at its making, with the inputs they came from, and gives a
// kept result back for an input equal to the kept one bit for bit (the
// interpolation to the nodes and the node derivative see the same density,
// temperature and fuel several times per stage).
class ReusedResults final : public OperatorSet {
 public:
  ReusedResults(std::unique_ptr<OperatorSet> inner, std::initializer_list<Operator> remembered);
  ~ReusedResults() override;
  OperatorCounts counts() const override;

 private:
  struct Kept;
  void run(const Application* jobs, int count) override;
  bool recall(const Application& a);
  void remember(const Application& a);
  std::unique_ptr<OperatorSet> inner_;
  std::array<bool, kOperatorCount> remembered_{};
  std::unique_ptr<Kept[]> kept_;
  unsigned long long clock_ = 0;
  long long reused_ = 0;
};

// The matrices of the nine operators for discr.i_thom and grid, with their
// homogeneous solutions. The simulation needs the staggered operators and
// the pressure operator, which exist only with i_thom = 2 on a uniform grid:
// any other combination prints its reason and stops the run.
std::unique_ptr<OperatorBlocks> assemble_operators(State& s, int n);
// The node operators alone (comp1 first derivative, comp7 second derivative)
// for the configured i_thom and grid, with their homogeneous solutions.
std::unique_ptr<OperatorBlocks> assemble_node_operators(State& s, int n);

// Homogeneous solutions of the five-band matrix A on n points (i_thom 1 or
// 2), and on the n-1 staggered points.
void ini_comp2(State& s, int n, const FiveBands& A, PentaWork& w, double* rhs, double* homog_1, double* homog_2);
void ini_comp2_n_meno_1(State& s, int n, const FiveBands& A, PentaWork& w, double* rhs, double* homog_1,
                        double* homog_2);
// One straightforward application u = A^-1 B f of a block (u distinct from f).
void der_comp3_sing(int n, double* u, const double* f, const OperatorBlock& k, PentaWork& w,
                    std::ostream& console, Voice voice = {});

// The operator set of the blocks in the given form, with results reused:
// the one place where the form is chosen.
std::unique_ptr<OperatorSet> make_operator_set(std::unique_ptr<const OperatorBlocks> blocks, OperatorForm form,
                                               std::ostream& console, Voice voice = {});
// The nine operators of the grid (assemble_operators) in the run's form
// (State::options.operator_form).
std::unique_ptr<OperatorSet> setup_operators(State& s, int n);

}  // namespace fiamma
