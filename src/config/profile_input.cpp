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
  if (!std::filesystem::exists(s.file(kProfileFile))) {
    const Message what = say("case_kind {1} richiede il profilo della soluzione analitica nel file {2}: record 1 "
                             "ff_width ff_centre ff_amplitude, record 2 ff_lo ff_hi{3}"_it,
                             {format_int(kind), std::string_view(kProfileFile),
                              std::string_view(kind == 5 ? ", record 3 ff_speed" : "")});
    throw InputError(say("{1} (il file non esiste)"_it, {what}));
  }
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
  const Voice& v = s.voice;
  std::string problems;
  auto need = [&](bool ok, std::string_view text) {
    if (!ok) problems += "\n  " + std::string(text);
  };
  need(std::isfinite(width) && width != 0.0, v("record 1 ff_width: deve essere un numero finito diverso da 0"_it));
  need(std::isfinite(centre), v("record {1} {2}: manca"_it, {std::string_view("1"), std::string_view("ff_centre")}));
  need(std::isfinite(amplitude),
       v("record {1} {2}: manca"_it, {std::string_view("1"), std::string_view("ff_amplitude")}));
  need(!std::isnan(lo) && !std::isnan(hi) && lo <= hi,
       v("record 2 ff_lo ff_hi: servono due estremi con ff_lo <= ff_hi"_it));
  need(std::isfinite(speed), v("record {1} {2}: manca"_it, {std::string_view("3"), std::string_view("ff_speed")}));
  need(r.gas_constant_an > 0.0 && std::isfinite(r.gas_constant_an),
       v("record 4 {1}: deve essere positiva"_it, {std::string_view("gas_constant_an")}));
  need(r.pressure_an > 0.0 && std::isfinite(r.pressure_an),
       v("record 4 {1}: deve essere positiva"_it, {std::string_view("pressure_an")}));
  if (!problems.empty()) {
    throw InputError(v("{1}: valori non utilizzabili"_it, {std::string_view(kProfileFile)}) + problems);
  }
  p.ff_width = width;
  p.ff_centre = centre;
  p.ff_amplitude = amplitude;
  p.ff_lo = lo;
  p.ff_hi = hi;
  p.ff_speed = speed;
}

}  // namespace fiamma
