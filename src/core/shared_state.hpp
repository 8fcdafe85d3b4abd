// The whole state of one simulation: plain blocks of fixed capacity, gathered
// in one object that every operation receives by reference. Grid points are
// numbered from 1; entry 0 of every field array is never used.
#pragma once

#include <array>
#include <filesystem>
#include <fstream>
#include <iosfwd>
#include <iostream>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/file_writer.hpp"
#include "core/messages.hpp"

namespace fiamma {

inline constexpr int kCapacity = 1025;        // points per field array
inline constexpr int kHistoryCapacity = 10000; // stabilisation histories
inline constexpr int kSlots = 7;               // fields of vvar

// Points 1..kCapacity; index 0 is a spare that stays 0.
using Field = std::array<double, kCapacity + 1>;
// Slots 1..7 of the primary-state layout; index 0 unused.
using SlotFields = std::array<Field, kSlots + 1>;

// Fixed-length blank-padded single-byte text.
template <std::size_t N>
using Text = std::array<char, N>;

// Settings owned by the main program and filled by the configuration input.
struct Settings {
  int n = 0;
  int n_species = 0;
  double cfl = 0.0;
  double stab = 0.0;
  int rk_scheme = 0;
  double t_follow = 0.0;
  int front_criterion = 0;
  int n_stab = 0;
  double x_anchor = 0.0;
  double x_anchor_fraction = 0.0;
  // Configured values kept by the main program that no computation reads.
  double main_34 = 0.0;
  int main_35 = 0;
  int main_36 = 0;
  int main_73 = 0;
  double discarded_22 = 0.0;
};

struct Tempo {
  double t = 0.0;
  double t_stage = 0.0;
  double dt = 0.0;
  int it = 0;
  int it_start = 0;
  int it_end = 0;
  int stage = 0;
  int it_out = 0;
  int tempo_spare = 0;
};

struct Discr {
  double domain_length = 0.0;
  double dx = 0.0;
  int dt_mode = 0;
  int i_thom = 0;
  double hlx = 0.0;
};

// Compact-scheme coefficients: slots 1..42 (slot 1 and 4 configured).
struct Comp {
  std::array<double, 43> c{};
  double& boundary_scheme_parameter() { return c[1]; }
  double& interior_scheme_parameter() { return c[4]; }
};

// Node abscissae (1..1025), node spacings (1..1025) and the smallest spacing.
struct Grid2 {
  Field x{};
  Field spacing{};
  double min_spacing = 0.0;
};

// Gas, flame and reference quantities, in slot order 1..45.
struct Gass {
  double th0 = 0, rho0 = 0, p0 = 0, c0_speed = 0;
  double unused_5 = 0, unused_6 = 0;
  double gamma = 0, Prandtl = 0, Lewis = 0, Damkohler = 0, Zeldovich = 0, Mach = 0;
  double heat_of_reaction = 0, cv = 0, conductivity = 0, mass_flow = 0;
  double ref_length = 0, ref_energy = 0, ref_temperature = 0, gas_constant = 0;
  double ref_pressure = 0, ref_density = 0, ref_velocity = 0, ref_time = 0;
  double arrhenius_constant = 0, activation_energy = 0, viscosity = 0;
  double diffusion_coefficient = 0;
  double equivalence_ratio = 0, n_exp = 0, initial_pressure = 0;
  double th_fresh = 0, th_burnt = 0;
  double gass_34 = 0;
  double y1_fresh = 0, y1_burnt = 0, y2_fresh = 0, y2_burnt = 0;
  double unused_39 = 0, unused_40 = 0, unused_41 = 0, unused_42 = 0, unused_43 = 0;
  double D_1 = 0, D_2 = 0;
};
static_assert(sizeof(Gass) == 45 * sizeof(double));

struct IcKkind {
  int case_kind = 0;
  int ic_kkind_2 = 0;
  int ic_kkind_3 = 0;
  int reaction_order = 0;
  double ord_reaz = 0.0;
  double spare_1 = 0.0;
  double spare_2 = 0.0;
};

struct IcKkindRe {
  double ic_kkind_re_1 = 0.0;
  std::array<double, 9> unused{};  // slots 2..10
  double gain_position = 0.0;      // slot 11
  double gain_velocity = 0.0;      // slot 12
  double gain_integral = 0.0;      // slot 13
  double th_front_level = 0.0;     // slot 14
};

struct BcKkind {
  std::array<int, 9> unused{};  // slots 1..9
  int follow_mode = 0;          // slot 10
};

// Profile parameters, slots 1..12.
struct FfFnz {
  double ff_width = 0, ff_centre = 0, ff_amplitude = 0, ff_lo = 0, ff_hi = 0, ff_speed = 0;
  double hx_ff_2 = 0;       // slot 7
  double x0_ff_2 = 0;       // slot 8
  double ff2_amplitude = 0; // slot 9
  double ff_10 = 0, ff_11 = 0, ff_12 = 0;
};

// Ten configured values that no computation reads, by configuration order:
// slots 1, 2, 3, 7, 5, 6, 4, 11, 13, 14.
struct Forcing {
  std::array<double, 15> slot{};
};

struct Rrestart {
  std::array<Text<32>, 6> name{};  // 1..5 used; 1..3 configured
  int ires = 0;
  int rrestart_spare = 0;
};

struct Andam {
  int sweep_mode = 0;
  int sweep_parameter = 0;
  int sweep_count = 0;
  double sweep_start = 0.0;
  double sweep_end = 0.0;
  double sweep_step = 0.0;
};

// File naming block: run tag, current file name, two prefixes, full path.
struct Addr {
  Text<1> run_tag{' '};
  Text<32> file_name{};
  Text<32> path_prefix_1{};
  Text<32> path_prefix_2{};
  Text<96> full_path{};
  Addr() {
    file_name.fill(' ');
    path_prefix_1.fill(' ');
    path_prefix_2.fill(' ');
    full_path.fill(' ');
  }
};

// Reference state of the analytic solutions: gas constant, pressure and
// specific heat at constant volume (from the profile file or defaults).
struct AnRef {
  double gas_constant_an = 0.0;
  double pressure_an = 0.0;
  double cv_an = 0.0;
};

enum class OperatorForm { prepared, straightforward };

// Options of the command line that change how a run goes, beside the
// configuration file.
struct RunOptions {
  // --set NAME=VALUE: configured values replaced after reading, before any
  // derivation, in the order given.
  std::vector<std::pair<std::string, std::string>> overrides;
  // --sweep-step K: run only step K of the configured sweep (0: the sweep).
  int sweep_step = 0;
  // --correction-tolerance X: stopping tolerance of the velocity correction,
  // on the largest change of the nodal velocity between two iterates;
  // relative to the largest nodal velocity with --correction-relative.
  double correction_tolerance = 5e-05;
  bool correction_relative = false;
  // The form of the compact operators: prepared (factored once, the default)
  // or straightforward (eliminated at every application: the oracle of the
  // prepared form, for tests and benchmarks).
  OperatorForm operator_form = OperatorForm::prepared;
};

struct State {
  State() {
    for (auto& name : rrestart.name) name.fill(' ');
  }
  State(const State&) = delete;
  State& operator=(const State&) = delete;

  Settings settings;
  RunOptions options;

  SlotFields vvar{};
  SlotFields vvar_rk{};
  SlotFields rrhs{};
  SlotFields rrhs_rk{};
  double vvar_2 = 0.0;
  double vvar_rk_2 = 0.0;
  std::array<Field, 3> vvar_temp_div{};     // 1 divergence, 2 temperature
  std::array<Field, 3> vvar_temp_div_rk{};
  double rrhs_2 = 0.0;
  double rrhs_rk_2 = 0.0;
  Field rrhs_div{};
  Field rrhs_div_rk{};

  Tempo tempo;
  Discr discr;
  Comp comp;
  int grid = 0;
  Grid2 grid2;
  Gass gass;
  IcKkind ic_kkind;
  IcKkindRe ic_kkind_re;
  BcKkind bc_kkind;
  FfFnz ff_fnz;
  Forcing forcing;
  Rrestart rrestart;
  AnRef an_ref;
  Andam andam;
  Addr addr;
  double pi = 0.0;

  // Where the run lives: every input and output file is relative to it.
  std::filesystem::path workdir = ".";
  // The console; tests point it at a string stream.
  std::ostream* console = &std::cout;
  // Where the operator's answer to the stability pause comes from.
  std::istream* operator_input = &std::cin;
  // Standard error: notes and warnings beside the console (tests redirect it).
  std::ostream* diagnostics = &std::cerr;
  // The language of the console and of standard error (--lang, FIAMMA_LANG).
  Voice voice;
  // Echo of the rescaled grid abscissae, open from its first write on.
  std::unique_ptr<AppendedFile> grid_echo;

  std::ostream& out() { return *console; }
  std::filesystem::path file(const std::filesystem::path& name) const { return workdir / name; }
};

}  // namespace fiamma
