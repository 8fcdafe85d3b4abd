// How a run ends early. Operations print their own message lines and then
// throw one of these; the main program turns it into the exit status.
#pragma once

#include <stdexcept>
#include <string>

namespace fiamma {

// Exit status of a run stopped by bad input (files, values out of range).
inline constexpr int kExitBadInput = 2;
// Exit status of an orderly stop of the solver after its message lines.
inline constexpr int kExitStopped = 3;

// Bad input: the message names the file, the record and what was expected.
class InputError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// An unrecoverable condition met by an operation, whose message lines are
// already on the console.
class RunStopped : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace fiamma
