#include "config/grid.hpp"

#include <string>

#include "config/free_format_reader.hpp"
#include "core/errors.hpp"
#include "core/file_writer.hpp"
#include "core/free_format.hpp"

namespace fiamma {

void input_grid(State& s, int n) {
  FreeFormatReader reader = FreeFormatReader::open(s.file(kGridFile), kGridFile);
  s.out() << Line().text(s.voice("Lettura file di griglia grid.dat"_it));
  Field& x = s.grid2.x;
  for (int i = 1; i <= n; ++i) {
    double ignored = 0.0;
    reader.begin(i);
    reader.real(ignored, "prima colonna"_it);
    reader.real(x[i], "ascissa"_it);
    reader.end();
  }
  for (int i = 1; i < n; ++i) {
    if (!(x[i + 1] > x[i])) {
      throw InputError(say("{1}: record {2} (ascissa): le ascisse devono crescere, trovato {3} dopo {4}"_it,
                           {std::string_view(kGridFile), std::to_string(i + 1), format_real(x[i + 1]),
                            format_real(x[i])}));
    }
  }
  const double x1 = x[1];
  const double factor = s.discr.domain_length / (x[n] - x[1]);
  if (!s.grid_echo) {
    s.grid_echo = std::make_unique<AppendedFile>();
    s.grid_echo->open(s.file(kGridEchoFile), kWorkdirOrigin, true);
  }
  std::string echo;
  for (int i = 1; i <= n; ++i) {
    x[i] = (x[i] - x1) * factor;
    echo += Line().real(x[i]).str() + '\n';
  }
  s.grid_echo->write_record(echo);
  s.grid2.min_spacing = 1.0e32;
  for (int i = 1; i < n; ++i) {
    s.grid2.spacing[i] = x[i + 1] - x[i];
    if (s.grid2.spacing[i] < s.grid2.min_spacing) s.grid2.min_spacing = s.grid2.spacing[i];
  }
}

}  // namespace fiamma
