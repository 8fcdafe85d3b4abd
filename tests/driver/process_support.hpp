// The real executable started as a child process, with a file-size limit,
// killed or signalled at a chosen moment.
#pragma once

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace fiamma::testing {

// How a child is started besides its arguments.
struct ChildOptions {
  long long file_size_limit = -1;  // bytes; -1 none
  std::string console;             // a path for standard output instead of out.txt
  bool hold_input = false;         // standard input a pipe kept open, instead of /dev/null
};

class Child {
 public:
  // Starts FIAMMA_BINARY with `args` in `dir`; standard output and error go
  // to out.txt and err.txt there (or standard output to options.console),
  // standard input is /dev/null. Under a file-size limit (SIGXFSZ at its
  // default disposition, as a shell leaves it) standard error, and standard
  // output unless given, go through pipes, which the limit does not cut, to
  // files the parent writes.
  Child(const std::filesystem::path& dir, const std::vector<std::string>& args, const ChildOptions& options = {}) {
    const bool piped = options.file_size_limit >= 0;
    const bool own_console = !options.console.empty();
    int out_pipe[2] = {-1, -1}, err_pipe[2] = {-1, -1}, in_pipe[2] = {-1, -1};
    if (piped && (::pipe(out_pipe) != 0 || ::pipe(err_pipe) != 0)) return;
    if (options.hold_input && ::pipe(in_pipe) != 0) return;
    const std::string dir_s = dir.string(), err = (dir / "err.txt").string();
    const std::string out = own_console ? options.console : (dir / "out.txt").string();
    std::vector<std::string> argv_s = {FIAMMA_BINARY};
    argv_s.insert(argv_s.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : argv_s) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_ = ::fork();
    if (pid_ == 0) {
      if (piped) {
        const rlimit limit{static_cast<rlim_t>(options.file_size_limit), static_cast<rlim_t>(options.file_size_limit)};
        ::setrlimit(RLIMIT_FSIZE, &limit);
      }
      const int in_fd = options.hold_input ? in_pipe[0] : ::open("/dev/null", O_RDONLY);
      const int out_fd = piped && !own_console ? out_pipe[1] : ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      const int err_fd = piped ? err_pipe[1] : ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (::chdir(dir_s.c_str()) != 0 || in_fd < 0 || out_fd < 0 || err_fd < 0) ::_exit(120);
      ::dup2(in_fd, 0);
      ::dup2(out_fd, 1);
      ::dup2(err_fd, 2);
      if (options.hold_input) ::close(in_pipe[1]);
      ::execv(argv[0], argv.data());
      ::_exit(122);
    }
    if (options.hold_input) {
      ::close(in_pipe[0]);
      input_ = in_pipe[1];
    }
    if (piped) {
      ::close(out_pipe[1]);
      ::close(err_pipe[1]);
      if (own_console) {
        ::close(out_pipe[0]);
      } else {
        drains_.emplace_back(drain, out_pipe[0], out);
      }
      drains_.emplace_back(drain, err_pipe[0], err);
    }
  }
  ~Child() {
    if (pid_ > 0 && !waited_) ::kill(pid_, SIGKILL);
    wait();
  }
  // Closes the held standard input: the child reads its end.
  void close_input() {
    if (input_ >= 0) ::close(input_);
    input_ = -1;
  }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  void signal(int signal_number) const { ::kill(pid_, signal_number); }
  pid_t pid() const { return pid_; }
  // The raw wait status.
  int wait() {
    close_input();
    while (pid_ > 0 && !waited_ && ::waitpid(pid_, &status_, 0) < 0) {
    }
    waited_ = true;
    for (auto& t : drains_) t.join();
    drains_.clear();
    return status_;
  }
  // The exit status, or 128 + the signal that ended it.
  int exit_code() {
    const int st = wait();
    return WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
  }
  // Whether it is still running after `timeout`.
  bool running_after(std::chrono::milliseconds timeout) {
    for (const auto end = std::chrono::steady_clock::now() + timeout; std::chrono::steady_clock::now() < end;) {
      if (::waitpid(pid_, &status_, WNOHANG) == pid_) {
        waited_ = true;
        return false;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
  }

 private:
  static void drain(int fd, std::string path) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    char buffer[4096];
    for (ssize_t got; (got = ::read(fd, buffer, sizeof buffer)) != 0;) {
      if (got > 0) {
        file.write(buffer, got);
      } else if (errno != EINTR) {
        break;
      }
    }
    ::close(fd);
  }

  std::vector<std::thread> drains_;
  int input_ = -1;
  pid_t pid_ = -1;
  int status_ = 0;
  bool waited_ = false;
};

}  // namespace fiamma::testing
