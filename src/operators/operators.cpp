#include "operators/operators.hpp"

#include <cstring>

#include "driver/errors.hpp"
#include "operators/assembly.hpp"
#include "output/free_format.hpp"

namespace fiamma {

FiveBands lhs_bands(const OperatorBlock& k) {
  return {k.a.data(), k.b.data(), k.c.data(), k.d.data(), k.e.data()};
}

SevenBands rhs_bands(const OperatorBlock& k) {
  return {k.aB.data(), k.bB.data(), k.cB.data(), k.dB.data(), k.eB.data(), k.fB.data(), k.gB.data()};
}

namespace {

// The pressure operator is solved on its right-hand bands bB..fB.
FiveBands poisson_solved_bands(const OperatorBlock& k) {
  return {k.bB.data(), k.cB.data(), k.dB.data(), k.eB.data(), k.fB.data()};
}

void init_block(State& s, int n, OperatorBlock& k) {
  ini_comp2(s, n, lhs_bands(k), k.homog_1.data(), k.homog_2.data());
}

[[noreturn]] void stop_with(State& s, std::initializer_list<const char*> lines) {
  for (const char* line : lines) s.out() << Line().text(line);
  throw RunStopped("operatori non disponibili");
}

// ---- the fast form

enum OperatorId { kDerPrima, kDerPrimaSt, kInterNsSt, kInterStNs, kDerPrimaNsSt, kDerPrimaStNs, kDerSeconda,
                  kDerSecondaSt, kPoisson };
static_assert(static_cast<int>(Operator::der_seconda_st) == kDerSecondaSt &&
              static_cast<int>(Operator::inter_st_ns) == kInterStNs);

// Factors the five-band matrix A on n points as the solvers eliminate it at
// every call (same operations, same order). A zero pivot with a non-zero
// entry to eliminate leaves the operator unprepared: its applications then
// take the straightforward path, console lines included.
bool factor(PreparedOperator& p, int n, const FiveBands& A) {
  const double *a = A.a, *b = A.b, *c = A.c, *d = A.d, *e = A.e;
  double* lam = p.lambda.data();
  double* eb = p.elim_b_over_pivot.data();
  double* q = p.inv_pivot.data();
  double* su = p.sweep_u.data();
  double* sv = p.sweep_v.data();
  // elimination: rows 1 and 2 keep their bands
  // the eliminated b, c and d of row i wait in elim_b_over_pivot(i),
  // inv_pivot(i) and sweep_v(i) until the sweep replaces them
  eb[1] = b[1];
  eb[2] = b[2];
  lam[1] = lam[2] = 0.0;
  q[2] = c[2];
  sv[2] = d[2];
  for (int i = 3; i <= n; ++i) {
    const double piv = eb[i - 1];
    if (piv == 0.0 && a[i] != 0.0) return false;
    const double lambda = piv != 0.0 ? a[i] / piv : 0.0;
    lam[i] = lambda;
    eb[i] = b[i] - lambda * q[i - 1];
    q[i] = c[i] - lambda * sv[i - 1];
    sv[i] = d[i] - lambda * e[i - 1];
  }
  su[1] = 0.0;
  sv[1] = 0.0;
  for (int i = 2; i <= n; ++i) {
    const double ci = q[i], di = sv[i];
    const double qi = ci - eb[i] * su[i - 1];
    su[i] = (di - eb[i] * sv[i - 1]) / qi;
    sv[i] = e[i] / qi;
    q[i] = qi;
  }
  // an application multiplies by these instead of dividing by the pivots
  for (int i = 2; i <= n; ++i) {
    q[i] = 1.0 / q[i];
    eb[i] = eb[i] * q[i];
  }
  return true;
}

void prepare(PreparedOperator& p, int n, const FiveBands& solved, const SevenBands& product, bool staggered,
             const double* homog_1, const double* homog_2, double r1, double r2, double r3, double s1, double s2,
             double s3) {
  p.n = 0;
  if (!factor(p, n, solved)) return;
  p.staggered = staggered;
  p.product = {product.aB, product.bB, product.cB, product.dB, product.eB, product.fB, product.gB};
  p.homog_1 = homog_1;
  p.homog_2 = homog_2;
  p.r1 = r1;
  p.r2 = r2;
  p.r3 = r3;
  p.s1 = s1;
  p.s2 = s2;
  p.s3 = s3;
  const int m = staggered ? n - 1 : n;
  const double *g1 = homog_1, *g2 = homog_2;
  p.p11 = r1 * g1[1] + r2 * g1[2] + r3 * g1[3];
  p.p12 = r1 * g2[1] + r2 * g2[2] + r3 * g2[3];
  p.pm1 = s1 * g1[m - 2] + s2 * g1[m - 1] + s3 * g1[m];
  p.pm2 = s1 * g2[m - 2] + s2 * g2[m - 1] + s3 * g2[m];
  const double det = p.p11 * p.pm2 - p.pm1 * p.p12;
  p.inv_det = 1.0 / det;
  p.n = n;
}

void prepare_block(Operators& o, int id, int n, const OperatorBlock& k) {
  prepare(o.prepared[id], n, lhs_bands(k), rhs_bands(k), false, k.homog_1.data(), k.homog_2.data(), k.c[1], k.d[1],
          k.e[1], k.a[n], k.b[n], k.c[n]);
}

void forget_results(Operators& o) {
  for (OperatorMemo& m : o.memo) m.op = -1;
}

// K applications of prepared operators with interleaved right-hand sides
// (Same: all of one operator; otherwise application k uses operator ops[k]):
// the seven-band product, the elimination of the right-hand side and the
// forward sweep in one pass, the back substitution, the boundary correction.
// The forward sweep multiplies by the kept reciprocal pivot and the back
// substitution takes the farther neighbour first, so that each point waits
// for the previous one only one multiplication and one subtraction: the
// results agree with the straightforward form to rounding (a few units in
// the last place of the field's scale), not bit for bit. Interleaving
// overlaps these dependency chains; it does not change any result.
template <int K, bool Same>
void apply_prepared(const PreparedOperator* const* ops, int n, const double* const* f, double* const* u) {
  constexpr int P = Same ? 1 : K;
  const double *aB[P], *bB[P], *cB[P], *dB[P], *eB[P], *fB[P], *gB[P];
  const double *lam[P], *ebq[P], *rq[P], *su[P], *sv[P];
  for (int o = 0; o < P; ++o) {
    const PreparedOperator& p = *ops[o];
    aB[o] = p.product[0];
    bB[o] = p.product[1];
    cB[o] = p.product[2];
    dB[o] = p.product[3];
    eB[o] = p.product[4];
    fB[o] = p.product[5];
    gB[o] = p.product[6];
    lam[o] = p.lambda.data();
    ebq[o] = p.elim_b_over_pivot.data();
    rq[o] = p.inv_pivot.data();
    su[o] = p.sweep_u.data();
    sv[o] = p.sweep_v.data();
  }
  double el[K], sw[K], first[K], last[K];
  for (int k = 0; k < K; ++k) {
    const int o = Same ? 0 : k;
    const double* x = f[k];
    double* y = u[k];
    const double r1 = dB[o][1] * x[1] + eB[o][1] * x[2] + fB[o][1] * x[3] + gB[o][1] * x[4];
    const double r2 = cB[o][2] * x[1] + dB[o][2] * x[2] + eB[o][2] * x[3] + fB[o][2] * x[4] + gB[o][2] * x[5];
    const double r3 = bB[o][3] * x[1] + cB[o][3] * x[2] + dB[o][3] * x[3] + eB[o][3] * x[4] + fB[o][3] * x[5] +
                      gB[o][3] * x[6];
    first[k] = r1;
    y[1] = 0.0;
    el[k] = r2;
    sw[k] = r2 * rq[o][2];
    y[2] = sw[k];
    el[k] = r3 - lam[o][3] * el[k];
    sw[k] = el[k] * rq[o][3] - ebq[o][3] * sw[k];
    y[3] = sw[k];
  }
  for (int i = 4; i <= n - 3; ++i) {
    for (int k = 0; k < K; ++k) {
      const int o = Same ? 0 : k;
      const double* x = f[k];
      const double r = aB[o][i] * x[i - 3] + bB[o][i] * x[i - 2] + cB[o][i] * x[i - 1] + dB[o][i] * x[i] +
                       eB[o][i] * x[i + 1] + fB[o][i] * x[i + 2] + gB[o][i] * x[i + 3];
      el[k] = r - lam[o][i] * el[k];
      sw[k] = el[k] * rq[o][i] - ebq[o][i] * sw[k];
      u[k][i] = sw[k];
    }
  }
  for (int k = 0; k < K; ++k) {
    const int o = Same ? 0 : k;
    const bool staggered = ops[o]->staggered;
    const double* x = f[k];
    double* y = u[k];
    int i = n - 2;
    double r = aB[o][i] * x[i - 3] + bB[o][i] * x[i - 2] + cB[o][i] * x[i - 1] + dB[o][i] * x[i] +
               eB[o][i] * x[i + 1] + fB[o][i] * x[i + 2];
    el[k] = r - lam[o][i] * el[k];
    sw[k] = el[k] * rq[o][i] - ebq[o][i] * sw[k];
    y[i] = sw[k];
    i = n - 1;
    r = aB[o][i] * x[i - 3] + bB[o][i] * x[i - 2] + cB[o][i] * x[i - 1] + dB[o][i] * x[i] + eB[o][i] * x[i + 1];
    const double row_n_1 = r;
    el[k] = r - lam[o][i] * el[k];
    sw[k] = el[k] * rq[o][i] - ebq[o][i] * sw[k];
    y[i] = sw[k];
    i = n;
    r = aB[o][i] * x[i - 3] + bB[o][i] * x[i - 2] + cB[o][i] * x[i - 1] + dB[o][i] * x[i];
    last[k] = staggered ? row_n_1 : r;
    // the sweep value of row n is never read: x(n) is imposed
    y[n] = 0.0;
    y[n - 1] = staggered ? 0.0 : y[n - 1] - su[o][n - 1] * y[n];
  }
  for (int i = n - 2; i >= 1; --i) {
    for (int k = 0; k < K; ++k) {
      const int o = Same ? 0 : k;
      double* y = u[k];
      y[i] = (y[i] - sv[o][i] * y[i + 2]) - su[o][i] * y[i + 1];
    }
  }
  for (int k = 0; k < K; ++k) {
    const PreparedOperator& p = *ops[Same ? 0 : k];
    const int m = p.staggered ? n - 1 : n;
    const double *g1 = p.homog_1, *g2 = p.homog_2;
    double* y = u[k];
    const double t1 = first[k] - (p.r1 * y[1] + p.r2 * y[2] + p.r3 * y[3]);
    const double tm = last[k] - (p.s1 * y[m - 2] + p.s2 * y[m - 1] + p.s3 * y[m]);
    const double alpha = p.inv_det * (p.pm2 * t1 - p.p12 * tm);
    const double beta = -p.inv_det * (p.pm1 * t1 - p.p11 * tm);
    for (int i = 1; i <= m; ++i) y[i] = alpha * g1[i] + y[i] + beta * g2[i];
    if (p.staggered) y[n] = 0.0;
  }
}

// count applications, in passes of up to 4 interleaved right-hand sides.
template <bool Same>
void apply_prepared_many(const PreparedOperator* const* ops, int n, int count, const double* const* f,
                         double* const* u) {
  while (count > 0) {
    // five or six as two passes of three: a lone right-hand side would wait
    // on its own dependency chain
    const int pass = count == 5 || count == 6 ? 3 : count > 4 ? 4 : count;
    switch (pass) {
      case 1: apply_prepared<1, Same>(ops, n, f, u); break;
      case 2: apply_prepared<2, Same>(ops, n, f, u); break;
      case 3: apply_prepared<3, Same>(ops, n, f, u); break;
      default: apply_prepared<4, Same>(ops, n, f, u); break;
    }
    if (!Same) ops += pass;
    f += pass;
    u += pass;
    count -= pass;
  }
}

// Whether results of this operator are kept: the interpolation of the
// staggered values to the nodes and the node derivative see the same
// density, temperature and fuel several times per stage.
bool remembered(int id) { return id == kInterStNs || id == kDerPrima; }

bool recall(Operators& o, int id, int n, const double* f, double* u) {
  for (OperatorMemo& m : o.memo) {
    if (m.op != id || m.n != n) continue;
    if (std::memcmp(m.in.data() + 1, f + 1, sizeof(double) * static_cast<std::size_t>(n)) != 0) continue;
    std::memcpy(u + 1, m.out.data() + 1, sizeof(double) * static_cast<std::size_t>(n));
    m.used = ++o.memo_clock;
    return true;
  }
  return false;
}

void remember(Operators& o, int id, int n, const double* f, const double* u) {
  OperatorMemo* oldest = &o.memo[0];
  for (OperatorMemo& m : o.memo) {
    if (m.op < 0) {
      oldest = &m;
      break;
    }
    if (m.used < oldest->used) oldest = &m;
  }
  oldest->op = id;
  oldest->n = n;
  oldest->used = ++o.memo_clock;
  std::memcpy(oldest->in.data() + 1, f + 1, sizeof(double) * static_cast<std::size_t>(n));
  std::memcpy(oldest->out.data() + 1, u + 1, sizeof(double) * static_cast<std::size_t>(n));
}

// count applications of operator id: the fast form when the operator is
// prepared for n points, otherwise one straightforward call each.
void apply(State& s, int id, int n, int count, const Field* const* f, Field* const* u) {
  Operators& o = s.ops;
  const PreparedOperator& p = o.prepared[id];
  const double* in[8];
  double* out[8];
  int todo = 0;
  for (int j = 0; j < count; ++j) {
    if (remembered(id) && recall(o, id, n, f[j]->data(), u[j]->data())) continue;
    in[todo] = f[j]->data();
    out[todo] = u[j]->data();
    ++todo;
  }
  o.solves += todo;
  o.reused += count - todo;
  if (todo == 0) return;
  const PreparedOperator* ops[1] = {&p};
  apply_prepared_many<true>(ops, n, todo, in, out);
  if (remembered(id)) {
    for (int j = 0; j < todo; ++j) remember(o, id, n, in[j], out[j]);
  }
}

}  // namespace

void ini_comp2(State& s, int n, const FiveBands& A, double* homog_1, double* homog_2) {
  Operators& o = s.ops;
  double* rhs = o.setup_rhs.data();
  if (s.discr.i_thom == 1) {
    Field& alpha = o.work_setup.sweep_s;
    Field& beta = o.work_setup.sweep_u;
    zero_t(n, rhs);
    tridiag(n, 0.5, 0.5, A.b, A.c, A.d, rhs, alpha.data(), beta.data(), homog_1);
    zero_t(n, rhs);
    tridiag(n, 0.5, -0.5, A.b, A.c, A.d, rhs, alpha.data(), beta.data(), homog_2);
  } else if (s.discr.i_thom == 2) {
    zero_t(n, rhs);
    pentadiag(n, 0.1, 0.0, A, o.work_setup, rhs, homog_1, s.out());
    zero_t(n, rhs);
    pentadiag(n, 0.0, 0.1, A, o.work_setup, rhs, homog_2, s.out());
  }
}

void ini_comp2_n_meno_1(State& s, int n, const FiveBands& A, double* homog_1, double* homog_2) {
  Operators& o = s.ops;
  double* rhs = o.setup_rhs.data();
  zero_t(n, rhs);
  pentadiag_n_meno_1(n, 0.1, 0.0, A, o.work_setup, rhs, homog_1, s.out());
  zero_t(n, rhs);
  pentadiag_n_meno_1(n, 0.0, 0.1, A, o.work_setup, rhs, homog_2, s.out());
}

void setup_node_operators(State& s, int n) {
  Operators& o = s.ops;
  if (s.discr.i_thom == 1) {
    if (s.grid == 0) {
      mat_eva_trid(s, n, o.comp1);
      mat_eva_trid_ds(s, n, o.comp7);
    } else {
      mat_eva_trid_nu(s, n, o.comp1);
      mat_eva_trid_nu_ds(s, n, o.comp7);
    }
  } else if (s.discr.i_thom == 2 && s.grid == 0) {
    mat_eva_penta(s, n, o.comp1);
    mat_eva_penta_ds(s, n, o.comp7);
  } else {
    return;
  }
  init_block(s, n, o.comp1);
  init_block(s, n, o.comp7);
  forget_results(o);
  for (PreparedOperator& p : o.prepared) p.n = 0;
  if (!s.options.reference_operators) {
    prepare_block(o, kDerPrima, n, o.comp1);
    prepare_block(o, kDerSeconda, n, o.comp7);
  }
}

void setup_operators(State& s, int n) {
  Operators& o = s.ops;
  o.staggered_ready = false;
  if (s.discr.i_thom == 2 && s.grid == 1) {
    stop_with(s, {"Derivate compatte pentadiagonali", "per griglie non uniformi da implementare",
                  "Per ora disponibili solo tridiagonali (i_thom=1)", "PROGRAMMA INTERROTTO"});
  }
  if (s.discr.i_thom != 2) {
    stop_with(s, {"Operatori compatti con i_thom diverso da 2: mancano gli operatori sui punti",
                  "sfalsati e l'operatore di pressione, necessari alla simulazione.",
                  "Usare i_thom=2 su griglia uniforme (grid=0)", "PROGRAMMA INTERROTTO"});
  }
  mat_eva_penta(s, n, o.comp1);
  mat_eva_der_st(s, n, o.comp2);
  mat_eva_inter_ns_st(s, n, o.comp3);
  mat_eva_inter_st_ns(s, n, o.comp4);
  mat_eva_der_ns_st(s, n, o.comp5);
  mat_eva_der_st_ns_per_thomas(s, n, o.comp6);
  mat_eva_penta_ds(s, n, o.comp7);
  mat_eva_der_ds_st(s, n, o.comp8);
  mat_eva_trid_ds_st_bc_ns_neumann_new(s, n, o.comp13);
  for (OperatorBlock* k : {&o.comp1, &o.comp2, &o.comp3, &o.comp4, &o.comp5, &o.comp6, &o.comp7, &o.comp8}) {
    init_block(s, n, *k);
  }
  ini_comp2_n_meno_1(s, n, poisson_solved_bands(o.comp13), o.comp13.homog_1.data(), o.comp13.homog_2.data());
  forget_results(o);
  s.scratch.div_d2th_n = 0;  // computed with the operators of before
  for (PreparedOperator& p : o.prepared) p.n = 0;
  if (!s.options.reference_operators) {
    const OperatorBlock* blocks[] = {&o.comp1, &o.comp2, &o.comp3, &o.comp4, &o.comp5, &o.comp6, &o.comp7, &o.comp8};
    for (int id = kDerPrima; id <= kDerSecondaSt; ++id) prepare_block(o, id, n, *blocks[id]);
    const OperatorBlock& k = o.comp13;
    zero_t(n, o.poisson_zero.data());
    const double* z = o.poisson_zero.data();
    const int m = n - 1;
    prepare(o.prepared[kPoisson], n, poisson_solved_bands(k), {z, k.a.data(), k.b.data(), k.c.data(), k.d.data(),
            k.e.data(), z}, true, k.homog_1.data(), k.homog_2.data(), k.dB[1], k.eB[1], k.fB[1], k.bB[m], k.cB[m],
            k.dB[m]);
  }
  o.staggered_ready = true;
}

void der_comp3_sing(int n, double* u, const double* f, const OperatorBlock& k, PentaWork& w,
                    std::ostream& console) {
  tp_eva2(n, rhs_bands(k), f, u);
  const double r1 = u[1], rn = u[n];
  pentadiag(n, 0.0, 0.0, lhs_bands(k), w, u, u, console);
  sol_eva(n, u, k.homog_1.data(), k.homog_2.data(), k.c[1], k.d[1], k.e[1], k.a[n], k.b[n], k.c[n], r1, rn, u);
}

// Each application takes the prepared form when its operator is prepared for
// n points (the default), otherwise the straightforward one.
#define FIAMMA_APPLICATION(name, block, id)                                                     \
  void name(State& s, int n, const Field& f, Field& u) {                                        \
    if (s.ops.prepared[id].n == n) {                                                            \
      const Field* in = &f;                                                                     \
      Field* out = &u;                                                                          \
      apply(s, id, n, 1, &in, &out);                                                            \
    } else {                                                                                    \
      ++s.ops.solves;                                                                           \
      der_comp3_sing(n, u.data(), f.data(), s.ops.block, s.ops.work_##name, s.out());           \
    }                                                                                           \
  }                                                                                             \
  void name##_many(State& s, int n, Inputs f, Outputs u) {                                     \
    if (s.ops.prepared[id].n == n && f.size() <= 8 && f.size() == u.size()) {                   \
      apply(s, id, n, static_cast<int>(f.size()), f.begin(), u.begin());                        \
    } else {                                                                                    \
      auto out = u.begin();                                                                     \
      for (const Field* in : f) name(s, n, *in, **out++);                                       \
    }                                                                                           \
  }
FIAMMA_APPLICATION(der_prima, comp1, kDerPrima)
FIAMMA_APPLICATION(der_seconda, comp7, kDerSeconda)
FIAMMA_APPLICATION(der_prima_st, comp2, kDerPrimaSt)
FIAMMA_APPLICATION(der_seconda_st, comp8, kDerSecondaSt)
FIAMMA_APPLICATION(inter_ns_st, comp3, kInterNsSt)
FIAMMA_APPLICATION(inter_st_ns, comp4, kInterStNs)
FIAMMA_APPLICATION(der_prima_ns_st, comp5, kDerPrimaNsSt)
FIAMMA_APPLICATION(der_prima_st_ns, comp6, kDerPrimaStNs)
#undef FIAMMA_APPLICATION

void apply_together(State& s, int n, std::initializer_list<Application> jobs) {
  using Apply = void (*)(State&, int, const Field&, Field&);
  static constexpr Apply kOne[] = {der_prima,       der_prima_st,    inter_ns_st, inter_st_ns,
                                   der_prima_ns_st, der_prima_st_ns, der_seconda, der_seconda_st};
  Operators& o = s.ops;
  bool prepared = jobs.size() <= 8;
  for (const Application& a : jobs) prepared = prepared && o.prepared[static_cast<int>(a.op)].n == n;
  if (!prepared) {
    for (const Application& a : jobs) kOne[static_cast<int>(a.op)](s, n, *a.f, *a.u);
    return;
  }
  const PreparedOperator* ops[8];
  int ids[8];
  const double* in[8];
  double* out[8];
  int todo = 0;
  for (const Application& a : jobs) {
    const int id = static_cast<int>(a.op);
    if (remembered(id) && recall(o, id, n, a.f->data(), a.u->data())) {
      ++o.reused;
      continue;
    }
    ops[todo] = &o.prepared[id];
    ids[todo] = id;
    in[todo] = a.f->data();
    out[todo] = a.u->data();
    ++todo;
  }
  o.solves += todo;
  if (todo == 0) return;
  apply_prepared_many<false>(ops, n, todo, in, out);
  for (int j = 0; j < todo; ++j) {
    if (remembered(ids[j])) remember(o, ids[j], n, in[j], out[j]);
  }
}

bool prepared_operators(const State& s) { return s.ops.prepared[kPoisson].n != 0; }

void poisson_neu_st_new(State& s, int n, const Field& f, Field& phi) {
  Operators& o = s.ops;
  ++o.solves;
  if (o.prepared[kPoisson].n == n) {
    const double* in = f.data();
    double* out = phi.data();
    const PreparedOperator* ops[1] = {&o.prepared[kPoisson]};
    apply_prepared<1, true>(ops, n, &in, &out);
    return;
  }
  const OperatorBlock& k = o.comp13;
  const int m = n - 1;
  double* z = o.poisson_zero.data();
  double* w = o.poisson_rhs.data();
  zero_t(n, z);
  const SevenBands left_times_f{z, k.a.data(), k.b.data(), k.c.data(), k.d.data(), k.e.data(), z};
  tp_eva2(n, left_times_f, f.data(), w);
  const double w1 = w[1], wm = w[m];
  pentadiag_n_meno_1(n, 0.0, 0.0, poisson_solved_bands(k), o.work_poisson, w, w, s.out());
  sol_eva(m, w, k.homog_1.data(), k.homog_2.data(), k.dB[1], k.eB[1], k.fB[1], k.bB[m], k.cB[m], k.dB[m], w1, wm,
          phi.data());
  phi[n] = 0.0;
}

}  // namespace fiamma
