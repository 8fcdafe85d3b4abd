// The progress line, through the real executable: drawn on standard error
// when that is a terminal (a pseudo-terminal here), absent when it is a file
// or a pipe, and never on standard output, which stays byte for byte the same.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

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

struct TerminalRun {
  int status = -1;
  std::string terminal;  // what the program wrote to its terminal
};

// Runs the executable in `dir` with standard error on a pseudo-terminal of
// `columns` columns, standard output into stdout.txt or on the terminal too.
TerminalRun run_on_terminal(const ScratchDir& dir, const std::vector<std::string>& args, int columns = 200,
                            bool stdout_too = false) {
  winsize ws{};
  ws.ws_row = 24;
  ws.ws_col = static_cast<unsigned short>(columns);
  int master = -1;
  const pid_t pid = ::forkpty(&master, nullptr, nullptr, &ws);
  if (pid == 0) {
    if (::chdir(dir.path().c_str()) != 0) ::_exit(126);
    const int out = ::open("stdout.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int in = ::open("/dev/null", O_RDONLY);
    if (out < 0 || in < 0) ::_exit(126);
    if (!stdout_too) ::dup2(out, STDOUT_FILENO);
    ::dup2(in, STDIN_FILENO);
    std::vector<char*> argv{const_cast<char*>(FIAMMA_BINARY)};
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(FIAMMA_BINARY, argv.data());
    ::_exit(127);
  }
  TerminalRun r;
  if (pid < 0) return r;
  char buf[4096];
  for (;;) {
    const ssize_t got = ::read(master, buf, sizeof buf);
    if (got > 0) {
      r.terminal.append(buf, static_cast<std::size_t>(got));
    } else if (got < 0 && errno == EINTR) {
      continue;
    } else {
      break;  // EIO once the program has closed its side
    }
  }
  ::close(master);
  int wstatus = 0;
  ::waitpid(pid, &wstatus, 0);
  r.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
  return r;
}

// Runs the executable in `dir` through the shell with the given redirections.
int run_shell(const ScratchDir& dir, const std::string& redirections) {
  const std::string cmd = "cd '" + dir.path().string() + "' && '" FIAMMA_BINARY "' " + redirections;
  return WEXITSTATUS(std::system(cmd.c_str()));
}

// The pieces of the terminal text between carriage returns and newlines,
// without the run's notes (lines that begin with a blank: a flame's domain
// distances, the closing lines of a simulation).
std::vector<std::string> drawn_lines(const std::string& text) {
  std::vector<std::string> out;
  std::string cur;
  for (char c : text) {
    if (c == '\r' || c == '\n') {
      if (cur.find_first_not_of(' ') != std::string::npos && cur[0] != ' ') out.push_back(cur);
      cur.clear();
    } else {
      cur += c;
    }
  }
  if (!cur.empty()) out.push_back(cur);
  return out;
}

TEST(ProgressLine, OnATerminalOnlyAndNeverOnStandardOutput) {
  ScratchDir dir;
  write_file(dir / "eulero_test.dat", testing::flame_config({{9, "60"}, {10, "20"}}));

  const TerminalRun tty = run_on_terminal(dir, {});
  ASSERT_EQ(tty.status, 0);
  const std::string on_tty_stdout = read_file(dir / "stdout.txt");
  const auto lines = drawn_lines(tty.terminal);
  ASSERT_FALSE(lines.empty()) << tty.terminal;
  for (const auto& l : lines) {
    EXPECT_EQ(l.rfind("it ", 0), 0u) << "not a progress line on the terminal: " << l;
    EXPECT_NE(l.find("/60  t "), std::string::npos) << l;
    EXPECT_NE(l.find(" it/s  "), std::string::npos) << l;
    EXPECT_NE(l.find("  x_m "), std::string::npos) << l;  // a flame shows its front
    EXPECT_LT(l.size(), 200u) << l;
  }
  // the last state stays, ended by a newline (the terminal adds its \r)
  EXPECT_NE(tty.terminal.find("\rit 60/60  t "), std::string::npos) << tty.terminal;
  EXPECT_EQ(tty.terminal.substr(tty.terminal.size() - 2), "\r\n");
  EXPECT_NE(lines.back().find("durata"), std::string::npos) << lines.back();
  // nothing of the report reached the terminal
  EXPECT_EQ(tty.terminal.find(" it = "), std::string::npos);

  // standard error into a file, then into a pipe: no progress line there,
  // only the run's notes, each a whole line beginning with a blank
  ASSERT_EQ(run_shell(dir, "> file_stdout.txt 2> stderr.txt < /dev/null"), 0);
  ASSERT_EQ(run_shell(dir, "2>&1 > pipe_stdout.txt < /dev/null | cat > piped_stderr.txt"), 0);
  for (const char* name : {"stderr.txt", "piped_stderr.txt"}) {
    const std::string err = read_file(dir / name);
    EXPECT_EQ(err.find('\r'), std::string::npos) << err;
    for (const auto& l : testing::lines_of(err)) EXPECT_EQ(l.rfind(' ', 0), 0u) << name << ": " << l;
  }

  // standard output is the same whichever way standard error goes
  const std::string plain = read_file(dir / "file_stdout.txt");
  EXPECT_EQ(on_tty_stdout, plain);
  EXPECT_EQ(read_file(dir / "pipe_stdout.txt"), plain);
  EXPECT_NE(plain.find(" it = 60\n"), std::string::npos);
  EXPECT_EQ(plain.find('\r'), std::string::npos);
  // the summary goes to its file, not to the console
  EXPECT_EQ(plain.find("fiamma-summary"), std::string::npos);
  EXPECT_EQ(plain.find('{'), std::string::npos);
  EXPECT_TRUE(std::filesystem::exists(dir / "Fsummary.json"));
}

TEST(ProgressLine, SweepShowsItsStepAndANarrowTerminalCutsTheLine) {
  ScratchDir dir;
  write_file(dir / "eulero_test.dat",
             testing::flame_config({{9, "3"}, {10, "1"}, {74, "1"}, {75, "1"}, {76, "1.2"}, {77, "1.6"}, {78, "2"}}));
  const TerminalRun tty = run_on_terminal(dir, {}, 40);
  ASSERT_EQ(tty.status, 0);
  const auto lines = drawn_lines(tty.terminal);
  ASSERT_FALSE(lines.empty());
  bool first = false, second = false;
  for (const auto& l : lines) {
    EXPECT_LE(l.size(), 39u) << l;  // never wraps
    first = first || l.rfind("andamento 1/2  it ", 0) == 0;
    second = second || l.rfind("andamento 2/2  it ", 0) == 0;
  }
  EXPECT_TRUE(first && second) << tty.terminal;
}

TEST(ProgressLine, ReportLinesOnTheSameTerminalTakeTheLineOffFirst) {
  ScratchDir dir;
  write_file(dir / "eulero_test.dat", testing::flame_config({{9, "40"}, {10, "20"}}));
  const TerminalRun tty = run_on_terminal(dir, {}, 200, true);
  ASSERT_EQ(tty.status, 0);
  ASSERT_NE(tty.terminal.find("\rit "), std::string::npos);
  // every console line starts at the beginning of a terminal line, never
  // after the progress text
  for (const char* report : {" it = 20\r\n", " it = 40\r\n", " Velocita analitica del fronte: "}) {
    std::size_t at = tty.terminal.find(report);
    ASSERT_NE(at, std::string::npos) << report;
    for (; at != std::string::npos; at = tty.terminal.find(report, at + 1)) {
      ASSERT_GT(at, 0u);
      const char before = tty.terminal[at - 1];
      EXPECT_TRUE(before == '\r' || before == '\n') << report << " after " << tty.terminal.substr(at > 60 ? at - 60 : 0, 60);
    }
  }
}

}  // namespace
}  // namespace fiamma
