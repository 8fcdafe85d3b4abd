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

// The pieces of the terminal text between carriage returns and newlines,
// without the console's lines and the run's notes (they begin with a blank).
std::vector<std::string> drawn_lines(const std::string& text) {
  std::vector<std::string> out;
  std::string cur;
  for (char c : text + '\n') {
    if (c != '\r' && c != '\n') {
      cur += c;
    } else if (!cur.empty()) {
      if (cur[0] != ' ') out.push_back(cur);
      cur.clear();
    }
  }
  return out;
}

TEST(ProgressLine, OnATerminalOnlyAndNeverOnStandardOutput) {
  ScratchDir dir;
  write_file(dir / "eulero_test.dat", testing::flame_config({{9, "60"}, {10, "20"}}));
  const std::string tty = run_on_terminal(dir, 200, false);
  const std::string on_tty_stdout = read_file(dir / "stdout.txt");
  const auto lines = drawn_lines(tty);
  ASSERT_FALSE(lines.empty()) << tty;
  for (const auto& l : lines) {
    EXPECT_TRUE(l.starts_with("it ")) << "not a progress line on the terminal: " << l;
    EXPECT_NE(l.find("/60  t "), std::string::npos) << l;
    EXPECT_NE(l.find(" it/s  "), std::string::npos) << l;
    EXPECT_NE(l.find("  x_m "), std::string::npos) << l;  // a flame shows its front
  }
  // the last state stays, ended by a newline (the terminal adds its \r)
  EXPECT_NE(tty.find("\rit 60/60  t "), std::string::npos) << tty;
  EXPECT_TRUE(tty.ends_with("\r\n"));
  EXPECT_NE(lines.back().find("durata"), std::string::npos) << lines.back();
  EXPECT_EQ(tty.find(" it = "), std::string::npos);  // nothing of the report

  // standard error into a file, then into a pipe: no progress line there,
  // only the run's notes, each a whole line beginning with a blank
  const std::string bin = std::string("'") + FIAMMA_BINARY + "'";
  const std::string cd = "cd '" + dir.path().string() + "' && ";
  ASSERT_EQ(std::system((cd + bin + " > file_stdout.txt 2> stderr.txt < /dev/null").c_str()), 0);
  ASSERT_EQ(std::system((cd + bin + " 2>&1 > pipe_stdout.txt < /dev/null | cat > piped_stderr.txt").c_str()), 0);
  for (const char* name : {"stderr.txt", "piped_stderr.txt"}) {
    for (const auto& l : testing::lines_of(read_file(dir / name))) EXPECT_TRUE(l.starts_with(' ')) << name << ": " << l;
    EXPECT_EQ(read_file(dir / name).find('\r'), std::string::npos);
  }
  // standard output is the same whichever way standard error goes, and holds
  // neither the progress nor the summary
  const std::string plain = read_file(dir / "file_stdout.txt");
  EXPECT_EQ(on_tty_stdout, plain);
  EXPECT_EQ(read_file(dir / "pipe_stdout.txt"), plain);
  EXPECT_NE(plain.find(" it = 60\n"), std::string::npos);
  EXPECT_EQ(plain.find_first_of("\r{"), std::string::npos);
}

TEST(ProgressLine, SweepStepsOnANarrowTerminalWithTheReportBetween) {
  ScratchDir dir;
  write_file(dir / "eulero_test.dat",
             testing::flame_config({{9, "40"}, {10, "20"}, {74, "1"}, {75, "1"}, {76, "1.2"}, {77, "1.6"}, {78, "2"}}));
  const std::string tty = run_on_terminal(dir, 40, true);
  bool first = false, second = false;
  for (const auto& l : drawn_lines(tty)) {
    EXPECT_LE(l.size(), 39u) << l;  // never wraps
    first = first || l.starts_with("andamento 1/2  it ");
    second = second || l.starts_with("andamento 2/2  it ");
  }
  EXPECT_TRUE(first && second) << tty;
  // every console line starts at the beginning of a terminal line, never
  // after the progress text
  for (const char* report : {" it = 20\r\n", " it = 40\r\n", " Velocita analitica del fronte: "}) {
    std::size_t at = tty.find(report);
    ASSERT_NE(at, std::string::npos) << report;
    for (; at != std::string::npos; at = tty.find(report, at + 1)) {
      EXPECT_TRUE(tty[at - 1] == '\r' || tty[at - 1] == '\n') << report << " after " << tty.substr(std::max<std::size_t>(at, 60) - 60, 60);
    }
  }
}

}  // namespace
}  // namespace fiamma
