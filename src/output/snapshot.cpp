#include "output/snapshot.hpp"

#include <cmath>
#include <cstdio>
#include <string>

#include "config/grid.hpp"
#include "core/errors.hpp"
#include "core/file_writer.hpp"
#include "core/free_format.hpp"
#include "core/naming.hpp"

namespace fiamma {

std::filesystem::path out_tec_prim(
    State& s, OperatorSet& ops, int n, int /*n_species*/,
    const std::function<void(const std::filesystem::path&, std::uint64_t)>& before_rename) {
  const auto name = tagged_output_path(s, "-pr------.dat", 4, 6, s.tempo.it);
  ReplacedFile file(s.file(name), kPrefixedOrigin);
  char zone[32];
  std::snprintf(zone, sizeof zone, "ZONE I =%04d", n);
  file << ' ' << padded(kSnapshotHeader, 96) << '\n' << ' ' << padded(zone, 96) << '\n';
  Field rho_ns, y1_ns, y2_ns;
  ops.apply(Operator::inter_st_ns, s.vvar[1], rho_ns);
  ops.apply(Operator::inter_st_ns, s.vvar[2], y1_ns);
  ops.apply(Operator::inter_st_ns, s.vvar[3], y2_ns);
  const double p = s.vvar_2, da = s.gass.Damkohler, ze = s.gass.Zeldovich;
  const bool second_order = s.ic_kkind.reaction_order == 2;
  for (int i = 1; i <= n; ++i) {
    const double x = node_abscissa(s, i);
    const double rho = rho_ns[i];
    const double th = p / rho;
    const double y1 = y1_ns[i] / rho;
    const double y2 = y2_ns[i] / rho;
    const double wwx = second_order ? da * (rho * rho) * y1 * y2 * std::exp(-ze / th) : da * rho * y1 * std::exp(-ze / th);
    file << Line().real(x).real(rho).real(s.vvar[4][i] / rho).real(th).real(s.vvar[5][i] / rho)
                .real(s.vvar[6][i] / rho).real(s.vvar[7][i] / rho).real(y1).real(y2).real(wwx);
  }
  if (before_rename) {
    file.close();
    before_rename(name, file.hash());
  }
  file.commit();
  return name;
}

}  // namespace fiamma
