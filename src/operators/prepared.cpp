#include "operators/prepared.hpp"

#include <algorithm>
#include <cstring>
#include <tuple>
#include <utility>

#include "operators/wide.hpp"

namespace fiamma {

namespace {

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

// The widest run of rows around the middle on which every array is the same
// bits as on the middle row, within [from, to]; lo > hi when there is none
// worth a pass of its own.
std::pair<int, int> constant_rows(std::initializer_list<const double*> arrays, int from, int to) {
  const int mid = (from + to) / 2;
  auto same = [&](int i) {
    for (const double* a : arrays) {
      if (std::memcmp(&a[i], &a[mid], sizeof(double)) != 0) return false;
    }
    return true;
  };
  int lo = mid, hi = mid;
  while (lo > from && same(lo - 1)) --lo;
  while (hi < to && same(hi + 1)) ++hi;
  if (hi - lo < 8) return {1, 0};
  return {lo, hi};
}

void find_constant_rows(PreparedOperator& p, int n) {
  const auto& b = p.product;
  std::tie(p.forward_lo, p.forward_hi) = constant_rows(
      {b[0], b[1], b[2], b[3], b[4], b[5], b[6], p.lambda.data(), p.elim_b_over_pivot.data(), p.inv_pivot.data()},
      4, n - 3);
  std::tie(p.back_lo, p.back_hi) = constant_rows({p.sweep_u.data(), p.sweep_v.data()}, 1, n - 2);
}

// The operators applied together share one range of constant rows, the
// widest within every one's own, so that an application takes the same
// arithmetic on every row whichever others it is interleaved with: its
// result is the same bits alone or together.
void share_constant_rows(std::array<PreparedOperator, kOperatorCount>& ops) {
  int lo = 1, hi = kCapacity, blo = 1, bhi = kCapacity;
  for (const PreparedOperator& p : ops) {
    if (p.n == 0 || !p.shared_rows) continue;
    lo = std::max(lo, p.forward_lo);
    hi = std::min(hi, p.forward_hi);
    blo = std::max(blo, p.back_lo);
    bhi = std::min(bhi, p.back_hi);
  }
  if (hi - lo < 8) lo = 1, hi = 0;
  if (bhi - blo < 8) blo = 1, bhi = 0;
  for (PreparedOperator& p : ops) {
    if (p.n == 0 || !p.shared_rows) continue;
    p.forward_lo = lo;
    p.forward_hi = hi;
    p.back_lo = blo;
    p.back_hi = bhi;
    if (lo <= hi) {
      for (int j = 0; j < 7; ++j) p.band[j] = p.product[j][lo];
      p.lambda_c = p.lambda[lo];
      p.elim_b_over_pivot_c = p.elim_b_over_pivot[lo];
      p.inv_pivot_c = p.inv_pivot[lo];
    }
    if (blo <= bhi) {
      p.sweep_u_c = p.sweep_u[blo];
      p.sweep_v_c = p.sweep_v[blo];
    }
  }
}

// Operator op of the blocks, factored; its constant rows found on their own
// (the operators that share theirs are narrowed to one range afterwards).
void prepare(PreparedOperator& p, const OperatorBlocks& k, Operator op) {
  const int n = k.n;
  p.n = 0;
  if (!factor(p, n, k.solved(op))) return;
  p.staggered = OperatorBlocks::solved_on_staggered(op);
  p.shared_rows = op != Operator::poisson_neu_st_new;
  const SevenBands product = k.product(op);
  p.product = {product.aB, product.bB, product.cB, product.dB, product.eB, product.fB, product.gB};
  p.homog_1 = k[op].homog_1.data();
  p.homog_2 = k[op].homog_2.data();
  const auto [r1, r2, r3] = k.first_equation(op);
  const auto [s1, s2, s3] = k.last_equation(op);
  p.r1 = r1;
  p.r2 = r2;
  p.r3 = r3;
  p.s1 = s1;
  p.s2 = s2;
  p.s3 = s3;
  const int m = p.staggered ? n - 1 : n;
  const double *g1 = p.homog_1, *g2 = p.homog_2;
  p.p11 = r1 * g1[1] + r2 * g1[2] + r3 * g1[3];
  p.p12 = r1 * g2[1] + r2 * g2[2] + r3 * g2[3];
  p.pm1 = s1 * g1[m - 2] + s2 * g1[m - 1] + s3 * g1[m];
  p.pm2 = s1 * g2[m - 2] + s2 * g2[m - 1] + s3 * g2[m];
  const double det = p.p11 * p.pm2 - p.pm1 * p.p12;
  p.inv_det = 1.0 / det;
  find_constant_rows(p, n);
  p.n = n;
}

// Lane vectors: the interleaved right-hand sides of a pass side by side in
// one register where the target has them (pairs on baseline x86-64). Lane
// arithmetic is the scalar arithmetic of each lane, operation for operation.
// The helpers that take or give a lane vector are always inlined, into the
// AVX2 copy of the kernel as into the baseline one: a call would pass a wide
// vector between code compiled for two targets, which disagree on how (the
// unoptimised builds, which inline nothing else, would crash).
#define FIAMMA_LANE_HELPER __attribute__((always_inline)) inline
template <int W>
struct Lane;
template <>
struct Lane<1> {
  using V = double;
};
template <>
struct Lane<2> {
  using V = double __attribute__((vector_size(16)));
};
template <>
struct Lane<4> {
  using V = double __attribute__((vector_size(32)));
};

// (Lane vectors go out through references: none is passed or returned by
// value, so that no call could carry one between the two targets.)
template <int W>
FIAMMA_LANE_HELPER void lane_load(const double* p, typename Lane<W>::V& v) {
  std::memcpy(&v, p, sizeof v);
}

template <int W>
FIAMMA_LANE_HELPER void lane_store(double* p, const typename Lane<W>::V& v) {
  std::memcpy(p, &v, sizeof v);
}

// x[k][i] of every lane k.
template <int W>
FIAMMA_LANE_HELPER void lane_gather(const double* const* x, int i, typename Lane<W>::V& v) {
  if constexpr (W == 1) {
    v = x[0][i];
  } else {
    for (int k = 0; k < W; ++k) v[k] = x[k][i];
  }
}

// One value per lane.
template <int W, typename Get>
FIAMMA_LANE_HELPER void lane_values(Get get, typename Lane<W>::V& v) {
  if constexpr (W == 1) {
    v = get(0);
  } else {
    for (int k = 0; k < W; ++k) v[k] = get(k);
  }
}

// K applications of prepared operators, application k with operator ops[k],
// their right-hand sides interleaved in W >= K lanes of buf (lanes past K
// repeat the last application and are dropped): the seven-band product, the
// elimination of the right-hand side and the forward sweep in one pass, the
// back substitution, the boundary correction into u. The forward sweep
// multiplies by the kept reciprocal pivot and the back substitution takes the
// farther neighbour first; on the rows whose bands and factors are the same on
// every row (one range shared by the operators applied together) the values
// sit in registers, the lanes run as one vector and both recurrences advance
// two rows per turn. The results agree with the straightforward form to
// rounding (a few units in the last place of the field's scale), not bit for
// bit; the arithmetic of a lane depends only on its own operator and input,
// so interleaving changes no result.
template <int K, int W>
FIAMMA_WIDE void apply_prepared(const PreparedOperator* const* given_ops, int n, const double* const* given_f,
                                double* const* u, double* buf, double* in) {
  static_assert(K >= 1 && K <= W);
  using V = typename Lane<W>::V;
  const PreparedOperator* ops[W];
  const double* f[W];
  const double *aB[W], *bB[W], *cB[W], *dB[W], *eB[W], *fB[W], *gB[W];
  const double *lam[W], *ebq[W], *rq[W], *su[W], *sv[W];
  int lo = 4, hi = n - 3, blo = 1, bhi = n - 2;
  for (int k = 0; k < W; ++k) {
    const int j = k < K ? k : K - 1;
    const PreparedOperator& p = *given_ops[j];
    ops[k] = &p;
    f[k] = given_f[j];
    aB[k] = p.product[0];
    bB[k] = p.product[1];
    cB[k] = p.product[2];
    dB[k] = p.product[3];
    eB[k] = p.product[4];
    fB[k] = p.product[5];
    gB[k] = p.product[6];
    lam[k] = p.lambda.data();
    ebq[k] = p.elim_b_over_pivot.data();
    rq[k] = p.inv_pivot.data();
    su[k] = p.sweep_u.data();
    sv[k] = p.sweep_v.data();
    lo = std::max(lo, p.forward_lo);
    hi = std::min(hi, p.forward_hi);
    blo = std::max(blo, p.back_lo);
    bhi = std::min(bhi, p.back_hi);
  }
  if (lo > hi) lo = hi = n - 2;  // no constant rows: all of them general
  if (blo > bhi) blo = bhi = 0;
  auto y = [buf](int i, int k) -> double& { return buf[i * W + k]; };
  double el[W], sw[W], first[W], last[W];
  // forward row i of lane k with its product r
  auto forward = [&](int k, int i, double r) {
    el[k] = r - lam[k][i] * el[k];
    sw[k] = el[k] * rq[k][i] - ebq[k][i] * sw[k];
    y(i, k) = sw[k];
  };
  auto general_rows = [&](int from, int to) {
    for (int i = from; i <= to; ++i) {
      for (int k = 0; k < W; ++k) {
        const double* x = f[k];
        forward(k, i,
                aB[k][i] * x[i - 3] + bB[k][i] * x[i - 2] + cB[k][i] * x[i - 1] + dB[k][i] * x[i] +
                    eB[k][i] * x[i + 1] + fB[k][i] * x[i + 2] + gB[k][i] * x[i + 3]);
      }
    }
  };
  for (int k = 0; k < W; ++k) {
    const double* x = f[k];
    const double r1 = dB[k][1] * x[1] + eB[k][1] * x[2] + fB[k][1] * x[3] + gB[k][1] * x[4];
    const double r2 = cB[k][2] * x[1] + dB[k][2] * x[2] + eB[k][2] * x[3] + fB[k][2] * x[4] + gB[k][2] * x[5];
    const double r3 = bB[k][3] * x[1] + cB[k][3] * x[2] + dB[k][3] * x[3] + eB[k][3] * x[4] + fB[k][3] * x[5] +
                      gB[k][3] * x[6];
    first[k] = r1;
    y(1, k) = 0.0;
    el[k] = r2;
    sw[k] = r2 * rq[k][2];
    y(2, k) = sw[k];
    forward(k, 3, r3);
  }
  general_rows(4, lo - 1);
  if (lo < n - 2) {
    V c0, c1, c2, c3, c4, c5, c6, lamv, rqv, ebqv, elv, swv;
    lane_values<W>([&](int k) { return ops[k]->band[0]; }, c0);
    lane_values<W>([&](int k) { return ops[k]->band[1]; }, c1);
    lane_values<W>([&](int k) { return ops[k]->band[2]; }, c2);
    lane_values<W>([&](int k) { return ops[k]->band[3]; }, c3);
    lane_values<W>([&](int k) { return ops[k]->band[4]; }, c4);
    lane_values<W>([&](int k) { return ops[k]->band[5]; }, c5);
    lane_values<W>([&](int k) { return ops[k]->band[6]; }, c6);
    lane_values<W>([&](int k) { return ops[k]->lambda_c; }, lamv);
    lane_values<W>([&](int k) { return ops[k]->inv_pivot_c; }, rqv);
    lane_values<W>([&](int k) { return ops[k]->elim_b_over_pivot_c; }, ebqv);
    lane_values<W>([&](int k) { return el[k]; }, elv);
    lane_values<W>([&](int k) { return sw[k]; }, swv);
    // Several lanes: their inputs side by side, so that a row reads whole
    // vectors. One lane: the products of all the constant rows first, in a
    // loop the compiler runs over several rows at once, so that the
    // recurrences below only read them.
    if constexpr (W > 1) {
      for (int i = lo - 3; i <= hi + 3; ++i) {
        V g;
        lane_gather<W>(f, i, g);
        lane_store<W>(in + i * W, g);
      }
    } else {
      const double* __restrict x = f[0];
      double* __restrict r = in;
      for (int i = lo; i <= hi; ++i) {
        r[i] = c0 * x[i - 3] + c1 * x[i - 2] + c2 * x[i - 1] + c3 * x[i] + c4 * x[i + 1] + c5 * x[i + 2] +
               c6 * x[i + 3];
      }
    }
    auto product = [&](int i, V& r) __attribute__((always_inline)) {
      if constexpr (W == 1) {
        r = in[i];
      } else {
        const double* x = in + i * W;
        V x0, x1, x2, x3, x4, x5, x6;
        lane_load<W>(x - 3 * W, x0);
        lane_load<W>(x - 2 * W, x1);
        lane_load<W>(x - W, x2);
        lane_load<W>(x, x3);
        lane_load<W>(x + W, x4);
        lane_load<W>(x + 2 * W, x5);
        lane_load<W>(x + 3 * W, x6);
        r = c0 * x0 + c1 * x1 + c2 * x2 + c3 * x3 + c4 * x4 + c5 * x5 + c6 * x6;
      }
    };
    // two rows per turn, the second written in terms of the row before the
    // pair: each turn waits on the previous one for one multiplication and
    // one addition per recurrence instead of two of each
    const V lam2 = lamv * lamv, ebq2 = ebqv * ebqv;
    int i = lo;
    for (; i + 1 <= hi; i += 2) {
      V r0, r1;
      product(i, r0);
      product(i + 1, r1);
      const V el0 = r0 - lamv * elv;
      const V el1 = (r1 - lamv * r0) + lam2 * elv;
      const V s0 = el0 * rqv;
      const V sw0 = s0 - ebqv * swv;
      const V sw1 = (el1 * rqv - ebqv * s0) + ebq2 * swv;
      lane_store<W>(buf + i * W, sw0);
      lane_store<W>(buf + (i + 1) * W, sw1);
      elv = el1;
      swv = sw1;
    }
    if (i <= hi) {
      V r;
      product(i, r);
      elv = r - lamv * elv;
      swv = elv * rqv - ebqv * swv;
      lane_store<W>(buf + i * W, swv);
    }
    lane_store<W>(el, elv);
    lane_store<W>(sw, swv);
    general_rows(hi + 1, n - 3);
  }
  for (int k = 0; k < W; ++k) {
    const bool staggered = ops[k]->staggered;
    const double* x = f[k];
    int i = n - 2;
    forward(k, i,
            aB[k][i] * x[i - 3] + bB[k][i] * x[i - 2] + cB[k][i] * x[i - 1] + dB[k][i] * x[i] +
                eB[k][i] * x[i + 1] + fB[k][i] * x[i + 2]);
    i = n - 1;
    const double row_n_1 =
        aB[k][i] * x[i - 3] + bB[k][i] * x[i - 2] + cB[k][i] * x[i - 1] + dB[k][i] * x[i] + eB[k][i] * x[i + 1];
    forward(k, i, row_n_1);
    i = n;
    const double r = aB[k][i] * x[i - 3] + bB[k][i] * x[i - 2] + cB[k][i] * x[i - 1] + dB[k][i] * x[i];
    last[k] = staggered ? row_n_1 : r;
    // the sweep value of row n is never read: x(n) is imposed
    y(n, k) = 0.0;
    y(n - 1, k) = staggered ? 0.0 : y(n - 1, k) - su[k][n - 1] * y(n, k);
  }
  auto back_rows = [&](int from, int to) {
    for (int i = from; i >= to; --i) {
      for (int k = 0; k < W; ++k) y(i, k) = (y(i, k) - sv[k][i] * y(i + 2, k)) - su[k][i] * y(i + 1, k);
    }
  };
  if (blo > 0) {
    back_rows(n - 2, bhi + 1);
    V suv, svv, y2, y1;
    lane_values<W>([&](int k) { return ops[k]->sweep_u_c; }, suv);
    lane_values<W>([&](int k) { return ops[k]->sweep_v_c; }, svv);
    lane_load<W>(buf + (bhi + 2) * W, y2);
    lane_load<W>(buf + (bhi + 1) * W, y1);
    // two rows per turn, as in the forward pass
    const V ab = suv * svv, a2b = suv * suv - svv;
    int i = bhi;
    for (; i - 1 >= blo; i -= 2) {
      V z0, z1;
      lane_load<W>(buf + i * W, z0);
      lane_load<W>(buf + (i - 1) * W, z1);
      const V y0 = (z0 - svv * y2) - suv * y1;
      const V ym = ((z1 - suv * z0) + ab * y2) + a2b * y1;
      lane_store<W>(buf + i * W, y0);
      lane_store<W>(buf + (i - 1) * W, ym);
      y2 = y0;
      y1 = ym;
    }
    if (i >= blo) {
      V z;
      lane_load<W>(buf + i * W, z);
      lane_store<W>(buf + i * W, (z - svv * y2) - suv * y1);
    }
    back_rows(blo - 1, 1);
  } else {
    back_rows(n - 2, 1);
  }
  for (int k = 0; k < K; ++k) {
    const PreparedOperator& p = *ops[k];
    const int m = p.staggered ? n - 1 : n;
    const double *g1 = p.homog_1, *g2 = p.homog_2;
    double* out = u[k];
    const double t1 = first[k] - (p.r1 * y(1, k) + p.r2 * y(2, k) + p.r3 * y(3, k));
    const double tm = last[k] - (p.s1 * y(m - 2, k) + p.s2 * y(m - 1, k) + p.s3 * y(m, k));
    const double alpha = p.inv_det * (p.pm2 * t1 - p.p12 * tm);
    const double beta = -p.inv_det * (p.pm1 * t1 - p.p11 * tm);
    for (int i = 1; i <= m; ++i) out[i] = alpha * g1[i] + y(i, k) + beta * g2[i];
    if (p.staggered) out[n] = 0.0;
  }
}

// count applications, application j with operator ops[j], in passes of up
// to 4 interleaved right-hand sides.
void apply_prepared_many(const PreparedOperator* const* ops, int n, int count, const double* const* f,
                         double* const* u, double* buf, double* in) {
  const PreparedOperator* pass_ops[4];
  while (count > 0) {
    // five or six as two passes of three: a lone right-hand side would wait
    // on its own dependency chain
    const int pass = count == 5 || count == 6 ? 3 : count > 4 ? 4 : count;
    for (int k = 0; k < pass; ++k) pass_ops[k] = ops[k];
    switch (pass) {
      case 1: apply_prepared<1, 1>(pass_ops, n, f, u, buf, in); break;
      case 2: apply_prepared<2, 2>(pass_ops, n, f, u, buf, in); break;
      case 3: apply_prepared<3, 4>(pass_ops, n, f, u, buf, in); break;
      default: apply_prepared<4, 4>(pass_ops, n, f, u, buf, in); break;
    }
    ops += pass;
    f += pass;
    u += pass;
    count -= pass;
  }
}

}  // namespace

PreparedOperators::PreparedOperators(std::shared_ptr<const OperatorBlocks> blocks, std::ostream& console,
                                     Voice voice)
    : OperatorSet(std::move(blocks)) {
  const OperatorBlocks& k = this->blocks();
  bool all = true;
  for (Operator op : kAllOperators) {
    if (op != Operator::der_prima && op != Operator::der_seconda && !k.staggered) continue;
    prepare(ops_[index_of(op)], k, op);
    all = all && ops_[index_of(op)].n != 0;
  }
  share_constant_rows(ops_);
  if (!all) unprepared_ = std::make_unique<StraightforwardOperators>(shared_blocks(), console, voice);
}

PreparedOperators::~PreparedOperators() = default;

OperatorCounts PreparedOperators::counts() const {
  return {solves_ + (unprepared_ ? unprepared_->counts().solves : 0), 0};
}

// The applications in passes of operators that share their constant rows;
// the others (the pressure operator) alone, and an operator that could not
// be prepared in the straightforward form.
void PreparedOperators::run(const Application* jobs, int count) {
  const int n = this->n();
  const PreparedOperator* ops[8];
  const double* in[8];
  double* out[8];
  int together = 0;
  auto flush = [&] {
    apply_prepared_many(ops, n, together, in, out, lanes_.v.data(), lane_inputs_.v.data());
    solves_ += together;
    together = 0;
  };
  for (int j = 0; j < count; ++j) {
    const Application& a = jobs[j];
    const PreparedOperator& p = ops_[index_of(a.op)];
    if (p.n == 0) {
      unprepared_->apply_one(a.op, *a.f, *a.u);
    } else if (!p.shared_rows) {
      const PreparedOperator* alone[1] = {&p};
      const double* f = a.f->data();
      double* u = a.u->data();
      apply_prepared<1, 1>(alone, n, &f, &u, lanes_.v.data(), lane_inputs_.v.data());
      ++solves_;
    } else {
      ops[together] = &p;
      in[together] = a.f->data();
      out[together] = a.u->data();
      if (++together == 8) flush();
    }
  }
  if (together > 0) flush();
}

}  // namespace fiamma
