#include <csignal>
#include <iostream>
#include <string>
#include <vector>

#include "core/console_buffer.hpp"
#include "driver/run.hpp"

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(true);
  // A write past the file-size limit, or to a pipe nobody reads any more,
  // fails with its reason (EFBIG, EPIPE) instead of ending the process
  // without a word: the program says which file and ends with status 5.
  std::signal(SIGXFSZ, SIG_IGN);
  std::signal(SIGPIPE, SIG_IGN);
  const std::vector<std::string> args(argv + 1, argv + argc);
  fiamma::ConsoleBuffer console(1);
  std::streambuf* const standard = std::cout.rdbuf(&console);
  const int status = fiamma::fiamma_main(args, std::cout, std::cerr);
  std::cout.flush();
  std::cout.rdbuf(standard);
  return status;
}
