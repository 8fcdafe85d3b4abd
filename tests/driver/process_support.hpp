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

class Child {
 public:
  // Starts FIAMMA_BINARY with `args` in `dir`; standard output and error go
  // to out.txt and err.txt there, standard input is /dev/null. Under a
  // file-size limit (bytes; -1 none) SIGXFSZ is ignored, so that a write
  // past it fails with EFBIG, and the console goes through pipes, which the
  // limit does not cut, to files the parent writes.
  Child(const std::filesystem::path& dir, const std::vector<std::string>& args, long long file_size_limit = -1) {
    const bool piped = file_size_limit >= 0;
    int out_pipe[2] = {-1, -1}, err_pipe[2] = {-1, -1};
    if (piped && (::pipe(out_pipe) != 0 || ::pipe(err_pipe) != 0)) return;
    const std::string dir_s = dir.string(), out = (dir / "out.txt").string(), err = (dir / "err.txt").string();
    std::vector<std::string> argv_s = {FIAMMA_BINARY};
    argv_s.insert(argv_s.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : argv_s) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_ = ::fork();
    if (pid_ == 0) {
      const int in_fd = ::open("/dev/null", O_RDONLY);
      const int out_fd = piped ? out_pipe[1] : ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      const int err_fd = piped ? err_pipe[1] : ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (::chdir(dir_s.c_str()) != 0 || in_fd < 0 || out_fd < 0 || err_fd < 0) ::_exit(120);
      ::dup2(in_fd, 0);
      ::dup2(out_fd, 1);
      ::dup2(err_fd, 2);
      if (piped) {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{static_cast<rlim_t>(file_size_limit), static_cast<rlim_t>(file_size_limit)};
        ::setrlimit(RLIMIT_FSIZE, &limit);
      }
      ::execv(argv[0], argv.data());
      ::_exit(122);
    }
    if (piped) {
      ::close(out_pipe[1]);
      ::close(err_pipe[1]);
      drains_.emplace_back(drain, out_pipe[0], out);
      drains_.emplace_back(drain, err_pipe[0], err);
    }
  }
  ~Child() {
    if (pid_ > 0 && !waited_) ::kill(pid_, SIGKILL);
    wait();
  }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  void signal(int signal_number) const { ::kill(pid_, signal_number); }
  // The raw wait status.
  int wait() {
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
  pid_t pid_ = -1;
  int status_ = 0;
  bool waited_ = false;
};

}  // namespace fiamma::testing
