#include "config/profile_input.hpp"

#include <cmath>
#include <filesystem>
#include <string>

#include "config/free_format_reader.hpp"
#include "core/errors.hpp"
#include "core/free_format.hpp"

namespace fiamma {

void input_profilo_an(State& s) {
  const int kind = s.ic_kkind.case_kind;
  const std::string what = std::string("case_kind ") + format_int(kind) +
                           " richiede il profilo della soluzione analitica nel file " + kProfileFile +
                           ": record 1 ff_width ff_centre ff_amplitude, record 2 ff_lo ff_hi" +
                           (kind == 5 ? ", record 3 ff_speed" : "");
  if (!std::filesystem::exists(s.file(kProfileFile))) throw InputError(what + " (il file non esiste)");
  FreeFormatReader reader = FreeFormatReader::open(s.file(kProfileFile), kProfileFile);
  FfFnz& p = s.ff_fnz;
  AnRef& r = s.an_ref;
  r.gas_constant_an = 1.0;
  r.pressure_an = s.gass.p0;
  r.cv_an = 1.0 / (s.gass.gamma - 1.0);
  double width = NAN, centre = NAN, amplitude = NAN, lo = NAN, hi = NAN;
  reader.begin(1);
  reader.real(width, "ff_width");
  reader.real(centre, "ff_centre");
  reader.real(amplitude, "ff_amplitude");
  reader.end();
  reader.begin(2);
  reader.real(lo, "ff_lo");
  reader.real(hi, "ff_hi");
  reader.end();
  double speed = 0.0;
  if (kind == 5 || reader.more()) {
    reader.begin(3);
    speed = NAN;
    reader.real(speed, "ff_speed");
    reader.end();
  }
  if (reader.more()) {
    reader.begin(4);
    reader.real(r.gas_constant_an, "gas_constant_an");
    reader.real(r.pressure_an, "pressure_an");
    double cv = NAN;
    reader.real(cv, "cv_an");
    r.cv_an = std::isnan(cv) ? r.gas_constant_an / (s.gass.gamma - 1.0) : cv;
    reader.end();
  }
  std::string problems;
  auto need = [&](bool ok, const std::string& text) {
    if (!ok) problems += "\n  " + text;
  };
  need(std::isfinite(width) && width != 0.0, "record 1 ff_width: deve essere un numero finito diverso da 0");
  need(std::isfinite(centre), "record 1 ff_centre: manca");
  need(std::isfinite(amplitude), "record 1 ff_amplitude: manca");
  need(!std::isnan(lo) && !std::isnan(hi) && lo <= hi, "record 2 ff_lo ff_hi: servono due estremi con ff_lo <= ff_hi");
  need(std::isfinite(speed), "record 3 ff_speed: manca");
  need(r.gas_constant_an > 0.0 && std::isfinite(r.gas_constant_an), "record 4 gas_constant_an: deve essere positiva");
  need(r.pressure_an > 0.0 && std::isfinite(r.pressure_an), "record 4 pressure_an: deve essere positiva");
  if (!problems.empty()) throw InputError(std::string(kProfileFile) + ": valori non utilizzabili" + problems);
  p.ff_width = width;
  p.ff_centre = centre;
  p.ff_amplitude = amplitude;
  p.ff_lo = lo;
  p.ff_hi = hi;
  p.ff_speed = speed;
}

}  // namespace fiamma
