#include "operators/operators.hpp"

#include <cstring>
#include <memory>
#include <utility>

#include "core/errors.hpp"
#include "core/free_format.hpp"
#include "operators/assembly.hpp"
#include "operators/prepared.hpp"

namespace fiamma {

// ---- the blocks

const char* name_of(Operator op) {
  static constexpr const char* kNames[kOperatorCount] = {
      "der_prima",       "der_prima_st",    "inter_ns_st", "inter_st_ns",       "der_prima_ns_st",
      "der_prima_st_ns", "der_seconda",     "der_seconda_st", "poisson_neu_st_new"};
  return kNames[index_of(op)];
}

const OperatorBlock& OperatorBlocks::operator[](Operator op) const {
  const OperatorBlock* k[kOperatorCount] = {&comp1, &comp2, &comp3, &comp4, &comp5, &comp6, &comp7, &comp8, &comp13};
  return *k[index_of(op)];
}

OperatorBlock& OperatorBlocks::operator[](Operator op) {
  return const_cast<OperatorBlock&>(static_cast<const OperatorBlocks&>(*this)[op]);
}

FiveBands lhs_bands(const OperatorBlock& k) {
  return {k.a.data(), k.b.data(), k.c.data(), k.d.data(), k.e.data()};
}

SevenBands rhs_bands(const OperatorBlock& k) {
  return {k.aB.data(), k.bB.data(), k.cB.data(), k.dB.data(), k.eB.data(), k.fB.data(), k.gB.data()};
}

// The pressure operator is solved on its right-hand bands bB..fB; its
// left-hand bands, with zero outer bands, multiply the source.
SevenBands OperatorBlocks::product(Operator op) const {
  const OperatorBlock& k = (*this)[op];
  if (!solved_on_staggered(op)) return rhs_bands(k);
  return {zero.data(), k.a.data(), k.b.data(), k.c.data(), k.d.data(), k.e.data(), zero.data()};
}

FiveBands OperatorBlocks::solved(Operator op) const {
  const OperatorBlock& k = (*this)[op];
  if (!solved_on_staggered(op)) return lhs_bands(k);
  return {k.bB.data(), k.cB.data(), k.dB.data(), k.eB.data(), k.fB.data()};
}

std::array<double, 3> OperatorBlocks::first_equation(Operator op) const {
  const OperatorBlock& k = (*this)[op];
  if (!solved_on_staggered(op)) return {k.c[1], k.d[1], k.e[1]};
  return {k.dB[1], k.eB[1], k.fB[1]};
}

std::array<double, 3> OperatorBlocks::last_equation(Operator op) const {
  const OperatorBlock& k = (*this)[op];
  if (!solved_on_staggered(op)) return {k.a[n], k.b[n], k.c[n]};
  const int m = n - 1;
  return {k.bB[m], k.cB[m], k.dB[m]};
}

// ---- set-up

namespace {

[[noreturn]] void stop_with(State& s, std::initializer_list<Msg> lines) {
  for (const Msg line : lines) s.out() << Line().text(s.voice(line));
  throw RunStopped(say("operatori non disponibili"_it));
}

// The work arrays of the homogeneous solutions.
struct SetupWork {
  PentaWork w;
  Field rhs;
};

void init_block(State& s, int n, OperatorBlock& k, SetupWork& w) {
  ini_comp2(s, n, lhs_bands(k), w.w, w.rhs.data(), k.homog_1.data(), k.homog_2.data());
}

}  // namespace

void ini_comp2(State& s, int n, const FiveBands& A, PentaWork& w, double* rhs, double* homog_1, double* homog_2) {
  if (s.discr.i_thom == 1) {
    zero_t(n, rhs);
    tridiag(n, 0.5, 0.5, A.b, A.c, A.d, rhs, w.sweep_s.data(), w.sweep_u.data(), homog_1);
    zero_t(n, rhs);
    tridiag(n, 0.5, -0.5, A.b, A.c, A.d, rhs, w.sweep_s.data(), w.sweep_u.data(), homog_2);
  } else if (s.discr.i_thom == 2) {
    zero_t(n, rhs);
    pentadiag(n, 0.1, 0.0, A, w, rhs, homog_1, s.out(), s.voice);
    zero_t(n, rhs);
    pentadiag(n, 0.0, 0.1, A, w, rhs, homog_2, s.out(), s.voice);
  }
}

void ini_comp2_n_meno_1(State& s, int n, const FiveBands& A, PentaWork& w, double* rhs, double* homog_1,
                        double* homog_2) {
  zero_t(n, rhs);
  pentadiag_n_meno_1(n, 0.1, 0.0, A, w, rhs, homog_1, s.out(), s.voice);
  zero_t(n, rhs);
  pentadiag_n_meno_1(n, 0.0, 0.1, A, w, rhs, homog_2, s.out(), s.voice);
}

std::unique_ptr<OperatorBlocks> assemble_node_operators(State& s, int n) {
  auto k = std::make_unique<OperatorBlocks>();
  k->n = n;
  if (s.discr.i_thom == 1) {
    if (s.grid == 0) {
      mat_eva_trid(s, n, k->comp1);
      mat_eva_trid_ds(s, n, k->comp7);
    } else {
      mat_eva_trid_nu(s, n, k->comp1);
      mat_eva_trid_nu_ds(s, n, k->comp7);
    }
  } else if (s.discr.i_thom == 2 && s.grid == 0) {
    mat_eva_penta(s, n, k->comp1);
    mat_eva_penta_ds(s, n, k->comp7);
  } else {
    return k;
  }
  auto w = std::make_unique<SetupWork>();
  init_block(s, n, k->comp1, *w);
  init_block(s, n, k->comp7, *w);
  return k;
}

std::unique_ptr<OperatorBlocks> assemble_operators(State& s, int n) {
  if (s.discr.i_thom == 2 && s.grid == 1) {
    stop_with(s, {"Derivate compatte pentadiagonali"_it, "per griglie non uniformi da implementare"_it,
                  "Per ora disponibili solo tridiagonali (i_thom=1)"_it, "PROGRAMMA INTERROTTO"_it});
  }
  if (s.discr.i_thom != 2) {
    stop_with(s, {"Operatori compatti con i_thom diverso da 2: mancano gli operatori sui punti"_it,
                  "sfalsati e l'operatore di pressione, necessari alla simulazione."_it,
                  "Usare i_thom=2 su griglia uniforme (grid=0)"_it, "PROGRAMMA INTERROTTO"_it});
  }
  auto k = std::make_unique<OperatorBlocks>();
  k->n = n;
  mat_eva_penta(s, n, k->comp1);
  mat_eva_der_st(s, n, k->comp2);
  mat_eva_inter_ns_st(s, n, k->comp3);
  mat_eva_inter_st_ns(s, n, k->comp4);
  mat_eva_der_ns_st(s, n, k->comp5);
  mat_eva_der_st_ns_per_thomas(s, n, k->comp6);
  mat_eva_penta_ds(s, n, k->comp7);
  mat_eva_der_ds_st(s, n, k->comp8);
  mat_eva_trid_ds_st_bc_ns_neumann_new(s, n, k->comp13);
  auto w = std::make_unique<SetupWork>();
  for (OperatorBlock* b : {&k->comp1, &k->comp2, &k->comp3, &k->comp4, &k->comp5, &k->comp6, &k->comp7, &k->comp8}) {
    init_block(s, n, *b, *w);
  }
  OperatorBlock& p = k->comp13;
  ini_comp2_n_meno_1(s, n, k->solved(Operator::poisson_neu_st_new), w->w, w->rhs.data(), p.homog_1.data(),
                     p.homog_2.data());
  k->staggered = true;
  return k;
}

// ---- the interface

void OperatorSet::apply_many(Operator op, std::initializer_list<const Field*> f, std::initializer_list<Field*> u) {
  Application jobs[8];
  int count = 0;
  auto out = u.begin();
  for (auto in = f.begin(); in != f.end() && out != u.end(); ++in, ++out) {
    jobs[count++] = {op, *in, *out};
    if (count == 8) {
      run(jobs, count);
      count = 0;
    }
  }
  if (count > 0) run(jobs, count);
}

// ---- the straightforward form

struct StraightforwardOperators::Work {
  PentaWork w;
  Field rhs;
};

StraightforwardOperators::StraightforwardOperators(std::shared_ptr<const OperatorBlocks> blocks,
                                                   std::ostream& console, Voice voice)
    : OperatorSet(std::move(blocks)), console_(console), voice_(voice), work_(std::make_unique<Work>()) {}

StraightforwardOperators::~StraightforwardOperators() = default;

void der_comp3_sing(int n, double* u, const double* f, const OperatorBlock& k, PentaWork& w,
                    std::ostream& console, Voice voice) {
  tp_eva2(n, rhs_bands(k), f, u);
  const double r1 = u[1], rn = u[n];
  pentadiag(n, 0.0, 0.0, lhs_bands(k), w, u, u, console, voice);
  sol_eva(n, u, k.homog_1.data(), k.homog_2.data(), k.c[1], k.d[1], k.e[1], k.a[n], k.b[n], k.c[n], r1, rn, u);
}

void StraightforwardOperators::apply_one(Operator op, const Field& f, Field& u) {
  const OperatorBlocks& k = blocks();
  const int n = k.n;
  ++solves_;
  if (!OperatorBlocks::solved_on_staggered(op)) {
    der_comp3_sing(n, u.data(), f.data(), k[op], work_->w, console_, voice_);
    return;
  }
  // the pressure operator: its left-hand side times f, solved on the n-1
  // staggered points with its right-hand bands
  const OperatorBlock& p = k[op];
  const int m = n - 1;
  double* w = work_->rhs.data();
  tp_eva2(n, k.product(op), f.data(), w);
  const double w1 = w[1], wm = w[m];
  pentadiag_n_meno_1(n, 0.0, 0.0, k.solved(op), work_->w, w, w, console_, voice_);
  const auto [r1, r2, r3] = k.first_equation(op);
  const auto [s1, s2, s3] = k.last_equation(op);
  sol_eva(m, w, p.homog_1.data(), p.homog_2.data(), r1, r2, r3, s1, s2, s3, w1, wm, u.data());
  u[n] = 0.0;
}

void StraightforwardOperators::run(const Application* jobs, int count) {
  for (int j = 0; j < count; ++j) apply_one(jobs[j].op, *jobs[j].f, *jobs[j].u);
}

// ---- results reused

struct ReusedResults::Kept {
  Operator op = Operator::der_prima;
  bool valid = false;
  unsigned long long used = 0;
  Field in, out;
};

namespace {
constexpr int kKeptResults = 6;
}

ReusedResults::ReusedResults(std::unique_ptr<OperatorSet> inner, std::initializer_list<Operator> remembered)
    : OperatorSet(inner->shared_blocks()), inner_(std::move(inner)),
      kept_(std::make_unique<Kept[]>(kKeptResults)) {
  for (Operator op : remembered) remembered_[index_of(op)] = true;
}

ReusedResults::~ReusedResults() = default;

OperatorCounts ReusedResults::counts() const { return {inner_->counts().solves, reused_}; }

bool ReusedResults::recall(const Application& a) {
  const std::size_t bytes = sizeof(double) * static_cast<std::size_t>(n());
  for (int j = 0; j < kKeptResults; ++j) {
    Kept& k = kept_[j];
    if (!k.valid || k.op != a.op) continue;
    if (std::memcmp(k.in.data() + 1, a.f->data() + 1, bytes) != 0) continue;
    std::memcpy(a.u->data() + 1, k.out.data() + 1, bytes);
    k.used = ++clock_;
    return true;
  }
  return false;
}

void ReusedResults::remember(const Application& a) {
  Kept* oldest = &kept_[0];
  for (int j = 0; j < kKeptResults; ++j) {
    Kept& k = kept_[j];
    if (!k.valid) {
      oldest = &k;
      break;
    }
    if (k.used < oldest->used) oldest = &k;
  }
  const std::size_t bytes = sizeof(double) * static_cast<std::size_t>(n());
  oldest->op = a.op;
  oldest->valid = true;
  oldest->used = ++clock_;
  std::memcpy(oldest->in.data() + 1, a.f->data() + 1, bytes);
  std::memcpy(oldest->out.data() + 1, a.u->data() + 1, bytes);
}

// The applications whose result is kept are taken from it; the others go to
// the wrapped set together, as they came.
void ReusedResults::run(const Application* jobs, int count) {
  while (count > 0) {
    const int chunk = count < 8 ? count : 8;
    Application todo[8];
    int left = 0;
    for (int j = 0; j < chunk; ++j) {
      const Application& a = jobs[j];
      if (remembered_[index_of(a.op)] && recall(a)) {
        ++reused_;
        continue;
      }
      todo[left++] = a;
    }
    if (left > 0) run_on(*inner_, todo, left);
    for (int j = 0; j < left; ++j) {
      if (remembered_[index_of(todo[j].op)]) remember(todo[j]);
    }
    jobs += chunk;
    count -= chunk;
  }
}

// ---- the choice of the form

std::unique_ptr<OperatorSet> make_operator_set(std::unique_ptr<const OperatorBlocks> blocks, OperatorForm form,
                                               std::ostream& console, Voice voice) {
  std::shared_ptr<const OperatorBlocks> shared(std::move(blocks));
  std::unique_ptr<OperatorSet> set;
  if (form == OperatorForm::straightforward) {
    set = std::make_unique<StraightforwardOperators>(std::move(shared), console, voice);
  } else {
    set = std::make_unique<PreparedOperators>(std::move(shared), console, voice);
  }
  return std::make_unique<ReusedResults>(std::move(set),
                                         std::initializer_list<Operator>{Operator::inter_st_ns, Operator::der_prima});
}

std::unique_ptr<OperatorSet> setup_operators(State& s, int n) {
  return make_operator_set(assemble_operators(s, n), s.options.operator_form, s.out(), s.voice);
}

}  // namespace fiamma
