// The run configuration "eulero_test.dat": its 81 positional records, the
// derivation of the reference quantities and the checks that keep a run
// within its storage.
#pragma once

#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

#include "config/free_format_reader.hpp"
#include "core/shared_state.hpp"

namespace fiamma {

inline constexpr const char* kConfigFile = "eulero_test.dat";
inline constexpr int kConfigRecords = 81;
// Smallest grid the compact operators can be assembled on.
inline constexpr int kMinPoints = 9;

enum class ItemKind { Integer, Real, Text };

// Where one configured value is stored.
struct ValueRef {
  ItemKind kind;
  int* i = nullptr;
  double* r = nullptr;
  char* t = nullptr;
  int width = 0;
};

struct ConfigItem {
  int record;
  const char* name;
  ValueRef (*where)(State&);
};

// The configured values in record order (record 63 holds two).
const std::vector<ConfigItem>& config_items();

// Reads the 81 records into the blocks, as they stand in the file. When
// `echo` is given, the line "x0_ff_2,hx_ff_2:" goes to it after record 24,
// with the overrides of records 1 to 24 in place. Texts that look like a
// mistake: `warnings` receives a line for every text longer than its field
// (which keeps only the field's width), for a text that an unquoted slash
// cut short or left empty, and for a byte-order mark at the start of the
// file (skipped); `problems` receives a line for a number followed at once
// by a comma and a digit (a decimal comma, which the format reads as two
// values). Without `problems` such a number is an InputError at once.
void read_configuration(FreeFormatReader& reader, State& s, std::ostream* echo,
                        std::vector<std::string>* warnings = nullptr, std::vector<std::string>* problems = nullptr);

// Replaces configured values by the overrides of the command line
// (NAME=VALUE, NAME as print_configuration names it), in order, those of
// records up to `last_record`. An unknown name, a value of the wrong kind, a
// missing or null value, more than one value or a text longer than its field
// is an InputError naming it.
void apply_overrides(State& s, int last_record = kConfigRecords);

// Values outside their valid range (docs/guide.md, the record table): those
// that would overrun the fixed storage, divide by zero, overflow the step
// counter, make the first step non-finite or describe no physical flame, one
// line each naming the record, the value and the range; empty when the
// configuration is usable. Records that no operation of this run reads are
// not checked.
std::vector<std::string> range_problems(const State& s);

// Why `value` cannot be the value of real record `record` (gamma, Prandtl,
// Lewis, Damkohler, Zeldovich, equivalence_ratio, th_fresh, y1_fresh: the
// records a sweep sets), or "" when it can.
std::string physical_range_problem(int record, double value);

// Why --sweep-step K cannot run with this configuration (no sweep, K outside
// 1..sweep_count); empty when it can or when no step was asked for.
std::string sweep_step_problem(const State& s);

// Reads "eulero_test.dat" from the working directory, checks it and performs
// the first derivations, printing its console lines. `on_read`, when given,
// sees the values as read and overridden, once they pass the checks and
// before any derivation.
void input_eule(State& s, const std::function<void(State&)>& on_read = {});
// The reference quantities.
void elabora_parametri(State& s);
// Unit reference quantities for the analytic test cases.
void maschera_ad(State& s);

// "NN name value" for every value, in record order.
void print_configuration(State& s, std::ostream& os);

}  // namespace fiamma
