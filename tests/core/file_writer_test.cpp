// The file writer against failures provoked for real: writes cut by a
// file-size limit (in a child process, so that the limit binds only there), a
// folder where the file should go, a descriptor that fails to close. Whatever
// fails, the file keeps its earlier content or whole records only, no
// temporary stays, and the error names the file and the reason.
#include "core/file_writer.hpp"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>

#include "core/errors.hpp"
#include "test_support.hpp"

namespace fiamma {
namespace {

namespace fs = std::filesystem;
using testing::read_file;
using testing::ScratchDir;
using testing::write_file;

// The message of the WriteError that `body` throws, run in a child process
// under a file-size limit of `limit` bytes (-1: none). SIGXFSZ is ignored
// there, so that a write past the limit fails with EFBIG.
std::string write_error_of(const std::function<void()>& body, long limit = -1) {
  int pipe_fd[2];
  if (::pipe(pipe_fd) != 0) return "no pipe";
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(pipe_fd[0]);
    if (limit >= 0) {
      ::signal(SIGXFSZ, SIG_IGN);
      const rlimit r{static_cast<rlim_t>(limit), static_cast<rlim_t>(limit)};
      ::setrlimit(RLIMIT_FSIZE, &r);
    }
    std::string message = "no error";
    try {
      body();
    } catch (const WriteError& e) {
      message = e.what();
    }
    [[maybe_unused]] const auto written = ::write(pipe_fd[1], message.data(), message.size());
    ::_exit(0);
  }
  ::close(pipe_fd[1]);
  std::string message;
  char buffer[512];
  for (ssize_t got; (got = ::read(pipe_fd[0], buffer, sizeof buffer)) > 0;) message.append(buffer, got);
  ::close(pipe_fd[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  return message;
}

// The names in a folder, sorted.
std::vector<std::string> names_in(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

TEST(FileWriter, AnAppendCutByTheSizeLimitLeavesWholeRecords) {
  ScratchDir dir;
  const fs::path history = dir / "h.dat";
  const std::string record(30, 'r');
  // a header of 7 bytes and records of 31 under a limit of 110: the fourth
  // record stops after 10 of its bytes, which the writer takes back
  const std::string message = write_error_of(
      [&] {
        AppendedFile f;
        f.open(history, kPrefixedOrigin, true);
        f.write_record("header\n");
        for (int k = 0; k < 5; ++k) f.write_record(record + "\n");
      },
      110);
  EXPECT_EQ(read_file(history), "header\n" + record + "\n" + record + "\n" + record + "\n");
  EXPECT_EQ(message, (dir / "h.dat").string() + ": impossibile scrivere il file (File too large); " + kPrefixedOrigin);
  // opened again without `replace`, the file receives records after the old ones
  EXPECT_EQ(write_error_of([&] {
              AppendedFile f;
              f.open(history, kWorkdirOrigin, false);
              f.write_record("x\n");
              f.close();
            }),
            "no error");
  EXPECT_EQ(read_file(history).size(), 7u + 3 * 31 + 2);
}

TEST(FileWriter, AFailedReplacementKeepsTheEarlierFileAndNoTemporary) {
  struct Case {
    const char* what;
    std::function<void(const fs::path& target)> act;
    long limit;
    const char* reason;
  };
  const Case cases[] = {
      {"write past the size limit", [](const fs::path& t) { write_file_atomically(t, std::string(300, 'n')); }, 100,
       "File too large"},
      // only the rename is left to fail: the folder in place of the file
      {"rename onto a folder",
       [](const fs::path& t) {
         fs::remove(t);
         fs::create_directory(t);
         write_file(t / "kept", "earlier\n");
         write_file_atomically(t, "new\n");
       },
       -1, "Is a directory"},
      // the temporary's descriptor closed behind the writer's back: its own
      // close fails (nothing buffered, so no write comes first)
      {"close",
       [](const fs::path& t) {
         ReplacedFile f(t, kWorkdirOrigin);
         for (const auto& e : fs::directory_iterator("/proc/self/fd")) {
           std::error_code ec;
           if (fs::read_symlink(e.path(), ec) == fs::absolute(temporary_name(t))) {
             ::close(std::stoi(e.path().filename().string()));
           }
         }
         f.commit();
       },
       -1, "Bad file descriptor"},
      {"missing folder", [](const fs::path& t) { write_file_atomically(t.parent_path() / "no/t.dat", "new\n"); }, -1,
       "No such file or directory"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ScratchDir dir;
    const fs::path target = dir / "t.dat";
    write_file(target, "earlier\n");
    const std::string message = write_error_of([&] { c.act(target); }, c.limit);
    const std::string named = std::string(c.what) == "missing folder" ? (dir / "no/t.dat").string() : target.string();
    EXPECT_EQ(message, named + ": impossibile scrivere il file (" + c.reason + "); " + kWorkdirOrigin);
    if (fs::is_directory(target)) {
      EXPECT_EQ(read_file(target / "kept"), "earlier\n");
    } else {
      EXPECT_EQ(read_file(target), "earlier\n");
    }
    EXPECT_EQ(names_in(dir.path()), std::vector<std::string>{"t.dat"});
  }
}

}  // namespace
}  // namespace fiamma
