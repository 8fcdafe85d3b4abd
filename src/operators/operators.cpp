#include "operators/operators.hpp"

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
  o.staggered_ready = true;
}

void der_comp3_sing(int n, double* u, const double* f, const OperatorBlock& k, PentaWork& w,
                    std::ostream& console) {
  tp_eva2(n, rhs_bands(k), f, u);
  const double r1 = u[1], rn = u[n];
  pentadiag(n, 0.0, 0.0, lhs_bands(k), w, u, u, console);
  sol_eva(n, u, k.homog_1.data(), k.homog_2.data(), k.c[1], k.d[1], k.e[1], k.a[n], k.b[n], k.c[n], r1, rn, u);
}

#define FIAMMA_APPLICATION(name, block)                                        \
  void name(State& s, int n, const Field& f, Field& u) {                       \
    der_comp3_sing(n, u.data(), f.data(), s.ops.block, s.ops.work_##name, s.out()); \
  }
FIAMMA_APPLICATION(der_prima, comp1)
FIAMMA_APPLICATION(der_seconda, comp7)
FIAMMA_APPLICATION(der_prima_st, comp2)
FIAMMA_APPLICATION(der_seconda_st, comp8)
FIAMMA_APPLICATION(inter_ns_st, comp3)
FIAMMA_APPLICATION(inter_st_ns, comp4)
FIAMMA_APPLICATION(der_prima_ns_st, comp5)
FIAMMA_APPLICATION(der_prima_st_ns, comp6)
#undef FIAMMA_APPLICATION

void poisson_neu_st_new(State& s, int n, const Field& f, Field& phi) {
  Operators& o = s.ops;
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
