// The progress line, through the real executable: drawn on standard error
// when that is a terminal (a pseudo-terminal here), absent when it is a file
// or a pipe, and never on standard output, which stays byte for byte the same.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

#include "test_support.hpp"

namespace fiamma {
namespace {

using testing::read_file;
using testing::ScratchDir;
using testing::write_file;

// Runs the executable in `dir` with standard error on a pseudo-terminal of
// `columns` columns, standard output into stdout.txt or on the terminal too;
// what reached the terminal ("" when the run failed).
std::string run_on_terminal(const ScratchDir& dir, int columns, bool stdout_too) {
  winsize ws{};
  ws.ws_row = 24;
  ws.ws_col = static_cast<unsigned short>(columns);
  int master = -1;
  std::filesystem::remove(dir / "i_and_min.dat");  // the sweep runs again
  const pid_t pid = ::forkpty(&master, nullptr, nullptr, &ws);
  if (pid == 0) {
    const int out = ::open((dir / "stdout.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int in = ::open("/dev/null", O_RDONLY);
    if (out < 0 || in < 0 || ::chdir(dir.path().c_str()) != 0) ::_exit(126);
    if (!stdout_too) ::dup2(out, STDOUT_FILENO);
    ::dup2(in, STDIN_FILENO);
    ::execl(FIAMMA_BINARY, FIAMMA_BINARY, static_cast<char*>(nullptr));
    ::_exit(127);
  }
  std::string terminal;
  char buf[4096];
  for (ssize_t got; (got = ::read(master, buf, sizeof buf)) != 0;) {
    if (got > 0) {
      terminal.append(buf, static_cast<std::size_t>(got));
    } else if (errno != EINTR) {
      break;  // EIO once the program has closed its side
    }
  }
  ::close(master);
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? terminal : "";
}

TEST(ProgressLine, OnATerminalOnlyAndNeverOnStandardOutput) {
  ScratchDir dir;
  write_file(dir / "eulero_test.dat",
             testing::flame_config({{9, "40"}, {10, "20"}, {74, "1"}, {75, "1"}, {76, "1.2"}, {77, "1.6"}, {78, "2"}}));
  // a sweep of two steps of 40 on a terminal of 40 columns: each step's line,
  // never wrapping, and what stays after each step ends with a newline
  const std::string tty = run_on_terminal(dir, 40, false);
  const std::string on_tty_stdout = read_file(dir / "stdout.txt");
  for (const char* last : {"\randamento 1/2  it 40/40  t ", "\randamento 2/2  it 40/40  t "}) {
    EXPECT_NE(tty.find(last), std::string::npos) << last << " in " << tty;
  }
  EXPECT_TRUE(tty.ends_with("\r\n"));
  EXPECT_EQ(tty.find(" it = "), std::string::npos);  // nothing of the console
  for (std::size_t at = 0, next; at < tty.size(); at = next + 1) {  // the run's notes begin with a blank
    next = tty.find_first_of("\r\n", at);
    EXPECT_TRUE(tty[at] == ' ' || next - at <= 39) << tty.substr(at, next - at);
  }
  // the console's lines on the same terminal start at the beginning of a
  // line, never after the progress text
  const std::string both = run_on_terminal(dir, 200, true);
  for (std::size_t at = both.find(" it = "); at != std::string::npos; at = both.find(" it = ", at + 1)) {
    EXPECT_TRUE(both[at - 1] == '\r' || both[at - 1] == '\n') << both.substr(std::max<std::size_t>(at, 60) - 60, 70);
  }
  // standard error into a file or a pipe: no progress line, only the run's
  // notes, each a whole line beginning with a blank; standard output the same
  // whichever way standard error goes
  const std::string run = "cd '" + dir.path().string() + "' && rm -f i_and_min.dat && '" + FIAMMA_BINARY + "'";
  ASSERT_EQ(std::system((run + " > file_stdout.txt 2> stderr.txt < /dev/null").c_str()), 0);
  ASSERT_EQ(std::system((run + " 2>&1 > pipe_stdout.txt < /dev/null | cat > piped_stderr.txt").c_str()), 0);
  for (const char* name : {"stderr.txt", "piped_stderr.txt"}) {
    for (const auto& l : testing::lines_of(read_file(dir / name))) EXPECT_TRUE(l.starts_with(' ')) << name << ": " << l;
    EXPECT_EQ(read_file(dir / name).find('\r'), std::string::npos);
  }
  const std::string plain = read_file(dir / "file_stdout.txt");
  EXPECT_EQ(on_tty_stdout, plain);
  EXPECT_EQ(read_file(dir / "pipe_stdout.txt"), plain);
  EXPECT_NE(plain.find(" it = 40\n"), std::string::npos);
  EXPECT_EQ(plain.find_first_of("\r{"), std::string::npos);  // neither the progress nor the summary
}

}  // namespace
}  // namespace fiamma
