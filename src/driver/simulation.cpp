#include "driver/simulation.hpp"

#include <algorithm>
#include <cmath>
#include <functional>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>

#include "config/free_format_reader.hpp"
#include "config/grid.hpp"
#include "config/sweep_parameters.hpp"
#include "core/errors.hpp"
#include "core/file_writer.hpp"
#include "core/free_format.hpp"
#include "core/naming.hpp"
#include "diagnostics/analytic_solutions.hpp"
#include "diagnostics/analytic_speed.hpp"
#include "diagnostics/conservation.hpp"
#include "driver/resume.hpp"
#include "driver/safe_points.hpp"
#include "initial/flame_profile.hpp"
#include "initial/other_states.hpp"
#include "operators/operators.hpp"
#include "output/snapshot.hpp"
#include "output/summary.hpp"
#include "output/sweep_table.hpp"

namespace fiamma {

namespace {

void write_resume_index(State& s, MainValues& mv, int index) {
  write_file_atomically(s.file(kResumeFile), Line().integer(index).str() + '\n', kWorkdirOrigin);
  const Andam& a = s.andam;
  note_file(mv.record, kResumeFile, "resume_index", std::nullopt, std::nullopt,
            index <= a.sweep_count ? std::optional<int>(index) : std::nullopt);
}

// A snapshot, remembered as the newest one to restart from, with its
// companion unless the state is not one to go on from.
void write_snapshot(State& s, MainValues& mv, bool with_companion = true);

// The end of a run whose fields stopped being finite: the message lines, the
// state as it is in the snapshot this step would have written, the history
// and the sweep table closed (they hold whole records), the resume index
// left at this sweep step.
[[noreturn]] void stop_non_finite(State& s, MainValues& mv, const NonFiniteValue& bad) {
  std::ostream& o = s.out();
  const Voice& v = s.voice;
  o << Line().text(v("Campo non più finito: "_it)).raw(v(*bad.field));
  if (bad.point > 0) o << Line().text(v(bad.points)).text(": ").integer(bad.point);
  o << Line().text(v("iterazione it = "_it)).integer(s.tempo.it) << Line().text(v("valore: "_it)).real(bad.value);
  write_snapshot(s, mv, false);
  o << Line().text(v("Stato scritto in "_it)).raw(mv.last_snapshot.string()) << Line().text(v("Codice interrotto"_it));
  o.flush();
  mv.front.history.close();
  mv.table.file.close();
  if (bad.point > 0) {
    throw NonFiniteField(say("campo {1} non finito ({2} {3}, iterazione {4}); stato in {5}"_it,
                             {*bad.field, bad.points, format_int(bad.point), format_int(s.tempo.it),
                              mv.last_snapshot.string()}));
  }
  throw NonFiniteField(say("campo {1} non finito (iterazione {2}); stato in {3}"_it,
                           {*bad.field, format_int(s.tempo.it), mv.last_snapshot.string()}));
}

// The end of a run at a safe point after SIGINT or SIGTERM: the console
// flushed, the history and the sweep table closed, and one line that says
// where the run stopped and how to go on. `it` < 0: between sweep steps.
[[noreturn]] void stop_on_signal(State& s, MainValues& mv, int it) {
  const int signal_number = pending_signal();
  s.out().flush();
  mv.front.history.close();
  mv.table.file.close();
  Message line = say("interrotto da {1}"_it, {signal_name(signal_number)});
  line += it >= 0 ? say(" dopo l'iterazione {1}"_it, {format_int(it)}) : say(" tra due passi dell'andamento"_it);
  if (s.andam.sweep_mode == 1) {
    line += say(" (passo {1} di {2} dell'andamento); per continuare rilanciare nella stessa cartella (l'andamento "
                "riprende dal passo {3} scritto in {4}): {5}"_it,
                {format_int(mv.i_and), format_int(s.andam.sweep_count), format_int(mv.i_and),
                 std::string_view(kResumeFile), rerun_command(mv.record.command_line)});
  } else if (!mv.last_snapshot.empty()) {
    line += say("; per continuare dall'ultima istantanea {1}, nella stessa cartella: {2}"_it,
                {mv.last_snapshot.string(),
                 resume_command(s, mv.record.command_line, mv.last_snapshot, mv.last_snapshot_it)});
  } else {
    line += say("; nessuna istantanea scritta: rilanciare da capo"_it);
  }
  throw Interrupted(signal_number, line);
}

void check_safe_point(State& s, MainValues& mv) {
  NonFiniteValue bad = find_non_finite(s);
  if (!bad.field && s.ic_kkind.case_kind == 8) bad = find_non_finite(mv.front);
  if (bad.field) stop_non_finite(s, mv, bad);
  check_console(s);
}

void report(State& s, const MainValues& mv) {
  std::ostream& o = s.out();
  const Voice& v = s.voice;
  const auto& l = mv.limits;
  const FrontTracker& f = mv.front;
  o << Line().text("it = ").integer(s.tempo.it) << Line().text("t    = ").real(s.tempo.t)
    << Line().text("t dim= ").real(s.tempo.t * s.gass.ref_time) << Line().text("mach_m = ").real(l.mach_m)
    << Line().text("mach_M = ").real(l.mach_M) << Line().text("stab = ").real(s.settings.stab)
    << Line().text("cfl  = ").real(s.settings.cfl) << Line().text("stab_calc = ").real(l.stab_calc)
    << Line().text("cfl_calc  = ").real(l.cfl_calc) << Line().text("dt   = ").real(s.tempo.dt)
    << Line().text("stab_lim  = ").raw(v(l.stab_lim)) << Line().text(v("velocità fronte  = "_it)).real(f.s)
    << Line().text(v("spessore fronte  = "_it)).real(f.del) << Line().text(v("ascissa del fronte = "_it)).real(f.x_m)
    << Line().text(v("varianza di stabilizzazione = "_it)).real(f.var);
  if (s.bc_kkind.follow_mode != 0) {
    o << Line().text(v("Velocità di soffiaggio per avere fiamma ferma :"_it)).real(s.vvar[4][1] / s.vvar[1][1]);
  }
}

// The analytic reference solution of a test case, next to a snapshot.
void write_analytic(State& s, MainValues& mv, double t, int counter) {
  const int kind = s.ic_kkind.case_kind;
  if (kind == 3 || kind == 4) sol_an(s, t, counter, s.settings.n, kind);
  if (kind == 5) sol_an_entr_comb(s, t, counter, s.settings.n);
  if (kind >= 3 && kind <= 5) note_last_opened(mv.record, s, "analytic", counter, t, mv.i_and);
}

// The field snapshot of the current step. A restart's initial state is not
// written over the snapshot it started from.
void write_snapshot(State& s, MainValues& mv, bool with_companion) {
  const Tempo& tm = s.tempo;
  const int state_it = std::clamp(tm.it, tm.it_start, std::max(tm.it_start, tm.it_end));
  if (!mv.restart_source.empty() && tm.it == tm.it_start) {
    std::error_code ec;
    if (std::filesystem::equivalent(s.file(tagged_output_path(s, "-pr------.dat", 4, 6, tm.it)),
                                    s.file(mv.restart_source), ec)) {
      mv.last_snapshot = mv.restart_source;
      mv.last_snapshot_it = state_it;
      return;
    }
  }
  std::function<void(const std::filesystem::path&, std::uint64_t)> companion;
  if (with_companion) {
    companion = [&](const std::filesystem::path& name, std::uint64_t hash) { write_companion(s, mv, name, hash, state_it); };
  }
  mv.last_snapshot = out_tec_prim(s, *mv.operators, s.settings.n, s.settings.n_species, companion);
  mv.last_snapshot_it = state_it;
  note_last_opened(mv.record, s, "snapshot", s.tempo.it, s.tempo.t, mv.i_and);
}

// Opens the record of a simulation that begins.
void open_simulation_record(State& s, MainValues& mv) {
  SimulationResult run;
  run.sweep_step = mv.i_and;
  run.run_tag = s.addr.run_tag[0];
  const Andam& a = s.andam;
  if (a.sweep_mode == 1 && a.sweep_parameter >= 1 && a.sweep_parameter <= 10) {
    run.parameter_value = a.sweep_start + (mv.i_and - 1) * a.sweep_step;  // as the step sets it
  }
  run.it_start = s.tempo.it_start;
  run.it_end = s.tempo.it_end;
  run.it_final = s.tempo.it_start;
  run.steps_before = mv.steps;
  mv.record.runs.push_back(run);
}

}  // namespace

void report_corrections(const State& s, const CorrectionCount& c) {
  const RunOptions& o = s.options;
  *s.diagnostics << ' '
                 << s.voice("correzioni di velocita': {1}, iterazioni per correzione: media {2}, massimo {3} "
                            "(tolleranza {4}{5})"_it,
                            {format_int(c.corrections), format_real(c.iterations_mean()), format_int(c.iterations_max),
                             format_real(o.correction_tolerance),
                             o.correction_relative ? " relativa"_it : " assoluta"_it})
                 << '\n';
}

void report_domain(const State& s, const MainValues& mv) {
  const bool restart = s.rrestart.ires != 0;
  const DomainGuidance g =
      domain_guidance(mv.M_l_ana, s.gass.Lewis, restart ? 0.0 : s.ff_fnz.x0_ff_2, s.settings.x_anchor);
  std::ostream& err = *s.diagnostics;
  const Voice& v = s.voice;
  const std::string front =
      restart ? std::string()
              : v(" al fronte iniziale {1} e {2},"_it, {format_real(g.front_thermal), format_real(g.front_fuel)});
  err << ' '
      << v("dominio: lunghezza termica 1/M {1}, del combustibile 1/(Le M) {2}; dall'ingresso{3} all'ancoraggio {4} e "
           "{5}"_it,
           {format_real(g.thermal_length), format_real(g.fuel_length), front, format_real(g.anchor_thermal),
            format_real(g.anchor_fuel)})
      << '\n';
  if (g.warn) {
    err << ' ' << v("attenzione: "_it)
        << v("l'ancoraggio dista dall'ingresso meno di {1} lunghezze: l'ingresso taglia la coda della fiamma e ne "
             "altera la velocita' di combustione (allungare il dominio o spostare l'ancoraggio)"_it,
             {format_real(kDomainWarningLengths)})
        << '\n';
  }
}

void report_conservation(const State& s, const MainValues& mv) {
  const FlameConservation& c = mv.conservation;
  *s.diagnostics << ' '
                 << s.voice("conservazione: temperatura combusta {1} relativa all'adiabatica, salto del flusso di "
                            "massa {2}, consumo contro ingresso {3}, deriva per tempo di fiamma {4}{5}"_it,
                            {format_real(c.burnt_temperature_relative), format_real(c.mass_flux_spread),
                             format_real(c.consumption_vs_inflow), format_real(c.drift_per_flame_time),
                             mv.record.runs.back().flame->settled ? " (assestata)"_it : " (non assestata)"_it})
                 << '\n';
}

void report_burning_rate(const State& s, const MainValues& mv) {
  const SimulationResult& run = mv.record.runs.back();
  const FlameResult& f = *run.flame;
  const Voice& v = s.voice;
  *s.diagnostics << ' '
                 << v("velocita' di combustione: {1}, rispetto alla stima analitica {2} relativa, {3} entro {4} "
                      "(distanza stimata {5}){6}"_it,
                      {format_real(f.M_l_num), format_real((f.M_l_num - f.M_l_ana) / f.M_l_ana),
                       f.settled ? "assestata"_it : "non assestata"_it, format_real(f.settled_tolerance),
                       std::isnan(f.settled_gap) ? Arg("non disponibile"_it) : Arg(format_real(f.settled_gap)),
                       run.end == RunEnd::Unsettled ? v(": raggiunto il limite it_end = {1}"_it, {format_int(run.it_end)})
                                                    : std::string()})
                 << '\n';
}

void track_front(State& s, MainValues& mv) {
  const Settings& set = s.settings;
  OperatorSet& ops = *mv.operators;
  temperature_gradient(s, ops, set.n, mv.th_tracked, mv.dthdx);
  if (s.grid == 0) {
    calcola_vel_spes_fronte_lm(s, ops, set.n, set.n_species, mv.front, set.front_criterion, s.bc_kkind.follow_mode,
                               kHistoryCapacity, set.n_stab, mv.dthdx);
  } else {
    calcola_vel_spes_fronte_nu_lm(s, set.n, set.n_species, mv.front, set.front_criterion,
                                  s.bc_kkind.follow_mode, kHistoryCapacity, set.n_stab, mv.dthdx, mv.M_l_ana,
                                  mv.d_l_ana);
  }
}

// The anchoring controller: a uniform velocity shift against the front's
// distance from the anchor, its speed and the excess of the inflow velocity
// over the consumption speed; the held inflow momentum follows the shift.
void anchor_flame(State& s, MainValues& mv, double scale) {
  const FrontTracker& f = mv.front;
  const IcKkindRe& k = s.ic_kkind_re;
  if (!(s.tempo.t >= s.settings.t_follow && s.bc_kkind.follow_mode == 15)) return;
  mv.blow = -k.gain_position * (f.x_m - s.settings.x_anchor) - k.gain_velocity * f.s -
            k.gain_integral * (f.w_in - f.s_cons);
  if (scale != 1.0) mv.blow *= scale;
  mv.solver->soffia_campo(s, s.settings.n, s.settings.n_species, mv.blow);
  mv.inflow_momentum = mv.inflow_momentum + s.vvar[1][1] * mv.blow;
}

void initial_projection(State& s, MainValues& mv) {
  s.tempo.stage = 0;
  mv.bm_in = mv.bm_out = 0.0;
  constrain_step_fields(s, *mv.solver, mv, false);
  mv.solver->soffia_campo(s, s.settings.n, s.settings.n_species, -(s.vvar[4][1] / s.vvar[1][1]));
}

void close_simulation_record(State& s, MainValues& mv, RunEnd end) {
  RunRecord& r = mv.record;
  r.steps_done = mv.steps;
  r.simulated_time = s.tempo.t;
  if (r.runs.empty() || r.runs.back().finished) return;
  SimulationResult& run = r.runs.back();
  run.finished = true;
  run.end = end;
  run.it_final = s.tempo.it;
  run.steps = mv.steps - run.steps_before;
  run.time = s.tempo.t;
  if (mv.solver) {
    const CorrectionCount& c = mv.solver->corrections();
    run.corrections = c.corrections;
    run.correction_iterations = c.iterations;
    run.correction_iterations_max = c.iterations_max;
  }
  if (s.ic_kkind.case_kind != 8) return;
  const FrontTracker& f = mv.front;
  const Gass& g = s.gass;
  const int n = s.settings.n;
  FlameResult fl;
  fl.x_m = f.x_m;
  fl.s = f.s;
  fl.del = f.del;
  fl.w_in = f.w_in;
  fl.s_cons = f.s_cons;
  fl.var = f.var;
  fl.x_anchor = s.settings.x_anchor;
  fl.rho_in = s.vvar[1][1];
  fl.M_l_num = fl.rho_in * (f.w_in - f.s);  // as the sweep row
  fl.M_l_ana = mv.M_l_ana;
  fl.d_l_ana = mv.d_l_ana;
  fl.fl_st = f.var <= 1e-12 ? 1 : 0;
  fl.flame_times = (s.tempo.t - run.time_start) * fl.M_l_num * fl.M_l_num / fl.rho_in;
  // the verdict: the verification after a polish, else the rate's windows
  const SettleRoute* route = mv.route.get();
  const bool verified = route != nullptr && route->phase == SettleRoute::Phase::Done;
  fl.settled_tolerance = s.options.settled_tolerance;
  fl.settled_gap = verified ? route->gap : mv.rate_windows.gap(fl.M_l_num);
  fl.settled = end == RunEnd::Normal && run.steps > 0 && settled_within(fl.settled_gap, fl.settled_tolerance);
  // relative change of w_in - s across the stabilisation window, once the
  // window holds measured values only
  const int nw = s.settings.n_stab;
  if (nw >= 2 && run.steps >= nw) {
    fl.drift = (f.w_ass_last[nw] - f.w_ass_last[1]) / f.w_ass_last[nw];
  }
  fl.th_burnt = s.vvar_temp_div[2][n - 1];
  fl.th_adiabatic = g.th_fresh + g.D_1 * g.y1_fresh;
  if (mv.operators) {
    mv.conservation = flame_conservation(s, *mv.operators, f, nw, static_cast<int>(std::min<long long>(run.steps, nw)),
                                         s.tempo.dt);
    fl.conservation = mv.conservation;
  }
  run.flame = fl;
  if (route != nullptr) {
    SimulationResult::Settling st;
    st.polish_attempts = route->attempts;
    st.polishes = route->polishes;
    st.polish_steps = route->polish_steps;
    st.pseudo_steps = route->pseudo_steps;
    st.continued = route->continued;
    run.settling = st;
  }
}

void time_step(State& s, MainValues& mv) {
  const int n = s.settings.n;
  const int ns = s.settings.n_species;
  Solver& solver = *mv.solver;
  solver.cfl_eva2(s, n, ns, s.settings.cfl, s.settings.stab, mv.limits);
  advance_fields(s, solver, mv);
  solver.cfl_eva2(s, n, ns, s.settings.cfl, s.settings.stab, mv.limits);
  if (s.ic_kkind.case_kind == 8) {
    track_front(s, mv);
    if (!(mv.route && mv.route->controller_resting)) anchor_flame(s, mv);
  }
  ++mv.steps;
}

void choose_domain_length(State& s, double d_l_ana) {
  Discr& d = s.discr;
  const int n = s.settings.n;
  std::ostream& o = s.out();
  if (d.hlx == 0.0) d.hlx = 0.625 * n;
  d.domain_length = d.hlx * d_l_ana;
  d.dx = d.domain_length / (n - 1);
  if (s.grid == 0) {
    for (int i = 1; i <= n; ++i) s.grid2.spacing[i] = d.dx;
  }
  const Voice& v = s.voice;
  o << Line().text(v("Setto hlx come"_it)).real(d.hlx).text(v("volte lo spessore"_it))
    << Line().text(v("previsto della fiamma:     "_it)).real(d.domain_length)
    << Line().text(v("Punto di stabilizzazione:  "_it)).real(s.settings.x_anchor);
  s.ff_fnz.x0_ff_2 = s.ff_fnz.x0_ff_2 * d.domain_length;
  s.ff_fnz.hx_ff_2 = s.ff_fnz.hx_ff_2 * d.domain_length;
  o << Line().text("x0_ff_2: ").real(s.ff_fnz.x0_ff_2) << Line().text("hx_ff_2: ").real(s.ff_fnz.hx_ff_2);
}

void simulate(State& s, MainValues& mv) {
  Settings& set = s.settings;
  Discr& d = s.discr;
  Tempo& tm = s.tempo;
  const int n = set.n;
  const int ns = set.n_species;
  const bool flame = s.ic_kkind.case_kind == 8;
  std::ostream& o = s.out();

  tm.it = tm.it_start;
  calc_velspes_an(s, n, s.vvar, s.ic_kkind.ord_reaz, mv.M_l_ana, mv.d_l_ana);
  if (d.domain_length == 0.0 && flame) choose_domain_length(s, mv.d_l_ana);
  if (set.x_anchor == 0.0 || s.andam.sweep_mode == 1) set.x_anchor = set.x_anchor_fraction * d.domain_length;
  o << Line().text(s.voice("Fiamma ancorata a:  "_it)).real(set.x_anchor);
  // --until-settled lays the initial front at the anchor: the polish then
  // has no translation to make
  const bool settling = flame && s.options.until_settled;
  const double x0_configured = s.ff_fnz.x0_ff_2;
  if (settling) s.ff_fnz.x0_ff_2 = set.x_anchor;
  if (flame) report_domain(s, mv);
  open_simulation_record(s, mv);
  mv.route.reset();
  mv.rate_windows.reset(set.n_stab);
  mv.last_companion.clear();
  mv.restart_source.clear();
  mv.solver.reset();
  mv.operators.reset();
  if (s.grid == 1) input_grid(s, n);
  mv.operators = setup_operators(s, n);
  mv.solver = std::make_unique<Solver>(*mv.operators);
  OperatorSet& ops = *mv.operators;
  r_k_coe(s, set.rk_scheme, mv.rk);
  r_k_init(s, n, ns);
  tm.t = tm.it * tm.dt;
  mv.record.runs.back().time_start = tm.t;
  o << Line().text("Main: ires = ").integer(s.rrestart.ires);
  const int kind = s.ic_kkind.case_kind;
  bool continued = false;
  std::optional<double> resumed_inflow;
  if (s.rrestart.ires != 0) {
    res_inp(s, ops, n, ns);
    resumed_inflow = resume_from_companion(s, mv);
  } else if (flame) {
    ini_fiamma_new(s, ops, n, ns);
    continued = settling && (continue_settled_flame(s, mv) || start_from_snapshot(s, mv));
  } else if (kind == 10) {
    ini_incomp_test(s, ops, n, ns);
  } else {
    ini_quiete(s, ops, n, ns);
  }
  s.ff_fnz.x0_ff_2 = x0_configured;
  if (flame) {
    track_front(s, mv);
    note_last_opened(mv.record, s, "history", std::nullopt, std::nullopt, mv.i_and);
    o << Line().text(s.voice("Velocita analitica del fronte: "_it)).real(mv.M_l_ana / s.vvar[1][1]);
  }
  if (s.rrestart.ires == 0 && !continued) initial_projection(s, mv);
  mv.inflow_momentum = resumed_inflow.value_or(s.vvar[4][1]);
  check_safe_point(s, mv);
  write_snapshot(s, mv);
  write_analytic(s, mv, 0.0, 0);
  mv.solver->cfl_eva2(s, n, ns, set.cfl, set.stab, mv.limits);
  o << Line().text("stab = ").real(set.stab) << Line().text("cfl  = ").real(set.cfl)
    << Line().text("dt   = ").real(tm.dt) << Line().text("stab_lim  = ").raw(s.voice(mv.limits.stab_lim));

  mv.progress.begin(s.andam.sweep_mode == 1, mv.i_and, s.andam.sweep_count, tm.it_start, tm.it_end, flame);
  if (settling) settle_begin(s, mv, continued || s.rrestart.ires != 0);
  for (tm.it = tm.it_start + 1; tm.it <= tm.it_end; ++tm.it) {
    if (mv.route) {
      settle_step(s, mv);
    } else {
      time_step(s, mv);
    }
    if (flame) mv.rate_windows.add(s.vvar[1][1] * (mv.front.w_in - mv.front.s));
    mv.progress.step(tm.it, tm.t, mv.front.x_m, mv.front.s);
    check_safe_point(s, mv);
    if (tm.it % tm.it_out == 0) {
      write_snapshot(s, mv);
      write_analytic(s, mv, tm.t, tm.it);
      report(s, mv);
    }
    if (pending_signal() != 0) stop_on_signal(s, mv, tm.it);
    // A front that no longer moves at all ends a sweep step. The first
    // measuring step has no earlier position and reports 0 by construction.
    // (Not on the way to a settled rate: a polished front stands still.)
    if (s.andam.sweep_mode == 1 && mv.front.s == 0.0 && tm.it > tm.it_start + 1 && !mv.route) break;
    if (mv.route && settle_after_step(s, mv)) break;
  }
  const bool capped = mv.route && mv.route->phase != SettleRoute::Phase::Done;
  if (mv.route) settle_end(s, mv);

  mv.progress.end(std::min(tm.it, tm.it_end), tm.t, mv.front.x_m, mv.front.s);
  write_snapshot(s, mv);
  mv.correction = mv.solver->corrections();
  report_corrections(s, mv.correction);
  calc_velspes_an(s, n, s.vvar, s.ic_kkind.ord_reaz, mv.M_l_ana, mv.d_l_ana);
  const FrontTracker& f = mv.front;
  mv.M_l_num = s.vvar[1][1] * (f.w_in - f.s);
  o << Line().text(s.voice("Velocita analitica del fronte: "_it)).real(mv.M_l_ana / s.vvar[1][1]);

  if (flame && s.andam.sweep_mode == 1) {
    mv.fl_st = 0;
    o << Line().text(s.voice("varianza: "_it)).real(f.var);
    if (f.var <= 1e-12) mv.fl_st = 1;
    SweepRow row;
    row.M_l_num = mv.M_l_num;
    row.M_l_ana = mv.M_l_ana;
    row.rho_ing = s.vvar[1][1];
    row.del = f.del;
    row.d_l_ana = mv.d_l_ana;
    row.n_stab = set.n_stab;
    row.var = f.var;
    row.fl_st = mv.fl_st;
    row.it_fin = tm.it;
    if (s.options.sweep_step != 0) {
      // a step run alone leaves the resume index alone
      write_sweep_row(s, mv.table, row);
    } else {
      // The next resume index is written out before the row and put in
      // place right after it, so that a kill between the two is a matter of
      // one rename.
      ReplacedFile next_index(s.file(kResumeFile), kWorkdirOrigin);
      next_index << Line().integer(mv.i_and + 1);
      next_index.close();
      write_sweep_row(s, mv.table, row);
      next_index.commit();
    }
  }
  close_simulation_record(s, mv, capped ? RunEnd::Unsettled : RunEnd::Normal);
  if (flame) {
    report_conservation(s, mv);
    report_burning_rate(s, mv);
  }
}

void run_sweep_step(State& s, MainValues& mv, int k) {
  crea_and_step_init(s, mv.table, k);
  RunRecord& r = mv.record;
  r.sweep = true;
  r.sweep_parameter = s.andam.sweep_parameter;
  r.sweep_count = s.andam.sweep_count;
  r.sweep_table = trimmed(s.addr.full_path);
  note_file(r, r.sweep_table, "sweep_table");
  r.first_step = k;
  // A length of 0 is chosen once, by the first step a sweep runs: the step
  // of the folder's resume index, or step 1 when that index is missing or
  // lies past k (a sweep started afresh). Step k runs on that length, as it
  // would within the sweep, so that steps run apart match the sequential
  // sweep.
  int first = read_resume_index(s);
  if (first < 1 || first > k) first = 1;
  if (first != k && s.discr.domain_length == 0.0 && s.ic_kkind.case_kind == 8) {
    std::ostream* console = s.console;
    std::ostringstream quiet;  // the first step's estimate is not this step's report
    s.console = &quiet;
    crea_and(s, first);
    s.tempo.it = s.tempo.it_start;
    calc_velspes_an(s, s.settings.n, s.vvar, s.ic_kkind.ord_reaz, mv.M_l_ana, mv.d_l_ana);
    choose_domain_length(s, mv.d_l_ana);
    s.console = console;
  }
  mv.i_and = k;
  crea_and(s, k);
  simulate(s, mv);
  mv.table.file.close();
}

int read_resume_index(State& s) {
  int index = 1;
  const auto path = s.file(kResumeFile);
  std::error_code ec;
  if (!std::filesystem::exists(std::filesystem::symlink_status(path, ec))) return index;
  const std::string text = read_input_file(path, kResumeFile);
  if (text.find_first_not_of(" \t\r\n") == std::string::npos) return index;
  FreeFormatReader reader(text, kResumeFile);
  reader.begin(1);
  reader.integer(index, "indice di ripresa"_it);
  reader.end();
  if (index < 1) {
    throw InputError(say("{1}: indice di ripresa {2}: deve essere almeno 1 (cancellare il file per ripartire dal "
                         "primo passo)"_it,
                         {std::string_view(kResumeFile), format_int(index)}));
  }
  return index;
}

void run_sweeps(State& s, MainValues& mv) {
  Andam& a = s.andam;
  if (s.options.sweep_step != 0) {
    run_sweep_step(s, mv, s.options.sweep_step);
    return;
  }
  if (a.sweep_mode == 0) a.sweep_count = 1;
  if (a.sweep_mode == 1) {
    crea_and_init(s, mv.table);
    RunRecord& r = mv.record;
    r.sweep = true;
    r.sweep_parameter = a.sweep_parameter;
    r.sweep_count = a.sweep_count;
    r.sweep_table = trimmed(s.addr.full_path);
    note_file(r, r.sweep_table, "sweep_table");
  }
  const int resume = read_resume_index(s);
  mv.record.first_step = s.options.sweep_step > 0 ? s.options.sweep_step : resume;
  if (resume > a.sweep_count) {
    std::cerr << ' '
              << s.voice("{1} indica il passo {2} oltre l'ultimo ({3}): nessuna simulazione eseguita; cancellare il "
                         "file per ripartire dal primo passo"_it,
                         {std::string_view(kResumeFile), format_int(resume), format_int(a.sweep_count)})
              << '\n';
  }
  for (mv.i_and = resume; mv.i_and <= a.sweep_count; ++mv.i_and) {
    write_resume_index(s, mv, mv.i_and);
    if (pending_signal() != 0) stop_on_signal(s, mv, -1);
    if (a.sweep_mode == 1) crea_and(s, mv.i_and);
    simulate(s, mv);
  }
  if (a.sweep_mode == 1) {
    write_resume_index(s, mv, a.sweep_count + 1);
    mv.table.file.close();
  }
}

}  // namespace fiamma
