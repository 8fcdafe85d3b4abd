// The sweep table: a header and zone line per sweep, a row per finished flame
// step, and its name.
#pragma once

#include <filesystem>
#include <string>

#include "core/file_writer.hpp"
#include "core/shared_state.hpp"

namespace fiamma {

// What one sweep step reports in its row of the table.
struct SweepRow {
  double M_l_num = 0.0, M_l_ana = 0.0, rho_ing = 0.0, del = 0.0, d_l_ana = 0.0;
  int n_stab = 0;
  double var = 0.0;
  int fl_st = 0;
  int it_fin = 0;
};

// The sweep table, open for the whole sweep.
struct SweepTable {
  AppendedFile file;
  std::filesystem::path path;
};

// The header line of the table, without its padding.
std::string sweep_header(int sweep_parameter);

// Builds the table's name, opens it for appending and writes the header and
// zone lines.
void crea_and_init(State& s, SweepTable& table);
// The table of step i_and run by itself (--sweep-step): the step's letter,
// "and", the parameter code and "_passo.dat" (CandLe_passo.dat), in the
// prefixed directory; no sweep table nor any step's file has such a name.
// Written anew with the header and zone lines of the sweep table, then the
// step's row, so that the rows of steps run apart can be gathered in order.
void crea_and_step_init(State& s, SweepTable& table, int i_and);
// Appends the row of a finished step (nothing for the Mach number).
void write_sweep_row(State& s, SweepTable& table, const SweepRow& row);

}  // namespace fiamma
