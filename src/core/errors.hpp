// How a run ends early. Operations print their own message lines and then
// throw one of these; the main program turns it into the exit status.
#pragma once

#include <stdexcept>
#include <string>

#include "core/messages.hpp"

namespace fiamma {

// The message of an early end in both languages; what() is the Italian one.
class Failure : public std::runtime_error {
 public:
  explicit Failure(const Message& m) : std::runtime_error(m.in(Language::it)), message_(m) {}
  explicit Failure(const char* plain) : Failure(Message(std::string(plain))) {}
  const Message& message() const { return message_; }

 private:
  Message message_;
};

// Bad input: the message names the file, the record and what was expected.
class InputError : public Failure {
 public:
  using Failure::Failure;
};

// An unrecoverable condition met by an operation, whose message lines are
// already on the console.
class RunStopped : public Failure {
 public:
  using Failure::Failure;
};

// A file that could not be written, flushed or closed: the message names
// the file, the reason the system gives and the record that sets its path.
class WriteError : public Failure {
 public:
  using Failure::Failure;
};

// A transported field that is no longer finite; its message lines are
// already on the console.
class NonFiniteField : public Failure {
 public:
  using Failure::Failure;
};

// SIGINT or SIGTERM received: the run ended at a safe point between steps.
class Interrupted : public Failure {
 public:
  explicit Interrupted(int signal_number) : Failure(say("interrotto da un segnale"_it)), signal(signal_number) {}
  // With the line that says where the run stopped and how to go on.
  Interrupted(int signal_number, const Message& message) : Failure(message), signal(signal_number) {}
  int signal;
};

}  // namespace fiamma
