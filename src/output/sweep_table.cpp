#include "output/sweep_table.hpp"

#include "config/sweep_parameters.hpp"
#include "core/free_format.hpp"
#include "core/naming.hpp"

namespace fiamma {

namespace {

constexpr std::size_t kTableRecord = 104;

}  // namespace

std::string sweep_header(int sweep_parameter) {
  return std::string("VARIABLES = \"") + swept_parameter(sweep_parameter).header +
         "\",\"M_l_num\",\"M_l_ana\",\"rho_ing\",\"del\",\"d_l_ana\",\"n_stab\",\"vari\",\"fl_st\",\"it_fin\"";
}

namespace {

// Opens the table named by the file-name field (code in characters 5 and 6)
// and writes its header and zone lines.
void open_table(State& s, SweepTable& table, bool replace) {
  const int p = s.andam.sweep_parameter;
  s.addr.file_name[4] = sweep_file_code(p)[0];
  s.addr.file_name[5] = sweep_file_code(p)[1];
  strg(s.addr);
  s.out() << Line().text("opfile").raw(whole(s.addr.full_path));
  table.path = s.file(trimmed(s.addr.full_path));
  table.file.open(table.path, kPrefixedOrigin, replace);
  table.file.write_record(' ' + padded(sweep_header(p), kTableRecord) + "\n " + padded("ZONE", kTableRecord) + '\n');
}

}  // namespace

void crea_and_init(State& s, SweepTable& table) {
  set_file_name(s.addr, " and__.dat");
  sver(s.addr);
  open_table(s, table, false);
}

void crea_and_step_init(State& s, SweepTable& table, int i_and) {
  set_file_name(s.addr, " and___passo.dat");
  s.addr.file_name[0] = static_cast<char>(64 + i_and);
  open_table(s, table, true);
}

void write_sweep_row(State& s, SweepTable& table, const SweepRow& row) {
  const Gass& g = s.gass;
  const int p = s.andam.sweep_parameter;
  if (p == 6 || swept_parameter(p).field == nullptr) return;  // the Mach number does not enter the flame: no row
  // the swept value as set: the Zeldovich number as configured; for the
  // equivalence ratio the analytic reaction order, which the sweep leaves alone
  const double first = p == 5   ? (g.gamma - 1.0) * g.Zeldovich / g.gamma
                       : p == 8 ? s.ic_kkind.ord_reaz
                                : g.*swept_parameter(p).field;
  const Line line = Line()
                    .real(first)
                    .real(row.M_l_num)
                    .real(row.M_l_ana)
                    .real(row.rho_ing)
                    .real(row.del)
                    .real(row.d_l_ana)
                    .integer(row.n_stab)
                    .real(row.var)
                    .integer(row.fl_st)
                    .integer(row.it_fin);
  table.file.write_record(line.str() + '\n');
}

}  // namespace fiamma
