// How a run ends early. Operations print their own message lines and then
// throw one of these; the main program turns it into the exit status.
#pragma once

#include <stdexcept>
#include <string>

namespace fiamma {

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

// A file that could not be written, flushed or closed: the message names
// the file, the reason the system gives and the record that sets its path.
class WriteError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A transported field that is no longer finite; its message lines are
// already on the console.
class NonFiniteField : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// SIGINT or SIGTERM received: the run ended at a safe point between steps.
class Interrupted : public std::runtime_error {
 public:
  explicit Interrupted(int signal_number)
      : std::runtime_error("interrotto da un segnale"), signal(signal_number) {}
  // With the line that says where the run stopped and how to go on.
  Interrupted(int signal_number, const std::string& message)
      : std::runtime_error(message), signal(signal_number) {}
  int signal;
};

}  // namespace fiamma
